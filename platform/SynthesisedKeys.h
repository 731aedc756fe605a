// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <deque>

namespace skycall {

// The key presses the program synthesised itself. The X server hands them to the window
// through Qt's own connection, which may be after the router's one event pump, when the
// guard against them is already down; the window drops them whenever they arrive.
class SynthesisedKeys {
 public:
  using Clock = std::chrono::steady_clock;
  // A press the screen reader swallowed never arrives; it is forgotten after this long.
  static constexpr std::chrono::milliseconds kLifetime{1000};

  void pressed(int vk, Clock::time_point at = Clock::now());
  // True, and the press forgotten, when vk was synthesised less than kLifetime ago.
  bool takeOwn(int vk, Clock::time_point at = Clock::now());

 private:
  struct Press {
    int vk;
    Clock::time_point at;
  };
  std::deque<Press> presses_;
};

}  // namespace skycall
