// SPDX-License-Identifier: GPL-3.0-or-later
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <csignal>
#include <ctime>
#include <sstream>

#include "platform/CurlFetcher.h"
#include "site/SiteOptions.h"
#include "site_rig.h"

namespace skycall {
namespace {

using sitetest::SiteProcess;

// The program's clock for the machine's date, on which the demo forecast starts.
int today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_wday + 1;
}

// Plain connections to the site, for what no well-behaved client sends; opened side by side
// (a busy machine's site takes them slowly), each given up after ten seconds.
std::vector<int> connectTo(int port, int count) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::vector<pollfd> opening;
  for (int i = 0; i < count; ++i) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    opening.push_back({socket, POLLOUT, 0});
  }
  std::vector<int> open;
  for (int waited = 0; open.size() < opening.size() && waited < 100; ++waited) {
    poll(opening.data(), opening.size(), 100);
    for (pollfd& socket : opening)
      if (socket.revents & POLLOUT) {
        open.push_back(socket.fd);
        socket.events = 0;
        socket.revents = 0;
      }
  }
  return open;
}

// The program's whole way to a forecast: its fetcher and fetch cycle against the site binary,
// a location outside ASCII, each request logged; other addresses are no page.
TEST(SiteBinary, ServesTheProgramItsPagesAndLogsEachRequest) {
  SiteProcess site;
  ASSERT_GT(site.port(), 0) << site.announcement();
  EXPECT_NE(site.announcement().find("demo source"), std::string::npos);
  CurlFetcher fetcher;
  const auto rows = sitetest::cycleRows(fetcher, site.host(), "Cañon City CO", today());
  ASSERT_EQ(rows.size(), 48u);
  EXPECT_EQ(rows[2].rfind("Demo forecast, ", 0), 0u) << rows[2];
  httplib::Client client("127.0.0.1", site.port());
  const auto page = client.Get("/weather/today/62701");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  for (const char* path : {"/favicon.ico", "/weather/today", "/weather/Today/62701"})
    EXPECT_EQ(client.Get(path)->status, 404) << path;

  EXPECT_EQ(site.stop(SIGINT), 0);
  const std::string log = site.log();
  EXPECT_NE(log.find(" GET /weather/tenday/Ca%C3%B1on+City+CO 200\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" GET /favicon.ico 404\n"), std::string::npos) << log;
}

TEST(SiteBinary, EndsCleanlyOnEveryStopSignal) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SiteProcess site;
    ASSERT_GT(site.port(), 0);
    EXPECT_EQ(site.stop(signal), 0) << strsignal(signal);
  }
}

// The command line: the site listens on this machine only, and anything it cannot honour is
// refused, not guessed; --help shows every default.
TEST(SiteBinary, CommandLines) {
  const std::tuple<std::vector<std::string>, int, const char*> cases[] = {
      // arguments, exit status (-1: runs), a text the answer or the address holds
      {{}, -1, "127.0.0.1:8722"},
      {{"--listen", "[::1]:9000", "--source", "auto"}, -1, "::1:9000"},
      {{"--listen", "localhost:80"}, -1, "127.0.0.1:80"},
      {{"--listen", "0.0.0.0:8722"}, 2, "not a loopback host"},
      {{"--listen", "127.0.0.1:70000"}, 2, "not a port number"},
      {{"--source", "real"}, 2, "real"},
      {{"--timeout", "0"}, 2, "timeout"},
      {{"--port", "1"}, 2, "--port"},
      {{"--version"}, 0, "skycall-site 0.3\n"},
      {{"--help"}, 0, "--timeout FLOAT:POSITIVE=8 "}};
  for (const auto& [args, status, text] : cases) {
    std::ostringstream out;
    const auto parsed = parseSiteOptions(args, "localhost:8722", out, out);
    const std::string line = args.empty() ? "(none)" : args[0];
    if (const auto* options = std::get_if<SiteOptions>(&parsed)) {
      EXPECT_EQ(status, -1) << line;
      EXPECT_EQ(options->host + ":" + std::to_string(options->port), text) << line;
    } else {
      EXPECT_EQ(std::get<int>(parsed), status) << line;
      EXPECT_NE(out.str().find(text), std::string::npos) << line << "\n" << out.str();
    }
  }
  std::ostringstream help;
  parseSiteOptions({"--help"}, "localhost:8722", help, help);
  for (const char* shown : {"=localhost:8722", "=demo", "=https://geocoding-api.open-meteo.com/",
                            "=https://api.open-meteo.com/"})
    EXPECT_NE(help.str().find(shown), std::string::npos) << shown << "\n" << help.str();
}

