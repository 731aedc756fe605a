// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "interfaces/ForecastList.h"

namespace skycall {

// The handlers of the main window's events.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void Form_Activate() = 0;
  // KeyCode: Windows virtual-key code; Shift: 1 Shift, 2 Ctrl, 4 Alt.
  virtual void Form_KeyDown(std::int16_t& KeyCode, std::int16_t Shift) = 0;
  virtual void Holder_Timer() = 0;
  // The Refresher timer: a tick every few seconds while the program runs.
  virtual void Refresher_Timer() {}
  virtual void Form_Resize() = 0;
  virtual void Form_Unload() = 0;
};

// The main window: caption, list box, the Holder timer, the location box, the event pump.
class Window {
 public:
  virtual ~Window() = default;

  virtual void setEventHandler(WindowEvents* handler) = 0;

  virtual std::wstring caption() const = 0;
  // announced: the screen reader is told of the new caption. Not where the read-title key that
  // follows makes it read the title itself.
  virtual void setCaption(const std::wstring& text, bool announced = true) = 0;

  // The list box List1.
  virtual ForecastList& List1() = 0;

  // What a low-vision user sees of the speech: the last text said, shown large; and the rows of
  // List1 the current topic reads (none for a topic that reads none), selected and in view.
  virtual void showSaid(const std::wstring& text) = 0;
  virtual void showTopicRows(const std::vector<int>& rows) = 0;

  // Processes the events that are pending, once, and returns.
  virtual void pumpEvents() = 0;
  // Processes pending events, sleeping until at least one arrives when none is pending.
  virtual void waitForEvents() = 0;

  // The Holder timer: while enabled with an interval above 0 it ticks (Holder_Timer) once per
  // interval. Intervals outside 0..65535 ms are refused with SpeechError.
  virtual void setHolderEnabled(bool enabled) = 0;
  virtual bool holderEnabled() const = 0;
  virtual void setHolderInterval(int milliseconds) = 0;
  virtual int holderInterval() const = 0;

  // Modal text input box: the text given with Enter, or none when the box was left with Esc,
  // Cancel or its close button.
  virtual std::optional<std::wstring> inputBox(const std::wstring& prompt,
                                               const std::wstring& title,
                                               const std::wstring& defaultText) = 0;

  // Shows the window and asks for it to become the active window. Form_Activate follows once
  // it is the active window holding the keyboard focus, or after a short time-out.
  virtual void showAndActivate() = 0;
  virtual void minimize() = 0;
  // Ends the program at once; no further window event is handled.
  virtual void endProgram() = 0;
};

}  // namespace skycall
