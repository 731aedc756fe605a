// SPDX-License-Identifier: GPL-3.0-or-later
// The program's libcurl fetcher against a loopback site; the stand-in forecast site, skycall-site,
// read by that fetcher and the program's fetch cycle; and its live source against the weather
// services on that loopback site. The cases are the tables in fixtures/.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/wait.h>
#include <atomic>

#include <nlohmann/json.hpp>

#include "fakes/Fixtures.h"
#include "fakes/LoopbackSite.h"
#include "forecast/FetchCycle.h"
#include "forecast/RowList.h"
#include "http/CurlFetcher.h"
#include "site/LiveSource.h"
#include "site/SiteOptions.h"

namespace skycall {
namespace {

using namespace fixtures;
using namespace std::chrono;
using nlohmann::json;

const bool kCurlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;  // before any thread
constexpr auto npos = std::string::npos;
const auto data = [](const std::string& name) { return path("site/fixtures/" + name); };
const std::string kSpringfield = readBytes(data("forecast-springfield.json"));
// A proxy is asked for a whole address.
const std::string kProxied = "(?:http://weather\\.invalid)?";

// The rows the program's fetch cycle makes of a site's four pages, read by its own fetcher, on
// the given weekday or else the machine's (on which the demo forecast starts).
std::vector<std::wstring> cycleRows(const std::string& host, const std::wstring& typed,
                                    int weekday = 0) {
  const std::time_t now = std::time(nullptr);
  CurlFetcher curl;
  RowList list;
  runFetchCycle(list, siteLocation(typed), curl,
                weekday ? weekday : std::localtime(&now)->tm_wday + 1, host, {});
  return list.rows;
}

// What a fetcher (by default a new one, which leaves no connection open) makes of an address:
// the page and its charset, or why it failed.
std::string outcome(const std::string& address, CurlFetcher* fetcher = nullptr) {
  CurlFetcher fresh;
  try {
    const FetchedPage page = (fetcher ? *fetcher : fresh).fetch(address);
    return "page in " + page.charset + ": " + page.body;
  } catch (const PlaceNotFound& error) {
    return std::string("no such place: ") + error.what();
  } catch (const FetchError& error) {
    return error.what();
  }
}

// The weather services on a loopback site, answering by query as they document: the places
// geocoding.json lists for the name asked (in any case) in the countryCode asked, cut to count; the
// forecast of forecast-LATITUDE.json, else the Springfield one, cut to forecast_days. Without their
// key (a paid plan's) they answer 400. Beside them the pages /weather/forecast/LOCATION, the
// forecast answer given, with the fault given for location x; /weather/today/LOCATION; a
// redirect off the web; and Latin-1 ten-day pages that note the port each was asked from.
struct Services : fakes::LoopbackSite {
  std::mutex portsMutex;
  std::set<int> ports;
  std::string alerts;                    // what the alerts service answers
  std::vector<std::string> alertsAsked;  // the point asked about and the User-Agent, each call
  std::atomic<int> placesAsked = 0;      // calls to the geocoding service
  explicit Services(const std::string& fault = "none", const std::string& forecast = kSpringfield) {
    http.Get(kProxied + "/alerts/active", [this](const httplib::Request& asked, auto& answer) {
      alertsAsked.push_back(asked.get_param_value("point") + " " +
                            asked.get_header_value("User-Agent"));
      if (alerts == "500") return void(answer.status = 500);
      if (alerts == "slow") std::this_thread::sleep_for(1500ms);
      answer.set_content(alerts, "application/geo+json");
    });
    http.Get(kProxied + "/v1/search", [this](const httplib::Request& asked, auto& answer) {
      ++placesAsked;
      if (asked.get_param_value("apikey") != "k1") return void(answer.status = 400);
      std::string name = asked.get_param_value("name"), in = asked.get_param_value("countryCode");
      std::transform(name.begin(), name.end(), name.begin(), ::tolower);
      const auto count = std::stoul(asked.get_param_value("count"));
      json found = json::array();
      for (const json& place : json::parse(readBytes(data("geocoding.json"))).value(name, found))
        if ((in.empty() || place["country_code"] == in) && found.size() < count)
          found.push_back(place);
      answer.set_content(found.empty() ? "{}" : json{{"results", found}}.dump(),
                         "application/json");
    });
    http.Get(kProxied + "/v1/forecast", [](const auto& asked, httplib::Response& answer) {
      if (asked.get_param_value("apikey") != "k1") return void(answer.status = 400);
      const std::string own =
          readBytes(data("forecast-" + asked.get_param_value("latitude") + ".json"));
      json body = json::parse(own.empty() ? kSpringfield : own);
      const auto days = std::stoul(asked.get_param_value("forecast_days"));
      for (json& values : body["daily"])  // every member a series of values, one a day
        values.erase(values.begin() + std::min(values.size(), days), values.end());
      answer.set_content(body.dump(), "application/json");
    });
    http.Get("/to-file", [](auto&, auto& res) { res.set_redirect("file:///etc/hostname"); });
    http.Get(R"(/weather/tenday/\d+)", [this](const httplib::Request& req, auto& res) {
      const std::lock_guard lock(portsMutex);
      ports.insert(req.remote_port);
      res.set_content(req.path, R"(text/html; q=1; Charset = "ISO-8859-1")");
    });
    serveForecast({{"forecast", forecast}, {"today", "today's page"}}, "x", "forecast",
                  fakes::faultNamed(fault));
  }
  std::string keyed(const std::string& path) const { return url(path) + "?apikey=k1"; }
  // The services with the forecast page of location x, and one second for each call.
  WeatherServices live() const { return {keyed("/v1/search"), keyed("/weather/forecast/x"), 1}; }
};

// skycall-site as a user starts it, with what it writes read from one pipe.
struct SiteProcess {
  FILE* output;
  int pid, port = 0;
  std::string log;  // up to its announcement; after stop(), to its end

