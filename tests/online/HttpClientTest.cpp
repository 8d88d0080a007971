// The HTTP client's settings and the failure paths, against a small server
// inside the test that can answer in ways the real service never does.

#include "online/Browser.h"
#include "online/MekCookie.h"
#include "online/Requests.h"
#include "online/ServiceAddress.h"
#include "online/Transaction.h"
#include "tests/online/ScriptedPrompt.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class StubServerTest : public testing::Test {
 protected:
  void SetUp() override {
    m_server.Get("/php/echo.php", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(m_mutex);
      m_accept = req.get_header_value("Accept");
      m_referer = req.get_header_value("Referer");
      m_target = req.target;
      res.set_content("<html><body>\nECHO;1\n</body></html>", "text/html");
    });
    m_server.Get("/old/echo.php", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/php/echo.php");
    });
    m_server.Get("/php/slow.php", [](const httplib::Request&, httplib::Response& res) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      res.set_content("late", "text/html");
    });
    m_server.Get("/php/addtransaction.php", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(m_transactionReply, "text/html");
    });
    m_server.Get("/php/addlog.php", [this](const httplib::Request& req, httplib::Response& res) {
      {
        std::lock_guard lock(m_mutex);
        m_logTargets.push_back(req.target);
      }
      // The first line's reply is lost when asked: the client times out after the line arrived.
      if (m_loseFirstLogReply && ++m_logs == 1) std::this_thread::sleep_for(std::chrono::milliseconds(800));
      res.set_content("<html><body>\nOK\n</body></html>", "text/html");
    });
    m_server.Get("/php/addmachine.php", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<html><body>\nOK\n</body></html>", "text/html");
    });
    m_server.set_keep_alive_timeout(1);  // lets TearDown stop the server promptly
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    m_client.SetServiceURL("http://127.0.0.1:" + std::to_string(m_port) + "/php/");
    m_client.SetPrompt(&m_prompt);
    m_client.OnTerminateRequest = [this] { ++m_terminations; };
  }
  void TearDown() override {
    m_server.stop();
    m_thread.join();
  }

  httplib::Server m_server;
  std::thread m_thread;
  int m_port = 0;
  std::mutex m_mutex;
  std::string m_accept, m_referer, m_target;
  std::string m_transactionReply;
  std::atomic<int> m_logs{0};
  std::vector<std::string> m_logTargets;
  bool m_loseFirstLogReply = false;
  testsupport::ScriptedPrompt m_prompt;
  online::THttpClient m_client;
  int m_terminations = 0;
};

TEST_F(StubServerTest, SendsTheFixedHeadersAndFollowsRedirects) {
  m_client.SetServiceURL("http://127.0.0.1:" + std::to_string(m_port) + "/old/");
  EXPECT_EQ(online::GetData(online::DispatchURL("echo.php?m=a b\\c", m_client)), "ECHO;1");
  std::lock_guard lock(m_mutex);
  EXPECT_EQ(m_accept, "text/html, */*");
  EXPECT_EQ(m_referer, std::string(online::kRefererURL));
  EXPECT_EQ(m_target, "/php/echo.php");  // the redirect target, reached
}

TEST_F(StubServerTest, ARequestThatNeverEndsTimesOutIntoTheRetryBox) {
  m_client.SetTimeouts(500, 500);
  m_prompt.answer = [](const testsupport::ScriptedPrompt::Box& box) {
    return box.buttons == util::PromptButtons::RetryAbort ? util::PromptAnswer::Abort : util::PromptAnswer::Ok;
  };
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(online::DispatchURL("slow.php", m_client), "");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1400));
  EXPECT_EQ(m_terminations, 1);
}

TEST_F(StubServerTest, ARetriedLogLineCarriesTheSameRequestIdAndANewLineAnother) {
  m_loseFirstLogReply = true;
  m_client.SetTimeouts(500, 500);
  m_prompt.answer = [](const testsupport::ScriptedPrompt::Box&) { return util::PromptAnswer::Retry; };
  online::AddLog("12", "first line", "46", m_client);
  online::AddLog("12", "second line", "46", m_client);
  std::lock_guard lock(m_mutex);
  ASSERT_EQ(m_logTargets.size(), 3u);
  EXPECT_EQ(m_prompt.boxes.size(), 1u);
  const auto id = [](const std::string& target) {
    const std::size_t at = target.find("&request=");
    return at == std::string::npos ? std::string() : target.substr(at + 9);
  };
  EXPECT_EQ(m_logTargets[0], m_logTargets[1]);
  EXPECT_EQ(id(m_logTargets[0]).size(), 32u);
  EXPECT_EQ(id(m_logTargets[0]).find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_NE(id(m_logTargets[2]), id(m_logTargets[0]));
  EXPECT_EQ(id(m_logTargets[2]).size(), 32u);
}

TEST_F(StubServerTest, AZeroOrEmptyTransactionNumberEndsTheProgramAfterTheRemainingLines) {
  for (const std::string reply : {"<html><body>\n0\n</body></html>", "<html><body>\n\n</body></html>"}) {
    m_transactionReply = reply;
    m_prompt.boxes.clear();
    m_logs = 0;
    online::THttpClient client;
    client.SetServiceURL(m_client.ServiceURL());
    client.SetPrompt(&m_prompt);
    int terminations = 0;
    client.OnTerminateRequest = [&] { ++terminations; };
    const online::TransactionStart start = online::GetTransactionID(client);
    EXPECT_FALSE(start.valid);
    ASSERT_FALSE(m_prompt.boxes.empty());
    EXPECT_EQ(m_prompt.boxes[0].text, "Problem obtaining TransactionID. Application Terminating.");
    EXPECT_EQ(terminations, 1);
  }
}

TEST(BrowserTest, OpensTheAddressWithXdgOpenAndReportsAMissingOpener) {
  testsupport::TempDir dir;
  const auto script = dir / "xdg-open";
  testsupport::WriteFileBytes(script, "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"$(dirname \"$0\")/called\"\n");
  chmod(script.c_str(), 0755);
  const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  setenv("PATH", (dir.Path().string() + ":" + oldPath).c_str(), 1);
  EXPECT_TRUE(online::BrowseURL("http://127.0.0.1:8642/?a=1&b=two words"));
  for (int i = 0; i < 100 && !std::filesystem::exists(dir / "called"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "called"), "1|http://127.0.0.1:8642/?a=1&b=two words");
  setenv("PATH", dir.Path().c_str(), 1);
  std::filesystem::remove(script);
  EXPECT_FALSE(online::BrowseURL("http://127.0.0.1:8642/"));
  setenv("PATH", oldPath.c_str(), 1);
}

TEST(CookieFileTest, FindsCookiesTxtUnderTheDataFolder) {
  testsupport::TempDir dir;
  const auto profile = dir / "browser" / "profile";
  std::filesystem::create_directories(profile);
  testsupport::WriteFileBytes(profile / "cookies.txt",
                              ".trellmond.example\tTRUE\t/\tFALSE\t0\tREF\tnewsletter-2024\n"
                              ".trellmond.example\tTRUE\t/\tFALSE\t0\tREF\t\n");
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string oldValue = old != nullptr ? old : "";
  setenv("XDG_DATA_HOME", dir.Path().c_str(), 1);
  online::TMekCookie cookie;
  cookie.ReadCookie("trellmond");
  EXPECT_EQ(online::FirstNonEmptyValue(cookie, "REF"), "newsletter-2024");
  EXPECT_EQ(cookie.GetKeyValuePairs().size(), 2u);
  if (old != nullptr) {
    setenv("XDG_DATA_HOME", oldValue.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
}

}  // namespace
