// The client functions against the real service on 127.0.0.1.

#include "online/ActionCodes.h"
#include "online/Requests.h"
#include "online/StartupChecks.h"
#include "online/Transaction.h"
#include "tests/online/ScriptedPrompt.h"
#include "tests/service/ServiceProcess.h"
#include "tests/service/TestDatabase.h"
#include "tests/support/TempDir.h"
#include "util/Text.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

namespace {

class OnlineServiceTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(m_dir / "data" / "catalogue");
    std::filesystem::create_directories(m_dir / "data" / "site");
    testsupport::WriteFileBytes(m_dir / "data" / "site" / "newsENG.html", "<p>news</p>");
    testsupport::WriteFileBytes(m_dir / "data" / "catalogue" / "details.txt", "jpg;1;FFD8FF\nzip;2;504B0304\n");
    testsupport::WriteFileBytes(m_dir / "data" / "catalogue" / "overview-low.txt", "jpg;0;JPEG picture\n");
    m_service.Start();
    m_client.SetServiceURL(m_service.BaseURL() + "/php/");
    m_client.SetPrompt(&m_prompt);
    m_client.SetTimeouts(2000, 5000);
    m_client.OnTerminateRequest = [this] { ++m_terminations; };
  }

  std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    return testsupport::QueryRows((m_dir / "service.sqlite").string(), sql);
  }

  testsupport::TempDir m_dir;
  testsupport::ServiceProcess m_service{(m_dir / "service.sqlite").string(),
                                        {"--data", (m_dir / "data").string(), "--version", "2.1"}};
  testsupport::ScriptedPrompt m_prompt;
  online::THttpClient m_client;
  int m_terminations = 0;
};

TEST_F(OnlineServiceTest, EveryEndpointAnswersInTheShapeTheClientReads) {
  EXPECT_TRUE(online::CheckConnection(m_client, online::kLanguage));
  EXPECT_FALSE(online::CheckVersion(m_client, online::kLanguage, "2.1").updateRequired);
  const auto other = online::CheckVersion(m_client, online::kLanguage, "2.2");
  EXPECT_TRUE(other.updateRequired);
  EXPECT_EQ(other.serverVersion, "2.1");

  const auto addresses = online::MakeServiceAddresses(m_service.BaseURL() + "/");
  const auto news = online::ShowNews(m_client, addresses, "ENG");
  EXPECT_EQ(news.flag, "1");
  EXPECT_TRUE(news.visible);
  EXPECT_EQ(news.url, m_service.BaseURL() + "/newsENG.html");
  EXPECT_EQ(online::ShowNews(m_client, addresses, "FRA").flag, "0");  // no French page

  std::vector<std::string> list{"stale"};
  online::PopulateStringList(online::CatalogueRequest("1"), online::CatalogueSuffix("ENG"), list, m_client);
  EXPECT_EQ(list, (std::vector<std::string>{"jpg;1;FFD8FF", "zip;2;504B0304"}));
  online::PopulateStringList(online::FileOverviewRequest("1", "ENG", "1"), "", list, m_client);
  EXPECT_EQ(list, (std::vector<std::string>{"jpg;0;JPEG picture"}));
  EXPECT_EQ(util::GetField(list[0], 3, ';'), "JPEG picture");
  online::PopulateStringList(online::FileOverviewRequest("1", "ENG", "2"), "", list, m_client);
  EXPECT_TRUE(list.empty());  // the file is absent

  const online::TransactionStart start = online::GetTransactionID(m_client);
  ASSERT_TRUE(start.valid) << start.TransactionID;
  EXPECT_EQ(start.TransactionID.find_first_not_of("0123456789"), std::string::npos);
  const online::TransactionStart second = online::GetTransactionID(m_client);
  EXPECT_NE(second.TransactionID, start.TransactionID);

  const auto log = Rows("SELECT action, message FROM logs WHERE trans = '" + start.TransactionID + "' ORDER BY id");
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0][0], "1");
  EXPECT_EQ(log[1], (std::vector<std::string>{"5", "Initial / New Registration. Trans: " + start.TransactionID}));
  EXPECT_EQ(log[2][1], "Maximum number of Image Hints to be stored is: " + std::to_string(start.MaxImageHints));
  const auto machine = Rows("SELECT platform, cpu, ram FROM machines WHERE trans = '" + start.TransactionID + "'");
  ASSERT_EQ(machine.size(), 1u);
  EXPECT_EQ(machine[0][0], "Linux");
  EXPECT_NE(machine[0][1].find(" MHz"), std::string::npos);
  EXPECT_NE(machine[0][2].find(" MB"), std::string::npos);

  online::SendStatistics(m_client, start.TransactionID,
                         {"[2 GB]", "[15 MB]", "12", "61", "jpg:10;png:2", "0", "L-Scan"});
  EXPECT_EQ(Rows("SELECT cardsize, foundsize, number, time, types, cancelled, scantype FROM statistics"),
            (std::vector<std::vector<std::string>>{{"[2 GB]", "[15 MB]", "12", "61", "jpg:10;png:2", "0", "L-Scan"}}));
  online::SubmitRegistration(m_client, start.TransactionID, {"", "", ""}, false);
  EXPECT_EQ(Rows("SELECT firstname, lastname, email, news FROM registrations"),
            (std::vector<std::vector<std::string>>{{"", "", "", "0"}}));
  EXPECT_TRUE(m_prompt.boxes.empty());
}

