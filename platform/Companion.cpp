#include "platform/Companion.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace platform {
namespace fs = std::filesystem;

namespace {

fs::path OwnFolder() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path{} : self.parent_path();
}

bool Executable(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string FindCompanionProgram(const std::string& name, const std::string& buildFolder) {
  const fs::path own = OwnFolder();
  if (!own.empty()) {
    for (const fs::path& candidate : {own / name, own.parent_path() / buildFolder / name}) {
      if (Executable(candidate)) return candidate.string();
    }
  }
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "";
  for (std::size_t start = 0; start <= folders.size();) {
    const std::size_t end = std::min(folders.find(':', start), folders.size());
    const std::string folder = folders.substr(start, end - start);
    if (!folder.empty() && Executable(fs::path(folder) / name)) return (fs::path(folder) / name).string();
    start = end + 1;
  }
  return {};
}

std::string InstalledDataFolder(const std::string& relative) {
  const fs::path own = OwnFolder();
  if (own.filename() != "bin") return {};
  const fs::path data = own.parent_path() / "share" / "trellmond" / relative;
  std::error_code ec;
  return fs::is_directory(data, ec) ? data.string() : std::string{};
}

bool Answers(const std::string& host, int port, std::chrono::milliseconds timeout) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return false;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (!connected && errno == EINPROGRESS) {
    pollfd wait{fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    connected = poll(&wait, 1, static_cast<int>(timeout.count())) == 1 &&
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
  }
  close(fd);
  return connected;
}

SessionProcess::SessionProcess(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  m_pid = fork();
  if (m_pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
}

SessionProcess::~SessionProcess() {
  if (!Running()) return;
  kill(m_pid, SIGTERM);
  int status = 0;
  waitpid(m_pid, &status, 0);
}

bool SessionProcess::Running() {
  if (m_pid <= 0) return false;
  int status = 0;
  if (waitpid(m_pid, &status, WNOHANG) == m_pid) m_pid = -1;
  return m_pid > 0;
}

}  // namespace platform
