#include "app/SettingValue.h"

#include <charconv>
#include <cmath>

namespace skycall {

std::wstring settingLine(const SettingValue& value) {
  if (const auto* text = std::get_if<std::wstring>(&value)) return *text;
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
