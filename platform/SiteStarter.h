// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>

#include "http/CurlFetcher.h"
#include "http/OwnSite.h"
#include "interfaces/PageFetcher.h"

namespace skycall {

// The page fetcher. Where the program is built to ask a site on this machine (a loopback host),
// it reads only a site of this user's: each page is asked from the address the user's own
// skycall-site published (http/OwnSite.h), over a connection the kernel shows to end at a
// socket of this user's. When no such site answers there (just installed, the site's user unit
// starts only at the next login; no user session at all; a site that died, its port since taken
// by another user's process), it starts the site the program ships with: the one beside the
// executable, else the one on PATH, with its user unit's arguments, and waits up to three
// seconds for it to answer. A site started here ends with the program, however the program
// ends. A host on another machine is asked as it is.
class SiteStarter : public PageFetcher {
 public:
  SiteStarter(CurlFetcher& fetcher, std::string host, std::filesystem::path programFolder,
              std::function<void()> whileWaiting, std::function<void(const std::string&)> report);
  ~SiteStarter() override;
  SiteStarter(const SiteStarter&) = delete;
  SiteStarter& operator=(const SiteStarter&) = delete;

  FetchedPage fetch(const std::string& address) override;

 private:
  bool startSite();
  bool siteRuns();

  OwnSiteFetcher fetcher_;
  std::string host_;
  std::filesystem::path programFolder_;
  std::function<void()> whileWaiting_;
  std::function<void(const std::string&)> report_;
  pid_t site_ = -1;
};

}  // namespace skycall
