#pragma once

#include <string>
#include <vector>

#include "forecast/TextCodec.h"

namespace skycall::fakes {

// One ordered record of what every fake saw, so tests can check the order across them:
// "caption=Hello", "pump", "key 17 down", "voice: Hello", ...
struct EventLog {
  std::vector<std::string> entries;

  void add(std::string entry) { entries.push_back(std::move(entry)); }
  void add(const std::string& what, const std::wstring& text) {
    entries.push_back(what + toUtf8(text));
  }
  // The entries that start with prefix, in order, prefix removed.
  std::vector<std::string> with(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& e : entries)
      if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(prefix.size()));
    return out;
  }
};

}  // namespace skycall::fakes
