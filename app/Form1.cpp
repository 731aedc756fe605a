// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Form1.h"

#include <exception>
#include <iostream>
#include <string>
#include <utility>

#include "app/CommandLine.h"
#include "app/SettingsFile.h"
#include "app/SideFiles.h"
#include "commands/AlertTexts.h"
#include "commands/KeyDispatcher.h"
#include "commands/LocationPrompt.h"
#include "commands/SpokenTexts.h"
#include "commands/TopicMenu.h"
#include "forecast/FetchCycle.h"
#include "forecast/RowList.h"
#include "speech/Hold.h"
#include "speech/LoadJaws.h"
#include "speech/MissingVoice.h"
#include "speech/SpeechRouter.h"
#include "text/TextCodec.h"

namespace skycall {

namespace {

constexpr wchar_t kLoading[] = L"Loading the forecast.";

std::wstring errorLine(const std::exception& e) {
  return L"error: " + fromUtf8(e.what());
}

}  // namespace

Form1::Form1(Platform platform)
    : platform_(std::move(platform)), schedule_(platform_.refreshTimes) {
  // An alert whose notification was not taken is said by the voice.
  if (platform_.notifier)
    platform_.notifier->unanswered = [this](const std::wstring& body) { sayUrgently(body); };
}

Form1::~Form1() = default;

bool Form1::start() {
  Form_Load();
  if (startupFailed_) return false;
  // The window runs the activation once it really holds the focus.
  window().showAndActivate();
  return true;
}

void Form1::createVoice() {
  try {
    Voice = platform_.createVoice();
    if (!Voice) throw SpeechError("No text-to-speech voice is available");
    if (!Voice->answered())
      log_.line(L"error: Speech Dispatcher does not answer yet; the voice's texts wait for it");
  } catch (const std::exception& e) {
    // Without speech-dispatcher the caption routes still work, and the voice route's texts
    // are shown on the caption.
    log_.line(errorLine(e));
    Voice = std::make_unique<MissingVoice>();
    voiceMissing_ = true;
  }
}

void Form1::Form_Load() {
  AppVersion = fromUtf8(kProgramVersion);
  log_.open(platform_.workingFolder / kStartupLogName);
  try {
    createVoice();
    SendingKeys = 0;
    JawsFlag = 0;
    Voice->setRate(3);
    Voice->setVolume(100);
    log_.line(L"Starting program");
    for (const std::wstring& note : platform_.startupNotes) log_.line(note);
    // No route is chosen yet: the voice says it, before the screen reader's interface is
    // looked for on the buses, which may keep the user waiting.
    sayit(kLoading);
    window().pumpEvents();
    log_.line(L"Loading JAWS Api");
    loadjaws();
    log_.line(L"Version is " + AppVersion);
    // The version file is only a note for whoever looks; the program runs without it.
    try {
      writeVersionFile(platform_.workingFolder, AppVersion);
    } catch (const std::exception& e) {
      std::cerr << "skycall: " << e.what() << "; the program goes on without it\n";
      log_.line(errorLine(e));
    }
    window().setCaption(normalCaption());
    SpeechMode = 0;
    log_.line(L"Sapi is set to " + std::to_wstring(route()));
    MenuMode = 1;
    MenuPosition = 0;
    log_.line(L"Loading settings/progress");
    Location = L"";
    readSettings();
    if (Location.empty() || Location == L"0") {
      // On the voice, the box's question would cut the loading text off: both are said as one.
      const auto typed = promptForLocation(*this, route() == kVoiceRoute ? kLoading : L"");
      if (!typed) {
        // Leaving the first box is how a new user says no: the program ends, saving nothing.
        log_.close();
        window().endProgram();
        return;
      }
      Location = *typed;
    }
    log_.line(L"Adding to System Tray");
    log_.line(L"Load finished.");
    log_.close();
  } catch (const std::exception& e) {
    log_.line(errorLine(e));
    log_.close();
    startupFailed_ = true;
    return;
  }
  // A first forecast that cannot be loaded still leaves the user a window to change the
  // location from, and is heard with the welcome.
  try {
    getinfo();
  } catch (const std::exception& e) {
    log_.append(errorLine(e));
    firstFetchFailure_ = fetchFailureText(e);
  }
  // The alerts, then whatever else is due, away from the window.
  Refresher_Timer();
}

void Form1::readSettings() {
  const auto path = platform_.programFolder / kSettingsFileName;
  std::error_code missing;
  if (!std::filesystem::exists(path, missing)) return;
  // A short or damaged file keeps what was read before the fault; start-up goes on.
  try {
    SettingsReader in(readSettingsText(path));
    const SettingValue mode = in.readValue();
    SpeechMode = wholeNumber(mode);
    Voice->setRate(wholeNumber(in.readValue()).value_or(0));
    SpareSetting = in.readValue();
    Location = in.readLine();
    for (int i = 5; i <= kSettingsLines; ++i) in.readValue();
  } catch (const std::exception& e) {
    log_.line(errorLine(e));
  }
}

void Form1::Form_Activate() {
  if (welcomed_) return;
  welcomed_ = true;
  // Two texts in a row would cut each other off on the voice, so what went wrong joins the
  // welcome.
  std::wstring welcome = joinedTexts(L"Welcome to Skycall. Version " + AppVersion + L", by Korvel.",
                                     firstFetchFailure_);
  // A saved screen-reader route with no screen reader answering would leave the user in
  // silence; fall back to the voice as Tab does. So does a route that does not exist (a
  // hand-edited file), quietly: nothing was ever heard on it.
  if (route() < kVoiceRoute || route() > kScreenReaderRoute) SpeechMode = kVoiceRoute;
  if (route() == kScreenReaderRoute && JawsFlag != 1) {
    SpeechMode = kVoiceRoute;
    welcome = joinedTexts(welcome, kNoScreenReader);
  }
  if (!unsaidAlerts_.empty()) return announceAlerts(std::exchange(unsaidAlerts_, {}), welcome);
  sayit(welcome);
}

void Form1::screenReaderUnanswered(const std::wstring& text) {
  if (route() != kScreenReaderRoute) return;
  SpeechMode = kVoiceRoute;
  // Kept in the log too: a key pressed at once cuts the spoken reason off.
  logNote(L"error: The screen reader did not take a text; the voice speaks from now on");
  sayit(joinedTexts(text, kNoScreenReader));
}

void Form1::Form_KeyDown(std::int16_t& KeyCode, std::int16_t Shift) {
  try {
    skycall::Form_KeyDown(*this, KeyCode, Shift);
  } catch (const std::exception&) {
    // A command that fails must not take the program down with it.
  }
  // A location change just made wants its alerts now, not at the next tick.
  Refresher_Timer();
}

void Form1::Holder_Timer() {
  holderTick(window());
}

void Form1::sayit(const std::wstring& tempm) {
  // With no voice to speak them, the voice route's texts are shown on the caption.
  const int mode = route() == kVoiceRoute && voiceMissing_ ? int(kCaptionRoute) : route();
  skycall::sayit(tempm, mode, SendingKeys,
                 SpeechOutputs{window(), Voice.get(), JawsApi.get(), platform_.keys});
}

bool Form1::screenReaderRunning() {
  return platform_.screenReaderRunning && platform_.screenReaderRunning();
}

void Form1::hold(double seconds) {
  skycall::hold(seconds, window());
}

void Form1::saveprogress() {
  const SettingValue mode =
      SpeechMode ? SettingValue(static_cast<double>(*SpeechMode)) : SettingValue();
  writeFileAtomically(platform_.programFolder / kSettingsFileName,
                      settingsFileBytes(mode, Voice->rate(), SpareSetting, Location));
}

void Form1::getinfo() {
  ScopedFlag running(FetchRunning);
  // The location is saved the way the site is asked, even when the cycle fails.
  Location = siteLocation(Location);
  const Clock& clock = platform_.clock;
  try {
    runFetchCycle(window().List1(), Location, platform_.fetcher, clock.weekday(),
                  platform_.forecastHost, [this] { window().pumpEvents(); });
  } catch (const std::exception&) {
    schedule_.failed(clock.now());
    throw;
  }
  schedule_.loaded(clock.now(), clock.nextMidnight(clock.now()));
  schedule_.alertsDueNow();
}

std::wstring Form1::conditionsNotes(bool forecastHeard) {
  const Clock& clock = platform_.clock;
  const std::time_t now = clock.now();
  std::wstring age;
  if (const auto since = schedule_.staleSince(now); since && forecastHeard)
    age = L"This forecast is from " + clock.timeOfDay(*since) + L".";
  std::vector<WeatherAlert> inForce;
  for (const WeatherAlert& alert : alerts_)
    if (alert.inForce(now)) inForce.push_back(alert);
  return joinedTexts(age, alertsText(inForce, clock, true));
}

void Form1::resumed() {
  schedule_.wokeUp();
  Refresher_Timer();
}

void Form1::Refresher_Timer() {
  // One load at a time, never beside the user's own, and none after start-up failed.
  if (!platform_.background || backgroundBusy_ || FetchRunning || ChangingLocation ||
      startupFailed_ || Location.empty())
    return;
  const std::time_t now = platform_.clock.now();
  if (schedule_.refreshDue(now))
    refresh(now, true);
  else if (schedule_.alertsDue(now))
    refresh(now, false);
}

void Form1::refresh(std::time_t now, bool forecastToo) {
  backgroundBusy_ = true;
  schedule_.alertsAsked(now);
  // The job sees only copies: it runs beside the window's thread.
  PageFetcher& fetcher = *platform_.backgroundFetcher;
  const std::string host = platform_.forecastHost;
  const std::wstring location = Location;
  const int weekday = platform_.clock.weekday(now);
  platform_.background->run([=, this, &fetcher]() -> Background::Result {
    RowList rows;
    std::string failure;
    if (forecastToo) {
      try {
        runFetchCycle(rows, location, fetcher, weekday, host, {});
      } catch (const std::exception& e) {
        failure = e.what();
      }
    }
    std::vector<WeatherAlert> alerts;
    std::string alertsFailure;
    try {
      alerts = fetchAlerts(fetcher, host, location);
    } catch (const std::exception& e) {
      alertsFailure = e.what();
    }
    return [=, this] {
      backgroundBusy_ = false;
      if (forecastToo) refreshed(location, rows.rows, failure);
      alertsLoaded(location, alerts, alertsFailure);
      Refresher_Timer();
    };
  });
}

void Form1::refreshed(const std::wstring& location, const std::vector<std::wstring>& rows,
                      const std::string& failure) {
  // A forecast for a place the user has left, or one the user is loading anew, is dropped.
  if (location != Location || FetchRunning || ChangingLocation) return;
  const Clock& clock = platform_.clock;
  if (!failure.empty()) {
    schedule_.failed(clock.now());
    return logFailure(refreshFailing_, "the forecast could not be loaded again", failure);
  }
  refreshFailing_ = false;
  // In one step, between two keys: a key hears the old forecast or the new, never half of one.
  window().List1().replace(rows);
  schedule_.loaded(clock.now(), clock.nextMidnight(clock.now()));
}

void Form1::alertsLoaded(const std::wstring& location, const std::vector<WeatherAlert>& alerts,
                         const std::string& failure) {
  if (location != Location) return;
  if (!failure.empty())
    return logFailure(alertsFailing_, "the weather alerts could not be checked", failure);
  alertsFailing_ = false;
  alerts_ = alerts;
  const std::time_t now = platform_.clock.now();
  std::vector<WeatherAlert> fresh;
  for (const WeatherAlert& alert : alerts)
    if (alert.inForce(now) && heardAlerts_.insert(alert.id).second) fresh.push_back(alert);
  if (fresh.empty()) return;
  if (!welcomed_) {
    unsaidAlerts_.insert(unsaidAlerts_.end(), fresh.begin(), fresh.end());
    return;
  }
  announceAlerts(fresh, L"");
}

void Form1::announceAlerts(const std::vector<WeatherAlert>& fresh, const std::wstring& saidBefore) {
  bool severe = false;
  for (const WeatherAlert& alert : fresh) severe = severe || alert.severity >= Severity::Severe;
  sayAlert(alertsText(fresh, platform_.clock, false), severe, saidBefore);
}

void Form1::sayAlert(const std::wstring& text, bool severe, const std::wstring& saidBefore) {
  const std::wstring said = joinedTexts(saidBefore, text);
  if (route() == kVoiceRoute && !voiceMissing_) return sayUrgently(said);
  // The caption does not reach a user in another window; a notification does.
  sayit(said);
  Notifier* notifier = platform_.notifier;
  if (notifier == nullptr || !notifier->notify(L"Skycall", text, severe)) sayUrgently(text);
}

void Form1::sayUrgently(const std::wstring& text) {
  skycall::sayit(text, kVoiceRoute, SendingKeys,
                 SpeechOutputs{window(), Voice.get(), JawsApi.get(), platform_.keys}, true);
}

void Form1::logFailure(bool& failing, const std::string& what, const std::string& failure) {
  if (std::exchange(failing, true)) return;
  log_.append(L"error: " + fromUtf8(what) + L": " + fromUtf8(failure));
}

void Form1::loadjaws() {
  JawsApi = skycall::loadjaws(platform_.createScreenReader, JawsFlag,
                              [this](const std::string& line) { log_.line(fromUtf8(line)); });
  if (JawsApi)
    JawsApi->unanswered = [this](const std::wstring& text) { screenReaderUnanswered(text); };
}

void Form1::logNote(const std::wstring& line) {
  log_.isOpen() ? log_.line(line) : log_.append(line);
}

}  // namespace skycall
