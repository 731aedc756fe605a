// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "commands/FormState.h"
#include "interfaces/Voice.h"
#include "interfaces/Window.h"

namespace skycall {

// What the key commands need of the main window object.
class CommandHost {
 public:
  virtual ~CommandHost() = default;
  virtual FormState& state() = 0;
  virtual Window& window() = 0;
  virtual Voice& voice() = 0;
  virtual void sayit(const std::wstring& tempm) = 0;
  // Whether a screen reader runs now, which reads dialogs aloud itself.
  virtual bool screenReaderRunning() = 0;
  virtual void hold(double seconds) = 0;
  // Throws when the settings file cannot be written.
  virtual void saveprogress() = 0;
  // Throws FetchError when a page cannot be fetched.
  virtual void getinfo() = 0;
  // What the current conditions' topic ends with: how old the forecast is when it is older than
  // it should be (only where the topic has its rows), and the weather alerts in force.
  virtual std::wstring conditionsNotes(bool forecastHeard) = 0;
};

}  // namespace skycall
