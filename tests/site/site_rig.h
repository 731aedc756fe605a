// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the site's tests share: the fixture files, the one loopback http server of these tests
// (a stand-in for the two weather services, answering from the fixtures as the services
// document their answers), skycall-site run as its own process, and the program's own fetch
// cycle reading a site.

#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fakes/FakeClock.h"
#include "fakes/VectorList.h"
#include "forecast/FetchCycle.h"
#include "forecast/TextCodec.h"

namespace skycall::sitetest {

inline std::string fixture(const std::string& name) {
  std::ifstream file(std::string(SITE_FIXTURES) + "/" + name, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The rows the program's fetch cycle makes of a site's four pages, on the given weekday.
inline std::vector<std::string> cycleRows(PageFetcher& fetcher, const std::string& host,
                                          const std::string& typed, int weekday) {
  fakes::VectorList list;
  std::wstring location = fromUtf8(typed);
  runFetchCycle(list, location, fetcher, fakes::FakeClock(weekday), host, {});
  std::vector<std::string> rows;
  for (const auto& row : list.rows) rows.push_back(toUtf8(row));
  return rows;
}

// The geocoding and forecast services on a loopback port. Both want the key their addresses
// carry. Geocoding answers come from geocoding.json by the name asked, filtered by countryCode
// and cut to count; the forecast answer is forecast-LATITUDE.json, else the Springfield one,
// cut to forecast_days.
class FakeWeatherServices {
 public:
  int forecastStatus = 200;
  std::chrono::milliseconds forecastDelay{0};

  FakeWeatherServices() {
    http_.Get("/v1/search", [this](const httplib::Request& request, httplib::Response& response) {
      if (!keyed(request, response)) return;
      // Names match whatever their case, as the service normalises them.
      const auto lowered = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
      };
      const auto answers = nlohmann::json::parse(fixture("geocoding.json"));
      auto results = nlohmann::json::array();
      for (const auto& [name, listed] : answers.items())
        for (const auto& result : listed)
          if (lowered(name) == lowered(request.get_param_value("name")) &&
              (!request.has_param("countryCode") ||
               result["country_code"] == request.get_param_value("countryCode")))
            results.push_back(result);
      const auto count = std::stoul(request.get_param_value("count"));
      if (results.size() > count) results.erase(results.begin() + count, results.end());
      nlohmann::json answer = {{"generationtime_ms", 0.4}};
      if (!results.empty()) answer["results"] = results;
      response.set_content(answer.dump(), "application/json");
    });
    http_.Get("/v1/forecast", [this](const httplib::Request& request, httplib::Response& response) {
      if (!keyed(request, response)) return;
      ++forecastRequests_;
      std::this_thread::sleep_for(forecastDelay);
      std::string body = fixture("forecast-" + request.get_param_value("latitude") + ".json");
      auto answer =
          nlohmann::json::parse(body.empty() ? fixture("forecast-springfield.json") : body);
      const std::size_t days = std::stoul(request.get_param_value("forecast_days"));
      for (auto& [series, hours] : {std::pair("daily", 1u), std::pair("hourly", 24u)})
        for (auto& values : answer[series])
          if (values.is_array() && values.size() > days * hours)
            values.erase(values.begin() + static_cast<long>(days * hours), values.end());
      response.status = forecastStatus;
      response.set_content(forecastStatus == 200 ? answer.dump() : fixture("error-400.json"),
                           "application/json");
    });
    port_ = http_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { http_.listen_after_bind(); });
    while (!http_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~FakeWeatherServices() {
    http_.stop();
    thread_.join();
  }

  // The services' addresses carry a key of their own, as a paid plan's do.
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path + "?apikey=k1";
  }
  int forecastRequests() const { return forecastRequests_; }

 private:
  static bool keyed(const httplib::Request& request, httplib::Response& response) {
    if (request.get_param_value("apikey") == "k1") return true;
    response.status = 400;
    response.set_content(fixture("error-400.json"), "application/json");
    return false;
  }

  httplib::Server http_;
  int port_ = 0;
  std::atomic<int> forecastRequests_ = 0;
  std::thread thread_;
};

// skycall-site as a user starts it, on a free loopback port unless the arguments say otherwise,
// its announcement and log read from one pipe. prefix runs before the binary (a wrapper).
class SiteProcess {
 public:
  explicit SiteProcess(std::vector<std::string> args = {}, std::vector<std::string> prefix = {}) {
    args.insert(args.begin(), {SKYCALL_SITE_BINARY, "--listen", "127.0.0.1:0"});
    args.insert(args.begin(), prefix.begin(), prefix.end());
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      dup2(out[1], STDERR_FILENO);
      std::vector<char*> argv;
      for (auto& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    // Kept open while the site runs: a closed pipe would end it at its next line.
    output_ = fdopen(out[0], "r");
    std::smatch match;
    while (port_ == 0 && !(announcement_ = readLine()).empty())
      if (std::regex_search(announcement_, match, std::regex(R"(http://[^ ]+:([0-9]+)/)")))
        port_ = std::stoi(match[1].str());
  }
  ~SiteProcess() {
    if (pid_ > 0 && !stopped_) stop(SIGKILL);
    if (output_) fclose(output_);
  }

  int port() const { return port_; }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  const std::string& announcement() const { return announcement_; }

  // Sends the signal and waits: the exit code, 128 + signal when it was killed, or -1 when it
  // did not end within five seconds.
  int stop(int signal) {
    stopped_ = true;
    kill(pid_, signal);
    int status = 0;
    for (int waited = 0; waited < 500; ++waited, usleep(10'000))
      if (waitpid(pid_, &status, WNOHANG) == pid_)
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    return -1;
  }

  // Everything the site wrote after its announcement; call after stop().
  std::string log() {
    std::string text;
    for (std::string line; !(line = readLine()).empty();) text += line;
    return text;
  }

 private:
  std::string readLine() {
    char line[1024] = "";
    return output_ && fgets(line, sizeof line, output_) ? line : "";
  }

  FILE* output_ = nullptr;
  pid_t pid_ = -1;
  int port_ = 0;
  bool stopped_ = false;
  std::string announcement_;
};

}  // namespace skycall::sitetest
