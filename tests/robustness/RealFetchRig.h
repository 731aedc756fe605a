#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Form1.h"
#include "fakes/TestRig.h"
#include "platform/CurlFetcher.h"

namespace skycall::robustness {

using SteadyClock = std::chrono::steady_clock;

inline double secondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// The settings file as the program writes it.
inline std::string settingsBytes(const std::string& route, const std::string& rate,
                                 const std::string& location) {
  std::string s = route + "\r\n" + rate + "\r\n\r\n" + location + "\r\n";
  for (int i = 0; i < 9; ++i) s += "\r\n";
  return s;
}

// The real libcurl fetcher, with limits short enough that every hostile transfer ends within
// seconds, and a record of the addresses asked for.
class CountingFetcher : public PageFetcher {
 public:
  std::vector<std::string> addresses;
  FetchedPage fetch(const std::string& address) override {
    addresses.push_back(address);
    return curl_.fetch(address);
  }

 private:
  CurlFetcher curl_{{.connectTimeoutMs = 1000,
                     .totalTimeoutMs = 3000,
                     .lowSpeedBytesPerSec = 100,
                     .lowSpeedSeconds = 2,
                     .maxBodyBytes = 1u << 20,
                     .maxRedirects = 5}};
};

// The main window object as the test rig wires it, but fetching through libcurl from a real
// http server. The clock reads Wednesday, the day the full forecast fixtures were taken on.
struct RealFetchRig {
  fakes::EventLog log;
  fakes::RecordingWindow window{log};
  CountingFetcher fetcher;
  fakes::FakeClock clock{4};
  fakes::RecordingKeySender keys{log};
  fakes::TempFolder programFolder, workingFolder;
  std::unique_ptr<Form1> form;

  explicit RealFetchRig(const std::string& host, const std::string& settings) {
    fakes::writeBytes(settingsPath(), settings);
    form = std::make_unique<Form1>(
        Platform{window, [this] { return std::make_unique<fakes::RecordingVoice>(log); },
                 [this] { return std::make_unique<fakes::RecordingScreenReader>(log); }, &keys,
                 fetcher, clock, programFolder.path(), workingFolder.path(), host});
    window.setEventHandler(form.get());
  }

  std::filesystem::path settingsPath() const { return programFolder.path() / "progress.ini"; }
  std::vector<std::string> spoken() const { return log.with("voice3: "); }
  std::vector<std::wstring> rows() const { return window.list.rows; }
  void press(std::int16_t vk, std::int16_t shift = 0) { form->Form_KeyDown(vk, shift); }

  // From a fresh start, Enter twice: the first announces the location topic, the second opens
  // the prompt, which gets answer.
  void changeLocation(const std::wstring& answer) {
    window.answers = {answer};
    if (form->MenuPosition == 0) press(13);
    press(13);
  }
};

}  // namespace skycall::robustness
