// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/AlertTexts.h"

#include "commands/TopicMenu.h"

namespace skycall {

std::wstring alertsText(const std::vector<WeatherAlert>& alerts, const Clock& clock,
                        bool withInstructions) {
  std::wstring text;
  const std::size_t read = std::min(alerts.size(), kAlertsReadAtOnce);
  const std::size_t more = alerts.size() - read;
  const std::wstring others =
      L"and " + std::to_wstring(more) + (more == 1 ? L" more alert" : L" more alerts");
  for (std::size_t i = 0; i < read; ++i) {
    const WeatherAlert& alert = alerts[i];
    std::wstring sentence = L"Weather alert: " + alert.event;
    if (alert.ends) sentence += L" until " + clock.timeOfDay(*alert.ends);
    // The count ends the last alert's sentence, unless its instruction follows it.
    if (more > 0 && i + 1 == read && !withInstructions) sentence += L", " + others;
    text = joinedTexts(text, sentence + L".");
    if (withInstructions) text = joinedTexts(text, alert.instruction);
  }
  if (more > 0 && withInstructions) text = joinedTexts(text, L"A" + others.substr(1) + L".");
  return text;
}

}  // namespace skycall
