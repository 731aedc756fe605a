// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>

#include "site/ForecastData.h"

namespace skycall {

// A forecast that cannot be given; status is the HTTP status the site answers with
// (404 unknown location, 502 the weather service failed, 504 it did not answer in time).
class SourceError : public std::runtime_error {
 public:
  SourceError(int status, const std::string& message)
      : std::runtime_error(message), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

// Where the site's weather comes from. Called from the server's worker threads.
class ForecastSource {
 public:
  virtual ~ForecastSource() = default;
  // location as the request named it, blanks as blanks; throws SourceError.
  virtual ForecastData forecastFor(const std::string& location) = 0;
};

}  // namespace skycall
