#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "forecast/PageFetcher.h"

namespace skycall::fakes {

// Serves pages by the path part of the address ("/weather/today/..." matches the first path
// key the address contains); records every address asked for.
class FakeFetcher : public PageFetcher {
 public:
  std::vector<std::string> addresses;
  std::map<std::string, FetchedPage> pages;         // path prefix -> page
  std::string failOn;                               // a path prefix whose fetch fails
  std::function<void(const std::string&)> onFetch;  // runs inside the fetch

  FetchedPage fetch(const std::string& address) override {
    addresses.push_back(address);
    if (onFetch) onFetch(address);
    if (!failOn.empty() && address.find(failOn) != std::string::npos)
      throw FetchError("Could not connect to the forecast site");
    for (const auto& [path, page] : pages)
      if (address.find(path) != std::string::npos) return page;
    return {};
  }
};

}  // namespace skycall::fakes
