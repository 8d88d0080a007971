#pragma once
// A real trellmond-service process for tests: started on 127.0.0.1 with a
// free port (or a given one) and a database in a test folder, stopped by
// signal. Reads the "listening on" line to learn the port.

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

class ServiceProcess {
 public:
  // `args` are added after --bind 127.0.0.1 --database FILE.
  ServiceProcess(std::string databasePath, std::vector<std::string> args = {});
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  // Starts on `port` (0: a free one); throws when it does not come up within 10 s.
  void Start(int port = 0);
  // Sends the signal and waits for the process; returns its wait status.
  int Stop(int signal);
  bool Running() const { return m_pid > 0; }

  int Port() const { return m_port; }
  std::string BaseURL() const;  // "http://127.0.0.1:PORT"

 private:
  std::string m_database;
  std::vector<std::string> m_args;
  pid_t m_pid = -1;
  int m_port = 0;
};

}  // namespace testsupport
