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

// Limits short enough that every hostile transfer ends within seconds.
inline CurlFetcher::FetchLimits shortLimits() {
  CurlFetcher::FetchLimits limits;
  limits.connectTimeoutMs = 1000;
  limits.totalTimeoutMs = 3000;
  limits.lowSpeedBytesPerSec = 100;
  limits.lowSpeedSeconds = 2;
  limits.maxBodyBytes = 1u << 20;
  limits.maxRedirects = 5;
  return limits;
}

inline double secondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// One page fetch as the program made it.
struct FetchCall {
  std::string address;
  double seconds = 0;
  double longestUnserved = 0;  // longest stretch in which the window was not served
  bool failed = false;
};

// The real libcurl fetcher, timed: how long each page blocked its caller, and how long the
// window went without being served while it did.
class TimedFetcher : public PageFetcher {
 public:
  explicit TimedFetcher(CurlFetcher::FetchLimits limits) : curl_(limits, [this] { served(); }) {}

  std::vector<FetchCall> calls;
  std::function<void(const std::string&)> beforeFetch;  // runs as a page is asked for

  FetchedPage fetch(const std::string& address) override {
    if (beforeFetch) beforeFetch(address);
    FetchCall call{address};
    const auto started = SteadyClock::now();
    lastServed_ = started;
    longestUnserved_ = 0;
    try {
      FetchedPage page = curl_.fetch(address);
      finish(call, started);
      return page;
    } catch (...) {
      call.failed = true;
      finish(call, started);
      throw;
    }
  }

 private:
  void served() {
    longestUnserved_ = std::max(longestUnserved_, secondsSince(lastServed_));
    lastServed_ = SteadyClock::now();
  }
  void finish(FetchCall& call, SteadyClock::time_point started) {
    served();
    call.seconds = secondsSince(started);
    call.longestUnserved = longestUnserved_;
    calls.push_back(call);
  }

  CurlFetcher curl_;
  SteadyClock::time_point lastServed_;
  double longestUnserved_ = 0;
};

// The settings file as the program writes it.
inline std::string settingsBytes(const std::string& route, const std::string& rate,
                                 const std::string& location) {
  std::string s = route + "\r\n" + rate + "\r\n\r\n" + location + "\r\n";
  for (int i = 0; i < 9; ++i) s += "\r\n";
  return s;
}

// The main window object as the test rig wires it, but fetching through libcurl from a real
// http server. The clock reads Wednesday, the day the full forecast fixtures were taken on.
struct RealFetchRig {
  fakes::EventLog log;
  fakes::RecordingWindow window{log};
  TimedFetcher fetcher;
  fakes::FakeClock clock{4};
  fakes::RecordingKeySender keys{log};
  fakes::TempFolder programFolder;
  fakes::TempFolder workingFolder;
  fakes::RecordingVoice* voice = nullptr;
  std::unique_ptr<Form1> form;

  explicit RealFetchRig(const std::string& host, CurlFetcher::FetchLimits limits = shortLimits())
      : fetcher(limits) {
    Platform p{window,
               [this]() -> std::unique_ptr<Voice> {
                 auto v = std::make_unique<fakes::RecordingVoice>(log);
                 voice = v.get();
                 return v;
               },
               [this]() -> std::unique_ptr<ScreenReader> {
                 return std::make_unique<fakes::RecordingScreenReader>(log);
               },
               &keys,
               fetcher,
               clock,
               programFolder.path(),
               workingFolder.path(),
               host};
    form = std::make_unique<Form1>(std::move(p));
    window.setEventHandler(form.get());
  }

  std::filesystem::path settingsPath() const { return programFolder.path() / "progress.ini"; }
  std::string startupLog() const { return fakes::readBytes(workingFolder.path() / "debuglog.txt"); }
  std::vector<std::string> spoken() const { return log.with("voice3: "); }
  std::vector<std::wstring> rows() const { return window.list.rows; }
  void press(std::int16_t vk, std::int16_t shift = 0) { form->Form_KeyDown(vk, shift); }

  // Enter twice from a fresh start: the first only announces the location topic, the second
  // opens the prompt, which gets answer.
  void changeLocation(const std::wstring& answer) {
    window.answers = {answer};
    if (form->MenuPosition == 0) press(13);
    press(13);
  }
};

}  // namespace skycall::robustness
