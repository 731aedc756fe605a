// SPDX-License-Identifier: GPL-3.0-or-later
#include "http/CurlFetcher.h"

#include <chrono>
#include <mutex>
#include <utility>

#include "text/Words.h"

namespace skycall {

namespace {

constexpr auto kWaitingSlice = std::chrono::milliseconds(20);

// The body as it arrives, refused once it outgrows the cap.
struct BodySink {
  std::string body;
  std::size_t cap = 0;
  bool tooLarge = false;
};

std::size_t takeBody(char* data, std::size_t size, std::size_t count, void* sinkPointer) {
  auto& sink = *static_cast<BodySink*>(sinkPointer);
  const std::size_t bytes = size * count;
  if (bytes > sink.cap - sink.body.size()) {
    sink.tooLarge = true;
    return 0;  // libcurl ends the transfer
  }
  sink.body.append(data, bytes);
  return bytes;
}

// Undoes a step when the fetch leaves, normally or by an error.
template <typename Undo>
struct OnExit {
  Undo undo;
  ~OnExit() { undo(); }
};
template <typename Undo>
OnExit(Undo) -> OnExit<Undo>;

}  // namespace

std::string charsetOf(const std::string& contentType) {
  const std::string type = lowered(contentType);
  // The parameters follow the media type, each after a ';', as name=value.
  for (auto end = type.find(';'); end != std::string::npos;) {
    const auto start = end + 1;
    end = type.find(';', start);
    const std::string parameter = type.substr(start, end - start);
    const auto equals = parameter.find('=');
    if (equals != std::string::npos && trimmed(parameter.substr(0, equals), " \t") == "charset")
      return trimmed(parameter.substr(equals + 1), "\"' \t");
  }
  return {};
}

CurlFetcher::CurlFetcher(FetchLimits limits, std::function<void()> whileWaiting)
    : limits_(limits), whileWaiting_(std::move(whileWaiting)) {
  static std::once_flag curlStarted;
  std::call_once(curlStarted, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  multi_ = curl_multi_init();
  easy_ = curl_easy_init();
  if (!multi_ || !easy_) {
    if (easy_) curl_easy_cleanup(easy_);
    if (multi_) curl_multi_cleanup(multi_);
    throw FetchError("The page fetcher could not be set up");
  }
  curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  // The address goes out as the program formed it: a location of "." or ".." is a place name,
  // not a step through the site's folders.
  curl_easy_setopt(easy_, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, limits_.maxRedirects);
  curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, limits_.connectTimeoutMs);
  curl_easy_setopt(easy_, CURLOPT_TIMEOUT_MS, limits_.totalTimeoutMs);
  curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_LIMIT, limits_.lowSpeedBytesPerSec);
  curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_TIME, limits_.lowSpeedSeconds);
  curl_easy_setopt(easy_, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits_.maxBodyBytes));
  curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, takeBody);
  curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, curlError_.data());
}

void CurlFetcher::checkEachConnection(ConnectionCheck check) {
  check_ = std::move(check);
  curl_easy_setopt(easy_, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(easy_, CURLOPT_PREREQFUNCTION, &CurlFetcher::beforeRequest);
  curl_easy_setopt(easy_, CURLOPT_PREREQDATA, this);
}

int CurlFetcher::beforeRequest(void* self, char* siteIp, char* ownIp, int sitePort, int ownPort) {
  auto& fetcher = *static_cast<CurlFetcher*>(self);
  try {
    fetcher.check_({siteIp, sitePort}, {ownIp, ownPort});
    return CURL_PREREQFUNC_OK;
  } catch (...) {  // an exception must not cross libcurl's C frames
    fetcher.refused_ = std::current_exception();
    return CURL_PREREQFUNC_ABORT;
  }
}

CurlFetcher::~CurlFetcher() {
  curl_slist_free_all(headers_);
  curl_easy_cleanup(easy_);
  curl_multi_cleanup(multi_);
}

void CurlFetcher::setHeaders(const std::vector<std::string>& headers) {
  curl_slist* list = nullptr;
  for (const std::string& header : headers) list = curl_slist_append(list, header.c_str());
  curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, list);
  curl_slist_free_all(std::exchange(headers_, list));
}

