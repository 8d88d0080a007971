#pragma once
// Client connections wait here, off the worker threads, until a whole request
// (headers, and a body of the announced length) has arrived; only then does a
// worker take the connection. A client that trickles its request, or never
// finishes it, therefore holds no worker: it holds a place in the gate until
// the request's time limit cuts it. The gate also caps open connections per
// client address and in total, so one address cannot take every descriptor.
//
// Owned by the HTTP server; Admit is called on its accept thread, the serve
// callback on the gate's own workers.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace service {

struct GateLimits {
  // From a new connection's accept, or from the first byte of a later request
  // on it, until the request must be complete.
  std::chrono::milliseconds requestTime{10'000};
  // Idle time allowed between requests on one connection.
  std::chrono::milliseconds keepAlive{5'000};
  // Most time one reply may take to write.
  std::chrono::milliseconds writeTime{10'000};
  int perAddress = 64;
  int maxConnections = 900;
  int workers = 48;
};

// One client connection, owned by the gate. A worker has it to itself while serving it.
struct Connection {
  std::uint64_t id = 0;
  int fd = -1;
  std::string address;
  int port = 0;
  std::chrono::steady_clock::time_point deadline;  // the current request must be complete by then
  bool requestStarted = false;                     // bytes of the current request have arrived
  // Bytes read from the socket but not yet taken by the HTTP parser (a pipelined next request).
  std::string pending;
  int served = 0;
  enum class State { Waiting, Queued, Serving } state = State::Waiting;
};

// The peer's or this end's address of a connected socket as text and port; false when unknown.
bool PeerAddress(int fd, std::string& address, int& port);
bool LocalAddress(int fd, std::string& address, int& port);

class ConnectionGate {
 public:
  // `serve` answers one request of the connection; it returns true to keep the connection open.
  using Serve = std::function<bool(Connection&)>;

  ConnectionGate(GateLimits limits, Serve serve);
  ~ConnectionGate();
  ConnectionGate(const ConnectionGate&) = delete;
  ConnectionGate& operator=(const ConnectionGate&) = delete;

  // Takes ownership of an accepted socket; refuses it over a connection cap.
  void Admit(int fd);
  // Closes every connection and ends the threads; requests being served finish first.
  void Stop();

  const GateLimits& Limits() const { return m_limits; }

 private:
  enum class Head { Complete, Partial, Empty, Closed };

  void GateLoop();
  void WorkerLoop();
  // Looks at what has arrived without taking it off the socket.
  Head Inspect(Connection& connection) const;
  // Queues a waiting connection whose request is complete; closes one whose client left.
  void CheckLocked(Connection& connection);
  void CloseLocked(Connection& connection);
  void ExpireLocked(std::chrono::steady_clock::time_point now);

  GateLimits m_limits;
  Serve m_serve;
  int m_epoll = -1;
  int m_wake = -1;  // eventfd that ends the gate loop's wait

  std::mutex m_mutex;
  std::condition_variable m_ready;
  std::unordered_map<std::uint64_t, Connection> m_connections;
  std::map<std::string, int> m_perAddress;
  std::deque<std::uint64_t> m_queue;
  std::uint64_t m_nextId = 1;
  bool m_stopping = false;

  std::thread m_gateThread;
  std::vector<std::thread> m_workers;
};

}  // namespace service
