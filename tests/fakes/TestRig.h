#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app/Form1.h"
#include "fakes/EventLog.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeFetcher.h"
#include "fakes/Files.h"
#include "fakes/RecordingSpeech.h"
#include "fakes/RecordingWindow.h"

namespace skycall::fakes {

// The main window object wired to recording fakes, with its files in temporary folders.
struct TestRig {
  EventLog log;
  RecordingWindow window{log};
  FakeFetcher fetcher;
  FakeClock clock{1};
  RecordingKeySender keys{log};
  TempFolder programFolder;
  TempFolder workingFolder;
  bool screenReaderAnswers = true;
  bool voiceAnswers = true;
  RecordingVoice* voice = nullptr;  // owned by the form once created
  std::unique_ptr<Form1> form;

  // pages: the fetcher the form fetches through instead of the fake one (it must outlive the
  // rig); host: the forecast host it asks.
  explicit TestRig(PageFetcher* pages = nullptr, std::string host = "forecast.test") {
    auto makeVoice = [this]() -> std::unique_ptr<Voice> {
      if (!voiceAnswers) throw SpeechError("speech-dispatcher does not answer");
      auto v = std::make_unique<RecordingVoice>(log);
      voice = v.get();
      return v;
    };
    auto makeReader = [this]() -> std::unique_ptr<ScreenReader> {
      if (!screenReaderAnswers) throw SpeechError("No screen reader answers on the session bus");
      return std::make_unique<RecordingScreenReader>(log);
    };
    form = std::make_unique<Form1>(Platform{window, makeVoice, makeReader, &keys,
                                            pages ? *pages : fetcher, clock, programFolder.path(),
                                            workingFolder.path(), std::move(host)});
    window.setEventHandler(form.get());
  }

  std::filesystem::path settingsPath() const { return programFolder.path() / "progress.ini"; }
  std::string startupLog() const { return readBytes(workingFolder.path() / "debuglog.txt"); }
  std::vector<std::string> spoken() const { return log.with("voice3: "); }
  std::vector<std::wstring> rows() const { return window.list.rows; }

  // Presses a key as the window would deliver it.
  void press(std::int16_t vk, std::int16_t shift = 0) { form->Form_KeyDown(vk, shift); }
};

}  // namespace skycall::fakes
