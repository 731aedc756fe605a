// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <mutex>
#include <set>
#include <vector>

#include "fakes/LoopbackSite.h"
#include "forecast/TextCodec.h"
#include "platform/CurlFetcher.h"
#include "platform/SystemClock.h"

namespace skycall {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// A small stand-in site: pages, error statuses, oversized and slow bodies, redirects.
class CurlFetcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& http = server.http;
    http.Get(R"(/weather/([a-z-]+)/(.*))", [this](const httplib::Request& req, auto& res) {
      const std::lock_guard lock(seenMutex);
      remotePorts.insert(req.remote_port);
      paths.push_back(req.path);
      res.set_content(req.matches[1].str() + " for " + req.matches[2].str(), "text/html");
    });
    http.Get(R"(/status/(\d+))", [](const httplib::Request& req, auto& res) {
      res.status = std::stoi(req.matches[1]);
      res.set_content("<html>error page</html>", "text/html");
    });
    http.Get("/big/length", [](auto&, auto& res) { res.set_content(std::string(1001, 'x'), ""); });
    http.Get("/big/chunked", [](auto&, auto& res) {
      res.set_chunked_content_provider("", chunks(3, 0ms, std::string(400, 'x')));
    });
    // Headers at once, then a long silence, then the body in slow pieces.
    http.Get("/trickle", [](auto&, auto& res) {
      res.set_chunked_content_provider("", chunks(4, 400ms, "piece "));
    });
    http.Get("/big/nine-megabytes",
             [](auto&, auto& res) { res.set_content(std::string(9u << 20, 'x'), ""); });
    http.Get("/loop", [](auto&, auto& res) { res.set_redirect("/loop"); });
    http.Get("/to-file", [](auto&, auto& res) { res.set_redirect("file:///etc/hostname"); });
    http.Get("/moved", [](auto&, auto& res) { res.set_redirect("/weather/today/moved"); });
    http.Get("/latin-1", [](auto&, auto& res) {
      res.set_content("Caf\xe9 72\xb0", "text/html; charset=ISO-8859-1");
    });
    server.start();
  }

  // A chunked body: `count` pieces 50 ms apart, the first after `silence`.
  static httplib::ContentProviderWithoutLength chunks(int count, std::chrono::milliseconds silence,
                                                      std::string piece) {
    return [=](std::size_t, httplib::DataSink& sink) {
      std::this_thread::sleep_for(silence);
      for (int i = 0; i < count; ++i, std::this_thread::sleep_for(50ms))
        sink.write(piece.data(), piece.size());
      sink.done();
      return true;
    };
  }

  fakes::LoopbackSite server;
  std::mutex seenMutex;
  std::set<int> remotePorts;
  std::vector<std::string> paths;
};

TEST_F(CurlFetcherTest, FetchesFourPagesInOrderOverOneConnection) {
  CurlFetcher fetcher;
  for (const std::string page : {"right-now", "today", "tomorrow", "tenday"})
    EXPECT_EQ(fetcher.fetch(server.url("/weather/" + page + "/Boston+MA")).body,
              page + " for Boston+MA");
  const std::lock_guard lock(seenMutex);
  EXPECT_EQ(paths,
            (std::vector<std::string>{"/weather/right-now/Boston+MA", "/weather/today/Boston+MA",
                                      "/weather/tomorrow/Boston+MA", "/weather/tenday/Boston+MA"}));
  EXPECT_EQ(remotePorts.size(), 1u) << "a page opened a connection of its own";
}

// Without limits of its own the fetcher refuses a body past 8 MB.
TEST_F(CurlFetcherTest, DefaultLimitsRefuseAPageOfNineMegabytes) {
  try {
    ADD_FAILURE() << CurlFetcher().fetch(server.url("/big/nine-megabytes")).body.size();
  } catch (const FetchError& error) {
    EXPECT_NE(std::string(error.what()).find("larger than 8388608 bytes"), std::string::npos);
  }
}

// The weekday where the user is, Sunday = 1, also where it is already tomorrow or still
// yesterday in UTC.
TEST(SystemClockTest, WeekdayIsTodaysHere) {
  for (const char* zone : {"UTC", "Pacific/Kiritimati", "Etc/GMT+12"}) {
    ::setenv("TZ", zone, 1);
    ::tzset();
    const std::time_t now = std::time(nullptr);
    std::tm here{};
    ::localtime_r(&now, &here);
    EXPECT_EQ(SystemClock().weekday(), here.tm_wday + 1) << zone;
  }
  ::unsetenv("TZ");
  ::tzset();
}

TEST_F(CurlFetcherTest, EveryFailedTransferIsAFetchErrorAndTheNextPageStillComes) {
  CurlFetcher::FetchLimits limits;
  limits.totalTimeoutMs = 300;
  limits.maxBodyBytes = 1000;
  limits.maxRedirects = 3;
  const std::pair<std::string, const char*> cases[] = {
      {server.url("/status/500"), "The forecast site answered 500"},
      {server.url("/status/400"), "The forecast site answered 400"},
      {server.url("/big/length"), "larger than 1000 bytes"},
      {server.url("/big/chunked"), "larger than 1000 bytes"},
      {server.url("/trickle"), "took too long"},
      {server.url("/loop"), "redirected too many times"},
      {server.url("/to-file"), "Only http and https"},
      {"ftp://127.0.0.1/weather", "Only http and https"},
      {"http://127.0.0.1:1/", "Could not fetch"}};  // nobody listens there
  CurlFetcher fetcher(limits);
  for (const auto& [address, message] : cases) {
    const auto started = SteadyClock::now();
    try {
      ADD_FAILURE() << address << " fetched " << fetcher.fetch(address).body.size() << " bytes";
    } catch (const FetchError& error) {
      EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
    }
    EXPECT_LT(SteadyClock::now() - started, 900ms) << address;
    EXPECT_EQ(fetcher.fetch(server.url("/weather/today/after")).body, "today for after");
  }
  EXPECT_EQ(fetcher.fetch(server.url("/moved")).body, "today for moved");  // within the site
}

TEST_F(CurlFetcherTest, ReportsTheDeclaredCharsetSoTheBodyDecodesRight) {
  const FetchedPage page = CurlFetcher().fetch(server.url("/latin-1"));
  EXPECT_EQ(page.charset, "iso-8859-1");
  EXPECT_EQ(decodePage(page.body, page.charset), L"Caf\u00e9 72\u00b0");
  const std::pair<const char*, const char*> contentTypes[] = {
      {"text/html;charset=\"UTF-8\"", "utf-8"},
      {"text/html; q=1; Charset = windows-1252 ", "windows-1252"},
      {"text/html", ""}};
  for (const auto& [contentType, charset] : contentTypes)
    EXPECT_EQ(charsetOf(contentType), charset) << contentType;
}

TEST_F(CurlFetcherTest, KeepsTheWindowServedWhileAPageIsSlow) {
  std::vector<SteadyClock::time_point> calls;
  CurlFetcher fetcher({}, [&] { calls.push_back(SteadyClock::now()); });
  const auto started = SteadyClock::now();
  EXPECT_EQ(fetcher.fetch(server.url("/trickle")).body, "piece piece piece piece ");
  calls.insert(calls.begin(), started);
  calls.push_back(SteadyClock::now());
  ASSERT_GE(calls.size(), 12u);
  // No long stretch without a call, also while nothing at all arrives.
  for (std::size_t i = 1; i < calls.size(); ++i) EXPECT_LT(calls[i] - calls[i - 1], 150ms);
}

}  // namespace
}  // namespace skycall
