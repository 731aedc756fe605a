// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Form1.h"

#include <exception>
#include <iostream>
#include <string>

#include "app/CommandLine.h"
#include "app/SettingsFile.h"
#include "app/SideFiles.h"
#include "commands/KeyDispatcher.h"
#include "commands/LocationPrompt.h"
#include "commands/SpokenTexts.h"
#include "commands/TopicMenu.h"
#include "forecast/FetchCycle.h"
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

Form1::Form1(Platform platform) : platform_(std::move(platform)) {}

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
  sayit(welcome);
}

void Form1::screenReaderUnanswered(const std::wstring& text) {
  if (route() != kScreenReaderRoute) return;
  SpeechMode = kVoiceRoute;
  sayit(joinedTexts(text, kNoScreenReader));
}

void Form1::Form_KeyDown(std::int16_t& KeyCode, std::int16_t Shift) {
  try {
    skycall::Form_KeyDown(*this, KeyCode, Shift);
  } catch (const std::exception&) {
    // A command that fails must not take the program down with it.
  }
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
  runFetchCycle(window().List1(), Location, platform_.fetcher, platform_.clock,
                platform_.forecastHost, [this] { window().pumpEvents(); });
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