  explicit SiteProcess(const std::string& args = "--listen 127.0.0.1:0")
      : output(popen(("echo $$; exec " SKYCALL_SITE_BINARY " " + args + " 2>&1").c_str(), "r")),
        pid(std::stoi(readLine())) {
    for (std::string line; port == 0 && !(line = readLine()).empty(); log += line)
      if (line.find(" http://") != npos)  // "... on http://HOST:PORT/"
        port = std::stoi(line.substr(line.rfind(':') + 1));
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
    if (!output) return -1;  // stopped before
    kill(pid, signal);
    pollfd out{fileno(output), POLLIN, 0};
    for (std::string line; poll(&out, 1, 5000) == 1 && !(line = readLine()).empty();) log += line;
    kill(pid, SIGKILL);  // the process, or the zombie it left, is ours until pclose
    const int status = pclose(std::exchange(output, nullptr));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
};

// A site on a free loopback port with its weather from these services, one second for each call.
SiteProcess siteServing(const std::string& source, const WeatherServices& services,
                        const std::string& more = "") {
  return SiteProcess("--listen 127.0.0.1:0 --source " + source + " --timeout 1 --geocoding-url '" +
                     services.geocodingUrl + "' --forecast-url '" + services.forecastUrl + "' " +
                     more);
}

// Connect 5 s, 300 ms in all, under 100 B/s for 10 s, 1000 bytes, three redirects.
const CurlFetcher::FetchLimits kTight{5000, 300, 100, 10, 1000, 3};

// Each address: its page and charset, or a FetchError that says why, within the time-out; the
// window is served all the while, a fetch asked for from it is refused, and the next pages
// still come, over one connection. The fifty-megabyte page meets the fetcher's own cap of 8 MB;
// the others a cap of 1000 bytes, a total time-out of 300 ms and three redirects.
TEST(CurlFetcher, GivesEachPageOrAFetchErrorThatSaysWhyAndServesTheWindowMeanwhile) {
  for (const Line& line : lines(data("fetches.txt"))) {
    SCOPED_TRACE(line.where);
    const auto row = fields(line.text);
    const bool big = row[0] == "fifty-megabytes";
    Services site(row[0]);
    std::vector<steady_clock::time_point> calls{steady_clock::now()};
    std::string nested;
    CurlFetcher fetcher(big ? CurlFetcher::FetchLimits{} : kTight, [&] {
      calls.push_back(steady_clock::now());
      if (nested.empty()) nested = outcome(site.url("/weather/today/1"), &fetcher);
    });
    const std::string said = outcome(row[1][0] == '/' ? site.url(row[1]) : row[1], &fetcher);
    EXPECT_NE(said.find(row[2]), npos) << said;
    calls.push_back(steady_clock::now());
    EXPECT_LT(calls.back() - calls.front(), big ? 5s : 900ms);
    for (std::size_t i = 1; i < calls.size(); ++i) EXPECT_LT(calls[i] - calls[i - 1], 150ms);
    EXPECT_EQ(nested, calls.size() > 2 ? "A page is already being fetched" : "");
    for (const std::string page : {"/weather/tenday/2", "/weather/tenday/3"})
      EXPECT_EQ(outcome(site.url(page), &fetcher), "page in iso-8859-1: " + page);
    const std::lock_guard lock(site.portsMutex);
    EXPECT_EQ(site.ports.size(), 1u) << "a page opened a connection of its own";
  }
}

// The program's whole way to the demo forecast: its fetcher and fetch cycle against a site
// started with "auto" whose services do not answer, a location outside ASCII, each request
// logged; other addresses are no page. The demo weather is the same however a place is written,
// and another place has other weather. The site serves GET only: a body is refused. A dozen
// connections kept open after their answers (a browser's, twice over), each holding one of the
// site's few workers until its second without a request is out, leave the program its four pages,
// all within five seconds. A second site on the same port is refused, never given a share of the
// requests.
TEST(SiteBinary, ServesAndLogsPagesRefusesBodiesOutlastsIdleConnectionsAndSharesNoPort) {
  SiteProcess site = siteServing("auto", {"http://127.0.0.1:1/", "http://127.0.0.1:1/"});
  const auto rows = cycleRows(site.host(), L"Ca\u00F1on City CO");
  ASSERT_EQ(rows.size(), 48u);
  EXPECT_EQ(rows[2].rfind(L"Demo forecast, ", 0), 0u) << rows[2];
  EXPECT_EQ(cycleRows(site.host(), L"springfield+IL"), cycleRows(site.host(), L"Springfield, IL"));
  EXPECT_NE(cycleRows(site.host(), L"Springfield, IL"), rows);
  httplib::Client client("127.0.0.1", site.port);
  for (const char* path : {"/favicon.ico", "/weather/today", "/weather/Today/62701"})
    EXPECT_EQ(client.Get(path)->status, 404) << path;
  EXPECT_EQ(client.Get("/weather/today/62701")->get_header_value("Content-Type"),
            "text/html; charset=utf-8");
  EXPECT_EQ(client.Post("/weather/today/62701", std::string(4097, 'x'), "text/plain")->status, 413);
  const auto started = steady_clock::now();
  std::vector<httplib::Client> idle;
  for (int i = 0; i < 12; ++i) {  // each kept open after its answer, as a browser keeps it
    httplib::Client& connection = idle.emplace_back("127.0.0.1", site.port);
    connection.set_keep_alive(true);
    connection.Get("/favicon.ico");
  }
  EXPECT_EQ(cycleRows(site.host(), L"62701").size(), 48u);
  EXPECT_LT(steady_clock::now() - started, 5s);
  idle.clear();  // closed, so the site need not wait them out when it stops
  EXPECT_EQ(SiteProcess("--listen " + site.host()).stop(0), 3);
  EXPECT_EQ(site.stop(SIGINT), 0);
  for (const char* logged :
       {" GET /weather/tenday/Ca%C3%B1on+City+CO 200\n", " GET /favicon.ico 404\n"})
    EXPECT_NE(site.log.find(logged), npos) << site.log;
}

TEST(SiteOptions, CommandLines) {
  for (const Line& line : lines(data("command-lines.txt"))) {
    const auto row = fields(line.text);
    std::istringstream words(row[0] == "-" ? "" : row[0]);
    std::ostringstream out;
    const auto parsed = parseSiteOptions({std::istream_iterator<std::string>(words), {}}, out, out);
    const auto* options = std::get_if<SiteOptions>(&parsed);
    out << (options ? "runs on " + options->host + ":" + std::to_string(options->port)
                    : "exits " + std::to_string(std::get<int>(parsed)))
        << ".";
    for (const std::string& said : {row[1], bytes(row[2])})
      EXPECT_NE(out.str().find(said), npos) << line.where << ": " << out.str();
  }
}

// Each place the user may type, through a site started with "auto" that finds the services
// answering, and the program's own fetcher and fetch cycle: the place its pages name, ten days on
// the ten-day page, and the rows the user hears; or the 404 of a place the site must not guess.
// The site reaches the services only through the proxy its environment names.
TEST(LiveSite, TypedPlacesGiveTheRightPlaceAndItsRows) {
  Services services;
  setenv("http_proxy", services.url("/").c_str(), 1);
  SiteProcess site = siteServing("auto", {"http://weather.invalid/v1/search?apikey=k1",
                                          "http://weather.invalid/v1/forecast?apikey=k1"});
  unsetenv("http_proxy");
  for (const Line& line : lines(data("places.txt"))) {
    const auto row = fields(line.text);
    const std::string asked = std::regex_replace(row[0], std::regex(" "), "+");
    const std::string page = outcome("http://" + site.host() + "/weather/tenday/" + asked);
    const std::string named = "<p class=\"place\">" + row[2] + "</p>";
    EXPECT_NE(page.find(row.size() < 4 ? "answered " + row[2] : named), npos) << line.where << page;
    if (row.size() < 4) continue;
    auto pieces = std::views::split(page, std::string_view("<h3>"));  // one before each day
    EXPECT_EQ(std::ranges::distance(pieces), 11) << line.where;
    EXPECT_EQ(cycleRows(site.host(), text(row[0]), std::stoi(row[1])),
              fixtures::page(data(row[3])).rows)
        << line.where;
  }
  EXPECT_EQ(site.stop(SIGTERM), 0);
}

// The live source keeps a forecast half a minute, and a place for good, for every way of writing
// the place.
TEST(LiveSource, KeepsAForecastHalfAMinuteAndAPlaceForGood) {
  Services services;
  steady_clock::time_point now{};
  LiveForecastSource source(services.live(), [&] { return now; });
  for (const Line& line : lines(data("forecast-kept.txt"))) {
    const auto row = fields(line.text);
    now += seconds(std::stoi(row[1]));
    source.forecastFor(row[0]);
    EXPECT_EQ(services.takeTargets().size(), std::stoul(row[2])) << line.where;
    EXPECT_EQ(services.placesAsked.exchange(0), std::stoi(row[3])) << line.where;
  }
}

// Every way the forecast service can fail, and answers that are no forecast: "auto" takes such
// services for none, and a live site's pages answer the status; it ends cleanly on a hangup.
TEST(LiveSource, FailingServicesAreNoneForAutoAndFailThePagesWithTheirStatus) {
  for (const Line& line : lines(data("service-faults.txt"))) {
    const auto row = fields(line.text);
    const json answer = json::parse(kSpringfield).patch(json::parse(row[1]));
    Services services(row[0] == "refused" ? "none" : row[0],
                      answer.is_string() ? answer.get<std::string>() : answer.dump());
    if (row[0] == "refused") services.http.stop();  // neither service takes connections
    EXPECT_EQ(weatherServicesAnswer(services.live()), row[2] == "page in utf-8") << line.where;
    SiteProcess site = siteServing("live", services.live());
    const std::string said = outcome("http://" + site.host() + "/weather/today/Springfield,+IL");
    EXPECT_NE(said.find(row[2]), npos) << line.where << said;
    EXPECT_EQ(site.stop(SIGHUP), 0) << line.where;
  }
}

// The live source's alerts from each answer the alerts service may give: those in force, most
// severe first, cleaned; or the status of a service that fails, while the forecast never fails
// with it. An answer is kept half a minute. The site asks for the place's point with the program
// and a contact named, as the service's terms want; the demo has its one alert place, and no alert
// elsewhere.
TEST(LiveSource, AlertsFromEachAnswerOfTheAlertsService) {
  Services services;
  steady_clock::time_point now{};
  WeatherServices live = services.live();
  live.alertsUrl = services.url("/alerts/active");
  LiveForecastSource source(live, [&] { return now; });
  for (const Line& line : lines(data("alerts.txt"))) {
    const auto row = fields(line.text);
    services.alerts = bytes(row[0]);
    now += 1min;
    std::string shown;
    try {
      for (const SiteAlert& alert : source.alertsFor("Springfield, IL"))
        shown += (shown.empty() ? "" : "; ") + alert.event + "/" + alert.severity + "/" +
                 (alert.ends ? std::to_string(*alert.ends) : "-") + "/" + alert.instruction;
    } catch (const SourceError& error) {
      shown = "answered " + std::to_string(error.status());
    }
    EXPECT_EQ(shown, row.at(1)) << line.where;
    EXPECT_EQ(source.forecastFor("Springfield, IL").placeName, "Springfield, IL");
  }
  services.alerts = R"({"features": []})";
  now += 1min;
  source.alertsFor("Springfield, IL");
  const std::size_t asked = services.alertsAsked.size();
  now += 29s;
  source.alertsFor("Springfield IL");
  EXPECT_EQ(services.alertsAsked.size(), asked) << "an answer is kept half a minute";
  SiteProcess site =
      siteServing("live", services.live(),
                  "--alerts-url " + services.url("/alerts/active") + " --contact me@example.org");
  outcome("http://" + site.host() + "/weather/alerts/Springfield,+IL");
  EXPECT_EQ(services.alertsAsked.back(), "39.8017,-89.6437 skycall-site/0.3b (me@example.org)");
  SiteProcess demo;
  EXPECT_NE(outcome("http://" + demo.host() + "/weather/alerts/Moore,+OK").find("Demo Tornado"),
            npos);
  EXPECT_NE(outcome("http://" + demo.host() + "/weather/alerts/62701").find("\"alerts\": []"),
            npos);
}

// Locations typed to break the page address: each makes one well-formed request, the target
// exactly as the fetcher sends it.
TEST(CurlFetcher, AHostileLocationMakesOneWellFormedRequest) {
  fakes::LoopbackSite site;
  site.serveForecast({{"today", "today's page"}});
  CurlFetcher fetcher;
  for (const Line& line : lines(data("hostile.txt"))) {
    const auto row = fields(line.text);
    fetcher.fetch(pageAddress(site.host(), "/weather/today/", siteLocation(text(row[0]))));
    EXPECT_EQ(site.takeTargets(), std::vector<std::string>{"/weather/today/" + row[1]})
        << line.where;
  }
}

}  // namespace
}  // namespace skycall
