// SPDX-License-Identifier: GPL-3.0-or-later
// The stand-in forecast site: its demo pages through the program's own fetch cycle, the
// skycall-site binary read by the program's libcurl fetcher, and the live source against the
// weather services on the one loopback site. The cases are the tables in fixtures/.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <strings.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "fakes/FakeClock.h"
#include "fakes/LoopbackSite.h"
#include "fixtures/Fixtures.h"
#include "forecast/FetchCycle.h"
#include "forecast/SiteAddress.h"
#include "forecast/TextCodec.h"
#include "platform/CurlFetcher.h"
#include "site/DemoSource.h"
#include "site/LiveSource.h"
#include "site/PageRenderer.h"
#include "site/SiteOptions.h"

namespace skycall {
namespace {

using namespace fixtures;
using namespace std::chrono;
using fakes::Fault;
using nlohmann::json;

const bool kCurlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;  // before any thread

// The rows the program's fetch cycle makes of a site's four pages, on the given weekday; read by
// the program's own fetcher, with its own time-outs, unless another is given.
std::vector<std::wstring> cycleRows(const std::string& host, const std::string& typed, int weekday,
                                    PageFetcher* fetcher = nullptr) {
  CurlFetcher curl;
  fakes::VectorList list;
  std::wstring location = fromUtf8(typed);
  runFetchCycle(list, location, fetcher ? *fetcher : curl, fakes::FakeClock(weekday), host, {});
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
const std::string kSpringfield = "forecast-springfield.json";
struct FakeWeatherServices : fakes::LoopbackSite {
  explicit FakeWeatherServices(Fault fault = Fault::None,
                               const std::string& forecast = readBytes(path(kSpringfield))) {
    http.Get("/v1/search", [](const httplib::Request& asked, httplib::Response& answer) {
      if (asked.get_param_value("apikey") != "k1") return void(answer.status = 400);
      const json places = json::parse(readBytes(path("geocoding.json")));
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
          readBytes(path("forecast-" + asked.get_param_value("latitude") + ".json"));
      json body = json::parse(own.empty() ? readBytes(path(kSpringfield)) : own);
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
// its announcement and log read from one pipe; prefix (shell words) runs before it, a wrapper.
struct SiteProcess {
  FILE* output;
  int pid = 0, port = 0;
  std::string announcement, log;

  explicit SiteProcess(const std::vector<std::string>& args = {}, const std::string& prefix = "") {
    std::string command =
        "echo $$; exec " + prefix + " " SKYCALL_SITE_BINARY " --listen 127.0.0.1:0";
    for (const std::string& arg : args) command += " '" + arg + "'";
    output = popen((command + " 2>&1").c_str(), "r");
    pid = std::stoi(readLine());
    while (port == 0 && !(announcement = readLine()).empty())  // "... on http://HOST:PORT/"
      if (announcement.find(" http://") != std::string::npos)
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

// The four pages of one forecast as the site renders them, without a server.
struct RenderingFetcher : PageFetcher {
  ForecastData data;
  FetchedPage fetch(const std::string& address) override {
    for (std::size_t i = 0; i < kPagePaths.size(); ++i)
      if (address.find(kPagePaths[i]) != std::string::npos)
        return {renderPage(static_cast<SitePage>(i), data, "x"), "utf-8"};
    throw FetchError("no page at " + address);
  }
};

// The number a row holds after its label ("High of  9" holds 9).
int numberIn(const std::wstring& row, const std::wstring& label) {
  std::wsmatch match;
  const bool found =
      std::regex_match(row, match, std::wregex(label + LR"( +(-?[0-9]+)( degrees\.)?)"));
  return found ? std::stoi(match[1]) : -1000;
}

// Across places, weekdays and a whole leap year every demo forecast reaches the program whole:
// each temperature the pages print comes back as the same number under its label, and the days
// under the names the program looks for; a place name that looks like the pages' own markup
// moves no value. The same place and date give the same weather however the place is written (a
// second spelling in the table), other places and days other weather; the outlook starts today
// and agrees with the day pages and with the next day's forecast. The demo weather ranges over
// the values that are easy to get wrong.
TEST(DemoSource, AYearOfDemoWeatherReachesTheProgramWhole) {
  const wchar_t* const kDayNames[] = {L"Sunday",   L"Monday", L"Tuesday", L"Wednesday",
                                      L"Thursday", L"Friday", L"Saturday"};
  std::set<std::string> seen;
  const auto note = [&](int t) {
    seen.insert(t < 0     ? "negative"
                : t <= 9  ? "one digit"
                : t < 100 ? "two digits"
                          : "three digits");
  };
  std::set<std::vector<std::wstring>> forecasts;
  std::size_t cases = 0;
  RenderingFetcher fetcher;
  ForecastData& data = fetcher.data;
  for (const TableRow& row : table(path("demo-places.txt"))) {
    const std::string place = bytes(row.fields[0]);
    for (int week = 0; week < 52; week += 3, ++cases) {
      // Every third week of 2024, stepping through all seven weekdays, 29 February among them.
      const year_month_day date{sys_days(2024y / January / 12) + days(week * 7 + week % 7)};
      const ForecastData next = demoForecast(place, sys_days(date) + days(1));
      data = demoForecast(place, date);
      ASSERT_EQ(data.outlook.size(), 10u);
      EXPECT_EQ(data.outlook[0].weekday, weekday(sys_days(date)));
      EXPECT_EQ(data.today.high, data.outlook[0].high);
      EXPECT_EQ(data.tomorrow.phrase, data.outlook[1].phrase);
      EXPECT_EQ(next.today.high, data.tomorrow.high);
      EXPECT_EQ(next.outlook[4].low, data.outlook[5].low);
      data.placeName = "<h3>Sun <p class=\"wx-temp\"> 99 temperature-fahrenheit\">1 </dd>";
      const int day = static_cast<int>(weekday(sys_days(date)).c_encoding());
      const auto rows = cycleRows("site", place, day + 1, &fetcher);
      ASSERT_EQ(rows.size(), 48u) << place << " in week " << week;
      forecasts.insert(rows);
      EXPECT_EQ(rows[2].rfind(L"Demo forecast, ", 0), 0u) << toUtf8(rows[2]);
      EXPECT_EQ(numberIn(rows[0], L"Currently"), data.now.temperature);
      EXPECT_EQ(numberIn(rows[1], L"feels like"), data.now.feelsLike);
      EXPECT_EQ(numberIn(rows[4], L"High of"), data.today.high);
      EXPECT_EQ(numberIn(rows[11], L"High of"), data.tomorrow.high);
      note(*data.now.temperature);
      for (int k = 0; k < 5; ++k) {
        const OutlookDay& outlook = data.outlook.at(k + 2);
        EXPECT_EQ(rows[18 + 6 * k], kDayNames[(day + 2 + k) % 7]);
        EXPECT_EQ(numberIn(rows[19 + 6 * k], L"High of"), outlook.high) << place << " " << k;
        EXPECT_EQ(numberIn(rows[20 + 6 * k], L"Low of"), outlook.low) << place << " " << k;
      }
      for (const OutlookDay& outlook : data.outlook) {
        note(*outlook.high), note(*outlook.low);
        if (outlook.phrase.find("T-Storm") != std::string::npos) seen.insert("storm");
        if (outlook.chanceOfRain == 0) seen.insert("dry");
        if (outlook.wind.speedMph == 0) seen.insert("calm");
      }
      if (row.fields.size() < 2) continue;
      data = demoForecast(bytes(row.fields[1]), date);
      EXPECT_EQ(cycleRows("site", place, day + 1, &fetcher), rows) << row.fields[1];
    }
  }
  EXPECT_EQ(forecasts.size(), cases);
  EXPECT_EQ(seen, (std::set<std::string>{"calm", "dry", "negative", "one digit", "storm",
                                         "three digits", "two digits"}));
}

// The program's whole way to a forecast: its fetcher and fetch cycle against the site binary,
// a location outside ASCII, each request logged; other addresses are no page.
TEST(SiteBinary, ServesTheProgramItsPagesAndLogsEachRequest) {
  SiteProcess site;
  EXPECT_NE(site.announcement.find("serving the demo source"), std::string::npos);
  const auto rows = cycleRows(site.host(), "Ca\xC3\xB1on City CO", today());
  ASSERT_EQ(rows.size(), 48u);
  EXPECT_EQ(rows[2].rfind(L"Demo forecast, ", 0), 0u) << toUtf8(rows[2]);
  httplib::Client client("127.0.0.1", site.port);
  EXPECT_EQ(client.Get("/weather/today/62701")->get_header_value("Content-Type"),
            "text/html; charset=utf-8");
  for (const char* path : {"/favicon.ico", "/weather/today", "/weather/Today/62701"})
    EXPECT_EQ(client.Get(path)->status, 404) << path;

  EXPECT_EQ(site.stop(SIGINT), 0);
  EXPECT_NE(site.log.find(" GET /weather/tenday/Ca%C3%B1on+City+CO 200\n"), std::string::npos)
      << site.log;
  EXPECT_NE(site.log.find(" GET /favicon.ico 404\n"), std::string::npos) << site.log;
}

TEST(SiteOptions, CommandLines) {
  for (const TableRow& row : table(path("command-lines.txt"))) {
    std::istringstream words(row.fields[0] == "-" ? "" : row.fields[0]);
    const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
    std::ostringstream out;
    const auto parsed = parseSiteOptions(args, "localhost:8722", out, out);
    const auto* options = std::get_if<SiteOptions>(&parsed);
    EXPECT_EQ(options ? -1 : std::get<int>(parsed), std::stoi(row.fields[1])) << row.where;
    if (options)
      EXPECT_EQ(options->host + ":" + std::to_string(options->port), row.fields[2]) << row.where;
    else
      EXPECT_NE(out.str().find(bytes(row.fields[2])), std::string::npos) << row.where << out.str();
  }
}

// A host name that starts like a loopback address but resolves to every interface.
TEST(SiteBinary, RefusesANameThatResolvesOffLoopback) {
  const std::string hosts = ::testing::TempDir() + "skycall-site-hosts";
  std::ofstream(hosts) << "0.0.0.0 127.wide.example\n";
  SiteProcess site(
      {"--listen", "127.wide.example:0"},
      "unshare --mount sh -c 'mount --bind " + hosts + " /etc/hosts || exit 99; exec \"$@\"' sh");
  const int status = site.stop(0);
  if (status == 99 || status == 127) GTEST_SKIP() << "no private /etc/hosts here";
  EXPECT_EQ(status, 2) << site.announcement << site.log;
}

// The site serves GET only: a large body is refused at once, never read into memory. And 200
// connections that then trickle a request a byte at a time, as slowly as the site lets them,
// leave the program its four pages within its own time-outs.
TEST(SiteBinary, RefusesLargeBodiesAndSlowConnectionsDoNotStarveTheProgram) {
  SiteProcess site;
  // Plain connections, for what no well-behaved client sends; opened side by side (a busy
  // machine's site takes them slowly), each given up after ten seconds.
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

  std::atomic<bool> done = false;
  std::thread trickle([&] {
    const std::string request = "GET /weather/today/62701 HTTP/1.1\r\nHost: x\r\n";
    for (std::size_t at = 0; !done && at < request.size(); ++at) {
      for (int i = 0; i < 200; ++i) send(slow[i], &request[at], 1, MSG_NOSIGNAL);
      for (int wait = 0; !done && wait < 10; ++wait) std::this_thread::sleep_for(100ms);
    }
  });
  std::this_thread::sleep_for(1s);
  const auto started = steady_clock::now();
  std::vector<std::wstring> rows;
  EXPECT_NO_THROW(rows = cycleRows(site.host(), "62701", today()));
  EXPECT_EQ(rows.size(), 48u);
  EXPECT_LT(steady_clock::now() - started, 3s);
  done = true;
  trickle.join();
  for (const int socket : slow) close(socket);
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
  for (const TableRow& row : table(path("places.txt"))) {
    const std::string& typed = row.fields[0];
    const std::string asked = std::regex_replace(typed, std::regex(" "), "+");
    const auto now = client.Get("/weather/right-now/" + asked);
    ASSERT_TRUE(now) << row.where;
    ASSERT_EQ(now->status, row.fields[2] == "404" ? 404 : 200) << row.where << "\n" << now->body;
    if (now->status == 404) continue;
    EXPECT_NE(now->body.find("<p class=\"place\">" + row.fields[2] + "</p>"), std::string::npos)
        << row.where << "\n"
        << now->body.substr(0, 1200);
    const std::string tenDay = client.Get("/weather/tenday/" + asked)->body;
    const std::regex heading("<h3>");
    const std::sregex_iterator headings(tenDay.begin(), tenDay.end(), heading);
    EXPECT_EQ(std::distance(headings, std::sregex_iterator()), 10) << row.where;
    std::istringstream expected(readBytes(path(row.fields[3])));
    EXPECT_EQ(cycleRows(site.host(), typed, std::stoi(row.fields[1])), rows(expected)) << row.where;
  }
}

TEST(LiveSource, KeepsAForecastTenMinutesForEveryWayOfWritingThePlace) {
  FakeWeatherServices services;
  steady_clock::time_point now{};
  LiveForecastSource source(services.live(), [&] { return now; });
  for (const char* typed : {"Springfield, IL", "springfield il", "Springfield+Illinois"})
    EXPECT_NO_THROW(source.forecastFor(typed)) << typed;
  EXPECT_EQ(services.takeTargets().size(), 1u);
  now += 9min;
  source.forecastFor("Springfield, IL");
  EXPECT_EQ(services.takeTargets().size(), 0u);
  now += 2min;
  source.forecastFor("Springfield, IL");
  EXPECT_EQ(services.takeTargets().size(), 1u);
}

// Every way the forecast service can fail, and answers that are no forecast: the live source
// answers its status; a site started with "auto" takes such services for none and serves the
// demo; and it ends cleanly on every stop signal.
TEST(LiveSource, FailingServicesGiveTheirStatusAndAutoServesTheDemo) {
  int stops = 0;
  for (const TableRow& row : table(path("service-faults.txt"))) {
    const bool refused = row.fields[0] == "refused";
    const json answer =
        json::parse(readBytes(path(kSpringfield))).patch(json::parse(row.fields[1]));
    FakeWeatherServices services(refused ? Fault::None : Fault(std::stoi(row.fields[0])),
                                 answer.is_string() ? answer.get<std::string>() : answer.dump());
    const std::string nobody = "http://127.0.0.1:1/v1/search";
    const WeatherServices urls = refused ? WeatherServices{nobody, nobody, 1.0} : services.live();
    int status = 200;
    try {
      LiveForecastSource(urls).forecastFor("Springfield, IL");
    } catch (const SourceError& error) {
      status = error.status();
    }
    EXPECT_EQ(status, std::stoi(row.fields[2])) << row.where;
    SiteProcess site({"--source", "auto", "--timeout", "1", "--geocoding-url", urls.geocodingUrl,
                      "--forecast-url", urls.forecastUrl});
    const std::string served = row.fields[2] == "200" ? "live" : "demo";
    EXPECT_NE(site.announcement.find("serving the " + served + " source"), std::string::npos)
        << row.where << site.announcement;
    const int signal = std::array{SIGINT, SIGTERM, SIGHUP}[stops++ % 3];
    EXPECT_EQ(site.stop(signal), 0) << row.where << " " << strsignal(signal);
  }
}

}  // namespace
}  // namespace skycall
