#include "robustness/FaultSite.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "core/forecast_fixtures.h"

namespace skycall::robustness {

namespace {

constexpr char kHtml[] = "text/html; charset=utf-8";
constexpr std::size_t kFiftyMegabytes = 50u << 20;
constexpr std::size_t kPiece = 64u << 10;
constexpr std::string_view kPagesRoot = "/weather/";

// Bytes that are not UTF-8 in any reading: stray continuations, overlong forms, surrogates,
// truncated sequences and bytes that never occur.
constexpr std::string_view kNotUtf8 =
    "\xC3\x28\xA0\xA1\xE2\x28\xA1\xE2\x82\x28\xF0\x28\x8C\xBC\xF0\x90\x28\xBC\xF8\xA1\xA1\xA1"
    "\xA1\xFC\xA1\xA1\xA1\xA1\xA1\xC0\xAF\xED\xA0\x80\xFF\xFE\xF4\x90\x80\x80\xE0\x80";

std::string repeatedTo(std::string_view piece, std::size_t size) {
  std::string out;
  out.reserve(size);
  while (out.size() < size) out.append(piece.substr(0, std::min(piece.size(), size - out.size())));
  return out;
}

std::string garbage(std::size_t size) {
  std::mt19937 random(20240607);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(random() & 0xFF);
  return out;
}

}  // namespace

FaultSite::FaultSite() {
  for (const char* page : {"right-now", "today", "tomorrow", "tenday"})
    pages_[page] = testing::pageBytes(std::string(page) + "-full.html");
  http_.Get(R"([\s\S]*)",
            [this](const httplib::Request& req, httplib::Response& res) { serve(req, res); });
  // Listening from here on: connections wait in the backlog until the thread accepts them.
  port_ = http_.bind_to_any_port("127.0.0.1");
  thread_ = std::thread([this] { http_.listen_after_bind(); });
  // A stop() that comes before the accept loop runs is lost, and the loop then never ends.
  while (!http_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FaultSite::~FaultSite() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  shuttingDown_.notify_all();
  http_.stop();
  if (thread_.joinable()) thread_.join();
}

void FaultSite::inject(const std::string& location, const std::string& page, Fault fault) {
  std::lock_guard lock(mutex_);
  faults_[location] = {page, fault};
}

std::vector<std::string> FaultSite::targets() const {
  std::lock_guard lock(mutex_);
  return targets_;
}

void FaultSite::forgetTargets() {
  std::lock_guard lock(mutex_);
  targets_.clear();
}

bool FaultSite::pause(double seconds) {
  std::unique_lock lock(mutex_);
  return shuttingDown_.wait_for(lock, std::chrono::duration<double>(seconds),
                                [this] { return stopping_; });
}

void FaultSite::serve(const httplib::Request& req, httplib::Response& res) {
  Fault fault = Fault::None;
  std::string page;
  {
    std::lock_guard lock(mutex_);
    targets_.push_back(req.target);
    // The path as decoded: "/weather/" + page + "/" + location.
    if (req.path.rfind(kPagesRoot, 0) == 0) {
      const auto slash = req.path.find('/', kPagesRoot.size());
      if (slash != std::string::npos)
        page = req.path.substr(kPagesRoot.size(), slash - kPagesRoot.size());
      const auto found = faults_.find(slash == std::string::npos ? "" : req.path.substr(slash + 1));
      if (found != faults_.end() && found->second.first == page) fault = found->second.second;
    }
  }
  const auto known = pages_.find(page);
  if (known == pages_.end()) {
    res.status = 404;
    res.set_content("no such page", "text/plain");
    return;
  }
  if (fault == Fault::None) {
    res.set_content(known->second, kHtml);
    return;
  }
  serveFault(fault, known->second, req, res);
}

void FaultSite::serveFault(Fault fault, const std::string& page, const httplib::Request& req,
                           httplib::Response& res) {
  switch (fault) {
    case Fault::None:
      break;
    case Fault::NeverAnswers:
      // Long past any sane time-out; the site's shutdown ends it early.
      pause(30);
      res.status = 503;
      return;
    case Fault::SlowDrip:
      res.set_chunked_content_provider(kHtml,
                                       [this, page](std::size_t offset, httplib::DataSink& sink) {
                                         if (offset >= page.size() || pause(0.25)) return false;
                                         return sink.write(page.data() + offset, 1);
                                       });
      return;
    case Fault::NotFound:
    case Fault::ServerError:
      // An error page that would scan as a forecast if its status were ignored.
      res.status = fault == Fault::NotFound ? 404 : 500;
      res.set_content(page, kHtml);
      return;
    case Fault::CutOff:
      // The whole page arrives, but not the length promised: the transfer is not complete.
      res.set_content_provider(page.size() * 2, kHtml,
                               [page](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                 if (offset == 0) sink.write(page.data(), page.size());
                                 return false;
                               });
      return;
    case Fault::FiftyMegabytes:
    case Fault::FiftyMegabytesRaw: {
      // A real page first, then filler: a body that is refused must not be scanned at all.
      auto provide = [this, page](std::size_t offset, httplib::DataSink& sink) {
        if (offset >= kFiftyMegabytes) {
          sink.done();
          return true;
        }
        std::lock_guard lock(mutex_);
        if (stopping_) return false;
        const std::string piece =
            offset == 0 ? page + std::string(kPiece - page.size(), ' ') : std::string(kPiece, ' ');
        return sink.write(piece.data(), std::min(piece.size(), kFiftyMegabytes - offset));
      };
      if (fault == Fault::FiftyMegabytesRaw) {
        res.set_chunked_content_provider(kHtml, provide);
      } else {
        res.set_content_provider(
            kFiftyMegabytes, kHtml,
            [provide](std::size_t offset, std::size_t, httplib::DataSink& sink) {
              return provide(offset, sink);
            });
      }
      return;
    }
    case Fault::InvalidUtf8:
      res.set_content(repeatedTo(kNotUtf8, 64u << 10), kHtml);
      return;
    case Fault::BinaryGarbage:
      res.set_content(garbage(64u << 10), "application/octet-stream");
      return;
    case Fault::RedirectLoop:
      res.set_redirect(req.target);
      return;
  }
}

int closedLoopbackPort() {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(listener);
  return ntohs(address.sin_port);
}

}  // namespace skycall::robustness
