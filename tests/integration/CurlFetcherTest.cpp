// SPDX-License-Identifier: GPL-3.0-or-later
// The libcurl fetcher and the system clock, against a loopback site inside the test.
#include <gtest/gtest.h>

#include <set>

#include "fakes/LoopbackSite.h"
#include "forecast/TextCodec.h"
#include "platform/CurlFetcher.h"
#include "platform/SystemClock.h"

namespace skycall {
namespace {

using namespace std::chrono;
using fakes::Fault;

// The site's forecast pages, one of them faulty for location "bad"; besides them an answer of
// exactly 400, redirects, a body just past the test's cap, and a Latin-1 page.
struct Site : fakes::LoopbackSite {
  explicit Site(Fault fault = Fault::None) {
    http.Get("/400", [](auto&, auto& res) { res.status = 400; });
    http.Get("/to-file", [](auto&, auto& res) { res.set_redirect("file:///etc/hostname"); });
    http.Get("/1001", [](auto&, auto& res) { res.set_content(std::string(1001, 'x'), ""); });
    http.Get("/latin-1", [](auto&, auto& res) {
      res.set_content("Caf\xe9 72\xb0", "text/html; charset=ISO-8859-1");
    });
    http.Get("/moved", [](auto&, auto& res) { res.set_redirect("/weather/today/moved"); });
    http.Get(R"(/weather/tenday/\d+)", [this](const httplib::Request& req, auto& res) {
      const std::lock_guard lock(portsMutex);
      ports.insert(req.remote_port);
      res.set_content(req.path, "text/html");
    });
    serveForecast({{"today", "today's page"}}, "bad", "today", fault);
  }
  std::mutex portsMutex;
  std::set<int> ports;
};

TEST(CurlFetcher, ServesPagesOverOneConnectionAndTheirCharset) {
  Site site;
  CurlFetcher fetcher;
  for (const char* page : {"/weather/tenday/1", "/weather/tenday/2", "/weather/tenday/3"})
    EXPECT_EQ(fetcher.fetch(site.url(page)).body, page);
  const std::lock_guard lock(site.portsMutex);
  EXPECT_EQ(site.ports.size(), 1u) << "a page opened a connection of its own";
  EXPECT_EQ(fetcher.fetch(site.url("/moved")).body, "today's page");  // within the site
  const FetchedPage page = fetcher.fetch(site.url("/latin-1"));
  EXPECT_EQ(page.charset, "iso-8859-1");
  EXPECT_EQ(decodePage(page.body, page.charset), L"Caf\u00e9 72\u00b0");
  const std::pair<const char*, const char*> contentTypes[] = {
      {"text/html;charset=\"UTF-8\"", "utf-8"},
      {"text/html; q=1; Charset = windows-1252 ", "windows-1252"},
      {"text/html", ""}};
  for (const auto& [contentType, charset] : contentTypes)
    EXPECT_EQ(charsetOf(contentType), charset) << contentType;
}

// Every failed transfer is a FetchError that says why, within the time-out; the window is
// served all the while, a fetch asked for from it is refused, and the next page still comes.
// The fifty-megabyte page, sent in small chunks, meets the fetcher's own cap of 8 MB; the others
// a cap of 1000 bytes, a total time-out of 300 ms and three redirects.
TEST(CurlFetcher, EveryFailedTransferIsAFetchErrorAndTheWindowIsServed) {
  const std::tuple<Fault, std::string, const char*> cases[] = {
      {Fault::ServerError, "/weather/today/bad", "The forecast site answered 500"},
      {Fault::None, "/400", "The forecast site answered 400"},
      {Fault::None, "/1001", "larger than 1000 bytes"},
      {Fault::FiftyMegabytes, "/weather/today/bad", "larger than 8388608 bytes"},
      {Fault::NeverAnswers, "/weather/today/bad", "took too long"},
      {Fault::SlowDrip, "/weather/today/bad", "took too long"},
      {Fault::RedirectLoop, "/weather/today/bad", "redirected too many times"},
      {Fault::None, "/to-file", "Only http and https"},
      {Fault::None, "ftp://127.0.0.1/weather", "Only http and https"},
      {Fault::None, "http://127.0.0.1:1/", "Could not fetch"}};  // nobody listens there
  for (const auto& [fault, address, message] : cases) {
    SCOPED_TRACE(address + " " + std::to_string(int(fault)));
    Site site(fault);
    std::vector<steady_clock::time_point> calls{steady_clock::now()};
    std::string nested;
    CurlFetcher* self = nullptr;
    CurlFetcher::FetchLimits limits{.totalTimeoutMs = 300, .maxBodyBytes = 1000, .maxRedirects = 3};
    CurlFetcher fetcher(fault == Fault::FiftyMegabytes ? CurlFetcher::FetchLimits{} : limits, [&] {
      calls.push_back(steady_clock::now());
      try {
        if (nested.empty()) nested = self->fetch(site.url("/weather/today/1")).body;
      } catch (const FetchError& error) {
        nested = error.what();
      }
    });
    self = &fetcher;
    const std::string url = address[0] == '/' ? site.url(address) : address;
    std::string error = "no error";
    try {
      fetcher.fetch(url);
    } catch (const FetchError& failed) {
      error = failed.what();
    }
    EXPECT_NE(error.find(message), std::string::npos) << error;
    calls.push_back(steady_clock::now());
    EXPECT_LT(calls.back() - calls.front(), fault == Fault::FiftyMegabytes ? 5s : 900ms);
    for (std::size_t i = 1; i < calls.size(); ++i) EXPECT_LT(calls[i] - calls[i - 1], 150ms);
    EXPECT_EQ(nested, calls.size() > 2 ? "A page is already being fetched" : "");
    EXPECT_EQ(fetcher.fetch(site.url("/weather/today/after")).body, "today's page");
  }
}

// The weekday where the user is, Sunday = 1, also where it is already tomorrow or still
// yesterday in UTC.
TEST(SystemClock, WeekdayIsTodaysHere) {
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

}  // namespace
}  // namespace skycall
