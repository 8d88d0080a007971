#include "tests/service/ServiceProcess.h"

#include "tests/support/Command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace testsupport {

ServiceProcess::ServiceProcess(std::string databasePath, std::vector<std::string> args)
    : m_database(std::move(databasePath)), m_args(std::move(args)) {}

ServiceProcess::~ServiceProcess() {
  if (m_pid > 0) Stop(SIGKILL);
}

std::string ServiceProcess::BaseURL() const { return "http://127.0.0.1:" + std::to_string(m_port); }

void ServiceProcess::Start(int port) {
  if (m_pid > 0) throw std::runtime_error("service already running");
  std::vector<std::string> argv = {BuiltProgram("trellmond-service"), "--bind", "127.0.0.1", "--port",
                                   std::to_string(port), "--database", m_database};
  argv.insert(argv.end(), m_args.begin(), m_args.end());
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  m_pid = pid;
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd fd{out[0], POLLIN, 0};
    if (poll(&fd, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(out[0]);
  const std::size_t colon = text.rfind(':');
  if (text.rfind("listening on http://", 0) != 0 || colon == std::string::npos) {
    Stop(SIGKILL);
    throw std::runtime_error("trellmond-service did not start: " + text);
  }
  m_port = std::stoi(text.substr(colon + 1));
}

int ServiceProcess::Stop(int signal) {
  if (m_pid <= 0) return 0;
  kill(m_pid, signal);
  int status = 0;
  waitpid(m_pid, &status, 0);
  m_pid = -1;
  return status;
}

}  // namespace testsupport
