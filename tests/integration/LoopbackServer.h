#pragma once

#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

namespace skycall::testing {

// An http server on 127.0.0.1 and a free port, serving from a thread of its own for as long as
// it lives. Register the routes on `http` before start().
class LoopbackServer {
 public:
  httplib::Server http;

  void start() {
    port_ = http.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { http.listen_after_bind(); });
    // A stop before the accept loop runs would be lost and the join would never return.
    while (!http.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  ~LoopbackServer() {
    http.stop();
    if (thread_.joinable()) thread_.join();
  }

  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  int port_ = 0;
  std::thread thread_;
};

}  // namespace skycall::testing
