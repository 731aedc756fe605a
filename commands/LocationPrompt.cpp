// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/LocationPrompt.h"

#include <algorithm>

namespace skycall {

namespace {
constexpr wchar_t kPrompt[] =
    L"Enter your zip code or type the city and state you wish to know about.";
constexpr wchar_t kTitle[] = L"Location";
}  // namespace

std::optional<std::wstring> promptForLocation(CommandHost& form, const std::wstring& saidBefore) {
  std::wstring joined = saidBefore.empty() ? L"" : saidBefore + L"  ";
  for (;;) {
    // A user without a screen reader would otherwise face a box nobody reads out; with one,
    // the question said here as well would be heard twice, or cut the screen reader off.
    if (!form.screenReaderRunning()) form.sayit(joined + kPrompt);
    joined.clear();
    std::optional<std::wstring> answer = form.window().inputBox(kPrompt, kTitle, L"");
    if (!answer) return std::nullopt;
    std::erase_if(*answer, [](wchar_t c) { return c == L'\r' || c == L'\n'; });
    if (!answer->empty() && *answer != L"0") return answer;
  }
}

}  // namespace skycall
