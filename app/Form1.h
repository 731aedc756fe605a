// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/Platform.h"
#include "app/SettingValue.h"
#include "app/StartupLog.h"
#include "commands/CommandHost.h"
#include "commands/FormState.h"

namespace skycall {

// The main window object: owns every piece of program state and handles every window event.
// Its names are the program's oldest. "Jaws" is the screen reader's own interface, route 3
// (JawsApi the object, JawsFlag 1 when it exists); "Sapi" is the text-to-speech voice, route 0;
// "Window eyes support" is route 2, the caption plus the screen reader's read-title hot-key;
// route 1 is the caption alone. tempm is the text to speak, and sayit sends it down the route.
class Form1 : public FormState, public CommandHost, public WindowEvents {
 public:
  explicit Form1(Platform platform);
  ~Form1() override;

  // Start-up, then (when start-up got through) the window shown; its activation follows.
  // Returns false when start-up ended the program before showing the window.
  bool start();

  // Window events.
  void Form_Load();
  void Form_Activate() override;
  void Form_KeyDown(std::int16_t& KeyCode, std::int16_t Shift) override;
  void Holder_Timer() override;
  void Form_Resize() override {}
  void Form_Unload() override {}

  // CommandHost.
  FormState& state() override { return *this; }
  skycall::Window& window() override { return platform_.window; }
  skycall::Voice& voice() override { return *Voice; }
  void sayit(const std::wstring& tempm) override;
  bool screenReaderRunning() override;
  void hold(double seconds) override;
  void saveprogress() override;
  void getinfo() override;

  void loadjaws();

  // Program state beyond the shared fields.
  std::unique_ptr<ScreenReader> JawsApi;
  std::unique_ptr<skycall::Voice> Voice;
  SettingValue SpareSetting;

  bool startupFailed() const { return startupFailed_; }

  // A line for the start-up log from outside the program's own steps; after start-up it is
  // added to the closed log.
  void logNote(const std::wstring& line);

 private:
  void readSettings();
  void createVoice();
  // The screen reader's interface did not take a text: the voice takes over, saying so.
  void screenReaderUnanswered(const std::wstring& text);

  Platform platform_;
  StartupLog log_;
  bool startupFailed_ = false;      // the start-up error trap fired
  bool voiceMissing_ = false;       // no voice: the voice route writes the caption instead
  std::wstring firstFetchFailure_;  // what the user hears when the first forecast failed
  bool welcomed_ = false;           // the welcome text is spoken on the first activation only
};

}  // namespace skycall
