#include "service/ConnectionGate.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace service {
namespace {

using Clock = std::chrono::steady_clock;

// Room for the longest head the HTTP parser accepts and the largest body the
// service takes; a request beyond it goes to a worker as it is, to be refused there.
constexpr std::size_t kPeekBytes = 96 * 1024;
constexpr std::uint64_t kWakeId = 0;
// How long a worker waits for a served connection's next request before leaving it to the gate.
constexpr int kLingerMilliseconds = 2;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The body length a head announces (0 without Content-Length).
std::size_t AnnouncedBody(std::string_view head) {
  constexpr std::string_view kName = "\r\ncontent-length:";
  for (std::size_t at = head.find("\r\n"); at != std::string_view::npos; at = head.find("\r\n", at + 2)) {
    if (head.size() - at < kName.size()) break;
    bool match = true;
    for (std::size_t i = 0; i < kName.size() && match; ++i) match = Lower(head[at + i]) == kName[i];
    if (!match) continue;
    std::size_t length = 0;
    for (std::size_t i = at + kName.size(); i < head.size(); ++i) {
      const char c = head[i];
      if (c == ' ' || c == '\t') continue;
      if (c < '0' || c > '9') break;
      length = std::min<std::size_t>(length * 10 + static_cast<std::size_t>(c - '0'), kPeekBytes);
    }
    return length;
  }
  return 0;
}

bool AddressText(const sockaddr_storage& storage, std::string& address, int& port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (storage.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&storage);
    inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    port = ntohs(in->sin_port);
  } else if (storage.ss_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&storage);
    inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    port = ntohs(in6->sin6_port);
  } else {
    return false;
  }
  address = text;
  return true;
}

}  // namespace

bool PeerAddress(int fd, std::string& address, int& port) {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  return getpeername(fd, reinterpret_cast<sockaddr*>(&storage), &length) == 0 && AddressText(storage, address, port);
}

bool LocalAddress(int fd, std::string& address, int& port) {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  return getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) == 0 && AddressText(storage, address, port);
}

ConnectionGate::ConnectionGate(GateLimits limits, Serve serve) : m_limits(limits), m_serve(std::move(serve)) {
  m_epoll = epoll_create1(EPOLL_CLOEXEC);
  m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = kWakeId;
  epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &event);
  m_gateThread = std::thread([this] { GateLoop(); });
  for (int i = 0; i < std::max(1, m_limits.workers); ++i) m_workers.emplace_back([this] { WorkerLoop(); });
}

ConnectionGate::~ConnectionGate() {
  Stop();
  close(m_wake);
  close(m_epoll);
}

