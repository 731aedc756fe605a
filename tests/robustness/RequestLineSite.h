#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace skycall::robustness {

// A forecast site on 127.0.0.1 that takes request lines of any length (the packaged http
// server refuses lines past 8 KB) and records each request target byte for byte. Every page
// of every location gets the full forecast page. One connection at a time, as the program
// fetches.
class RequestLineSite {
 public:
  RequestLineSite();
  ~RequestLineSite();
  RequestLineSite(const RequestLineSite&) = delete;
  RequestLineSite& operator=(const RequestLineSite&) = delete;

  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> targets() const;
  void forgetTargets();

 private:
  void run();
  void serveConnection(int connection);
  std::string answerFor(const std::string& target) const;

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  std::map<std::string, std::string> pages_;  // page name -> full forecast page
  mutable std::mutex mutex_;
  std::vector<std::string> targets_;
};

}  // namespace skycall::robustness
