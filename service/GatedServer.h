#pragma once
// The service's HTTP server: cpp-httplib's request parsing and routing behind
// a ConnectionGate instead of the library's thread per connection, so slow or
// idle clients hold no worker. It also refuses (400) any path holding a NUL
// or other control byte before a handler or the file server sees it: the file
// server would open the name cut at the NUL yet pick the content type from
// the whole path.
//
// Configure it like httplib::Server, then bind and Listen; call Shutdown
// once listening ended.

#include "service/ConnectionGate.h"

#include <httplib.h>

namespace service {

class GatedServer : public httplib::Server {
 public:
  explicit GatedServer(GateLimits limits);
  ~GatedServer() override;

  // Accepts until stop(), like listen_after_bind, with a listen queue as long
  // as the system allows: the library's own is five, and a burst of clients
  // beyond it waits a second per refused SYN.
  bool Listen();
  void Shutdown();
  // Serves a socket that is already bound and listening (handed over by the service
  // manager) instead of binding one.
  void AdoptListeningSocket(socket_t sock) { svr_sock_ = sock; }

  // A reply is answered with "Connection: close" after this many on one connection.
  static constexpr int kRequestsPerConnection = 1000;

 private:
  // Called on the library's accept thread, through a task queue that runs it at once.
  bool process_and_close_socket(socket_t sock) override;
  bool ServeRequest(Connection& connection);

  ConnectionGate m_gate;
};

// True when `path` holds a byte below 32 or DEL.
bool HasControlByte(std::string_view path);

}  // namespace service
