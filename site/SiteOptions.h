// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>
#include <variant>
#include <vector>

namespace skycall {

enum class SourceChoice { Demo, Live, Auto };

// The site's exit statuses besides 0: a command line it cannot honour, and an address another
// program (or another skycall-site) already serves on, or that cannot be published in the
// user's own folder; neither is worth starting again.
constexpr int kBadCommandLine = 2;
constexpr int kAddressTaken = 3;

struct SiteOptions {
  std::string host;  // the numeric loopback address to bind
  int port = 0;      // 0: any free port (the site publishes the one it got)
  SourceChoice source = SourceChoice::Demo;
  std::string geocodingUrl = "https://geocoding-api.open-meteo.com/v1/search";
  std::string forecastUrl = "https://api.open-meteo.com/v1/forecast";
  std::string alertsUrl = "https://api.weather.gov/alerts/active";
  std::string contact = "skycall@example.org";  // named to the alerts service with every call
  double upstreamTimeoutSeconds = 8.0;
};

// The command line of skycall-site (the arguments after the program name). Gives the options,
// or the exit status once --help or --version has printed its answer on out (0) or a wrong
// command line has been reported on err (2). The listen address must be a loopback one: the site
// serves this machine only; by default any free port on 127.0.0.1.
std::variant<SiteOptions, int> parseSiteOptions(const std::vector<std::string>& args,
                                                std::ostream& out, std::ostream& err);

}  // namespace skycall