FetchedPage CurlFetcher::fetch(const std::string& address) {
  Answer answer = get(address);
  // An error page is not a forecast: scanning it would report a failure as success.
  const std::string failure =
      "The forecast site answered " + std::to_string(answer.status) + " for " + address;
  if (answer.status == 404) throw PlaceNotFound(failure);
  if (answer.status >= 400) throw FetchError(failure);
  return FetchedPage{std::move(answer.body), std::move(answer.charset)};
}

CurlFetcher::Answer CurlFetcher::get(const std::string& address) {
  // whileWaiting runs other code in the middle of a transfer; none of it may start another.
  if (busy_) throw FetchError("A page is already being fetched");
  busy_ = true;
  OnExit notBusy{[this] { busy_ = false; }};

  BodySink sink;
  sink.cap = limits_.maxBodyBytes;
  curlError_[0] = '\0';
  refused_ = nullptr;
  curl_easy_setopt(easy_, CURLOPT_URL, address.c_str());
  curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &sink);

  CURLcode result = CURLE_OK;
  {
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK)
      throw FetchError("Could not start fetching " + address);
    OnExit removeHandle{[this] { curl_multi_remove_handle(multi_, easy_); }};
    runTransfer();
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left))
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy_)
        result = message->data.result;
  }

  if (refused_) std::rethrow_exception(refused_);
  const std::string detail = curlError_[0] ? curlError_.data() : curl_easy_strerror(result);
  switch (result) {
    case CURLE_OK:
      break;
    case CURLE_FILESIZE_EXCEEDED:
      throw FetchError("The page at " + address + " is larger than " +
                       std::to_string(limits_.maxBodyBytes) + " bytes");
    case CURLE_WRITE_ERROR:
      if (sink.tooLarge)
        throw FetchError("The page at " + address + " is larger than " +
                         std::to_string(limits_.maxBodyBytes) + " bytes");
      throw FetchError("Could not fetch " + address + ": " + detail);
    case CURLE_COULDNT_CONNECT:
      throw FetchRefused("Could not connect to the forecast site for " + address + ": " + detail);
    case CURLE_OPERATION_TIMEDOUT:
      throw FetchTimedOut("The forecast site took too long to answer for " + address + ": " +
                          detail);
    case CURLE_TOO_MANY_REDIRECTS:
      throw FetchError("The forecast site redirected too many times for " + address);
    case CURLE_UNSUPPORTED_PROTOCOL:
      throw FetchError("Only http and https pages can be fetched: " + detail);
    default:
      throw FetchError("Could not fetch " + address + ": " + detail);
  }

  Answer answer;
  curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &answer.status);
  const char* contentType = nullptr;
  curl_easy_getinfo(easy_, CURLINFO_CONTENT_TYPE, &contentType);
  answer.body = std::move(sink.body);
  if (contentType) answer.charset = charsetOf(contentType);
  return answer;
}

void CurlFetcher::runTransfer() {
  using Clock = std::chrono::steady_clock;
  auto lastWait = Clock::now();
  for (;;) {
    int running = 0;
    const CURLMcode performed = curl_multi_perform(multi_, &running);
    if (performed != CURLM_OK)
      throw FetchError(std::string("Could not fetch the page: ") + curl_multi_strerror(performed));
    if (running == 0) return;
    curl_multi_poll(multi_, nullptr, 0, static_cast<int>(kWaitingSlice.count()), nullptr);
    if (whileWaiting_ && Clock::now() - lastWait >= kWaitingSlice) {
      whileWaiting_();
      lastWait = Clock::now();
    }
  }
}

}  // namespace skycall
