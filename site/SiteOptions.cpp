#include "site/SiteOptions.h"

#include <charconv>
#include <optional>

namespace skycall {

namespace {

struct ListenAddress {
  std::string host;
  int port;
};

// The site serves only this machine: "localhost", 127.x.x.x or ::1.
std::optional<std::string> loopbackBindHost(std::string host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  if (host == "localhost") return "127.0.0.1";
  if (host == "::1" || host.rfind("127.", 0) == 0) return host;
  return std::nullopt;
}

std::variant<ListenAddress, std::string> parseListen(std::string_view text) {
  const auto colon = text.rfind(':');
  const bool bracketed = !text.empty() && text.front() == '[';
  std::string_view host = text;
  int port = 80;
  if (colon != std::string_view::npos && (!bracketed || text[colon - 1] == ']')) {
    host = text.substr(0, colon);
    const std::string_view digits = text.substr(colon + 1);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        port < 0 || port > 65535)
      return "not a port number: \"" + std::string(digits) + "\"";
  }
  const auto bind = loopbackBindHost(std::string(host));
  if (!bind)
    return "skycall-site serves this machine only; not a loopback host: \"" + std::string(host) +
           "\"";
  return ListenAddress{*bind, port};
}

}  // namespace

std::string siteUsage() {
  return "usage: skycall-site [--listen HOST:PORT] [--source demo|live|auto]\n"
         "                    [--geocoding-url URL] [--forecast-url URL] [--timeout SECONDS]\n"
         "  --listen         loopback address to serve on (port 0: any free port)\n"
         "  --source         demo: made-up weather; live: the Open-Meteo services;\n"
         "                   auto: live when the services answer, demo otherwise\n"
         "  --geocoding-url  the geocoding service's search address\n"
         "  --forecast-url   the forecast service's address\n"
         "  --timeout        seconds allowed for each call to those services\n";
}

std::variant<SiteOptions, std::string> parseSiteOptions(const std::vector<std::string>& args,
                                                        std::string_view defaultListen) {
  SiteOptions options;
  std::string listen(defaultListen);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& flag = args[i];
    if (flag == "--help" || flag == "-h") {
      options.help = true;
      continue;
    }
    if (i + 1 >= args.size()) return flag + " needs a value";
    const std::string& value = args[++i];
    if (flag == "--listen") {
      listen = value;
    } else if (flag == "--source") {
      if (value == "demo")
        options.source = SourceChoice::Demo;
      else if (value == "live")
        options.source = SourceChoice::Live;
      else if (value == "auto")
        options.source = SourceChoice::Auto;
      else
        return "unknown source \"" + value + "\" (demo, live or auto)";
    } else if (flag == "--geocoding-url") {
      options.geocodingUrl = value;
    } else if (flag == "--forecast-url") {
      options.forecastUrl = value;
    } else if (flag == "--timeout") {
      double seconds = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
      if (error != std::errc() || end != value.data() + value.size() || !(seconds > 0))
        return "not a number of seconds: \"" + value + "\"";
      options.upstreamTimeoutSeconds = seconds;
    } else {
      return "unknown option \"" + flag + "\"";
    }
  }
  auto address = parseListen(listen);
  if (auto* error = std::get_if<std::string>(&address)) return *error;
  options.host = std::get<ListenAddress>(address).host;
  options.port = std::get<ListenAddress>(address).port;
  return options;
}

}  // namespace skycall
