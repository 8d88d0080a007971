#pragma once
// A small HTTP proxy on 127.0.0.1 for tests: takes the absolute-form GET
// requests a client sends to its proxy and forwards them to a service port,
// or answers a request itself when `answer` gives a body for it.

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace testsupport {

class ForwardingProxy {
 public:
  // `answer` is consulted with each request target (path and query) before forwarding.
  ForwardingProxy(int targetPort, std::function<std::optional<std::string>(const std::string&)> answer = {});
  ~ForwardingProxy();
  ForwardingProxy(const ForwardingProxy&) = delete;
  ForwardingProxy& operator=(const ForwardingProxy&) = delete;

  int Port() const { return m_port; }
  int Requests() const { return m_requests.load(); }

 private:
  void Run();
  void Serve(int client);

  int m_targetPort;
  std::function<std::optional<std::string>(const std::string&)> m_answer;
  int m_listen = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_requests{0};
  std::thread m_thread;
};

}  // namespace testsupport
