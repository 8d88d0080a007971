#include "tests/wizard/ForwardingProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace testsupport {
namespace {

void SendAll(int fd, const std::string& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  return address;
}

// "http://host:port/path?query" -> "/path?query"; an origin-form target stays as it is.
std::string OriginForm(const std::string& target) {
  const std::size_t scheme = target.find("://");
  if (scheme == std::string::npos) return target;
  const std::size_t path = target.find('/', scheme + 3);
  return path == std::string::npos ? "/" : target.substr(path);
}

}  // namespace

ForwardingProxy::ForwardingProxy(int targetPort, std::function<std::optional<std::string>(const std::string&)> answer)
    : m_targetPort(targetPort), m_answer(std::move(answer)) {
  m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof(address);
  if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(m_listen, 16) != 0 || getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("proxy cannot listen");
  }
  m_port = ntohs(address.sin_port);
  m_thread = std::thread([this] { Run(); });
}

ForwardingProxy::~ForwardingProxy() {
  m_stop = true;
  m_thread.join();
  close(m_listen);
}

void ForwardingProxy::Run() {
  while (!m_stop) {
    pollfd watch{m_listen, POLLIN, 0};
    if (poll(&watch, 1, 50) <= 0) continue;
    const int client = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Serve(client);
    close(client);
  }
}

void ForwardingProxy::Serve(int client) {
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    const ssize_t n = recv(client, buffer, sizeof(buffer), 0);
    if (n <= 0) return;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  const std::size_t first = head.find(' ');
  const std::size_t second = head.find(' ', first + 1);
  if (first == std::string::npos || second == std::string::npos) return;
  const std::string target = OriginForm(head.substr(first + 1, second - first - 1));
  ++m_requests;
  if (m_answer) {
    if (const std::optional<std::string> body = m_answer(target)) {
      SendAll(client, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: " +
                          std::to_string(body->size()) + "\r\n\r\n" + *body);
      return;
    }
  }
  const int upstream = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(m_targetPort);
  if (upstream < 0 || connect(upstream, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    if (upstream >= 0) close(upstream);
    SendAll(client, "HTTP/1.1 502 Bad Gateway\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
    return;
  }
  SendAll(upstream, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(m_targetPort) +
                        "\r\nConnection: close\r\n\r\n");
  for (ssize_t n; (n = recv(upstream, buffer, sizeof(buffer), 0)) > 0;) {
    SendAll(client, std::string(buffer, static_cast<std::size_t>(n)));
  }
  close(upstream);
}

}  // namespace testsupport
