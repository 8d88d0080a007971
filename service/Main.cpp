// trellmond-service: the vendor web service of Trellmond on this machine.

#include "service/ConsoleData.h"
#include "service/GatedServer.h"
#include "service/InheritedSocket.h"
#include "service/ServiceApi.h"
#include "service/ServiceOptions.h"
#include "service/ServiceStore.h"
#include "service/SupportConsole.h"

#include <httplib.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// Stops the server on SIGINT or SIGTERM from a thread of its own, since
// stopping is not safe from inside a signal handler.
std::thread StartSignalWatcher(httplib::Server& server, sigset_t signals) {
  return std::thread([&server, signals] {
    int received = 0;
    sigwait(&signals, &received);
    server.stop();
  });
}

service::GateLimits Limits(const service::ServiceOptions& options) {
  service::GateLimits limits;
  limits.requestTime = std::chrono::seconds(options.requestSeconds);
  limits.perAddress = options.perAddress;
  limits.workers = options.threads;
  return limits;
}

void ConfigureServer(httplib::Server& server, const service::ServiceOptions& options) {
  // Headers and body go out in separate writes; without this, Nagle's
  // algorithm holds the body back for the client's delayed ACK (about 40 ms).
  server.set_tcp_nodelay(true);
  server.set_payload_max_length(64 * 1024);
  server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    service::ReplyError(res, 500, "internal error");
  });
  server.set_mount_point("/", options.dataFolder + "/site");
}

}  // namespace

int main(int argc, char** argv) {
  const service::ParsedOptions parsed = service::ParseServiceOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.showHelp) {
    std::fputs(service::ServiceUsage().c_str(), stdout);
    return 0;
  }
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "trellmond-service: %s\n%s", parsed.error.c_str(), service::ServiceUsage().c_str());
    return 2;
  }
  const service::ServiceOptions& options = parsed.options;

  // Block the stop signals in every thread the service starts (the store's
  // writer among them); the watcher takes them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::string error;
  auto store = service::ServiceStore::Open(options.databasePath, options.sync, error);
  auto console = store ? service::ConsoleData::Open(options.databasePath, error) : nullptr;
  if (!store || !console) {
    std::fprintf(stderr, "trellmond-service: cannot open %s: %s\n", options.databasePath.c_str(), error.c_str());
    return 1;
  }

  service::GatedServer server(Limits(options));
  ConfigureServer(server, options);
  service::ServiceApi api(options, *store);
  api.Register(server);
  service::SupportConsole supportConsole(options.consoleToken, *console);
  supportConsole.Register(server);

  if (const int inherited = service::TakeInheritedListenSocket(); inherited >= 0) {
    // Started by the service manager on the first connection: its socket, not --bind/--port.
    server.AdoptListeningSocket(inherited);
    std::printf("listening on http://%s (inherited socket)\n", service::SocketAddressText(inherited).c_str());
  } else {
    int port = options.port;
    if (port == 0) {
      port = server.bind_to_any_port(options.bindAddress);
    } else if (!server.bind_to_port(options.bindAddress, port)) {
      port = -1;
    }
    if (port <= 0) {
      std::fprintf(stderr, "trellmond-service: cannot listen on %s:%d\n", options.bindAddress.c_str(), options.port);
      return 1;
    }
    std::printf("listening on http://%s:%d\n", options.bindAddress.c_str(), port);
  }
  std::fflush(stdout);

  std::thread watcher = StartSignalWatcher(server, signals);
  server.Listen();
  server.Shutdown();
  // Wake the watcher when the server ended by itself, then wait for it.
  pthread_kill(watcher.native_handle(), SIGTERM);
  watcher.join();
  return 0;
}
