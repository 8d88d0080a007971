#pragma once
// The other programs of this installation and their data: found beside this program (an
// installed tree, or a build folder), started as children for the session, and probed at
// their address.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The POSIX path of a program of this installation: beside this program, in the build
// folder's `../<folder>/`, then on PATH. Empty when none is executable.
std::string FindCompanionProgram(const std::string& name, const std::string& buildFolder);

// `<prefix>/share/trellmond/<relative>` when this program runs from `<prefix>/bin` and that
// folder exists; empty otherwise (a build folder uses its source tree's data).
std::string InstalledDataFolder(const std::string& relative);

// True when something accepts a TCP connection at host:port within `timeout`.
bool Answers(const std::string& host, int port, std::chrono::milliseconds timeout);

// A program run for as long as its owner lives: stopped with SIGTERM (and waited for) when
// the owner goes, and by the kernel when the owner dies first.
class SessionProcess {
 public:
  // Starts `program` with `arguments`, its standard output discarded; Running() says whether it did.
  SessionProcess(const std::string& program, const std::vector<std::string>& arguments);
  ~SessionProcess();
  SessionProcess(const SessionProcess&) = delete;
  SessionProcess& operator=(const SessionProcess&) = delete;

  // False once it has ended (or never started).
  bool Running();

 private:
  pid_t m_pid = -1;
};

}  // namespace platform
