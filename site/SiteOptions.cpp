// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/SiteOptions.h"

#include <CLI/CLI.hpp>
#include <regex>

#ifndef SKYCALL_VERSION
#define SKYCALL_VERSION "0"
#endif

namespace skycall {

namespace {

// "HOST:PORT" or a bare HOST (port 80), the host a loopback one; what is wrong with it, or "".
// localhost is always 127.0.0.1: a hosts file that lists ::1 first would otherwise leave the
// program, which may try IPv4 alone, nothing to reach.
std::string takeListen(const std::string& text, SiteOptions& options) {
  std::smatch part;
  if (!std::regex_match(text, part, std::regex(R"(^(\[.*\]|[^:]*)(?::(.*))?$)")))
    return "not a HOST:PORT address: \"" + text + "\"";
  const std::string host = part[1], port = part[2].matched ? part[2].str() : "80";
  if (!std::regex_match(port, std::regex(R"(\d{1,5})")) || std::stoi(port) > 65535)
    return "not a port number: \"" + port + "\"";
  options.port = std::stoi(port);
  const std::regex v4(R"(127(\.(25[0-5]|2[0-4]\d|1?\d?\d)){3})");
  options.host = host == "localhost"          ? "127.0.0.1"
                 : host == "[::1]"            ? "::1"
                 : std::regex_match(host, v4) ? host
                                              : "";
  if (options.host.empty())
    return "not a loopback host: \"" + host + "\" (the site serves this machine only)";
  return "";
}

}  // namespace

std::variant<SiteOptions, int> parseSiteOptions(const std::vector<std::string>& args,
                                                std::ostream& out, std::ostream& err) {
  SiteOptions options;
  std::string listen = "localhost:0";
  std::string source = "demo";
  CLI::App app("skycall-site: the stand-in forecast site Skycall reads its four pages from.",
               "skycall-site");
  app.option_defaults()->always_capture_default();
  app.set_version_flag("--version", "skycall-site " SKYCALL_VERSION);
  app.add_option("--listen", listen,
                 "loopback HOST:PORT to serve on (port 0: any free port); published in the "
                 "user's runtime folder, where Skycall looks");
  app.add_option("--source", source,
                 "demo: made-up weather; live: the Open-Meteo services; auto: live when the "
                 "services answer at start, demo otherwise")
      ->check(CLI::IsMember({"demo", "live", "auto"}));
  app.add_option("--geocoding-url", options.geocodingUrl, "the geocoding service's address");
  app.add_option("--forecast-url", options.forecastUrl, "the forecast service's address");
  app.add_option("--alerts-url", options.alertsUrl,
                 "the weather alerts service's address (the National Weather Service's)");
  app.add_option("--contact", options.contact,
                 "a contact address the alerts service is given with every call, as it asks");
  app.add_option("--timeout", options.upstreamTimeoutSeconds,
                 "seconds allowed for each call to those services")
      ->check(CLI::PositiveNumber);
  try {
    app.parse(std::vector<std::string>(args.rbegin(), args.rend()));  // as CLI11 takes them
  } catch (const CLI::ParseError& error) {
    return app.exit(error, out, err) == 0 ? 0 : kBadCommandLine;
  }
  if (const std::string problem = takeListen(listen, options); !problem.empty()) {
    err << "skycall-site: " << problem << "\n";
    return kBadCommandLine;
  }
  options.source = source == "live"   ? SourceChoice::Live
                   : source == "auto" ? SourceChoice::Auto
                                      : SourceChoice::Demo;
  return options;
}

}  // namespace skycall