TEST_F(OnlineServiceTest, LogLinesAreStoredExactlyAsSent) {
  const std::vector<std::string> messages = {
      "Drive C:\\ ok",
      "a&b=c&action=999",
      "before#after",
      "100% done + more",
      "Drives Available: <br>C:    [2 GB]    FAT32<BR>E:",
      "say \"hello\" and 'bye'",
      "Gr\xC3\xBC\xC3\x9F""e aus K\xC3\xB6ln",
      "latin-1 \xE9t\xE9 \xFF",
      "'); DROP TABLE logs; --",
      "tab\there\r\nline two\x01",
      "  leading and trailing  ",
      "%41%zz%",
      "",
  };
  for (const std::string& m : messages) online::AddLog("77", m, online::action::kError, m_client);
  const auto rows = Rows("SELECT message, action FROM logs WHERE trans = '77' ORDER BY id");
  ASSERT_EQ(rows.size(), messages.size());
  for (std::size_t i = 0; i < messages.size(); ++i) {
    EXPECT_EQ(rows[i][0], messages[i]) << i;
    EXPECT_EQ(rows[i][1], "-30");
  }
  EXPECT_TRUE(m_prompt.boxes.empty());
}

TEST_F(OnlineServiceTest, RetryAfterTheServiceIsBackSendsTheLineOnce) {
  const int port = m_service.Port();
  m_service.Stop(SIGTERM);
  EXPECT_FALSE(online::CheckConnection(m_client, "ENG"));  // silent
  EXPECT_TRUE(m_prompt.boxes.empty());
  m_prompt.answer = [&](const testsupport::ScriptedPrompt::Box& box) {
    if (m_prompt.boxes.size() == 1) return util::PromptAnswer::Retry;  // still down: retry fails again
    if (box.buttons == util::PromptButtons::RetryAbort && !m_service.Running()) m_service.Start(port);
    return util::PromptAnswer::Retry;
  };
  online::AddLog("8", "sent while down & #1", "46", m_client);
  ASSERT_EQ(m_prompt.boxes.size(), 2u);
  EXPECT_EQ(m_prompt.boxes[0].text, online::ConnectionProblemText());
  EXPECT_EQ(m_prompt.boxes[0].buttons, util::PromptButtons::RetryAbort);
  EXPECT_EQ(Rows("SELECT message FROM logs WHERE trans = '8'"),
            (std::vector<std::vector<std::string>>{{"sent while down & #1"}}));
  EXPECT_EQ(m_terminations, 0);
}

TEST_F(OnlineServiceTest, AbortShowsTheClosingMessageAndRequestsTermination) {
  m_service.Stop(SIGKILL);
  m_prompt.answer = [](const testsupport::ScriptedPrompt::Box& box) {
    return box.buttons == util::PromptButtons::RetryAbort ? util::PromptAnswer::Abort : util::PromptAnswer::Ok;
  };
  EXPECT_EQ(online::DispatchURL("addtransaction.php", m_client), "");
  ASSERT_EQ(m_prompt.boxes.size(), 2u);
  EXPECT_EQ(m_prompt.boxes[1].text,
            "Connection aborted. The application will now close.\r\n\r\nIf this problem persists, please email: "
            "support@trellmond.example.");
  EXPECT_EQ(m_prompt.boxes[1].buttons, util::PromptButtons::Ok);
  EXPECT_EQ(m_terminations, 1);
  EXPECT_TRUE(m_client.TerminationRequested());
  // While the program closes, further requests return empty without more boxes.
  EXPECT_EQ(online::GetData(online::DispatchURL("getkey.php?searchKey=VERSION", m_client)), "");
  EXPECT_EQ(m_prompt.boxes.size(), 2u);
}

TEST_F(OnlineServiceTest, TheProxyIsUsedWhenSetAndDroppedWhenCleared) {
  m_client.SetProxy("127.0.0.1", 9);  // nothing listens on the discard port
  EXPECT_FALSE(online::CheckConnection(m_client, "ENG"));
  m_client.SetProxy("", 0);
  EXPECT_TRUE(online::CheckConnection(m_client, "ENG"));
}

TEST_F(OnlineServiceTest, AnOverLongLineIsStoredCutInsteadOfFailingForever) {
  const std::string message = "Exception<BR>" + std::string(30000, 'S');
  online::AddLog("9", message, online::action::kUnexpected, m_client);
  EXPECT_TRUE(m_prompt.boxes.empty());
  const auto rows = Rows("SELECT message FROM logs WHERE trans = '9'");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].rfind("Exception<BR>SSS", 0), 0u);
  EXPECT_NE(rows[0][0].find(" [cut: 30013 bytes]"), std::string::npos);
}

}  // namespace
