// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/SiteOptions.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <memory>

#ifndef SKYCALL_VERSION
#define SKYCALL_VERSION "0"
#endif

namespace skycall {

namespace {

// The numeric address a host name resolves to, when that address is on this machine's
// loopback ("localhost", 127.x.x.x, ::1, or a name for one of them); "" otherwise.
std::string loopbackAddressOf(std::string host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return "";
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owned(found, &freeaddrinfo);
  char numeric[INET6_ADDRSTRLEN] = "";
  if (found->ai_family == AF_INET) {
    const in_addr address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    if ((ntohl(address.s_addr) >> 24) != 127) return "";
    inet_ntop(AF_INET, &address, numeric, sizeof numeric);
  } else if (found->ai_family == AF_INET6) {
    const in6_addr address = reinterpret_cast<const sockaddr_in6*>(found->ai_addr)->sin6_addr;
    if (!IN6_IS_ADDR_LOOPBACK(&address)) return "";
    inet_ntop(AF_INET6, &address, numeric, sizeof numeric);
  }
  return numeric;
}

// "HOST:PORT", "[::1]:PORT", or a bare host (port 80).
std::string takeListen(std::string_view text, SiteOptions& options) {
  const auto colon = text.rfind(':');
  std::string_view host = text;
  options.port = 80;
  if (colon != std::string_view::npos && (text.front() != '[' || text[colon - 1] == ']')) {
    host = text.substr(0, colon);
    const std::string_view digits = text.substr(colon + 1);
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), options.port);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        options.port < 0 || options.port > 65535)
      return "not a port number: \"" + std::string(digits) + "\"";
  }
  options.host = loopbackAddressOf(std::string(host));
  if (options.host.empty())
    return "not a loopback host: \"" + std::string(host) + "\" (the site serves this machine only)";
  return "";
}

}  // namespace

std::variant<SiteOptions, int> parseSiteOptions(const std::vector<std::string>& args,
                                                std::string_view defaultListen, std::ostream& out,
                                                std::ostream& err) {
  SiteOptions options;
  std::string listen(defaultListen);
  std::string source = "demo";
  CLI::App app("skycall-site: the stand-in forecast site Skycall reads its four pages from.",
               "skycall-site");
  app.option_defaults()->always_capture_default();
  app.set_version_flag("--version", "skycall-site " SKYCALL_VERSION);
  app.add_option("--listen", listen, "loopback HOST:PORT to serve on (port 0: any free port)");
  app.add_option("--source", source,
                 "demo: made-up weather; live: the Open-Meteo services; auto: live when the "
                 "services answer at start, demo otherwise")
      ->check(CLI::IsMember({"demo", "live", "auto"}));
  app.add_option("--geocoding-url", options.geocodingUrl, "the geocoding service's address");
  app.add_option("--forecast-url", options.forecastUrl, "the forecast service's address");
  app.add_option("--timeout", options.upstreamTimeoutSeconds,
                 "seconds allowed for each call to those services")
      ->check(CLI::PositiveNumber);

  std::vector<std::string> reversed(args.rbegin(), args.rend());  // as CLI11 takes them
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error, out, err);
    return status == 0 ? 0 : 2;
  }
  if (const std::string problem = takeListen(listen, options); !problem.empty()) {
    err << "skycall-site: " << problem << "\n";
    return 2;
  }
  options.source = source == "live"   ? SourceChoice::Live
                   : source == "auto" ? SourceChoice::Auto
                                      : SourceChoice::Demo;
  return options;
}

}  // namespace skycall
