#include "online/HttpClient.h"

#include "online/Addresses.h"
#include "online/ServiceAddress.h"

#include <curl/curl.h>

#include <mutex>

namespace online {
namespace {

// Replies of the service are small; a larger one is not from it.
constexpr std::size_t kMaxReplyBytes = 16 * 1024 * 1024;

struct CurlCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistCleanup {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

std::size_t AppendBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  const std::size_t bytes = size * count;
  if (body->size() + bytes > kMaxReplyBytes) return 0;  // makes curl fail with a write error
  body->append(data, bytes);
  return bytes;
}

}  // namespace

struct THttpClient::Handle {
  std::unique_ptr<CURL, CurlCleanup> curl;
  std::unique_ptr<curl_slist, SlistCleanup> headers;
};

THttpClient::THttpClient() : m_handle(std::make_unique<Handle>()), m_serviceURL(MakeServiceAddresses("").ServiceURL) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  m_handle->curl.reset(curl_easy_init());
  m_handle->headers.reset(curl_slist_append(nullptr, "Accept: text/html, */*"));
}

THttpClient::~THttpClient() = default;

void THttpClient::SetProxy(std::string host, int port) {
  m_proxyHost = std::move(host);
  m_proxyPort = port;
}

void THttpClient::SetTimeouts(long connectMs, long totalMs) {
  m_connectTimeoutMs = connectMs;
  m_totalTimeoutMs = totalMs;
}

util::IPrompt& THttpClient::Prompt() const { return m_prompt != nullptr ? *m_prompt : util::FallbackPrompt(); }

void THttpClient::RequestTermination() {
  m_terminating = true;
  if (OnTerminateRequest) OnTerminateRequest();
}

HttpResult THttpClient::Get(const std::string& url) {
  HttpResult result;
  CURL* curl = m_handle->curl.get();
  if (curl == nullptr) {
    result.error = "HTTP client could not be created";
    return result;
  }
  curl_easy_reset(curl);
  const std::string referer(kRefererURL);
  // An empty proxy text switches proxies off, also those named in the environment.
  const std::string proxy = m_proxyHost.empty() ? std::string{} : m_proxyHost + ":" + std::to_string(m_proxyPort);
  char errorText[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, m_handle->headers.get());
  curl_easy_setopt(curl, CURLOPT_REFERER, referer.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Trellmond");
  curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, m_connectTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, m_totalTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
  const CURLcode rc = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
  if (rc != CURLE_OK) {
    result.error = errorText[0] != '\0' ? errorText : curl_easy_strerror(rc);
  } else if (result.status >= 400) {
    result.error = "HTTP status " + std::to_string(result.status);
  } else {
    result.ok = true;
  }
  return result;
}

}  // namespace online
