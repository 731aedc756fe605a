// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <httplib.h>

#include <utility>

namespace skycall::fakes {

// The ways a page of the forecast site can go wrong.
enum class Fault { None, NeverAnswers, NotFound, FiftyMegabytes, InvalidUtf8 };

// The faults by the names the scenarios and tables give them.
inline Fault faultNamed(const std::string& name) {
  static const std::map<std::string, Fault> kNames = {{"none", Fault::None},
                                                      {"never-answers", Fault::NeverAnswers},
                                                      {"not-found", Fault::NotFound},
                                                      {"fifty-megabytes", Fault::FiftyMegabytes},
                                                      {"invalid-utf8", Fault::InvalidUtf8}};
  return kNames.at(name);
}

// An http server on 127.0.0.1 and a free port, serving from a thread of its own for as long as it
// lives. serveForecast() gives the four pages of a forecast for any location, except
// one page of one location that has a fault; other routes may be added on `http` before start().
class LoopbackSite {
 public:
  httplib::Server http;

  // pages: page name ("right-now", ...) -> its bytes.
  void serveForecast(std::map<std::string, std::string> pages, std::string location = "",
                     std::string page = "", Fault fault = Fault::None) {
    pages_ = std::move(pages);
    http.Get(R"([\s\S]*)", [=, this](const httplib::Request& req, httplib::Response& res) {
      std::smatch at;  // the path as decoded: "/weather/" + page + "/" + location
      std::regex_match(req.path, at, std::regex("/weather/([^/]*)/(.*)"));
      {
        std::lock_guard lock(mutex_);
        targets_.push_back(req.target);
      }
      const auto found = pages_.find(at[1].str());
      if (found == pages_.end()) return void(res.status = 404);
      serve(found->second, at[1] == page && at[2] == location ? fault : Fault::None, res);
    });
    start();
  }
  void start() {
    port_ = http.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { http.listen_after_bind(); });
    // A stop before the accept loop runs would be lost and the join would never return.
    while (!http.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~LoopbackSite() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    shuttingDown_.notify_all();
    http.stop();
    if (thread_.joinable()) thread_.join();
  }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string url(const std::string& path) const { return "http://" + host() + path; }
  // The request targets that came in since the last call, exactly as they arrived.
  std::vector<std::string> takeTargets() {
    std::lock_guard lock(mutex_);
    return std::exchange(targets_, {});
  }

 private:
  // Waits up to seconds, or until the site shuts down; true when it is shutting down.
  bool pause(double seconds) {
    std::unique_lock lock(mutex_);
    return shuttingDown_.wait_for(lock, std::chrono::duration<double>(seconds),
                                  [this] { return stopping_; });
  }
  void serve(const std::string& body, Fault fault, httplib::Response& res) {
    constexpr char kHtml[] = "text/html; charset=utf-8";
    constexpr std::size_t kPiece = 64u << 10;
    switch (fault) {
      case Fault::None:
        return res.set_content(body, kHtml);
      case Fault::NeverAnswers:  // long past any sane time-out; the shutdown ends it early
        pause(30);
        return void(res.status = 503);
      case Fault::NotFound:  // an error page that would scan as a forecast, status unheard
        res.status = 404;
        return res.set_content(body, kHtml);
      case Fault::FiftyMegabytes:  // a real page, then filler, with no length declared
        return res.set_chunked_content_provider(
            kHtml, [this, &body](std::size_t at, httplib::DataSink& sink) {
              if (at >= (50u << 20)) {
                sink.done();
                return true;
              }
              const std::string piece = (at == 0 ? body : "") + std::string(kPiece, ' ');
              return !pause(0) && sink.write(piece.data(), piece.size());
            });
      case Fault::InvalidUtf8: {  // stray continuations, overlong forms, surrogates, cut sequences
        std::string noise;
        while (noise.size() < kPiece)
          noise +=
              "\xC3\x28\xA0\xA1\xE2\x28\xA1\xF0\x28\x8C\xBC\xF8\xA1\xC0\xAF\xED\xA0\x80\xFF\xFE";
        return res.set_content(noise, kHtml);
      }
    }
  }

  std::map<std::string, std::string> pages_;  // page name -> bytes of a full forecast page
  std::mutex mutex_;
  std::condition_variable shuttingDown_;
  bool stopping_ = false;
  std::vector<std::string> targets_;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace skycall::fakes
