#include "robustness/FaultSite.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <utility>

#include "fixtures/Fixtures.h"

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

}  // namespace

FaultSite::FaultSite(std::string location, std::string page, Fault fault)
    : faultLocation_(std::move(location)), faultPage_(std::move(page)), fault_(fault) {
  for (const char* page : {"right-now", "today", "tomorrow", "tenday"})
    pages_[page] = fixtures::page(std::string(page) + "-full").body;
  server_.http.Get(R"([\s\S]*)", [this](const httplib::Request& req, httplib::Response& res) {
    serve(req, res);
  });
  server_.start();
}

FaultSite::~FaultSite() {
  std::lock_guard lock(mutex_);
  stopping_ = true;
  shuttingDown_.notify_all();
}

std::vector<std::string> FaultSite::takeTargets() {
  std::lock_guard lock(mutex_);
  return std::exchange(targets_, {});
}

bool FaultSite::pause(double seconds) {
  std::unique_lock lock(mutex_);
  return shuttingDown_.wait_for(lock, std::chrono::duration<double>(seconds),
                                [this] { return stopping_; });
}

void FaultSite::serve(const httplib::Request& req, httplib::Response& res) {
  // The path as decoded: "/weather/" + page + "/" + location.
  const auto slash = req.path.find('/', kPagesRoot.size());
  const bool paged = req.path.rfind(kPagesRoot, 0) == 0 && slash != std::string::npos;
  const std::string page =
      paged ? req.path.substr(kPagesRoot.size(), slash - kPagesRoot.size()) : "";
  const Fault fault = paged && page == faultPage_ && req.path.substr(slash + 1) == faultLocation_
                          ? fault_
                          : Fault::None;
  {
    std::lock_guard lock(mutex_);
    targets_.push_back(req.target);
  }
  const auto known = pages_.find(page);
  if (known == pages_.end()) {
    res.status = 404;
    return;
  }
  const std::string& body = known->second;
  switch (fault) {
    case Fault::None:
      res.set_content(body, kHtml);
      return;
    case Fault::NeverAnswers:
      pause(30);  // long past any sane time-out; the site's shutdown ends it early
      res.status = 503;
      return;
    case Fault::SlowDrip:
      res.set_chunked_content_provider(
          kHtml, [this, &body](std::size_t at, httplib::DataSink& sink) {
            return at < body.size() && !pause(0.25) && sink.write(body.data() + at, 1);
          });
      return;
    case Fault::NotFound:
    case Fault::ServerError:
      // An error page that would scan as a forecast if its status were ignored.
      res.status = fault == Fault::NotFound ? 404 : 500;
      res.set_content(body, kHtml);
      return;
    case Fault::CutOff:
      // The whole page arrives, but not the length promised: the transfer is not complete.
      res.set_content_provider(body.size() * 2, kHtml,
                               [&body](std::size_t at, std::size_t, httplib::DataSink& sink) {
                                 if (at == 0) sink.write(body.data(), body.size());
                                 return false;
                               });
      return;
    case Fault::FiftyMegabytes:
      // A real page first, then filler, with no length declared: the fetcher must stop it.
      res.set_chunked_content_provider(
          kHtml, [this, &body](std::size_t at, httplib::DataSink& sink) {
            if (at >= kFiftyMegabytes) {
              sink.done();
              return true;
            }
            const std::string piece = (at == 0 ? body : "") + std::string(kPiece, ' ');
            return !pause(0) && sink.write(piece.data(), piece.size());
          });
      return;
    case Fault::InvalidUtf8: {
      std::string bytes;
      while (bytes.size() < kPiece) bytes += kNotUtf8;
      res.set_content(bytes, kHtml);
      return;
    }
    case Fault::BinaryGarbage: {
      std::mt19937 random(20240607);
      std::string bytes(kPiece, '\0');
      for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
      res.set_content(bytes, "application/octet-stream");
      return;
    }
    case Fault::RedirectLoop:
      res.set_redirect(req.target);
      return;
  }
}

}  // namespace skycall::robustness
