#pragma once
// The listening socket a service manager hands over when it starts the service on the first
// connection (systemd's socket activation: LISTEN_PID and LISTEN_FDS, the sockets from fd 3).

#include <string>

namespace service {

// The first inherited socket when it is meant for this process and listens, else -1. The
// variables are removed either way, so children of the service do not take them for theirs.
int TakeInheritedListenSocket();
// "ADDRESS:PORT" of a listening IPv4 or IPv6 socket, for the start-up line.
std::string SocketAddressText(int fd);

}  // namespace service
