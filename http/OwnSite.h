// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

#include "http/CurlFetcher.h"

namespace skycall {

// A forecast site is read only when it runs as the same user: on a shared computer another
// user's process may hold any loopback port first, and its words must never be spoken. Each
// user's skycall-site listens on a free loopback port and publishes HOST:PORT in the user's own
// runtime folder; the program reads the address only from there, and before each request the
// kernel's socket tables must show the answering socket to be the user's own.

// $XDG_RUNTIME_DIR/skycall, else /tmp/skycall-UID; created (0700) when missing. Throws
// SiteOfAnotherUser when another user owns it, FetchError when it is open to other users or
// cannot be made: either way nothing in it could be trusted.
std::filesystem::path siteFolder();

// The address a site of this user published, "" when none did.
std::string publishedSiteAddress();
// Published whole (a reader never sees half an address); withdrawn only while it still names
// this address, since a newer site of the same user may have published its own meanwhile.
void publishSiteAddress(const std::string& address);
void withdrawSiteAddress(const std::string& address);

// The user that owns the TCP socket on this machine whose own end is `own` and whose other end
// is `peer` (else the socket listening at `own`), from the kernel's socket tables; none when
// there is no such socket. Throws FetchError when the tables cannot be asked.
std::optional<uid_t> socketOwner(const Endpoint& own, const Endpoint& peer);

// A check for CurlFetcher::checkEachConnection: the site's end of the connection must be a
// socket of this user's. Throws SiteOfAnotherUser when it is another user's, FetchError when its
// owner cannot be told.
CurlFetcher::ConnectionCheck ownSitesOnly();

// "localhost", 127.x.x.x or [::1], with or without a port: a host meaning the user's own site.
bool onThisMachine(const std::string& host);

// The pages of the site the program is built to ask: on this machine, from the user's own
// site at the address it published, over connections checked to end at a socket of the user's
// (FetchRefused when none published one, SiteOfAnotherUser when the socket is another user's);
// on another machine, as asked.
class OwnSiteFetcher : public PageFetcher {
 public:
  OwnSiteFetcher(CurlFetcher& fetcher, std::string host);
  FetchedPage fetch(const std::string& address) override;

 private:
  CurlFetcher& fetcher_;
  std::string host_;
};

}  // namespace skycall
