#pragma once

// The weather services' answers as recorded-style fixtures, and a loopback stand-in for the two
// services that serves them.

#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "integration/LoopbackServer.h"

namespace skycall::sitetest {

inline std::string fixture(const std::string& name) {
  std::ifstream file(std::string(SITE_FIXTURES) + "/" + name, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Geocoding answers by the query's name; the forecast answer, its status and delay are settable.
// Every request is recorded as "/v1/search?count=100&...&name=62701" (parameters sorted).
class FakeWeatherServices {
 public:
  std::string forecastBody = fixture("forecast-springfield.json");
  int forecastStatus = 200;
  std::chrono::milliseconds forecastDelay{0};

  FakeWeatherServices() {
    server_.http.Get("/v1/search", [this](const httplib::Request& request, auto& response) {
      const std::string name = record(request).get_param_value("name");
      response.status = name.empty() ? 400 : 200;
      response.set_content(
          fixture(name.empty()      ? "error-400.json"
                  : name == "62701" ? "geocoding-62701.json"
                  : name == "Springfield" || name == "Chicago"  // the site's "auto" probe
                      ? "geocoding-springfield.json"
                      : "geocoding-none.json"),
          "application/json");
    });
    server_.http.Get("/v1/forecast", [this](const httplib::Request& request, auto& response) {
      record(request);
      std::this_thread::sleep_for(forecastDelay);
      response.status = forecastStatus;
      response.set_content(forecastBody, "application/json");
    });
    server_.start();
  }

  std::string geocodingUrl() const { return server_.url("/v1/search"); }
  std::string forecastUrl() const { return server_.url("/v1/forecast"); }
  std::vector<std::string> requests() {
    const std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  const httplib::Request& record(const httplib::Request& request) {
    std::string line = request.path;
    for (const auto& [key, value] : request.params)
      line += (line == request.path ? "?" : "&") + key + "=" + value;
    const std::lock_guard lock(mutex_);
    requests_.push_back(line);
    return request;
  }

  std::mutex mutex_;
  std::vector<std::string> requests_;
  testing::LoopbackServer server_;  // last: it stops before what its handlers use goes
};

}  // namespace skycall::sitetest
