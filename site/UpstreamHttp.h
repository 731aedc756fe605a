#pragma once

#include <functional>
#include <string>

namespace skycall {

struct UpstreamAnswer {
  long status = 0;
  std::string body;
};

// One GET to a weather service. Throws SourceError: 504 when it does not answer in time,
// 502 when it cannot be reached or its answer is cut off or too large.
using UpstreamGet = std::function<UpstreamAnswer(const std::string& address)>;

// The GET through libcurl, with the time allowed for the whole call (connecting included).
// Call curl_global_init once before the first use.
UpstreamGet curlUpstream(double timeoutSeconds);

}  // namespace skycall
