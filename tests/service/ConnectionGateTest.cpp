// The service's front against hostile clients: slow requests, one address
// opening many connections, control bytes in paths, clients that close their
// sending side. The real service with few workers, so that any client
// holding a worker would show.

#include "tests/service/ServiceFixture.h"
#include "tests/service/TestDatabase.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRequestSeconds = 2;
constexpr int kPerAddress = 60;

// A TCP connection to the service from a chosen loopback address (127.0.0.x
// all reach the same machine), so that tests can play several clients.
class RawClient {
 public:
  RawClient(const char* from, int port) {
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from, &local.sin_addr);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        connect(m_fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
      close(m_fd);
      m_fd = -1;
    }
  }
  ~RawClient() {
    if (m_fd >= 0) close(m_fd);
  }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Connected() const { return m_fd >= 0; }
  bool Send(const std::string& bytes) {
    return send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  void CloseSending() { shutdown(m_fd, SHUT_WR); }
  // Everything the server sends until it closes, or until `limit` passes.
  std::string ReadUntilClosed(std::chrono::milliseconds limit, bool* closed = nullptr) {
    std::string text;
    const auto deadline = Clock::now() + limit;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd p{m_fd, POLLIN, 0};
      if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
      char buffer[4096];
      const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
      if (n <= 0) {
        if (closed != nullptr) *closed = true;
        break;
      }
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }

 private:
  int m_fd = -1;
};

class ConnectionGateTest : public testsupport::ServiceFixture {
 protected:
  ConnectionGateTest() {
    m_extraArgs = {"--threads",      "4",
                   "--request-time", std::to_string(kRequestSeconds),
                   "--per-address",  std::to_string(kPerAddress)};
  }

  // A quick request from 127.0.0.1, answered within a second or counted as lost.
  bool Probe() {
    httplib::Client client("127.0.0.1", m_service->Port());
    client.set_connection_timeout(1, 0);
    client.set_read_timeout(1, 0);
    const auto res = client.Get("/php/getkey.php?searchKey=VERSION&language=ENG");
    return res && res->status == 200 && res->body.find("VERSION;") != std::string::npos;
  }
};

TEST_P(ConnectionGateTest, SlowClientsHoldNoWorkerAndAreCutAtTheTimeLimit) {
  constexpr int kSlow = 50;
  std::vector<std::unique_ptr<RawClient>> slow;
  for (int i = 0; i < kSlow; ++i) {
    // Half send their headers a line at a time and never finish; half trickle a body.
    slow.push_back(std::make_unique<RawClient>("127.0.0.2", m_service->Port()));
    ASSERT_TRUE(slow.back()->Connected());
    ASSERT_TRUE(slow.back()->Send(i % 2 == 0 ? "GET /php/getkey.php?searchKey=VERSION HTTP/1.1\r\nHost: x\r\n"
                                             : "GET /php/getkey.php?searchKey=VERSION HTTP/1.1\r\nHost: x\r\n"
                                               "Content-Length: 1000\r\n\r\nab"));
  }
  std::atomic<bool> stop{false};
  std::thread trickle([&] {
    while (!stop) {
      for (int i = 0; i < kSlow; ++i) slow[i]->Send(i % 2 == 0 ? "X-Slow: 1\r\n" : "c");
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  });
  // Four workers and fifty slow clients: every probe is still answered at once.
  int answered = 0;
  constexpr int kProbes = 12;
  for (int i = 0; i < kProbes; ++i) {
    answered += Probe() ? 1 : 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(answered, kProbes);

  // The time limit counts from the start of the request, not from the last byte.
  int cut = 0;
  for (auto& client : slow) {
    bool closed = false;
    client->ReadUntilClosed(std::chrono::seconds(kRequestSeconds + 2), &closed);
    cut += closed ? 1 : 0;
  }
  stop = true;
  trickle.join();
  EXPECT_EQ(cut, kSlow);
  EXPECT_TRUE(Probe());
}

TEST_P(ConnectionGateTest, OneAddressIsCappedWhileOthersAreServed) {
  std::vector<std::unique_ptr<RawClient>> idle;
  for (int i = 0; i < kPerAddress; ++i) {
    idle.push_back(std::make_unique<RawClient>("127.0.0.3", m_service->Port()));
    ASSERT_TRUE(idle.back()->Connected());
  }
  // The gate takes connections one after another; give it a moment to count them all.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  RawClient over("127.0.0.3", m_service->Port());
  ASSERT_TRUE(over.Connected());
  over.Send("GET /php/getkey.php?searchKey=VERSION HTTP/1.1\r\nHost: x\r\n\r\n");
  bool closed = false;
  const std::string reply = over.ReadUntilClosed(std::chrono::seconds(2), &closed);
  EXPECT_TRUE(closed);
  EXPECT_EQ(reply.find("VERSION;"), std::string::npos);
  EXPECT_TRUE(Probe());
  // Within its share an address is served as usual.
  idle.front().reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  RawClient again("127.0.0.3", m_service->Port());
  again.Send("GET /php/getkey.php?searchKey=VERSION HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_NE(again.ReadUntilClosed(std::chrono::seconds(2)).find("VERSION;"), std::string::npos);
}

TEST_P(ConnectionGateTest, PathsWithControlBytesAreRefused) {
  for (const char* target :
       {"/help.html%00.png", "/help.html%00", "/help.html%0a", "/help%0d%0a.html", "/help.html%7F.png", "/%01",
        "/php/getkey.php%00?searchKey=VERSION&language=ENG", "/php/addlog.php%09?transaction=1&message=x&action=1"}) {
    const auto res = Get(target);
    ASSERT_TRUE(res) << target;
    EXPECT_EQ(res->status, 400) << target;
    EXPECT_EQ(res->body.find("help"), std::string::npos) << target;
    EXPECT_NE(res->get_header_value("Content-Type"), "image/png") << target;
  }
  const auto page = Get("/help.html");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html");
  EXPECT_EQ(testsupport::CountRows(Db(), "logs"), 0u);
}

TEST_P(ConnectionGateTest, AClientThatClosesItsSendingSideStillGetsItsReply) {
  struct Case {
    const char* name;
    std::string requests;
    int replies;
  };
  const std::string line = "GET /php/addlog.php?transaction=11&message=half&action=46&request=";
  const std::vector<Case> cases = {
      {"keep-alive", line + "half-1 HTTP/1.1\r\nHost: x\r\n\r\n", 1},
      {"connection close", line + "half-2 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 1},
      {"two pipelined", line + "half-3 HTTP/1.1\r\nHost: x\r\n\r\n" + line + "half-4 HTTP/1.1\r\nHost: x\r\n\r\n", 2},
  };
  for (const Case& c : cases) {
    RawClient client("127.0.0.1", m_service->Port());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send(c.requests));
    client.CloseSending();
    bool closed = false;
    const std::string reply = client.ReadUntilClosed(std::chrono::seconds(5), &closed);
    EXPECT_TRUE(closed) << c.name;
    int oks = 0;
    for (std::size_t at = reply.find("\nOK\n"); at != std::string::npos; at = reply.find("\nOK\n", at + 1)) ++oks;
    EXPECT_EQ(oks, c.replies) << c.name << ": " << reply;
  }
  EXPECT_EQ(testsupport::CountRows(Db(), "logs WHERE trans = '11'"), 4u);
}

INSTANTIATE_TEST_SUITE_P(Front, ConnectionGateTest, testing::Values(testsupport::kSqliteNormal),
                         testsupport::StoreCaseName);

}  // namespace
