// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "app/SettingValue.h"

namespace skycall {

constexpr char kSettingsFileName[] = "progress.ini";
constexpr int kSettingsLines = 13;

// Reads the settings file value by value, as it was written: a value ends at a comma or at
// the end of its line; a whole line can also be read as text.
class SettingsReader {
 public:
  explicit SettingsReader(std::wstring text) : text_(std::move(text)) {}

  // Throws SettingsError at the end of the file.
  SettingValue readValue();
  std::wstring readLine();

 private:
  void skipLineEnd();
  std::wstring text_;
  std::size_t pos_ = 0;
};

// The settings as the file's thirteen lines, CR LF after each, in UTF-8.
std::string settingsFileBytes(const SettingValue& speechMode, int rate,
                              const SettingValue& spareSetting, const std::wstring& location);

// Replaces the file whole or not at all: the bytes go to a temporary file in the same folder,
// which is then renamed over the old one; through a link, beside and over the file it points
// to. Throws std::runtime_error when it cannot.
void writeFileAtomically(const std::filesystem::path& path, const std::string& bytes);

// The whole file as text; throws SettingsError when it cannot be read.
std::wstring readSettingsText(const std::filesystem::path& path);

}  // namespace skycall
