// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SsipClient.h"

#include <netdb.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace skycall {

namespace {

constexpr char kUnixMethod[] = "unix_socket:";
constexpr char kInetMethod[] = "inet_socket:";
constexpr char kInetPort[] = "6560";
// A reply longer than this is none a daemon would give.
constexpr std::size_t kLongestReply = 64 * 1024;
// How long a daemon just started is given to listen.
constexpr auto kStartWait = std::chrono::seconds(3);
constexpr auto kRetryEvery = std::chrono::milliseconds(50);

// The user's own daemon's socket, where speech-dispatcher puts it.
std::string ownSocket() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const char* home = std::getenv("HOME");
  const std::string folder = runtime && *runtime ? std::string(runtime)
                             : home              ? std::string(home) + "/.cache"
                                                 : std::string("/tmp");
  return folder + "/speech-dispatcher/speechd.sock";
}

// Starts the user's daemon as libspeechd would, and waits for its starter to return.
void startDaemon(const std::string& socketPath) {
  const char* argv[] = {
      "speech-dispatcher", "--spawn", "--communication-method", "unix_socket", "--socket-path",
      socketPath.c_str(),  nullptr};
  pid_t starter = -1;
  if (posix_spawnp(&starter, argv[0], nullptr, nullptr, const_cast<char* const*>(argv), environ) ==
      0)
    ::waitpid(starter, nullptr, 0);
}

// A name the protocol takes: no blanks or colons.
std::string plainName(const char* name) {
  std::string plain = name && *name ? name : "user";
  for (char& c : plain)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return plain;
}

}  // namespace

bool SsipClient::open(std::string& error) {
  close();
  const char* given = std::getenv("SPEECHD_ADDRESS");
  bool connected = false;
  if (given && *given) {
    connected = connectTo(given);
  } else {
    const std::string own = ownSocket();
    connected = connectTo(kUnixMethod + own);
    const auto deadline = std::chrono::steady_clock::now() + kStartWait;
    if (!connected) startDaemon(own);
    while (!connected && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(kRetryEvery);
      connected = connectTo(kUnixMethod + own);
    }
  }
  if (!connected) {
    error = std::string("nothing listens at ") + (given && *given ? given : ownSocket().c_str());
    return false;
  }
  // Every text of the program is English; without this the C locale's "c" reaches the
  // synthesiser as the language.
  if (!command("SET self CLIENT_NAME " + plainName(std::getenv("USER")) + ":skycall:voice") ||
      !command("SET self LANGUAGE en")) {
    error = "what answers does not answer as speech-dispatcher does";
    close();
    return false;
  }
  return true;
}

void SsipClient::close() {
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
  received_.clear();
}

bool SsipClient::connectTo(const std::string& address) {
  if (address.starts_with(kUnixMethod)) {
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    const std::string path = address.substr(std::strlen(kUnixMethod));
    if (path.size() >= sizeof where.sun_path) return false;
    std::memcpy(where.sun_path, path.c_str(), path.size() + 1);
    socket_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket_ >= 0 && ::connect(socket_, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0)
      return true;
  } else if (address.starts_with(kInetMethod)) {
    std::string host = address.substr(std::strlen(kInetMethod));
    const auto colon = host.rfind(':');
    const std::string port = colon == std::string::npos ? kInetPort : host.substr(colon + 1);
    host = host.substr(0, colon);
    addrinfo* found = nullptr;
    addrinfo wanted{};
    wanted.ai_family = AF_UNSPEC;
    wanted.ai_socktype = SOCK_STREAM;
    if (::getaddrinfo(host.c_str(), port.c_str(), &wanted, &found) != 0) return false;
    for (addrinfo* at = found; at && socket_ < 0; at = at->ai_next) {
      socket_ = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
      if (socket_ >= 0 && ::connect(socket_, at->ai_addr, at->ai_addrlen) != 0) close();
    }
    ::freeaddrinfo(found);
    return socket_ >= 0;
  }
  close();
  return false;
}

bool SsipClient::command(std::string_view line) {
  const int code = send(std::string(line) + "\r\n") ? reply() : 0;
  return code >= 200 && code < 300;
}

bool SsipClient::speak(std::string_view text) {
  if (!command("SPEAK")) return false;
  // The text's lines, a lone dot ending them; a line of the text that begins with a dot gets a
  // second one, which the daemon takes away again.
  std::string data;
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(from, end - from);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.starts_with('.')) data += '.';
    data += line;
    data += "\r\n";
    from = end + 1;
  }
  const int code = send(data + ".\r\n") ? reply() : 0;
  return code >= 200 && code < 300;
}

bool SsipClient::send(std::string_view bytes) {
  while (!bytes.empty() && socket_ >= 0) {
    const ssize_t sent = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return socket_ >= 0;
}

int SsipClient::reply() {
  // Lines "NNN-text" go on, "NNN text" ends the reply.
  for (;;) {
    std::size_t end = received_.find("\r\n");
    while (end == std::string::npos) {
      char chunk[4096];
      const ssize_t got = ::recv(socket_, chunk, sizeof chunk, 0);
      if (got <= 0 || received_.size() > kLongestReply) return 0;
      received_.append(chunk, static_cast<std::size_t>(got));
      end = received_.find("\r\n");
    }
    const std::string line = received_.substr(0, end);
    received_.erase(0, end + 2);
    const bool coded = line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                       std::isdigit(static_cast<unsigned char>(line[1])) &&
                       std::isdigit(static_cast<unsigned char>(line[2]));
    if (!coded || (line[3] != '-' && line[3] != ' ')) return 0;
    if (line[3] == ' ') return std::stoi(line.substr(0, 3));
  }
}

}  // namespace skycall
