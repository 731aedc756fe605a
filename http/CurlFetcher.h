// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <curl/curl.h>

#include <array>
#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "interfaces/PageFetcher.h"

namespace skycall {

// One end of a TCP connection: its numeric address ("127.0.0.1", "::1") and port.
struct Endpoint {
  std::string ip;
  int port = 0;
};

// Fetches forecast pages over http(s) with libcurl, keeping the connection to the site open
// from page to page. The transfer blocks its caller; whileWaiting runs about every 20 ms until
// the page is in, so the window can keep answering repaint and accessibility requests.
class CurlFetcher : public PageFetcher {
 public:
  struct FetchLimits {
    long connectTimeoutMs = 5000;
    long totalTimeoutMs = 20000;
    long lowSpeedBytesPerSec = 100;  // slower than this for lowSpeedSeconds fails
    long lowSpeedSeconds = 10;
    std::size_t maxBodyBytes = 8 << 20;
    long maxRedirects = 5;
  };

  CurlFetcher() : CurlFetcher(FetchLimits{}) {}
  explicit CurlFetcher(FetchLimits limits, std::function<void()> whileWaiting = {});
  ~CurlFetcher() override;
  CurlFetcher(const CurlFetcher&) = delete;
  CurlFetcher& operator=(const CurlFetcher&) = delete;

  // Called before each request, over a new connection or a kept one, with the site's end of the
  // connection and the fetcher's own; what it throws fails the fetch before anything is sent.
  // A fetcher so checked never goes through a proxy: the check must see the site itself.
  using ConnectionCheck = std::function<void(const Endpoint& site, const Endpoint& own)>;
  void checkEachConnection(ConnectionCheck check);

  // An answer with an error status is a failed transfer, as the program needs.
  FetchedPage fetch(const std::string& address) override;

  // The answer whatever its status, for callers that read error bodies; throws FetchError
  // (FetchTimedOut for a transfer past its time-out) only when the transfer itself fails.
  struct Answer {
    long status = 0;
    std::string body;
    std::string charset;
  };
  Answer get(const std::string& address);

  // Request headers sent with every later request ("Accept: application/geo+json").
  void setHeaders(const std::vector<std::string>& headers);

 private:
  void runTransfer();
  static int beforeRequest(void* self, char* siteIp, char* ownIp, int sitePort, int ownPort);

  FetchLimits limits_;
  std::function<void()> whileWaiting_;
  CURLM* multi_ = nullptr;  // owns the connection cache
  CURL* easy_ = nullptr;    // reused for every page
  curl_slist* headers_ = nullptr;
  std::array<char, CURL_ERROR_SIZE> curlError_{};
  bool busy_ = false;
  ConnectionCheck check_;
  std::exception_ptr refused_;  // what the check threw, out of libcurl's callback
};

class FetchTimedOut : public FetchError {
 public:
  using FetchError::FetchError;
};

// Nothing listens at the address's host and port.
class FetchRefused : public FetchError {
 public:
  using FetchError::FetchError;
};

// The charset parameter of a Content-Type value, lower-cased and unquoted; "" when it has none.
std::string charsetOf(const std::string& contentType);

}  // namespace skycall
