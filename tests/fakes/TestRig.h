#pragma once

#include <unistd.h>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "app/Form1.h"
#include "fakes/EventLog.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeFetcher.h"
#include "fakes/RecordingSpeech.h"
#include "fakes/RecordingWindow.h"

namespace skycall::fakes {

// A temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("skycall-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string readBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeBytes(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

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

  TestRig() {
    Platform p{window,
               [this]() -> std::unique_ptr<Voice> {
                 if (!voiceAnswers) throw SpeechError("speech-dispatcher does not answer");
                 auto v = std::make_unique<RecordingVoice>(log);
                 voice = v.get();
                 return v;
               },
               [this]() -> std::unique_ptr<ScreenReader> {
                 if (!screenReaderAnswers)
                   throw SpeechError("No screen reader answers on the session bus");
                 return std::make_unique<RecordingScreenReader>(log);
               },
               &keys,
               fetcher,
               clock,
               programFolder.path(),
               workingFolder.path(),
               "forecast.test"};
    form = std::make_unique<Form1>(std::move(p));
    window.setEventHandler(form.get());
  }

  std::filesystem::path settingsPath() const { return programFolder.path() / "progress.ini"; }
  std::string startupLog() const { return readBytes(workingFolder.path() / "debuglog.txt"); }
  std::vector<std::string> spoken() const { return log.with("voice3: "); }

  // Presses a key as the window would deliver it.
  void press(std::int16_t vk, std::int16_t shift = 0) { form->Form_KeyDown(vk, shift); }
};

}  // namespace skycall::fakes
