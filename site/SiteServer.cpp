// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/SiteServer.h"

#include <httplib.h>

#include <algorithm>
#include <ctime>
#include <mutex>

#include "forecast/SiteAddress.h"
#include "site/PageRenderer.h"

namespace skycall {

namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";
// The site answers GET only; no request of the program carries a body.
constexpr std::size_t kMaxRequestBody = 4096;
// Enough workers that a crowd of slow or idle connections, each holding one until its read
// time-out, leaves the program's four pages some; and time-outs short enough that they go.
constexpr std::size_t kWorkers = 256;
constexpr time_t kReadTimeoutSeconds = 2;

std::string localTimestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace

struct SiteServer::Impl {
  ForecastSource& source;
  std::ostream& log;
  std::mutex logMutex;
  httplib::Server http;

  Impl(ForecastSource& s, std::ostream& l) : source(s), log(l) {
    // The program fetches its four pages over one connection; without this each page after
    // the first waits on delayed acknowledgements.
    http.set_tcp_nodelay(true);
    http.set_payload_max_length(kMaxRequestBody);
    http.set_read_timeout(kReadTimeoutSeconds, 0);
    http.set_keep_alive_timeout(kReadTimeoutSeconds);
    http.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    // The route names the page; the rest of the (decoded) path is the location, "+" a blank.
    for (std::size_t i = 0; i < kPagePaths.size(); ++i)
      http.Get(std::string(kPagePaths[i]) + "(.*)", [this, i](const auto& request, auto& response) {
        std::string location = request.matches[1];
        std::replace(location.begin(), location.end(), '+', ' ');
        servePage(static_cast<SitePage>(i), location, response);
      });
    http.set_error_handler([](const httplib::Request&, httplib::Response& response) {
      if (response.body.empty())
        response.set_content(
            renderErrorPage(response.status, response.status == 404 ? "There is no such page."
                                                                    : "The request is refused."),
            kHtml);
    });
    http.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
      const std::lock_guard lock(logMutex);
      log << localTimestamp() << ' ' << request.method << ' ' << request.target << ' '
          << response.status << std::endl;
    });
  }

  void servePage(SitePage page, const std::string& location, httplib::Response& response) {
    try {
      response.set_content(renderPage(page, source.forecastFor(location), location), kHtml);
    } catch (const SourceError& error) {
      response.status = error.status();
      response.set_content(renderErrorPage(error.status(), error.what()), kHtml);
    }
  }
};

SiteServer::SiteServer(ForecastSource& source, std::ostream& log)
    : impl_(std::make_unique<Impl>(source, log)) {}

SiteServer::~SiteServer() = default;

int SiteServer::bind(const std::string& host, int port) {
  if (port == 0) return impl_->http.bind_to_any_port(host);
  return impl_->http.bind_to_port(host, port) ? port : -1;
}

bool SiteServer::run() {
  return impl_->http.listen_after_bind();
}

void SiteServer::stop() {
  impl_->http.stop();
}

}  // namespace skycall
