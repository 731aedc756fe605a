#pragma once

#include <httplib.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace skycall::robustness {

// The ways a page of the forecast site can go wrong.
enum class Fault {
  None,
  NeverAnswers,       // the request is taken, no answer ever comes
  SlowDrip,           // headers at once, then a few bytes a second
  NotFound,           // 404 with a page full of markers as its body
  ServerError,        // 500, likewise
  CutOff,             // Content-Length twice what is sent, then the connection closes
  FiftyMegabytes,     // a 50 MB body with its length declared
  FiftyMegabytesRaw,  // a 50 MB body sent in chunks, no length declared
  InvalidUtf8,        // declared UTF-8, holding none
  BinaryGarbage,      // random bytes
  RedirectLoop,       // the page redirects to itself
};

// The stand-in forecast site on 127.0.0.1: the four pages of a full forecast for any location,
// except where a fault was injected for one page of one location. Records every request line
// target exactly as it arrived.
class FaultSite {
 public:
  FaultSite();
  ~FaultSite();
  FaultSite(const FaultSite&) = delete;
  FaultSite& operator=(const FaultSite&) = delete;

  // page: "right-now", "today", "tomorrow" or "tenday"; location as it stands in the path.
  void inject(const std::string& location, const std::string& page, Fault fault);

  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> targets() const;
  void forgetTargets();

 private:
  void serve(const httplib::Request& req, httplib::Response& res);
  void serveFault(Fault fault, const std::string& page, const httplib::Request& req,
                  httplib::Response& res);
  // Waits up to seconds, or until the site shuts down; true when it is shutting down.
  bool pause(double seconds);

  httplib::Server http_;
  std::thread thread_;
  int port_ = 0;
  std::map<std::string, std::string> pages_;  // page name -> bytes of a full forecast page
  mutable std::mutex mutex_;
  std::condition_variable shuttingDown_;
  bool stopping_ = false;
  std::map<std::string, std::pair<std::string, Fault>> faults_;  // location -> page, fault
  std::vector<std::string> targets_;
};

// A loopback port on which nothing listens.
int closedLoopbackPort();

}  // namespace skycall::robustness
