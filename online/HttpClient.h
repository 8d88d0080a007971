#pragma once
// The one HTTP client of a front end, over libcurl. It carries what every
// request needs: the service address, the proxy (empty host and port 0 for
// none), the fixed Accept and Referer headers, redirects, time-outs so that
// no request hangs forever, the prompt that asks Retry/Abort, and the
// front end's termination request. Owned by the front end; one request at a
// time, on the thread that owns it.

#include "util/Prompt.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace online {

struct HttpResult {
  bool ok = false;       // a reply with a status below 400 arrived
  long status = 0;       // HTTP status, 0 when none arrived
  std::string body;
  std::string error;     // why it failed
};

class THttpClient {
 public:
  THttpClient();
  ~THttpClient();
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  // The address request texts are appended to ("http://host:port/php/").
  void SetServiceURL(std::string url) { m_serviceURL = std::move(url); }
  const std::string& ServiceURL() const { return m_serviceURL; }

  void SetProxy(std::string host, int port);
  const std::string& ProxyHost() const { return m_proxyHost; }
  int ProxyPort() const { return m_proxyPort; }

  void SetTimeouts(long connectMs, long totalMs);

  // The prompt for Retry/Abort and the closing message; the fallback prompt when unset.
  void SetPrompt(util::IPrompt* prompt) { m_prompt = prompt; }
  util::IPrompt& Prompt() const;

  // Asks the front end to end the program once control returns to it.
  std::function<void()> OnTerminateRequest;
  // Hourglass on (true) and back (false) around a blocking request.
  std::function<void(bool busy)> OnBusy;

  // Set by RequestTermination; later requests then fail at once without asking.
  void RequestTermination();
  bool TerminationRequested() const { return m_terminating; }

  // GET of a full address.
  HttpResult Get(const std::string& url);

 private:
  struct Handle;
  std::unique_ptr<Handle> m_handle;
  std::string m_serviceURL;
  std::string m_proxyHost;
  int m_proxyPort = 0;
  long m_connectTimeoutMs = 10'000;
  long m_totalTimeoutMs = 60'000;
  util::IPrompt* m_prompt = nullptr;
  bool m_terminating = false;
};

}  // namespace online
