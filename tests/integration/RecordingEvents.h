// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "speech/Window.h"

namespace skycall::testing {

// Records every window event in order; a Holder tick ends the hold the way the program's own
// tick handler does, by setting the interval to 0.
class RecordingEvents : public WindowEvents {
 public:
  explicit RecordingEvents(Window& window) : window_(window) { window.setEventHandler(this); }

  std::vector<std::string> events;
  std::vector<std::pair<int, int>> keys;  // virtual-key code, shift mask

  void Form_Activate() override { events.push_back("activate"); }
  void Form_KeyDown(std::int16_t& KeyCode, std::int16_t Shift) override {
    keys.emplace_back(KeyCode, Shift);
  }
  void Holder_Timer() override {
    events.push_back("tick");
    window_.setHolderInterval(0);
  }
  void Form_Resize() override { events.push_back("resize"); }
  void Form_Unload() override { events.push_back("unload"); }
  long count(const std::string& event) const { return std::ranges::count(events, event); }

 private:
  Window& window_;
};

}  // namespace skycall::testing
