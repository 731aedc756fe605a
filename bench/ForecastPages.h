// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace skycall::bench {

// The four forecast pages the way a news-style weather site serves them: the saved full pages
// with the site's furniture around them (preloads, tracking scripts, a long navigation menu,
// related stories), each padded to about 100 KB.
struct ForecastPages {
  // In the order the fetch cycle asks for them.
  static constexpr std::array<const char*, 4> kPaths = {"/weather/right-now/", "/weather/today/",
                                                        "/weather/tomorrow/", "/weather/tenday/"};
  // The ten-day page was saved on a Wednesday: its day headings give every row on that day.
  static constexpr int kWeekday = 4;
  static constexpr std::size_t kPageSize = 100 * 1024;

  std::array<std::string, 4> bytes;  // UTF-8, as the site sends them
  std::size_t totalBytes = 0;
};

// Built once from tests/pages; throws when a saved page is missing.
const ForecastPages& forecastPages();

}  // namespace skycall::bench
