// SPDX-License-Identifier: GPL-3.0-or-later
// The program's libcurl fetcher against loopback sites; the stand-in forecast site, skycall-site,
// read by that fetcher and the program's fetch cycle; and its live source against the weather
// services on one loopback site. The cases are the tables in fixtures/.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <strings.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include "fakes/FakeClock.h"
#include "fakes/Fixtures.h"
#include "fakes/LoopbackSite.h"
#include "forecast/FetchCycle.h"
#include "http/CurlFetcher.h"
#include "site/LiveSource.h"
#include "site/SiteOptions.h"
#include "text/TextCodec.h"

namespace skycall {
namespace {

using namespace fixtures;
using namespace std::chrono;
using fakes::Fault;
using nlohmann::json;
using Fields = std::vector<std::string>;

const bool kCurlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;  // before any thread

fs::path data(const std::string& name) {
  return path("site/fixtures/" + name);
}

// The rows the program's fetch cycle makes of a site's four pages, on the given weekday; read by
// the program's own fetcher, with its own time-outs.
std::vector<std::wstring> cycleRows(const std::string& host, const std::string& typed,
                                    int weekday) {
  CurlFetcher curl;
  fakes::VectorList list;
  std::wstring location = fromUtf8(typed);
  runFetchCycle(list, siteLocation(location), curl, fakes::FakeClock(weekday), host, {});
  return list.rows;
}

// The program's clock for the machine's date, on which the demo forecast starts.
int today() {
  const std::time_t now = std::time(nullptr);
  return std::localtime(&now)->tm_wday + 1;
}

// The geocoding and forecast services on the one loopback site, answering by query as the
// services document: geocoding from geocoding.json by the name asked (in any case), filtered by
// countryCode and cut to count; forecasts from forecast-LATITUDE.json, else the Springfield one,
// cut to forecast_days. Their addresses carry a key, as a paid plan's do. The site's own page
// /weather/forecast/x is the forecast answer given (the Springfield one) with the fault given.
const fs::path kSpringfield = data("forecast-springfield.json");
struct FakeWeatherServices : fakes::LoopbackSite {
  explicit FakeWeatherServices(Fault fault = Fault::None,
                               const std::string& forecast = readBytes(kSpringfield)) {
    http.Get("/v1/search", [](const httplib::Request& asked, httplib::Response& answer) {
      if (asked.get_param_value("apikey") != "k1") return void(answer.status = 400);
      const json places = json::parse(readBytes(data("geocoding.json")));
      auto results = json::array();
      for (const auto& [name, listed] : places.items())
        for (const auto& result : listed)
          if (!strcasecmp(name.c_str(), asked.get_param_value("name").c_str()) &&
              (!asked.has_param("countryCode") ||
               result["country_code"] == asked.get_param_value("countryCode")))
            results.push_back(result);
      const auto count = std::min(results.size(), std::stoul(asked.get_param_value("count")));
      results.erase(results.begin() + static_cast<long>(count), results.end());
      json body = {{"generationtime_ms", 0.4}};
      if (!results.empty()) body["results"] = results;
      answer.set_content(body.dump(), "application/json");
    });
    http.Get("/v1/forecast", [](const httplib::Request& asked, httplib::Response& answer) {
      if (asked.get_param_value("apikey") != "k1") return void(answer.status = 400);
      const std::string own =
          readBytes(data("forecast-" + asked.get_param_value("latitude") + ".json"));
      json body = json::parse(own.empty() ? readBytes(kSpringfield) : own);
      const std::size_t days = std::stoul(asked.get_param_value("forecast_days"));
      for (auto& [series, hours] : {std::pair("daily", 1u), std::pair("hourly", 24u)})
        for (auto& values : body[series])  // every member a series of values
          values.erase(values.begin() + static_cast<long>(std::min(values.size(), days * hours)),
                       values.end());
      answer.set_content(body.dump(), "application/json");
    });
    serveForecast({{"forecast", forecast}}, "x", "forecast", fault);
  }
  std::string keyed(const std::string& path) const { return url(path) + "?apikey=k1"; }
  // The live source's services: the geocoding service and this site's forecast page.
  WeatherServices live() const { return {keyed("/v1/search"), keyed("/weather/forecast/x"), 1.0}; }
};

// skycall-site as a user starts it, on a free loopback port unless the arguments say otherwise,
// its announcement and log read from one pipe.
struct SiteProcess {
  FILE* output;
  int pid = 0, port = 0;
  std::string announcement, log;

