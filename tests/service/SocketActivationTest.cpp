// The service started as a socket-activated unit starts it: systemd's own socket-activate
// tool holds the listening socket, starts the service on the first connection and hands the
// socket over, which the service serves from instead of binding its own.

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/Command.h"
#include "tests/support/TempDir.h"

namespace {

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

pid_t Spawn(std::vector<std::string> words) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

TEST(SocketActivationTest, FirstRequestStartsTheServiceOnTheInheritedSocket) {
  if (access("/usr/bin/systemd-socket-activate", X_OK) != 0) GTEST_SKIP() << "no systemd-socket-activate here";
  testsupport::TempDir dir;
  const int port = FreePort();
  const std::string address = "127.0.0.1:" + std::to_string(port);
  // No --port: an inherited socket is used whatever the options say.
  const pid_t pid =
      Spawn({"/usr/bin/systemd-socket-activate", "-l", address, testsupport::BuiltProgram("trellmond-service"),
             "--database", (dir / "service.sqlite").string()});
  ASSERT_GT(pid, 0);
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(10, 0);
  int status = 0;
  for (int attempt = 0; attempt < 100 && status == 0; ++attempt) {
    if (const auto reply = client.Get("/index.html")) {
      status = reply->status;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  EXPECT_EQ(status, 200) << "on " << address;
  // The same process serves on: the socket stays with it between requests.
  const auto again = client.Get("/php/getkey.php?searchKey=VERSION&language=ENG");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->status, 200);
  EXPECT_TRUE(std::filesystem::exists(dir / "service.sqlite"));

  kill(pid, SIGTERM);
  int ended = 0;
  ASSERT_EQ(waitpid(pid, &ended, 0), pid);
  EXPECT_TRUE(WIFEXITED(ended) && WEXITSTATUS(ended) == 0) << ended;
}

}  // namespace
