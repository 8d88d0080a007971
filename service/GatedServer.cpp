#include "service/GatedServer.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace service {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

// Waits for `events` on `fd` until `deadline`; false on time-out or a failed socket.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, MillisecondsUntil(deadline));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    // POLLHUP with POLLIN still has bytes (or an end) to read; for writing it is the end.
    if ((p.revents & POLLERR) != 0) return false;
    if ((events & POLLOUT) != 0 && (p.revents & POLLHUP) != 0) return false;
    return true;
  }
}

// The library's view of one connection for one request. Reads come from the
// connection's pending bytes, then from the socket, and fail at the request's
// deadline however the bytes trickle in. Writes only need the socket to take
// them: a client that closed its sending side still gets its reply.
class ConnectionStream : public httplib::Stream {
 public:
  ConnectionStream(Connection& connection, std::chrono::milliseconds writeTime)
      : m_connection(connection), m_writeTime(writeTime) {}

  bool is_readable() const override {
    return m_offset < m_connection.pending.size() || WaitFor(m_connection.fd, POLLIN, m_connection.deadline);
  }
  bool is_writable() const override { return WaitFor(m_connection.fd, POLLOUT, Clock::now() + m_writeTime); }

  ssize_t read(char* ptr, size_t size) override {
    if (m_offset >= m_connection.pending.size() && !Fill()) return -1;
    const std::size_t n = std::min(size, m_connection.pending.size() - m_offset);
    std::memcpy(ptr, m_connection.pending.data() + m_offset, n);
    m_offset += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    const auto deadline = Clock::now() + m_writeTime;
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = send(m_connection.fd, ptr + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (!WaitFor(m_connection.fd, POLLOUT, deadline)) return -1;
      } else {
        return -1;
      }
    }
    return static_cast<ssize_t>(size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = m_connection.address;
    port = m_connection.port;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip.clear();
    port = 0;
    LocalAddress(m_connection.fd, ip, port);
  }
  socket_t socket() const override { return m_connection.fd; }

  // Keeps the bytes the parser has not taken (the start of a pipelined request).
  ~ConnectionStream() override { m_connection.pending.erase(0, m_offset); }

 private:
  bool Fill() {
    m_connection.pending.erase(0, m_offset);
    m_offset = 0;
    char chunk[4096];
    for (;;) {
      const ssize_t n = recv(m_connection.fd, chunk, sizeof chunk, MSG_DONTWAIT);
      if (n > 0) {
        m_connection.pending.append(chunk, static_cast<std::size_t>(n));
        return true;
      }
      if (n == 0) return false;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      if (!WaitFor(m_connection.fd, POLLIN, m_connection.deadline)) return false;
    }
  }

  Connection& m_connection;
  std::chrono::milliseconds m_writeTime;
  std::size_t m_offset = 0;
};

// Runs each accepted socket's hand-over to the gate on the accept thread itself.
class InlineQueue : public httplib::TaskQueue {
 public:
  void enqueue(std::function<void()> fn) override { fn(); }
  void shutdown() override {}
};

}  // namespace

bool HasControlByte(std::string_view path) {
  return std::any_of(path.begin(), path.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 32 || b == 127;
  });
}

GatedServer::GatedServer(GateLimits limits)
    : m_gate(limits, [this](Connection& connection) { return ServeRequest(connection); }) {
  new_task_queue = [] { return new InlineQueue; };
  set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
    if (!HasControlByte(req.path)) return httplib::Server::HandlerResponse::Unhandled;
    res.status = 400;
    res.set_content("control character in path\n", "text/plain");
    return httplib::Server::HandlerResponse::Handled;
  });
}

GatedServer::~GatedServer() { Shutdown(); }

bool GatedServer::Listen() {
  ::listen(svr_sock_, SOMAXCONN);
  return listen_after_bind();
}

void GatedServer::Shutdown() { m_gate.Stop(); }

bool GatedServer::process_and_close_socket(socket_t sock) {
  m_gate.Admit(sock);
  return true;
}

bool GatedServer::ServeRequest(Connection& connection) {
  ConnectionStream stream(connection, m_gate.Limits().writeTime);
  const bool closeAfter = !is_running() || ++connection.served >= kRequestsPerConnection;
  bool closedByClient = false;
  const bool ok = process_request(stream, closeAfter, closedByClient, nullptr);
  return ok && !closeAfter && !closedByClient;
}

}  // namespace service
