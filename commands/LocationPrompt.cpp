// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/LocationPrompt.h"

#include <algorithm>

namespace skycall {

namespace {
constexpr wchar_t kPrompt[] =
    L"Enter your zip code or type the city and state you wish to know about.";
constexpr wchar_t kTitle[] = L"Location";
}  // namespace

std::wstring promptForLocation(CommandHost& form, const std::wstring& saidBefore) {
  std::wstring answer;
  std::wstring joined = saidBefore.empty() ? L"" : saidBefore + L"  ";
  while (answer.empty() || answer == L"0") {
    // A user without a screen reader would otherwise face a box nobody reads out.
    form.sayit(joined + kPrompt);
    joined.clear();
    answer = form.window().inputBox(kPrompt, kTitle, L"");
    std::erase_if(answer, [](wchar_t c) { return c == L'\r' || c == L'\n'; });
  }
  return answer;
}

}  // namespace skycall
