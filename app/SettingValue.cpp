// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SettingValue.h"

#include <charconv>
#include <cmath>

namespace skycall {

namespace {

// A text the reader would split at a comma, unquote, or trim reads back as itself only in
// quotes, with each quote inside doubled.
bool needsQuotes(const std::wstring& text) {
  return text.find_first_of(L",\"") != std::wstring::npos || text.front() == L' ' ||
         text.back() == L' ';
}

std::wstring quoted(const std::wstring& text) {
  std::wstring line = L"\"";
  for (wchar_t c : text) line += c == L'"' ? std::wstring(L"\"\"") : std::wstring(1, c);
  return line + L'"';
}

}  // namespace

std::wstring settingLine(const SettingValue& value) {
  if (const auto* text = std::get_if<std::wstring>(&value))
    return text->empty() || !needsQuotes(*text) ? *text : quoted(*text);
  const auto* number = std::get_if<double>(&value);
  if (!number) return L"";
  char digits[64];
  const double magnitude = std::fabs(*number);
  auto end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
  std::wstring line = *number < 0 ? L"-" : L" ";
  line.append(digits, end);
  line += L' ';
  return line;
}

std::optional<int> wholeNumber(const SettingValue& value) {
  if (std::holds_alternative<std::monostate>(value)) return std::nullopt;
  const auto* number = std::get_if<double>(&value);
  if (!number) throw SettingsError("Type mismatch");
  const double whole = std::nearbyint(*number);
  if (!(whole >= -32768 && whole <= 32767)) throw SettingsError("Overflow");
  return static_cast<int>(whole);
}

}  // namespace skycall
