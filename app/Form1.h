// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/Platform.h"
#include "app/RefreshSchedule.h"
#include "app/SettingValue.h"
#include "app/StartupLog.h"
#include "commands/CommandHost.h"
#include "commands/FormState.h"
#include "forecast/WeatherAlerts.h"

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
  // Loads what is due away from the window's thread: the forecast again, or the alerts.
  void Refresher_Timer() override;
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
  std::wstring conditionsNotes(bool forecastHeard) override;

  // The computer woke from a suspend: the forecast is loaded again at once.
  void resumed();

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
  // The four pages and the alerts, or the alerts alone, loaded on the background thread.
  void refresh(std::time_t now, bool forecastToo);
  void refreshed(const std::wstring& location, const std::vector<std::wstring>& rows,
                 const std::string& failure);
  void alertsLoaded(const std::wstring& location, const std::vector<WeatherAlert>& alerts,
                    const std::string& failure);
  void announceAlerts(const std::vector<WeatherAlert>& fresh, const std::wstring& saidBefore);
  // New alerts said once, however the user listens: on the voice before any other speech, on
  // the screen reader's routes also as a desktop notification (the voice where there is none).
  void sayAlert(const std::wstring& text, bool severe, const std::wstring& saidBefore);
  void sayUrgently(const std::wstring& text);
  // A failure of the background's logged once for each spell of them.
  void logFailure(bool& failing, const std::string& what, const std::string& failure);

  Platform platform_;
  StartupLog log_;
  bool startupFailed_ = false;      // the start-up error trap fired
  bool voiceMissing_ = false;       // no voice: the voice route writes the caption instead
  std::wstring firstFetchFailure_;  // what the user hears when the first forecast failed
  bool welcomed_ = false;           // the welcome text is spoken on the first activation only
  RefreshSchedule schedule_;
  bool backgroundBusy_ = false;             // a load runs on the background thread
  bool refreshFailing_ = false;             // the last refresh failed (logged)
  bool alertsFailing_ = false;              // the last alerts check failed (logged)
  std::vector<WeatherAlert> alerts_;        // the place's alerts, as last loaded
  std::set<std::string> heardAlerts_;       // ids of the alerts said already
  std::vector<WeatherAlert> unsaidAlerts_;  // new before the welcome, said with it
};

}  // namespace skycall
