// SPDX-License-Identifier: GPL-3.0-or-later
// skycall-site: the stand-in forecast site that Skycall reads its four pages from.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include <curl/curl.h>

#include "site/DemoSource.h"
#include "site/LiveSource.h"
#include "site/SiteOptions.h"
#include "site/SiteServer.h"

#ifndef SKYCALL_FORECAST_HOST
#define SKYCALL_FORECAST_HOST "localhost:8722"
#endif

namespace {

using namespace skycall;

struct ChosenSource {
  std::unique_ptr<ForecastSource> source;
  const char* name;
};

// "auto" asks the weather services once, at start: live weather when they answer, the demo
// otherwise. After that the choice stands; a live site never falls back to made-up weather.
ChosenSource chooseSource(const SiteOptions& options) {
  const WeatherServices services{options.geocodingUrl, options.forecastUrl,
                                 options.upstreamTimeoutSeconds};
  if (options.source == SourceChoice::Live ||
      (options.source == SourceChoice::Auto && weatherServicesAnswer(services)))
    return {std::make_unique<LiveForecastSource>(services), "live"};
  if (options.source == SourceChoice::Auto)
    std::cerr << "skycall-site: the weather services do not answer; using the demo source\n";
  return {std::make_unique<DemoForecastSource>(), "demo"};
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto parsed = parseSiteOptions(args, SKYCALL_FORECAST_HOST, std::cout, std::cerr);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  const SiteOptions& options = std::get<SiteOptions>(parsed);

  // The stop signals are taken by sigwait below, never by a handler on a server thread. A
  // closed terminal (SIGHUP) stops the site as cleanly as SIGTERM.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (const int stop : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, stop);
  sigaddset(&stopSignals, SIGUSR1);  // the server thread ended by itself
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  curl_global_init(CURL_GLOBAL_DEFAULT);
  ChosenSource chosen = chooseSource(options);
  SiteServer server(*chosen.source, std::cerr);
  const int port = server.bind(options.host, options.port);
  if (port < 0) {
    std::cerr << "skycall-site: cannot listen on " << options.host << ":" << options.port << "\n";
    return 1;
  }
  const std::string shownHost =
      options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host;
  std::cout << "skycall-site: serving the " << chosen.name << " source on http://" << shownHost
            << ":" << port << "/" << std::endl;

  bool served = true;
  std::promise<void> servingEnded;
  auto ended = servingEnded.get_future();
  std::thread serving([&] {
    served = server.run();
    servingEnded.set_value();
    kill(getpid(), SIGUSR1);
  });
  int signal = 0;
  sigwait(&stopSignals, &signal);
  // A signal that comes early can find the server thread not yet serving; ask again until it
  // has ended.
  do server.stop();
  while (ended.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready);
  serving.join();
  if (signal == SIGUSR1 && !served) {
    std::cerr << "skycall-site: serving stopped unexpectedly\n";
    return 1;
  }
  return 0;
}
