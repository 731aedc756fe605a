// SPDX-License-Identifier: GPL-3.0-or-later
// skycall-site: the stand-in forecast site that Skycall reads its four pages from: the four
// pages for any location, 404 for every other address, one log line per request on stderr. It
// serves its own user only, on the address it publishes in that user's runtime folder.
#include <curl/curl.h>
#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "forecast/SiteAddress.h"
#include "http/OwnSite.h"
#include "site/DemoSource.h"
#include "site/LiveSource.h"
#include "site/PageRenderer.h"
#include "site/SiteOptions.h"

#ifndef SKYCALL_VERSION
#define SKYCALL_VERSION "0"
#endif

namespace {

using namespace skycall;

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kJson = "application/json; charset=utf-8";
// The site answers GET only; no request of the program carries a body.
constexpr std::size_t kMaxRequestBody = 4096;
// One user's program reads its pages over one connection; a worker for it, one for another
// client of the user's (a probe, a browser), and two to spare. Each connection holds a worker
// while it lasts, so an idle one is let go soon: a second without a request, two to send one.
constexpr std::size_t kWorkers = 4;
constexpr time_t kKeepAliveSeconds = 1;
constexpr time_t kReadTimeoutSeconds = 2;

void route(httplib::Server& http, ForecastSource& source) {
  // Only the site's own user is answered; another user's process learns nothing from it.
  http.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
    const auto client = socketOwner({request.remote_addr, request.remote_port},
                                    {request.local_addr, request.local_port});
    if (client == ::geteuid()) return httplib::Server::HandlerResponse::Unhandled;
    response.status = 403;
    response.set_content(renderErrorPage(403, "This forecast site serves its own user only."),
                         kHtml);
    return httplib::Server::HandlerResponse::Handled;
  });
  // The route names the page; the rest of the (decoded) path is the location, "+" a blank.
  for (std::size_t i = 0; i < kPagePaths.size(); ++i)
    http.Get(std::string(kPagePaths[i]) + "(.*)",
             [&source, i](const auto& request, auto& response) {
               std::string location = request.matches[1];
               std::replace(location.begin(), location.end(), '+', ' ');
               try {
                 response.set_content(
                     renderPage(SitePage(i), source.forecastFor(location), location), kHtml);
               } catch (const SourceError& error) {
                 response.status = error.status();
                 response.set_content(renderErrorPage(error.status(), error.what()), kHtml);
               }
             });
  // The alerts are JSON: the program reads them whole, not by markers.
  http.Get(std::string(kAlertsPath) + "(.*)", [&source](const auto& request, auto& response) {
    std::string location = request.matches[1];
    std::replace(location.begin(), location.end(), '+', ' ');
    try {
      response.set_content(renderAlertsPage(location, source.alertsFor(location)), kJson);
    } catch (const SourceError& error) {
      response.status = error.status();
      response.set_content(renderErrorPage(error.status(), error.what()), kHtml);
    }
  });
  http.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (response.body.empty())
      response.set_content(
          renderErrorPage(response.status, response.status == 404 ? "There is no such page."
                                                                  : "The request is refused."),
          kHtml);
  });
  static std::mutex logged;
  http.set_logger([](const httplib::Request& request, const httplib::Response& response) {
    const std::lock_guard lock(logged);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    std::cerr << std::put_time(localtime_r(&now, &local), "%F %T") << ' ' << request.method << ' '
              << request.target << ' ' << response.status << std::endl;
  });
}

}  // namespace

int main(int argc, char** argv) {
  const auto parsed = parseSiteOptions({argv + 1, argv + argc}, std::cout, std::cerr);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  const SiteOptions& options = std::get<SiteOptions>(parsed);

  // The stop signals (a closed terminal's SIGHUP too) are taken by one thread that waits for
  // them, never by a handler on a server thread: blocked here, before any thread starts.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (const int stop : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, stop);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  httplib::Server http;
  // The program fetches its four pages over one connection; without this each page after the
  // first waits on delayed acknowledgements.
  http.set_tcp_nodelay(true);
  http.set_payload_max_length(kMaxRequestBody);
  http.set_read_timeout(kReadTimeoutSeconds, 0);
  http.set_keep_alive_timeout(kKeepAliveSeconds);
  http.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
  // An address already served is refused, never shared (the library's default would share the
  // port and split the requests between two sites).
  http.set_socket_options([](socket_t socket) {
    const int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  // Listening and publishing come first, so a program that started this site finds it at
  // once; its requests wait while the source is chosen.
  const int port = options.port == 0 ? http.bind_to_any_port(options.host)
                   : http.bind_to_port(options.host, options.port) ? options.port
                                                                   : -1;
  if (port < 0) {
    std::cerr << "skycall-site: cannot listen on " << options.host << ":" << options.port
              << ": another program (another skycall-site?) serves there\n";
    return kAddressTaken;
  }
  const bool v6 = options.host.find(':') != std::string::npos;
  const std::string address =
      (v6 ? "[" + options.host + "]" : options.host) + ":" + std::to_string(port);
  try {
    publishSiteAddress(address);
  } catch (const std::exception& error) {
    std::cerr << "skycall-site: Skycall could not find this site: " << error.what() << "\n";
    return kAddressTaken;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  // "auto" asks the weather services once, at start: live weather when they answer, the demo
  // otherwise. After that the choice stands; a live site never falls back to made-up weather.
  const WeatherServices services{options.geocodingUrl, options.forecastUrl,
                                 options.upstreamTimeoutSeconds, options.alertsUrl,
                                 "skycall-site/" SKYCALL_VERSION " (" + options.contact + ")"};
  const bool live = options.source == SourceChoice::Live ||
                    (options.source == SourceChoice::Auto && weatherServicesAnswer(services));
  if (options.source == SourceChoice::Auto && !live)
    std::cerr << "skycall-site: the weather services do not answer; using the demo source\n";
  const std::unique_ptr<ForecastSource> chosen =
      live ? std::unique_ptr<ForecastSource>(new LiveForecastSource(services))
           : std::make_unique<DemoForecastSource>();
  route(http, *chosen);
  std::cout << "skycall-site: serving the " << (live ? "live" : "demo") << " source on http://"
            << address << "/" << std::endl;

  std::atomic<bool> served = false;
  std::thread stopper([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    while (!served) {  // a stop that comes before serving has begun is asked again
      http.stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  const bool ok = http.listen_after_bind();
  served = true;
  if (!ok) kill(getpid(), SIGTERM);  // the stopper waits for a signal
  stopper.join();
  try {
    withdrawSiteAddress(address);
  } catch (const std::exception&) {
    // The folder went; so did the address.
  }
  if (!ok) std::cerr << "skycall-site: serving stopped unexpectedly\n";
  return ok ? 0 : 1;
}
