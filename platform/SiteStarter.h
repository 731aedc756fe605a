// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>

#include "interfaces/PageFetcher.h"

namespace skycall {

// The page fetcher, which starts the forecast site the program ships with when the site it is
// built to ask lies on this machine and nothing listens there (just installed, the site's user
// unit starts only at the next login; or no user session at all). The site started is the one
// beside the executable, else the one on PATH, with its user unit's arguments; the fetch waits
// up to three seconds for it to answer. A site started here ends with the program, however the
// program ends.
class SiteStarter : public PageFetcher {
 public:
  SiteStarter(PageFetcher& fetcher, std::string host, std::filesystem::path programFolder,
              std::function<void()> whileWaiting, std::function<void(const std::string&)> report);
  ~SiteStarter() override;
  SiteStarter(const SiteStarter&) = delete;
  SiteStarter& operator=(const SiteStarter&) = delete;

  FetchedPage fetch(const std::string& address) override;

 private:
  bool startSite();
  bool siteRuns();

  PageFetcher& fetcher_;
  std::string host_;
  std::filesystem::path programFolder_;
  std::function<void()> whileWaiting_;
  std::function<void(const std::string&)> report_;
  pid_t site_ = -1;
};

}  // namespace skycall
