#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <set>
#include <vector>

#include "forecast/TextCodec.h"
#include "integration/LoopbackServer.h"
#include "platform/CurlFetcher.h"

namespace skycall {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// Serves a small stand-in site: pages, error statuses, oversized and slow bodies, redirects.
class CurlFetcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& http = server.http;
    http.Get(R"(/weather/([a-z-]+)/(.*))",
             [this](const httplib::Request& req, httplib::Response& res) {
               {
                 std::lock_guard lock(seenMutex);
                 remotePorts.insert(req.remote_port);
                 paths.push_back(req.path);
               }
               res.set_content(std::string(req.matches[1]) + " for " + std::string(req.matches[2]),
                               "text/html; charset=UTF-8");
             });
    http.Get(R"(/status/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
      res.status = std::stoi(req.matches[1]);
      res.set_content("<html>error page</html>", "text/html");
    });
    http.Get("/big/length", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(5000, 'x'), "text/html");
    });
    http.Get("/big/chunked", [](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("text/html", [](std::size_t, httplib::DataSink& sink) {
        const std::string piece(1000, 'x');
        for (int i = 0; i < 5; ++i) sink.write(piece.data(), piece.size());
        sink.done();
        return true;
      });
    });
    http.Get("/late", [](const httplib::Request&, httplib::Response& res) {
      std::this_thread::sleep_for(1000ms);
      res.set_content("too late", "text/html");
    });
    http.Get("/loop",
             [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop"); });
    http.Get("/to-file", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("file:///etc/hostname");
    });
    http.Get("/moved", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/weather/today/moved");
    });
    // Headers at once, then a long silence, then the body in slow pieces.
    http.Get("/trickle", [](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("text/html", [](std::size_t, httplib::DataSink& sink) {
        std::this_thread::sleep_for(400ms);
        for (int i = 0; i < 4; ++i) {
          sink.write("piece ", 6);
          std::this_thread::sleep_for(50ms);
        }
        sink.done();
        return true;
      });
    });
    http.Get(R"(/typed/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
      static const char* const kContentTypes[] = {
          "text/html; charset=ISO-8859-1", "text/html;charset=\"UTF-8\"",
          "text/html; q=1; Charset = windows-1252 ", "text/html"};
      res.body = "Caf\xe9 72\xb0";
      const std::size_t which = std::stoul(req.matches[1]);
      if (which < std::size(kContentTypes)) res.set_header("Content-Type", kContentTypes[which]);
    });
    server.start();
  }

  testing::LoopbackServer server;
  std::mutex seenMutex;
  std::set<int> remotePorts;
  std::vector<std::string> paths;
};

TEST_F(CurlFetcherTest, FetchesFourPagesInOrderOverOneConnection) {
  CurlFetcher fetcher;
  const std::vector<std::string> pages = {"right-now", "today", "tomorrow", "tenday"};
  for (const auto& page : pages) {
    const FetchedPage got = fetcher.fetch(server.url("/weather/" + page + "/Boston+MA"));
    EXPECT_EQ(got.body, page + " for Boston+MA");
    EXPECT_EQ(got.charset, "utf-8");
  }
  std::lock_guard lock(seenMutex);
  EXPECT_EQ(paths,
            (std::vector<std::string>{"/weather/right-now/Boston+MA", "/weather/today/Boston+MA",
                                      "/weather/tomorrow/Boston+MA", "/weather/tenday/Boston+MA"}));
  EXPECT_EQ(remotePorts.size(), 1u) << "each page opened a connection of its own";
}

TEST_F(CurlFetcherTest, FollowsARedirectWithinTheSite) {
  CurlFetcher fetcher;
  EXPECT_EQ(fetcher.fetch(server.url("/moved")).body, "today for moved");
}

int closedLoopbackPort() {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(listener, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  close(listener);
  return ntohs(address.sin_port);
}

TEST_F(CurlFetcherTest, EveryFailedTransferIsAFetchErrorAndTheNextPageStillComes) {
  CurlFetcher::FetchLimits shortLimits;
  shortLimits.totalTimeoutMs = 300;
  shortLimits.maxBodyBytes = 1000;
  shortLimits.maxRedirects = 3;
  struct Case {
    std::string address;
    std::string messagePart;
  };
  const std::vector<Case> cases = {
      {server.url("/status/500"), "The forecast site answered 500"},
      {server.url("/status/404"), "The forecast site answered 404"},
      {server.url("/big/length"), "larger than 1000 bytes"},
      {server.url("/big/chunked"), "larger than 1000 bytes"},
      {server.url("/late"), "took too long"},
      {server.url("/loop"), "redirected too many times"},
      {server.url("/to-file"), "Only http and https"},
      {"ftp://127.0.0.1/weather", "Only http and https"},
      {"http://127.0.0.1:" + std::to_string(closedLoopbackPort()) + "/", "Could not fetch"},
  };
  CurlFetcher fetcher(shortLimits);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    const auto started = SteadyClock::now();
    try {
      const FetchedPage page = fetcher.fetch(c.address);
      ADD_FAILURE() << "fetched " << page.body.size() << " bytes";
    } catch (const FetchError& error) {
      EXPECT_NE(std::string(error.what()).find(c.messagePart), std::string::npos) << error.what();
    }
    EXPECT_LT(SteadyClock::now() - started, 900ms);
    EXPECT_EQ(fetcher.fetch(server.url("/weather/today/after")).body, "today for after");
  }
}

TEST_F(CurlFetcherTest, ReportsTheDeclaredCharsetSoTheBodyDecodesRight) {
  struct Case {
    int contentType;
    std::string charset;
    std::wstring text;
  };
  const std::vector<Case> cases = {
      {0, "iso-8859-1", L"Caf\u00e9 72\u00b0"},
      {1, "utf-8", L"Caf\u00e9 72\u00b0"},  // invalid UTF-8 bytes fall back to windows-1252
      {2, "windows-1252", L"Caf\u00e9 72\u00b0"},
      {3, "", L"Caf\u00e9 72\u00b0"},
      {4, "", L"Caf\u00e9 72\u00b0"},  // no Content-Type at all
  };
  CurlFetcher fetcher;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.contentType);
    const FetchedPage page = fetcher.fetch(server.url("/typed/" + std::to_string(c.contentType)));
    EXPECT_EQ(page.body, "Caf\xe9 72\xb0");
    EXPECT_EQ(page.charset, c.charset);
    EXPECT_EQ(decodePage(page.body, page.charset), c.text);
  }
}

TEST_F(CurlFetcherTest, KeepsTheWindowServedWhileAPageIsSlow) {
  std::vector<SteadyClock::time_point> calls;
  CurlFetcher fetcher({}, [&] { calls.push_back(SteadyClock::now()); });
  const auto started = SteadyClock::now();
  EXPECT_EQ(fetcher.fetch(server.url("/trickle")).body, "piece piece piece piece ");
  const auto finished = SteadyClock::now();

  ASSERT_GE(calls.size(), 10u);
  // No long stretch without a call, also while nothing at all arrives.
  auto longestGap = calls.front() - started;
  for (std::size_t i = 1; i < calls.size(); ++i)
    longestGap = std::max(longestGap, calls[i] - calls[i - 1]);
  longestGap = std::max(longestGap, finished - calls.back());
  EXPECT_LT(longestGap, 150ms);
}

}  // namespace
}  // namespace skycall
