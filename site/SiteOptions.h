#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace skycall {

enum class SourceChoice { Demo, Live, Auto };

struct SiteOptions {
  std::string host;  // the address to bind, always a loopback one
  int port = 0;      // 0: any free port (the site prints the one it got)
  SourceChoice source = SourceChoice::Demo;
  std::string geocodingUrl = "https://geocoding-api.open-meteo.com/v1/search";
  std::string forecastUrl = "https://api.open-meteo.com/v1/forecast";
  double upstreamTimeoutSeconds = 8.0;
  bool help = false;
};

// The command line of skycall-site (arguments after the program name). defaultListen is the
// build's forecast host ("localhost:8722"). Gives the options, or a message saying what is wrong.
std::variant<SiteOptions, std::string> parseSiteOptions(const std::vector<std::string>& args,
                                                        std::string_view defaultListen);

std::string siteUsage();

}  // namespace skycall
