// SPDX-License-Identifier: GPL-3.0-or-later
#include "http/OwnSite.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "text/Words.h"

namespace skycall {

namespace {

namespace fs = std::filesystem;

constexpr char kAddressFile[] = "site";
constexpr std::size_t kLongestAddress = 64;
// The kernel's name for a closed connection's remains, which it lists as root's.
constexpr char kTimeWait[] = "06";

std::string failure(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// A folder another user can neither own nor write into (a sticky one such as /tmp aside, where
// no one may rename another's entries).
void requireUnshared(const fs::path& folder, bool mustBeOwn) {
  struct stat status {};
  if (::lstat(folder.c_str(), &status) != 0) throw FetchError(failure(folder.string()));
  const uid_t own = ::geteuid();
  if (status.st_uid != own && (mustBeOwn || status.st_uid != 0))
    throw SiteOfAnotherUser(folder.string() + " belongs to another user (uid " +
                            std::to_string(status.st_uid) + ")");
  const bool othersWrite = status.st_mode & (S_IWGRP | S_IWOTH);
  if (!S_ISDIR(status.st_mode) || (othersWrite && (mustBeOwn || !(status.st_mode & S_ISVTX))))
    throw FetchError(folder.string() + " is not a folder of this user's alone");
}

// HOST:PORT on this machine ("127.x.x.x:PORT", "[::1]:PORT"), else "".
std::string loopbackAddress(const std::string& text) {
  static const std::regex address(R"((127\.\d{1,3}\.\d{1,3}\.\d{1,3}|\[::1\]):\d{1,5})");
  return std::regex_match(text, address) ? text : "";
}

// An address and port as the kernel lists them: the address's 32-bit words in the machine's
// own byte order, each as 8 hexadecimal digits, then ":" and the port as 4.
std::string listed(const void* address, std::size_t bytes, int port) {
  std::string text;
  std::array<char, 9> word{};
  for (std::size_t at = 0; at < bytes; at += 4) {
    std::uint32_t value = 0;
    std::memcpy(&value, static_cast<const char*>(address) + at, 4);
    std::snprintf(word.data(), word.size(), "%08X", value);
    text += word.data();
  }
  std::snprintf(word.data(), word.size(), ":%04X", port & 0xFFFF);
  return text + word.data();
}

// The forms an end takes in the tables: an IPv4 one is also listed on an IPv6 socket, mapped.
std::vector<std::string> listedForms(const Endpoint& end) {
  in_addr v4{};
  in6_addr v6{};
  if (::inet_pton(AF_INET, end.ip.c_str(), &v4) == 1) {
    in6_addr mapped{};
    mapped.s6_addr[10] = mapped.s6_addr[11] = 0xFF;
    std::memcpy(&mapped.s6_addr[12], &v4, 4);
    return {listed(&v4, 4, end.port), listed(&mapped, 16, end.port)};
  }
  if (::inet_pton(AF_INET6, end.ip.c_str(), &v6) == 1) return {listed(&v6, 16, end.port)};
  return {};
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
  const auto owns = listedForms(own), peers = listedForms(peer);
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream lines(table);
    std::string line;
    std::getline(lines, line);  // the heading
    while (std::getline(lines, line)) {
      // slot, own end, other end, state, queues, timer, retransmits, uid, ...
      std::istringstream fields(line);
      std::string slot, local, remote, state, queues, timer, retransmits;
      uid_t uid = 0;
      if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid))
        continue;
      for (std::size_t i = 0; i < owns.size() && i < peers.size(); ++i)
        if (local == owns[i] && remote == peers[i] && state != kTimeWait) return uid;
    }
  }
  return std::nullopt;
}

CurlFetcher::ConnectionCheck ownSitesOnly() {
  return [](const Endpoint& site, const Endpoint& own) {
    const std::string where = site.ip + " port " + std::to_string(site.port);
    const auto owner = socketOwner(site, own);
    if (!owner)
      throw FetchError("Whose the forecast site at " + where +
                       " is cannot be told: its socket is not in /proc/net/tcp");
    if (*owner != ::geteuid())
      throw SiteOfAnotherUser("The forecast site at " + where + " belongs to another user (" +
                              userName(*owner) + "uid " + std::to_string(*owner) +
                              "): it is not read");
  };
}

}  // namespace skycall
