// SPDX-License-Identifier: GPL-3.0-or-later
// The alerts page as anyone may serve it: read or refused, never a crash or a flood; what is
// read is bounded, speakable and most severe first.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "forecast/WeatherAlerts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<skycall::WeatherAlert> alerts;
  try {
    alerts = skycall::readAlertsPage(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const std::runtime_error&) {
    return 0;
  }
  if (alerts.size() > 100) std::abort();
  for (std::size_t i = 0; i < alerts.size(); ++i) {
    const skycall::WeatherAlert& alert = alerts[i];
    if (alert.id.empty() || alert.event.empty() || alert.event.size() > 100) std::abort();
    if (alert.instruction.size() > skycall::kLongestInstruction) std::abort();
    for (const std::wstring* text : {&alert.event, &alert.instruction})
      for (const wchar_t c : *text)
        if (c < 0x20 || c == L'<' || (c & 0xFFFE) == 0xFFFE) std::abort();
    if (i > 0 && alert.severity > alerts[i - 1].severity) std::abort();
  }
  return 0;
}
