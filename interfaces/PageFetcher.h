// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>

namespace skycall {

// A page as it came off the wire: the body bytes and the charset its response declared
// ("" when it declared none).
struct FetchedPage {
  std::string body;
  std::string charset;
};

// Any failed transfer: refused, timed out, cut off, too large, or an HTTP error status.
class FetchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The site answered that it has no forecast for the place asked about (HTTP 404).
class PlaceNotFound : public FetchError {
 public:
  using FetchError::FetchError;
};

// The site that answered runs as another user of this computer: nothing it says is read.
class SiteOfAnotherUser : public FetchError {
 public:
  using FetchError::FetchError;
};

// Blocking fetch of one page address; throws FetchError when the transfer fails.
class PageFetcher {
 public:
  virtual ~PageFetcher() = default;
  virtual FetchedPage fetch(const std::string& address) = 0;
};

}  // namespace skycall