// A host name that starts like a loopback address but resolves to every interface.
TEST(SiteBinary, RefusesANameThatResolvesOffLoopback) {
  const std::string hosts = ::testing::TempDir() + "skycall-site-hosts";
  std::ofstream(hosts) << "0.0.0.0 127.wide.example\n";
  SiteProcess site({"--listen", "127.wide.example:0"},
                   {"unshare", "--mount", "sh", "-c",
                    "mount --bind " + hosts + " /etc/hosts || exit 99; exec \"$@\"", "sh"});
  const int status = site.stop(0);
  if (status == 99 || status == 127) GTEST_SKIP() << "no private /etc/hosts here";
  EXPECT_EQ(status, 2) << site.announcement() << site.log();
}

// The site serves GET only: a large body is refused at once, never read into memory.
TEST(SiteBinary, RefusesALargeRequestBody) {
  SiteProcess site;
  const auto sockets = connectTo(site.port(), 1);
  ASSERT_EQ(sockets.size(), 1u);
  const int socket = sockets[0];
  const std::string request =
      "POST /weather/today/62701 HTTP/1.1\r\nHost: x\r\nContent-Length: 268435456\r\n\r\n" +
      std::string(4096, 'x');
  ASSERT_EQ(send(socket, request.data(), request.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(request.size()));
  pollfd answer{socket, POLLIN, 0};
  char status[13] = "";
  ASSERT_EQ(poll(&answer, 1, 3000), 1) << "no answer in 3 s";
  recv(socket, status, 12, 0);
  EXPECT_STREQ(status, "HTTP/1.1 413");
  close(socket);
}

// 200 connections that trickle a request a byte at a time, as slowly as the site lets them,
// leave the program its four pages within its own time-outs.
TEST(SiteBinary, SlowConnectionsDoNotStarveTheProgram) {
  SiteProcess site;
  ASSERT_GT(site.port(), 0);
  const std::vector<int> slow = connectTo(site.port(), 200);
  ASSERT_EQ(slow.size(), 200u);
  std::atomic<bool> done = false;
  std::thread trickle([&] {
    const std::string request = "GET /weather/today/62701 HTTP/1.1\r\nHost: x\r\n";
    for (std::size_t at = 0; !done && at < request.size(); ++at) {
      for (const int socket : slow) send(socket, &request[at], 1, MSG_NOSIGNAL);
      for (int wait = 0; !done && wait < 10; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  std::this_thread::sleep_for(std::chrono::seconds(1));
  CurlFetcher fetcher;  // the program's own time-outs
  const auto started = std::chrono::steady_clock::now();
  std::vector<std::string> rows;
  EXPECT_NO_THROW(rows = sitetest::cycleRows(fetcher, site.host(), "62701", today()));
  EXPECT_EQ(rows.size(), 48u);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
  done = true;
  trickle.join();
  for (const int socket : slow) close(socket);
}

// "auto" serves live weather when the services answer, the demo when they do not.
TEST(SiteBinary, AutoSourceServesLiveWeatherOrTheDemo) {
  sitetest::FakeWeatherServices services;
  SiteProcess live({"--source", "auto", "--timeout", "2", "--geocoding-url",
                    services.url("/v1/search"), "--forecast-url", services.url("/v1/forecast")});
  EXPECT_NE(live.announcement().find("serving the live source"), std::string::npos)
      << live.announcement();
  SiteProcess demo({"--source", "auto", "--timeout", "1", "--geocoding-url",
                    "http://127.0.0.1:1/v1/search", "--forecast-url",
                    "http://127.0.0.1:1/v1/forecast"});
  EXPECT_NE(demo.announcement().find("serving the demo source"), std::string::npos)
      << demo.announcement();
}

}  // namespace
}  // namespace skycall
