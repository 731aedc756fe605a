// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/KeyDispatcher.h"

#include <array>
#include <exception>

#include "commands/SpokenTexts.h"
#include "commands/TopicMenu.h"
#include "interfaces/KeyCodes.h"

namespace skycall {

namespace {

constexpr int kFastestRate = 10;
constexpr int kSlowestRate = -10;
constexpr int kLastRoute = 3;

// What choosing each speech route says, and whether it puts the normal caption back.
struct RouteAnnouncement {
  bool normalCaption;
  const wchar_t* name;
};
constexpr std::array<RouteAnnouncement, 4> kRouteAnnouncements = {{
    {true, L"Sapi on"},
    {false, L"Screen reader"},
    {false, L"Window eyes support"},
    {true, L"Jaws"},
}};

void switchRoute(CommandHost& form) {
  FormState& s = form.state();
  int route = s.route() + 1;
  if (route > kLastRoute) route = 0;
  s.SpeechMode = route;
  if (route == kLastRoute && s.JawsFlag != 1) {
    s.SpeechMode = 0;
    form.window().setCaption(s.normalCaption());
    form.sayit(kNoScreenReader);
    return;
  }
  if (route < 0) return;  // a route below 0 from a hand-edited settings file climbs silently
  const RouteAnnouncement& a = kRouteAnnouncements[route];
  if (a.normalCaption) form.window().setCaption(s.normalCaption());
  form.sayit(a.name);
}

// The voice's rate stays within what it accepts; at a bound the user hears so. Returns the
// text to say, which the topic that follows carries.
std::wstring stepRate(CommandHost& form, int step) {
  const int rate = form.voice().rate();
  const int bound = step > 0 ? kFastestRate : kSlowestRate;
  bool changed = false;
  if (step > 0 ? rate < bound : rate > bound) {
    try {
      form.voice().setRate(rate + step);
      changed = true;
    } catch (const std::exception&) {
    }
  }
  if (step > 0) return changed ? L"Sapi faster." : L"Sapi is at its fastest.";
  return changed ? L"Sapi slower." : L"Sapi is at its slowest.";
}

void quit(CommandHost& form) {
  try {
    form.saveprogress();
  } catch (const std::exception&) {
    form.sayit(L"The settings could not be saved.  Good bye");
    form.hold(2.5);
    form.window().endProgram();
    return;
  }
  form.sayit(L"Good bye");
  form.hold(0.5);
  form.window().endProgram();
}

void windowCommand(CommandHost& form, std::int16_t Shift) {
  if (Shift == mask::None) {
    form.sayit(L"Minimizing");
    form.window().minimize();
  } else if (Shift == mask::Shift) {
    quit(form);
  }
}

}  // namespace

void Form_KeyDown(CommandHost& form, std::int16_t& KeyCode, std::int16_t Shift) {
  FormState& s = form.state();
  if (s.SendingKeys == 1) return;  // the router's own read-title hot-key
  if (KeyCode == vk::Ctrl) {
    form.sayit(L"");
    return;
  }
  if (KeyCode == vk::OemSpecific || KeyCode == vk::Shift || KeyCode == vk::Alt) return;
  if (KeyCode == vk::Tab) {
    switchRoute(form);
    return;
  }
  std::wstring rateText;
  if (KeyCode == vk::PageUp) rateText = stepRate(form, +1);
  if (KeyCode == vk::PageDown) rateText = stepRate(form, -1);
  if (KeyCode == vk::Esc) {
    windowCommand(form, Shift);
    return;
  }
  menukey(form, KeyCode, rateText);
}

}  // namespace skycall
