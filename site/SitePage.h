#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace skycall {

// The four pages of the site.
enum class SitePage { RightNow, Today, Tomorrow, TenDay };

struct SitePath {
  SitePage page;
  std::string_view path;  // followed at once by the location
};

inline constexpr std::array<SitePath, 4> kSitePaths = {{
    {SitePage::RightNow, "/weather/right-now/"},
    {SitePage::Today, "/weather/today/"},
    {SitePage::Tomorrow, "/weather/tomorrow/"},
    {SitePage::TenDay, "/weather/tenday/"},
}};

struct PageRequest {
  SitePage page;
  std::string location;  // percent-decoded, "+" read as a blank
};

// The page and location a request target names ("/weather/today/San+Antonio+TX"); any query
// after "?" is ignored. Nothing for a target that is not one of the four pages.
std::optional<PageRequest> parsePageTarget(std::string_view target);

}  // namespace skycall
