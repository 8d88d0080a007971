#include "tests/support/Command.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace testsupport {
namespace {

void DrainPipes(int outFd, int errFd, int inFd, const std::string& input, CommandResult& result) {
  std::size_t written = 0;
  if (inFd >= 0 && input.empty()) {
    close(inFd);
    inFd = -1;
  }
  std::array<char, 65536> buffer{};
  while (outFd >= 0 || errFd >= 0) {
    std::array<pollfd, 3> fds{};
    nfds_t n = 0;
    if (outFd >= 0) fds[n++] = {outFd, POLLIN, 0};
    if (errFd >= 0) fds[n++] = {errFd, POLLIN, 0};
    if (inFd >= 0) fds[n++] = {inFd, POLLOUT, 0};
    if (poll(fds.data(), n, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (nfds_t i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      int& fd = fds[i].fd == outFd ? outFd : fds[i].fd == errFd ? errFd : inFd;
      if (&fd == &inFd) {
        const ssize_t w = write(inFd, input.data() + written, input.size() - written);
        if (w > 0) written += static_cast<std::size_t>(w);
        if (w <= 0 || written == input.size()) {
          close(inFd);
          inFd = -1;
        }
        continue;
      }
      const ssize_t r = read(fd, buffer.data(), buffer.size());
      if (r <= 0) {
        close(fd);
        fd = -1;
      } else {
        (&fd == &outFd ? result.output : result.errors).append(buffer.data(), static_cast<std::size_t>(r));
      }
    }
  }
  if (inFd >= 0) close(inFd);
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv, const std::map<std::string, std::string>& extraEnv,
                         const std::string& input) {
  CommandResult result;
  int outPipe[2], errPipe[2], inPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0 || pipe2(inPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry(*e);
    const std::string key = entry.substr(0, entry.find('='));
    if (extraEnv.count(key) == 0) env.push_back(entry);
  }
  for (const auto& [k, v] : extraEnv) env.push_back(k + "=" + v);
  std::vector<char*> args, envp;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(inPipe[0], 0);
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  close(inPipe[0]);
  DrainPipes(outPipe[0], errPipe[0], inPipe[1], input, result);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::string RunOrThrow(const std::vector<std::string>& argv, const std::map<std::string, std::string>& extraEnv) {
  CommandResult r = RunCommand(argv, extraEnv);
  if (r.exitCode != 0) {
    std::string line;
    for (const auto& a : argv) line += a + " ";
    throw std::runtime_error(line + "failed (" + std::to_string(r.exitCode) + "): " + r.errors + r.output);
  }
  return r.output;
}

std::string BuiltProgram(const std::string& name) {
  const char* build = std::getenv("TRELLMOND_BUILD_DIR");
  std::filesystem::path base = build ? build : ".";
  for (const char* sub : {"cli", "service", "wizard", "."}) {
    if (std::filesystem::exists(base / sub / name)) return (base / sub / name).string();
  }
  return name;
}

}  // namespace testsupport
