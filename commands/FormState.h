// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace skycall {

// The program state of the main window, by the names the whole program uses.
struct FormState {
  int JawsFlag = 0;               // 1 when the screen-reader object exists
  std::optional<int> SpeechMode;  // speech route 0..3; unassigned counts as 0
  int SendingKeys = 0;            // 1 while the read-title hot-key is being sent
  int MenuMode = 0;               // 1: keys step through the spoken topic menu
  int MenuPosition = 0;           // current topic 1..12; 0 = none chosen yet
  std::wstring Location;          // as the user gave it; spaces become "+" in a fetch
  std::wstring AppVersion;
  bool FetchRunning = false;      // a fetch cycle is between its first and last page
  bool ChangingLocation = false;  // a location change is between its prompt and its hold's end

  int route() const { return SpeechMode.value_or(0); }
  std::wstring normalCaption() const { return L"Skycall (v" + AppVersion + L") by Korvel"; }
};

// Raises a flag for as long as it lives, however the scope is left.
class ScopedFlag {
 public:
  explicit ScopedFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~ScopedFlag() { flag_ = false; }
  ScopedFlag(const ScopedFlag&) = delete;
  ScopedFlag& operator=(const ScopedFlag&) = delete;

 private:
  bool& flag_;
};

}  // namespace skycall
