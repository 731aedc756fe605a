#include "commands/LocationPrompt.h"

#include <algorithm>

namespace skycall {

namespace {
constexpr wchar_t kPrompt[] =
    L"Enter your zip code or type the city and state you wish to know about.";
constexpr wchar_t kTitle[] = L"Location";
}  // namespace

std::wstring promptForLocation(Window& window) {
  std::wstring answer;
  while (answer.empty() || answer == L"0") {
    answer = window.inputBox(kPrompt, kTitle, L"");
    std::erase_if(answer, [](wchar_t c) { return c == L'\r' || c == L'\n'; });
  }
  return answer;
}

}  // namespace skycall
