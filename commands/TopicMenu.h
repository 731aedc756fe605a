#pragma once

#include <cstdint>
#include <string>

#include "commands/CommandHost.h"
#include "forecast/ForecastList.h"

namespace skycall {

constexpr int kTopicCount = 12;

// The spoken text of a topic (1..12), composed from the rows the list holds now; a row the
// list does not have reads as the empty text.
std::wstring topicText(int topic, const std::wstring& location, const ForecastList& rows);

// One step of the spoken topic menu; Enter on the location topic changes the location.
void menukey(CommandHost& form, std::int16_t& KeyCode);

}  // namespace skycall
