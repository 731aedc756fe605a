#include "site/SiteServer.h"

#include <httplib.h>

#include <ctime>
#include <mutex>

#include "site/HtmlText.h"
#include "site/PageRenderer.h"
#include "site/SitePage.h"

namespace skycall {

namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";

std::string localTimestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// A plain page for a failure; it carries none of the forecast pages' markup.
std::string errorPage(int status, const std::string& message) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n  <meta charset=\"utf-8\">\n  <title>" +
         std::to_string(status) + " &ndash; Skycall Weather</title>\n</head>\n<body>\n  <h1>" +
         std::to_string(status) + "</h1>\n  <p>" + escapeHtml(message) + "</p>\n</body>\n</html>\n";
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
  }

  void servePage(const httplib::Request& request, httplib::Response& response) {
    const auto page = parsePageTarget(request.target.empty() ? request.path : request.target);
    if (!page) {
      response.status = 404;
      response.set_content(errorPage(404, "There is no such page."), kHtml);
      return;
    }
    try {
      const ForecastData data = source.forecastFor(page->location);
      response.set_content(renderPage(page->page, data, page->location), kHtml);
    } catch (const SourceError& error) {
      response.status = error.status();
      response.set_content(errorPage(error.status(), error.what()), kHtml);
    }
  }

  void logRequest(const httplib::Request& request, const httplib::Response& response) {
    const std::lock_guard lock(logMutex);
    log << localTimestamp() << ' ' << request.method << ' '
        << (request.target.empty() ? request.path : request.target) << ' ' << response.status
        << std::endl;
  }
};

SiteServer::SiteServer(ForecastSource& source, std::ostream& log)
    : impl_(std::make_unique<Impl>(source, log)) {
  impl_->http.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    impl_->servePage(request, response);
  });
  impl_->http.set_logger(
      [this](const httplib::Request& request, const httplib::Response& response) {
        impl_->logRequest(request, response);
      });
}

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
