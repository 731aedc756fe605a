// SPDX-License-Identifier: GPL-3.0-or-later
#include "http/OwnSite.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <regex>

#include "text/Words.h"

namespace skycall {

namespace {

namespace fs = std::filesystem;

constexpr char kAddressFile[] = "site";
constexpr std::size_t kLongestAddress = 64;

std::string failure(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// A folder another user can neither own nor write into (a sticky one such as /tmp aside, where
// no one may rename another's entries); the user's own, not a link, where it must be their own.
void requireUnshared(const fs::path& folder, bool mustBeOwn) {
  struct stat status {};
  if ((mustBeOwn ? ::lstat : ::stat)(folder.c_str(), &status) != 0)
    throw FetchError(failure(folder.string()));
  const std::string which = "The folder " + folder.string() + ", where the site's address is kept,";
  if (status.st_uid != ::geteuid() && (mustBeOwn || status.st_uid != 0))
    throw SiteOfAnotherUser(which + " belongs to another user (uid " +
                            std::to_string(status.st_uid) + ")");
  const bool othersWrite = status.st_mode & (S_IWGRP | S_IWOTH);
  if (!S_ISDIR(status.st_mode) || (othersWrite && (mustBeOwn || !(status.st_mode & S_ISVTX))))
    throw FetchError(which + " is not this user's alone");
}

// HOST:PORT on this machine ("127.x.x.x:PORT", "[::1]:PORT"), else "".
std::string loopbackAddress(const std::string& text) {
  static const std::regex address(R"((127\.\d{1,3}\.\d{1,3}\.\d{1,3}|\[::1\]):\d{1,5})");
  return std::regex_match(text, address) ? text : "";
}

// One end of a connection as the kernel's socket lookup takes it.
bool putEnd(const Endpoint& end, int family, __u32* address, __be16& port) {
  port = htons(std::uint16_t(end.port));
  return ::inet_pton(family, end.ip.c_str(), address) == 1;
}

std::string userName(uid_t uid) {
  std::array<char, 1024> buffer{};
  passwd entry{};
  passwd* found = nullptr;
  ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
  return found ? std::string(found->pw_name) + ", " : "";
}

}  // namespace

fs::path siteFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const bool inRuntime = runtime && runtime[0] == '/';
  const fs::path base = inRuntime ? fs::path(runtime) : fs::path("/tmp");
  const fs::path folder = base / (inRuntime ? "skycall" : "skycall-" + std::to_string(::geteuid()));
  requireUnshared(base, false);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    throw FetchError(failure("cannot make " + folder.string()));
  requireUnshared(folder, true);
  return folder;
}

std::string publishedSiteAddress() {
  const fs::path file = siteFolder() / kAddressFile;
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return "";
  struct stat status {};
  std::array<char, kLongestAddress> text{};
  const bool own =
      ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid();
  const ssize_t got = own ? ::read(fd, text.data(), text.size() - 1) : 0;
  ::close(fd);
  return got > 0 ? loopbackAddress(trimmed(std::string_view(text.data(), std::size_t(got)))) : "";
}

void publishSiteAddress(const std::string& address) {
  const fs::path folder = siteFolder();
  std::string temporary = (folder / ".site.XXXXXX").string();
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) throw FetchError(failure("cannot write in " + folder.string()));
  const std::string line = address + "\n";
  const bool written = ::write(fd, line.data(), line.size()) == ssize_t(line.size());
  if (::close(fd) != 0 || !written ||
      ::rename(temporary.c_str(), (folder / kAddressFile).c_str()) != 0) {
    const std::string why = failure("cannot publish in " + folder.string());
    ::unlink(temporary.c_str());
    throw FetchError(why);
  }
}

void withdrawSiteAddress(const std::string& address) {
  if (publishedSiteAddress() == address) ::unlink((siteFolder() / kAddressFile).c_str());
}

std::optional<uid_t> socketOwner(const Endpoint& own, const Endpoint& peer) {
  // One exact lookup in the kernel's socket tables (sock_diag), as fast however many sockets
  // there are; reading /proc/net/tcp walks every table bucket, a millisecond a request.
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } ask{};
  ask.header = {sizeof ask, SOCK_DIAG_BY_FAMILY, NLM_F_REQUEST, 0, 0};
  inet_diag_req_v2& request = ask.request;
  request.sdiag_protocol = IPPROTO_TCP;
  request.idiag_states = ~0U;
  request.id.idiag_cookie[0] = request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
  inet_diag_sockid& id = request.id;
  for (const int family : {AF_INET, AF_INET6})
    if (putEnd(own, family, id.idiag_src, id.idiag_sport) &&
        putEnd(peer, family, id.idiag_dst, id.idiag_dport)) {
      request.sdiag_family = std::uint8_t(family);
      break;
    }
  const int diag = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (diag < 0) throw FetchError(failure("The kernel's socket tables cannot be asked"));
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  alignas(nlmsghdr) std::array<char, 4096> answer{};
  ssize_t got = -1;
  if (::sendto(diag, &ask, sizeof ask, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) ==
      ssize_t(sizeof ask))
    got = ::recv(diag, answer.data(), answer.size(), 0);
  const int error = errno;
  ::close(diag);
  errno = error;
  if (got < 0) throw FetchError(failure("The kernel's socket tables cannot be asked"));
  const auto* header = reinterpret_cast<const nlmsghdr*>(answer.data());
  if (got >= ssize_t(NLMSG_LENGTH(sizeof(inet_diag_msg))) &&
      header->nlmsg_type == SOCK_DIAG_BY_FAMILY)
    return static_cast<const inet_diag_msg*>(NLMSG_DATA(header))->idiag_uid;
  return std::nullopt;
}

CurlFetcher::ConnectionCheck ownSitesOnly() {
  return [](const Endpoint& site, const Endpoint& own) {
    const std::string where = site.ip + " port " + std::to_string(site.port);
    const auto owner = socketOwner(site, own);
    if (!owner)
      throw FetchError("Whose the forecast site at " + where +
                       " is cannot be told: the kernel lists no such connection");
    if (*owner != ::geteuid())
      throw SiteOfAnotherUser("The forecast site at " + where + " belongs to another user (" +
                              userName(*owner) + "uid " + std::to_string(*owner) +
                              "): it is not read");
  };
}

bool onThisMachine(const std::string& host) {
  const std::string name =
      host.substr(0, host.rfind(':') == std::string::npos || host.back() == ']' ? host.size()
                                                                                : host.rfind(':'));
  return name == "localhost" || name.rfind("127.", 0) == 0 || name == "[::1]";
}

OwnSiteFetcher::OwnSiteFetcher(CurlFetcher& fetcher, std::string host)
    : fetcher_(fetcher), host_(std::move(host)) {
  if (onThisMachine(host_)) fetcher_.checkEachConnection(ownSitesOnly());
}

FetchedPage OwnSiteFetcher::fetch(const std::string& address) {
  if (!onThisMachine(host_)) return fetcher_.fetch(address);
  const std::string site = publishedSiteAddress();
  if (site.empty())
    throw FetchRefused("No forecast site of this user has published its address in " +
                       siteFolder().string());
  return fetcher_.fetch("http://" + site +
                        address.substr(std::string("http://").size() + host_.size()));
}

}  // namespace skycall
