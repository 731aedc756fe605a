#include "robustness/RequestLineSite.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "core/forecast_fixtures.h"

namespace skycall::robustness {

namespace {

constexpr int kPollMs = 50;
constexpr std::string_view kPagesRoot = "/weather/";

// Waits for the socket to be readable; false when the site shuts down first.
bool readable(int socket, const std::atomic<bool>& stopping) {
  while (!stopping) {
    pollfd wanted{socket, POLLIN, 0};
    const int ready = ::poll(&wanted, 1, kPollMs);
    if (ready > 0) return true;
    if (ready < 0) return false;
  }
  return false;
}

bool sendAll(int socket, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

RequestLineSite::RequestLineSite() {
  for (const char* page : {"right-now", "today", "tomorrow", "tenday"})
    pages_[page] = testing::pageBytes(std::string(page) + "-full.html");
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listener_, 8) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("the test site cannot listen on loopback");
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { run(); });
}

RequestLineSite::~RequestLineSite() {
  stopping_ = true;
  thread_.join();
  ::close(listener_);
}

std::vector<std::string> RequestLineSite::targets() const {
  std::lock_guard lock(mutex_);
  return targets_;
}

void RequestLineSite::forgetTargets() {
  std::lock_guard lock(mutex_);
  targets_.clear();
}

void RequestLineSite::run() {
  while (readable(listener_, stopping_)) {
    const int connection = ::accept(listener_, nullptr, nullptr);
    if (connection < 0) continue;
    serveConnection(connection);
    ::close(connection);
  }
}

void RequestLineSite::serveConnection(int connection) {
  std::string received;
  char buffer[16384];
  while (readable(connection, stopping_)) {
    const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    received.append(buffer, static_cast<std::size_t>(n));
    // Each complete request head (a GET has no body) gets its answer, in order.
    for (std::size_t end; (end = received.find("\r\n\r\n")) != std::string::npos;) {
      const std::string head = received.substr(0, end);
      received.erase(0, end + 4);
      const std::size_t first = head.find(' ');
      const std::size_t second = head.find(' ', first + 1);
      const std::string target = head.substr(first + 1, second - first - 1);
      {
        std::lock_guard lock(mutex_);
        targets_.push_back(target);
      }
      if (!sendAll(connection, answerFor(target))) return;
    }
  }
}

std::string RequestLineSite::answerFor(const std::string& target) const {
  std::string page;
  if (target.rfind(kPagesRoot, 0) == 0) {
    const std::size_t slash = target.find('/', kPagesRoot.size());
    if (slash != std::string::npos)
      page = target.substr(kPagesRoot.size(), slash - kPagesRoot.size());
  }
  const auto known = pages_.find(page);
  const std::string status = known == pages_.end() ? "404 Not Found" : "200 OK";
  const std::string body = known == pages_.end() ? "no such page" : known->second;
  return "HTTP/1.1 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace skycall::robustness
