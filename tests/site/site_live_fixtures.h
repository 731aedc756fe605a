#pragma once

// The weather services' answers as recorded-style fixtures, and a loopback stand-in for the two
// services that serves them.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace skycall::sitetest {

inline std::string fixture(const std::string& name) {
  std::ifstream file(std::string(SITE_FIXTURES) + "/" + name, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The geocoding and forecast services on a loopback port: answers by the query's name, a
// settable forecast answer, and a record of every request ("/v1/search?name=...").
class FakeWeatherServices {
 public:
  std::string forecastBody = fixture("forecast-springfield.json");
  int forecastStatus = 200;
  std::chrono::milliseconds forecastDelay{0};

  FakeWeatherServices() {
    server_.Get("/v1/search", [this](const httplib::Request& request, httplib::Response& response) {
      record(request);
      const std::string name = request.get_param_value("name");
      if (name.empty()) {
        response.status = 400;
        response.set_content(fixture("error-400.json"), "application/json");
      } else if (name == "62701") {
        response.set_content(fixture("geocoding-62701.json"), "application/json");
      } else if (name == "Springfield" || name == "Chicago") {
        response.set_content(fixture("geocoding-springfield.json"), "application/json");
      } else {
        response.set_content(fixture("geocoding-none.json"), "application/json");
      }
    });
    server_.Get("/v1/forecast",
                [this](const httplib::Request& request, httplib::Response& response) {
                  record(request);
                  std::this_thread::sleep_for(forecastDelay);
                  response.status = forecastStatus;
                  response.set_content(forecastBody, "application/json");
                });
    port_ = server_.bind_to_any_port("127.0.0.1");
    serving_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  ~FakeWeatherServices() {
    server_.stop();
    serving_.join();
  }

  std::string geocodingUrl() const { return base() + "/v1/search"; }
  std::string forecastUrl() const { return base() + "/v1/forecast"; }

  std::vector<std::string> requests() {
    const std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }

  void record(const httplib::Request& request) {
    std::string line = request.path;
    char separator = '?';
    for (const auto& [key, value] : request.params) {
      line += separator + key + "=" + value;
      separator = '&';
    }
    const std::lock_guard lock(mutex_);
    requests_.push_back(line);
  }

  httplib::Server server_;
  int port_ = 0;
  std::thread serving_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
};

}  // namespace skycall::sitetest
