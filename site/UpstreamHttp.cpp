#include "site/UpstreamHttp.h"

#include <curl/curl.h>

#include <memory>

#include "site/ForecastSource.h"

namespace skycall {

namespace {

constexpr std::size_t kMaxAnswerBytes = 4 << 20;  // an eight-day forecast is about 20 KB

struct Receiving {
  std::string body;
  bool tooLarge = false;
};

std::size_t receive(char* data, std::size_t size, std::size_t count, void* target) {
  auto* into = static_cast<Receiving*>(target);
  if (into->body.size() + size * count > kMaxAnswerBytes) {
    into->tooLarge = true;
    return 0;  // ends the transfer
  }
  into->body.append(data, size * count);
  return size * count;
}

}  // namespace

UpstreamGet curlUpstream(double timeoutSeconds) {
  const long timeoutMs = static_cast<long>(timeoutSeconds * 1000);
  return [timeoutMs](const std::string& address) {
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(),
                                                                   &curl_easy_cleanup);
    if (!curl) throw SourceError(502, "cannot start a transfer");
    Receiving answer;
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl.get(), CURLOPT_URL, address.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);  // the site serves on many threads
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &receive);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl.get(), CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl.get(), CURLOPT_USERAGENT, "skycall-site");
    const CURLcode result = curl_easy_perform(curl.get());
    if (result == CURLE_OPERATION_TIMEDOUT)
      throw SourceError(504, "the weather service did not answer in time");
    if (answer.tooLarge) throw SourceError(502, "the weather service's answer is too large");
    if (result != CURLE_OK)
      throw SourceError(502, std::string("the weather service cannot be reached: ") +
                                 (error[0] ? error : curl_easy_strerror(result)));
    UpstreamAnswer out;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &out.status);
    out.body = std::move(answer.body);
    return out;
  };
}

}  // namespace skycall