void ConnectionGate::Admit(int fd) {
  std::string address;
  int port = 0;
  std::unique_lock lock(m_mutex);
  const bool known = PeerAddress(fd, address, port);
  if (m_stopping || !known || static_cast<int>(m_connections.size()) >= m_limits.maxConnections ||
      m_perAddress[address] >= m_limits.perAddress) {
    lock.unlock();
    // Best effort: a client over the cap learns why instead of seeing a bare close.
    constexpr std::string_view kBusy =
        "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    [[maybe_unused]] const ssize_t sent = send(fd, kBusy.data(), kBusy.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    close(fd);
    return;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  const std::uint64_t id = m_nextId++;
  Connection& connection = m_connections[id];
  connection.id = id;
  connection.fd = fd;
  connection.address = address;
  connection.port = port;
  connection.deadline = Clock::now() + m_limits.requestTime;
  connection.requestStarted = true;
  ++m_perAddress[address];
  // Edge-triggered: the gate hears of new bytes, not of bytes it has seen already.
  epoll_event event{};
  event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
  event.data.u64 = id;
  epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
  CheckLocked(connection);
}

ConnectionGate::Head ConnectionGate::Inspect(Connection& connection) const {
  // One buffer per thread, filled only as far as bytes arrived.
  thread_local std::vector<char> buffer(kPeekBytes);
  const std::size_t known = std::min(connection.pending.size(), kPeekBytes);
  std::copy_n(connection.pending.data(), known, buffer.data());
  std::size_t size = known;
  bool ended = false;
  if (known < kPeekBytes) {
    const ssize_t n = recv(connection.fd, buffer.data() + known, kPeekBytes - known, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return Head::Closed;
    ended = n == 0;
    size += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
  }
  const std::string_view bytes(buffer.data(), size);
  const std::size_t end = bytes.find("\r\n\r\n");
  bool complete = bytes.size() >= kPeekBytes;
  if (end != std::string_view::npos) {
    complete = bytes.size() >= std::min(kPeekBytes, end + 4 + AnnouncedBody(bytes.substr(0, end + 2)));
  }
  if (complete) return Head::Complete;
  // A client that closed its side before finishing a request can never finish it.
  if (ended) return Head::Closed;
  return bytes.empty() ? Head::Empty : Head::Partial;
}

void ConnectionGate::CheckLocked(Connection& connection) {
  if (connection.state != Connection::State::Waiting) return;
  switch (Inspect(connection)) {
    case Head::Closed: return CloseLocked(connection);
    case Head::Empty: return;
    case Head::Partial:
      if (!connection.requestStarted) {
        connection.requestStarted = true;
        connection.deadline = Clock::now() + m_limits.requestTime;
      }
      return;
    case Head::Complete:
      connection.state = Connection::State::Queued;
      m_queue.push_back(connection.id);
      m_ready.notify_one();
      return;
  }
}

void ConnectionGate::CloseLocked(Connection& connection) {
  close(connection.fd);
  const auto count = m_perAddress.find(connection.address);
  if (count != m_perAddress.end() && --count->second <= 0) m_perAddress.erase(count);
  m_connections.erase(connection.id);
}

void ConnectionGate::ExpireLocked(Clock::time_point now) {
  std::vector<std::uint64_t> expired;
  for (auto& [id, connection] : m_connections) {
    if (connection.state == Connection::State::Waiting && connection.deadline <= now) expired.push_back(id);
  }
  for (std::uint64_t id : expired) CloseLocked(m_connections.at(id));
}

void ConnectionGate::GateLoop() {
  std::vector<epoll_event> events(128);
  auto lastSweep = Clock::now();
  for (;;) {
    const int n = epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), 50);
    std::lock_guard lock(m_mutex);
    if (m_stopping) return;
    for (int i = 0; i < n; ++i) {
      if (events[i].data.u64 == kWakeId) continue;
      const auto it = m_connections.find(events[i].data.u64);
      if (it != m_connections.end()) CheckLocked(it->second);
    }
    const auto now = Clock::now();
    if (now - lastSweep >= std::chrono::milliseconds(50)) {
      ExpireLocked(now);
      lastSweep = now;
    }
  }
}

void ConnectionGate::WorkerLoop() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_ready.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
    if (m_stopping) return;
    const auto it = m_connections.find(m_queue.front());
    m_queue.pop_front();
    if (it == m_connections.end()) continue;
    Connection& connection = it->second;
    connection.state = Connection::State::Serving;
    for (;;) {
      lock.unlock();
      const bool keep = m_serve(connection);
      // A client that sends its next request at once gets it served here,
      // without a round through the gate; one that does not is left to the
      // gate after a moment, so no client holds a worker for long.
      if (keep) {
        pollfd ready{connection.fd, POLLIN | POLLRDHUP, 0};
        poll(&ready, 1, kLingerMilliseconds);
      }
      lock.lock();
      if (!keep || m_stopping) {
        CloseLocked(connection);
        break;
      }
      connection.state = Connection::State::Waiting;
      connection.requestStarted = false;
      connection.deadline = Clock::now() + m_limits.keepAlive;
      // Bytes that came while it was served raised no event the gate acted on: look now.
      const Head head = Inspect(connection);
      if (head == Head::Complete) {
        connection.state = Connection::State::Serving;
        connection.requestStarted = true;
        connection.deadline = Clock::now() + m_limits.requestTime;
        continue;
      }
      if (head == Head::Closed) {
        CloseLocked(connection);
      } else if (head == Head::Partial) {
        connection.requestStarted = true;
        connection.deadline = Clock::now() + m_limits.requestTime;
      }
      break;
    }
  }
}

void ConnectionGate::Stop() {
  {
    std::lock_guard lock(m_mutex);
    if (m_stopping && !m_gateThread.joinable()) return;
    m_stopping = true;
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(m_wake, &one, sizeof one);
  m_ready.notify_all();
  if (m_gateThread.joinable()) m_gateThread.join();
  for (std::thread& worker : m_workers) {
    if (worker.joinable()) worker.join();
  }
  m_workers.clear();
  std::lock_guard lock(m_mutex);
  while (!m_connections.empty()) CloseLocked(m_connections.begin()->second);
  m_queue.clear();
}

}  // namespace service
