#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "site/SiteOptions.h"
#include "site/SitePage.h"

namespace skycall {
namespace {

TEST(SiteRoutes, RequestTargetsNameAPageAndALocation) {
  const std::tuple<const char*, std::optional<SitePage>, const char*> cases[] = {
      {"/weather/right-now/62701", SitePage::RightNow, "62701"},
      {"/weather/tomorrow/Springfield,+IL", SitePage::Tomorrow, "Springfield, IL"},
      {"/weather/tenday/Ca%C3%B1on+City%2C+CO", SitePage::TenDay, "Cañon City, CO"},
      {"/weather/today/", SitePage::Today, ""},
      {"/weather/today/a%2Bb%zz%4", SitePage::Today, "a+b%zz%4"},
      {"/weather/today/x/y?unit=f", SitePage::Today, "x/y"},
      {"/weather/today", std::nullopt, ""},
      {"/weather/Today/62701", std::nullopt, ""},
      {"/favicon.ico", std::nullopt, ""}};
  for (const auto& [target, page, location] : cases) {
    const auto request = parsePageTarget(target);
    ASSERT_EQ(request.has_value(), page.has_value()) << target;
    if (!request) continue;
    EXPECT_EQ(std::pair(request->page, request->location), std::pair(*page, std::string(location)))
        << target;
  }
}

// The site listens on this machine only; anything it cannot honour is refused, not guessed.
TEST(SiteOptions, CommandLines) {
  const std::tuple<std::vector<std::string>, const char*, int, SourceChoice> cases[] = {
      {{}, "127.0.0.1", 8722, SourceChoice::Demo},
      {{"--listen", "[::1]:9000", "--source", "auto"}, "::1", 9000, SourceChoice::Auto},
      {{"--source", "live", "--listen", "localhost:80"}, "127.0.0.1", 80, SourceChoice::Live},
      {{"--listen", "0.0.0.0:8722"}, nullptr, 0, {}},
      {{"--listen", "example.com:8722"}, nullptr, 0, {}},
      {{"--source"}, nullptr, 0, {}},
      {{"--listen", "127.0.0.1:70000"}, nullptr, 0, {}},
      {{"--source", "real"}, nullptr, 0, {}},
      {{"--timeout", "0"}, nullptr, 0, {}},
      {{"--port", "1"}, nullptr, 0, {}}};
  for (const auto& [args, host, port, source] : cases) {
    const auto parsed = parseSiteOptions(args, "localhost:8722");
    const std::string line = args.empty() ? "(none)" : args[0] + " " + args.back();
    ASSERT_EQ(std::holds_alternative<SiteOptions>(parsed), host != nullptr) << line;
    if (!host) continue;
    const SiteOptions& options = std::get<SiteOptions>(parsed);
    EXPECT_EQ(std::tuple(options.host, options.port, options.source),
              std::tuple(std::string(host), port, source))
        << line;
  }
}

}  // namespace
}  // namespace skycall
