#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "site/HtmlText.h"
#include "site/SiteOptions.h"
#include "site/SitePage.h"
#include "site_rows.h"

namespace skycall {
namespace {

TEST(SiteRoutes, RequestTargetsNameAPageAndALocation) {
  struct Case {
    const char* target;
    std::optional<SitePage> page;
    const char* location;
  };
  const Case cases[] = {
      {"/weather/right-now/62701", SitePage::RightNow, "62701"},
      {"/weather/today/San+Antonio+TX", SitePage::Today, "San Antonio TX"},
      {"/weather/tomorrow/Springfield,+IL", SitePage::Tomorrow, "Springfield, IL"},
      {"/weather/tenday/Ca%C3%B1on+City%2C+CO", SitePage::TenDay, "Cañon City, CO"},
      {"/weather/tenday/", SitePage::TenDay, ""},
      {"/weather/today/a%2Bb%zz%4", SitePage::Today, "a+b%zz%4"},
      {"/weather/today/x/y?unit=f", SitePage::Today, "x/y"},
      {"/weather/today", std::nullopt, ""},
      {"/weather/Today/62701", std::nullopt, ""},
      {"/weather/tendays/62701", std::nullopt, ""},
      {"/", std::nullopt, ""},
      {"/favicon.ico", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    const auto request = parsePageTarget(c.target);
    ASSERT_EQ(request.has_value(), c.page.has_value()) << c.target;
    if (!request) continue;
    EXPECT_EQ(request->page, *c.page) << c.target;
    EXPECT_EQ(request->location, c.location) << c.target;
  }
}

// Whatever the user types reaches the site as typed, blanks included, by way of the address
// the program forms.
TEST(SiteRoutes, LocationsSurviveTheProgramsAddress) {
  const char* const typed[] = {"San Antonio TX",        "Springfield, IL", "Cañon City, CO",
                               "O'Fallon & Co <h3>Tue", "100% sure?#x",    "90210"};
  for (const char* location : typed) {
    std::wstring wide = fromUtf8(location);
    std::replace(wide.begin(), wide.end(), L' ', L'+');
    const std::string address = pageAddress(sitetest::kHost, L"/weather/today/", wide);
    const auto request = parsePageTarget(address.substr(("http://" + sitetest::kHost).size()));
    ASSERT_TRUE(request.has_value()) << address;
    EXPECT_EQ(request->location, location);
    EXPECT_EQ(decodeLocation(encodeLocation(location)), location);
  }
}

TEST(SiteOptions, CommandLines) {
  struct Case {
    std::vector<std::string> args;
    const char* host;  // nullptr: refused
    int port;
    SourceChoice source;
  };
  const Case cases[] = {
      {{}, "127.0.0.1", 8722, SourceChoice::Demo},
      {{"--listen", "127.0.0.1:0"}, "127.0.0.1", 0, SourceChoice::Demo},
      {{"--listen", "[::1]:9000", "--source", "auto"}, "::1", 9000, SourceChoice::Auto},
      {{"--source", "live", "--listen", "localhost:80"}, "127.0.0.1", 80, SourceChoice::Live},
      {{"--listen", "127.0.0.2"}, "127.0.0.2", 80, SourceChoice::Demo},
      {{"--listen", "0.0.0.0:8722"}, nullptr, 0, SourceChoice::Demo},
      {{"--listen", "example.com:8722"}, nullptr, 0, SourceChoice::Demo},
      {{"--listen", "127.0.0.1:70000"}, nullptr, 0, SourceChoice::Demo},
      {{"--listen", "127.0.0.1:x"}, nullptr, 0, SourceChoice::Demo},
      {{"--source", "real"}, nullptr, 0, SourceChoice::Demo},
      {{"--source"}, nullptr, 0, SourceChoice::Demo},
      {{"--timeout", "0"}, nullptr, 0, SourceChoice::Demo},
      {{"--port", "1"}, nullptr, 0, SourceChoice::Demo},
  };
  for (const Case& c : cases) {
    const auto parsed = parseSiteOptions(c.args, "localhost:8722");
    std::string line;
    for (const auto& arg : c.args) line += arg + " ";
    if (!c.host) {
      EXPECT_TRUE(std::holds_alternative<std::string>(parsed)) << line;
      continue;
    }
    ASSERT_TRUE(std::holds_alternative<SiteOptions>(parsed))
        << line << ": " << std::get<std::string>(parsed);
    const SiteOptions& options = std::get<SiteOptions>(parsed);
    EXPECT_EQ(options.host, c.host) << line;
    EXPECT_EQ(options.port, c.port) << line;
    EXPECT_EQ(options.source, c.source) << line;
  }
}

}  // namespace
}  // namespace skycall
