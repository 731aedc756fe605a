// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

namespace skycall {

// A value as the settings file holds it: nothing, a number or a text.
using SettingValue = std::variant<std::monostate, double, std::wstring>;

// The settings file is short, or a line holds a value its field cannot take.
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A value as a line of text: a text unchanged, or quoted where it holds a comma or a quote or
// starts or ends with a blank (a quote inside doubled), so it reads back whole; a number with a
// leading space (or the minus sign) and a trailing space; nothing as an empty line.
std::wstring settingLine(const SettingValue& value);

// A number as a whole signed 16-bit value, rounded half to even; throws SettingsError
// ("Type mismatch", "Overflow") for a text or a number out of range. Nothing gives empty.
std::optional<int> wholeNumber(const SettingValue& value);

}  // namespace skycall
