// SPDX-License-Identifier: GPL-3.0-or-later
// The settings reader on any file: it ends, never reads past the text, and what the program
// writes from the values it read reads back to the same values.
#include <cstdint>
#include <cstdlib>

#include <algorithm>

#include "app/SettingsFile.h"
#include "text/TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring text =
      skycall::fromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  skycall::SettingsReader in(text);
  skycall::SettingValue mode, rate, spare;
  std::wstring location;
  int wholeRate = 0;
  try {
    mode = in.readValue();
    rate = in.readValue();
    spare = in.readValue();
    location = in.readLine();
    for (int i = 0; i < 9; ++i) in.readValue();
    (void)skycall::wholeNumber(mode);
    wholeRate = skycall::wholeNumber(rate).value_or(0);
  } catch (const skycall::SettingsError&) {
    return 0;  // a short file, or a value its field cannot take
  }
  // What is written must stay thirteen lines, whatever was read.
  const std::string bytes = skycall::settingsFileBytes(mode, wholeRate, spare, location);
  if (std::count(bytes.begin(), bytes.end(), '\n') != 13) std::abort();
  skycall::SettingsReader back(skycall::fromUtf8(bytes));
  if (back.readValue() != mode) std::abort();
  if (back.readValue() != skycall::SettingValue(static_cast<double>(wholeRate))) std::abort();
  if (back.readValue() != spare) std::abort();
  if (back.readLine() != location) std::abort();
  return 0;
}
