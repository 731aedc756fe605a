// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "site/ForecastSource.h"

namespace skycall {

// The forecast site over http: the four pages for any location, 404 for every other address,
// one log line per request. Serves on worker threads; the source must allow that.
class SiteServer {
 public:
  SiteServer(ForecastSource& source, std::ostream& log);
  ~SiteServer();
  SiteServer(const SiteServer&) = delete;
  SiteServer& operator=(const SiteServer&) = delete;

  // Binds the address; port 0 picks a free one. Returns the port bound, or -1.
  int bind(const std::string& host, int port);
  // Serves until stop(); returns false when serving could not start.
  bool run();
  // Ends run(); callable from another thread.
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace skycall
