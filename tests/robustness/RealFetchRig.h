#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fakes/TestRig.h"
#include "platform/CurlFetcher.h"

namespace skycall::robustness {

using SteadyClock = std::chrono::steady_clock;

inline double secondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

using fakes::settingsFile;

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

// Built before the rig, so the form's fetcher exists before the form does.
struct CountingFetcherHolder {
  CountingFetcher counting;
};

// The test rig fetching through libcurl from a real http server. The clock reads Wednesday, the
// day the full forecast fixtures were taken on.
class RealFetchRig : private CountingFetcherHolder, public fakes::TestRig {
 public:
  RealFetchRig(const std::string& host, const std::string& settings)
      : TestRig(&counting, host), fetcher(counting) {
    clock.set(4);
    fakes::writeBytes(settingsPath(), settings);
  }

  CountingFetcher& fetcher;  // hides the rig's fake fetcher, which this rig does not use

  // From a fresh start, Enter twice: the first announces the location topic, the second opens
  // the prompt, which gets answer.
  void changeLocation(const std::wstring& answer) {
    window.answers = {answer};
    if (form->MenuPosition == 0) press(13);
    press(13);
  }
};

}  // namespace skycall::robustness