  explicit SiteProcess(const std::vector<std::string>& args = {}) {
    std::string command = "echo $$; exec " SKYCALL_SITE_BINARY;
    if (std::find(args.begin(), args.end(), "--listen") == args.end())
      command += " --listen 127.0.0.1:0";
    for (const std::string& arg : args) command += " '" + arg + "'";
    output = popen((command + " 2>&1").c_str(), "r");
    pid = std::stoi(readLine());
    while (port == 0 && !(announcement = readLine()).empty())  // "... on http://HOST:PORT/"
      if (log += announcement; announcement.find(" http://") != std::string::npos)
        port = std::stoi(announcement.substr(announcement.rfind(':') + 1));
  }
  ~SiteProcess() { stop(SIGKILL); }
  std::string host() const { return "127.0.0.1:" + std::to_string(port); }
  std::string readLine() {
    char line[1024] = "";
    return fgets(line, sizeof line, output) ? line : "";
  }
  // Sends the signal and keeps what the site writes until it ends: its exit code, or 128 + the
  // signal that ended it (SIGKILL when it did not end within five seconds).
  int stop(int signal) {
    if (!output || pid <= 0) return -1;  // stopped before, or never started
    kill(pid, signal);
    pollfd out{fileno(output), POLLIN, 0};
    for (std::string line; poll(&out, 1, 5000) == 1 && !(line = readLine()).empty();) log += line;
    kill(pid, SIGKILL);  // the process, or the zombie it left, is ours until pclose
    const int status = pclose(std::exchange(output, nullptr));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
};

// A loopback site for the fetcher: forecast pages, one of them faulty for location "bad"; besides
// them an answer of exactly 400, a redirect off the web, a body just past the test's cap, and a
// Latin-1 page.
struct Site : fakes::LoopbackSite {
  explicit Site(Fault fault = Fault::None) {
    http.Get("/400", [](auto&, auto& res) { res.status = 400; });
    http.Get("/to-file", [](auto&, auto& res) { res.set_redirect("file:///etc/hostname"); });
    http.Get("/1001", [](auto&, auto& res) { res.set_content(std::string(1001, 'x'), ""); });
    http.Get("/latin-1", [](auto&, auto& res) {
      res.set_content("Caf\xe9 72\xb0", "text/html; charset=ISO-8859-1");
    });
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

// What fetching the address failed with.
std::string failureOf(CurlFetcher& fetcher, const std::string& address) {
  try {
    return "no error, " + fetcher.fetch(address).body;
  } catch (const FetchError& error) {
    return error.what();
  }
}

TEST(CurlFetcher, ServesPagesOverOneConnectionAndTheirCharset) {
  Site site;
  CurlFetcher fetcher;
  for (const char* page : {"/weather/tenday/1", "/weather/tenday/2", "/weather/tenday/3"})
    EXPECT_EQ(fetcher.fetch(site.url(page)).body, page);
  const std::lock_guard lock(site.portsMutex);
  EXPECT_EQ(site.ports.size(), 1u) << "a page opened a connection of its own";
  fetcher.fetch(site.url("/weather/today/./.."));  // a location as typed, never folder steps
  EXPECT_EQ(site.takeTargets(), std::vector<std::string>{"/weather/today/./.."});
  const FetchedPage page = fetcher.fetch(site.url("/latin-1"));
  EXPECT_EQ(page.charset, "iso-8859-1");
  for (const Line& row : lines(data("content-types.txt")))
    EXPECT_EQ(charsetOf(fields(row.text)[0]), fields(row.text)[1]) << row.where;
}

// Every failed transfer is a FetchError that says why, within the time-out; the window is
// served all the while, a fetch asked for from it is refused, and the next page still comes.
// The fifty-megabyte page, sent in small chunks, meets the fetcher's own cap of 8 MB; the others
// a cap of 1000 bytes, a total time-out of 300 ms and three redirects.
TEST(CurlFetcher, EveryFailedTransferIsAFetchErrorAndTheWindowIsServed) {
  for (const Line& line : lines(data("fetch-failures.txt"))) {
    SCOPED_TRACE(line.where);
    const Fields row = fields(line.text);
    const Fault fault = fakes::faultNamed(row[0]);
    const std::string& address = row[1];
    Site site(fault);
    std::vector<steady_clock::time_point> calls{steady_clock::now()};
    std::string nested;
    CurlFetcher::FetchLimits limits{.totalTimeoutMs = 300, .maxBodyBytes = 1000, .maxRedirects = 3};
    CurlFetcher fetcher(fault == Fault::FiftyMegabytes ? CurlFetcher::FetchLimits{} : limits, [&] {
      calls.push_back(steady_clock::now());
      if (nested.empty()) nested = failureOf(fetcher, site.url("/weather/today/1"));
    });
    const std::string error = failureOf(fetcher, address[0] == '/' ? site.url(address) : address);
    EXPECT_NE(error.find(row[2]), std::string::npos) << error;
    calls.push_back(steady_clock::now());
    EXPECT_LT(calls.back() - calls.front(), fault == Fault::FiftyMegabytes ? 5s : 900ms);
    for (std::size_t i = 1; i < calls.size(); ++i) EXPECT_LT(calls[i] - calls[i - 1], 150ms);
    EXPECT_EQ(nested, calls.size() > 2 ? "A page is already being fetched" : "");
    EXPECT_EQ(fetcher.fetch(site.url("/weather/today/after")).body, "today's page");
  }
}

// The program's whole way to a forecast: its fetcher and fetch cycle against the site binary,
// a location outside ASCII, each request logged; other addresses are no page. The demo weather
// is the same however a place is written, and another place has other weather. The site serves
// GET only: a large body is refused at once, never read into memory. And 200 connections that
// send half a request leave the program its four pages within its own time-outs.
TEST(SiteBinary, ServesAndLogsPagesRefusesLargeBodiesAndOutlastsSlowConnections) {
  SiteProcess site;
  EXPECT_NE(site.announcement.find("serving the demo source"), std::string::npos);
  const auto rows = cycleRows(site.host(), "Ca\xC3\xB1on City CO", today());
  ASSERT_EQ(rows.size(), 48u);
  EXPECT_EQ(rows[2].rfind(L"Demo forecast, ", 0), 0u) << toUtf8(rows[2]);
  const auto springfield = cycleRows(site.host(), "Springfield, IL", today());
  EXPECT_EQ(cycleRows(site.host(), "springfield+IL", today()), springfield);
  EXPECT_NE(springfield, rows);
  httplib::Client client("127.0.0.1", site.port);
  EXPECT_EQ(client.Get("/weather/today/62701")->get_header_value("Content-Type"),
            "text/html; charset=utf-8");
  for (const char* path : {"/favicon.ico", "/weather/today", "/weather/Today/62701"})
    EXPECT_EQ(client.Get(path)->status, 404) << path;
  // Plain connections, opened side by side (a busy machine's site takes them slowly).
  sockaddr_in address{
      AF_INET, htons(static_cast<uint16_t>(site.port)), {htonl(INADDR_LOOPBACK)}, {}};
  std::vector<pollfd> opening;
  for (int i = 0; i < 201; ++i) {
    opening.push_back({::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0), POLLOUT, 0});
    connect(opening.back().fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  std::vector<int> slow;
  for (int waited = 0; slow.size() < opening.size() && waited < 100; ++waited) {
    poll(opening.data(), opening.size(), 100);
    for (pollfd& socket : opening)
      if (socket.revents & POLLOUT) slow.push_back(socket.fd), socket.events = socket.revents = 0;
  }
  ASSERT_EQ(slow.size(), 201u);
  const std::string post =
      "POST /weather/today/62701 HTTP/1.1\r\nHost: x\r\nContent-Length: 268435456\r\n\r\n" +
      std::string(4096, 'x');
  ASSERT_EQ(send(slow[200], post.data(), post.size(), MSG_NOSIGNAL), ssize_t(post.size()));
  pollfd answer{slow[200], POLLIN, 0};
  char status[13] = "";
  ASSERT_EQ(poll(&answer, 1, 3000), 1) << "no answer in 3 s";
  recv(slow[200], status, 12, 0);
  EXPECT_STREQ(status, "HTTP/1.1 413");
  const std::string request = "GET /weather/today/62701 HTTP/1.1\r\nHost: x\r\n";
  for (int i = 0; i < 200; ++i) send(slow[i], request.data(), request.size(), MSG_NOSIGNAL);
  std::this_thread::sleep_for(1s);
  const auto started = steady_clock::now();
  EXPECT_EQ(cycleRows(site.host(), "62701", today()).size(), 48u);
  EXPECT_LT(steady_clock::now() - started, 3s);
  for (const int socket : slow) close(socket);
  // A second site on the same port is refused, never given a share of the requests.
  SiteProcess second({"--listen", site.host()});
  EXPECT_EQ(second.stop(0), 3);
  EXPECT_NE(second.log.find("another program"), std::string::npos) << second.log;
  EXPECT_EQ(site.stop(SIGINT), 0);
  EXPECT_NE(site.log.find(" GET /weather/tenday/Ca%C3%B1on+City+CO 200\n"), std::string::npos)
      << site.log;
  EXPECT_NE(site.log.find(" GET /favicon.ico 404\n"), std::string::npos) << site.log;
}

TEST(SiteOptions, CommandLines) {
  for (const Line& line : lines(data("command-lines.txt"))) {
    const Fields row = fields(line.text);
    std::istringstream words(row[0] == "-" ? "" : row[0]);
    const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
    std::ostringstream out;
    const auto parsed = parseSiteOptions(args, "localhost:8722", out, out);
    const auto* options = std::get_if<SiteOptions>(&parsed);
    EXPECT_EQ(options ? -1 : std::get<int>(parsed), std::stoi(row[1])) << line.where;
    if (options)
      EXPECT_EQ(options->host + ":" + std::to_string(options->port), row[2]) << line.where;
    else
      EXPECT_NE(out.str().find(bytes(row[2])), std::string::npos) << line.where << out.str();
  }
}

// Each place the user may type, through the live site binary and the program's own fetcher and
// fetch cycle: the place its pages name, ten days on the ten-day page, and the rows the user
// hears; or the status of a place the site must not guess.
TEST(LiveSite, TypedPlacesGiveTheRightPlaceAndItsRows) {
  FakeWeatherServices services;
  SiteProcess site({"--source", "live", "--timeout", "2", "--geocoding-url",
                    services.keyed("/v1/search"), "--forecast-url",
                    services.keyed("/v1/forecast")});
  httplib::Client client("127.0.0.1", site.port);
  client.set_url_encode(false);
  for (const Line& line : lines(data("places.txt"))) {
    const Fields row = fields(line.text);
    const std::string& typed = row[0];
    const std::string asked = std::regex_replace(typed, std::regex(" "), "+");
    const auto now = client.Get("/weather/right-now/" + asked);
    ASSERT_TRUE(now) << line.where;
    ASSERT_EQ(now->status, row[2] == "404" ? 404 : 200) << line.where << "\n" << now->body;
    if (now->status == 404) continue;
    EXPECT_NE(now->body.find("<p class=\"place\">" + row[2] + "</p>"), std::string::npos)
        << line.where;
    const std::string tenDay = client.Get("/weather/tenday/" + asked)->body;
    std::size_t headings = 0;
    for (auto at = tenDay.find("<h3>"); at != std::string::npos; at = tenDay.find("<h3>", at + 1))
      ++headings;
    EXPECT_EQ(headings, 10u) << line.where;
    EXPECT_EQ(cycleRows(site.host(), typed, std::stoi(row[1])), fixtures::page(data(row[3])).rows)
        << line.where;
  }
}

// The live source keeps a forecast ten minutes, for every way of writing the place.
TEST(LiveSource, KeepsAForecastTenMinutes) {
  FakeWeatherServices services;
  steady_clock::time_point now{};
  LiveForecastSource source(services.live(), [&] { return now; });
  for (const Line& line : lines(data("forecast-kept.txt"))) {
    const Fields row = fields(line.text);
    now += minutes(std::stoi(row[1]));
    source.forecastFor(row[0]);
    EXPECT_EQ(services.takeTargets().size(), std::stoul(row[2])) << line.where;
  }
}

// Every way the forecast service can fail, and answers that are no forecast: the live source
// answers its status; a site started with "auto" takes such services for none and serves the
// demo; and it ends cleanly on every stop signal.
TEST(LiveSource, FailingServicesGiveTheirStatusAndAutoServesTheDemo) {
  int stops = 0;
  for (const Line& line : lines(data("service-faults.txt"))) {
    const Fields row = fields(line.text);
    const bool refused = row[0] == "refused";
    const json answer = json::parse(readBytes(kSpringfield)).patch(json::parse(row[1]));
    FakeWeatherServices services(refused ? Fault::None : fakes::faultNamed(row[0]),
                                 answer.is_string() ? answer.get<std::string>() : answer.dump());
    const std::string nobody = "http://127.0.0.1:1/v1/search";
    const WeatherServices urls = refused ? WeatherServices{nobody, nobody, 1.0} : services.live();
    int status = 200;
    try {
      LiveForecastSource(urls).forecastFor("Springfield, IL");
    } catch (const SourceError& error) {
      status = error.status();
    }
    EXPECT_EQ(status, std::stoi(row[2])) << line.where;
    SiteProcess site({"--source", "auto", "--timeout", "1", "--geocoding-url", urls.geocodingUrl,
                      "--forecast-url", urls.forecastUrl});
    const std::string served = row[2] == "200" ? "live" : "demo";
    EXPECT_NE(site.announcement.find("serving the " + served + " source"), std::string::npos)
        << line.where << site.announcement;
    const int signal = std::array{SIGINT, SIGTERM, SIGHUP}[stops++ % 3];
    EXPECT_EQ(site.stop(signal), 0) << line.where << " " << strsignal(signal);
  }
}

}  // namespace
}  // namespace skycall
