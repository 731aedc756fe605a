#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "integration/LoopbackServer.h"

namespace skycall::robustness {

// The ways a page of the forecast site can go wrong.
enum class Fault {
  None,
  NeverAnswers,    // the request is taken, no answer ever comes
  SlowDrip,        // headers at once, then a few bytes a second
  NotFound,        // 404 with a page full of markers as its body
  ServerError,     // 500, likewise
  CutOff,          // Content-Length twice what is sent, then the connection closes
  FiftyMegabytes,  // a 50 MB body sent in chunks, no length declared
  InvalidUtf8,     // declared UTF-8, holding none
  BinaryGarbage,   // random bytes
  RedirectLoop,    // the page redirects to itself
};

// The stand-in forecast site on 127.0.0.1: the four pages of a full forecast for any location,
// except one page of one location, given at construction, that has a fault. Records every request
// target exactly as it arrived.
class FaultSite {
 public:
  // page: "right-now", "today", "tomorrow" or "tenday"; location as it stands in the path.
  explicit FaultSite(std::string location = "", std::string page = "", Fault fault = Fault::None);
  ~FaultSite();
  std::string host() const { return server_.url("").substr(sizeof "http://" - 1); }
  // The request targets that came in since the last call.
  std::vector<std::string> takeTargets();

 private:
  void serve(const httplib::Request& req, httplib::Response& res);
  // Waits up to seconds, or until the site shuts down; true when it is shutting down.
  bool pause(double seconds);

  std::map<std::string, std::string> pages_;  // page name -> bytes of a full forecast page
  std::mutex mutex_;
  std::condition_variable shuttingDown_;
  bool stopping_ = false;
  const std::string faultLocation_, faultPage_;
  const Fault fault_;
  std::vector<std::string> targets_;
  testing::LoopbackServer server_;  // last: it stops before anything it serves from goes
};

}  // namespace skycall::robustness
