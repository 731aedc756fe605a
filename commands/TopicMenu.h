// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "commands/CommandHost.h"
#include "commands/SpokenTexts.h"
#include "interfaces/ForecastList.h"

namespace skycall {

constexpr int kTopicCount = 12;

// The spoken text of a topic (1..12), composed from the rows the list holds now; a topic
// whose rows the list does not have says that the forecast could not be loaded.
std::wstring topicText(int topic, const std::wstring& location, const ForecastList& rows);

// The rows of the list a topic (1..12) reads, in list order; none when the list does not have
// them all, and the topic says so.
std::vector<int> topicRows(int topic, const ForecastList& rows);

// Two texts of one key as one, two blanks between: said one after the other, the second
// would cut the first off.
std::wstring joinedTexts(const std::wstring& first, const std::wstring& second);

// One step of the spoken topic menu; Enter on the location topic changes the location.
// saidFirst, when given, is heard before the topic, in the same text.
void menukey(CommandHost& form, std::int16_t& KeyCode, const std::wstring& saidFirst = {});

}  // namespace skycall
