// The real service process on 127.0.0.1 with a temporary database.

#include "tests/service/ServiceFixture.h"
#include "tests/service/TestDatabase.h"
#include "tests/support/Command.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

namespace {

using testsupport::kConsoleToken;
using testsupport::QueryRows;

class ServiceTest : public testsupport::ServiceFixture {};
// Behaviour of the front (parsing, pages) that does not depend on the store.
class ServiceFrontTest : public testsupport::ServiceFixture {};

TEST_P(ServiceTest, MalformedRequestsGetAnErrorStatusAndTheServiceKeepsServing) {
  struct Case {
    std::string target;
    int lowest;  // any status from here up to 499 is right
  };
  const std::vector<Case> cases = {
      {"/php/unknown.php?a=1", 404},
      {"/php/addlog.php?transaction=1&action=5", 400},              // no message
      {"/php/addlog.php?message=x&action=5", 400},                  // no transaction
      {"/php/addmachine.php?transaction=1&os=x", 400},              // most fields missing
      {"/php/updatetransaction.php?transaction=1&firstname=a", 400},
      {"/php/addlog.php?transaction=1&message=50%zz&action=5", 400}, // broken escapes
      {"/php/addlog.php?transaction=1&message=%&action=5", 400},
      {"/php/addlog.php?transaction=1&message=%4&action=5", 400},
      {"/php/getkey.php?searchKey=NOSUCHKEY", 404},
      {"/php/getkey.php?language=ENG", 400},
      {"/php/getfileinfo.php?method=getFileDetails&scantype=7", 400},
      {"/php/getfileinfo.php?method=nothing&scantype=1", 400},
      {"/php/addlog.php?transaction=1&action=5&message=" + std::string(1 << 20, 'x'), 400},  // 1 MiB
  };
  for (const Case& c : cases) {
    const auto res = Get(c.target);
    ASSERT_TRUE(res) << c.target.substr(0, 80);
    EXPECT_GE(res->status, c.lowest) << c.target.substr(0, 80);
    EXPECT_LT(res->status, 500) << c.target.substr(0, 80);
  }
  const auto alive = Get("/php/getkey.php?searchKey=VERSION&language=ENG");
  ASSERT_TRUE(alive);
  EXPECT_EQ(alive->status, 200);
  EXPECT_TRUE(QueryRows(Db(), "SELECT id FROM logs UNION ALL SELECT id FROM machines").empty());
}

TEST_P(ServiceTest, TransactionNumbersAreNeverEmptyZeroOrReusedAcrossRestarts) {
  std::mutex mutex;
  std::set<long long> seen;
  std::atomic<int> failures{0};
  auto take = [&](int count) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&] {
        for (int i = 0; i < count; ++i) {
          const auto res = Get("/php/addtransaction.php");
          if (!res || res->status != 200 || res->body.rfind("<html><body>\n", 0) != 0) {
            ++failures;
            continue;
          }
          const std::string number = res->body.substr(13, res->body.find('\n', 13) - 13);
          std::lock_guard lock(mutex);
          if (number.empty() || number == "0" || !seen.insert(std::stoll(number)).second) ++failures;
        }
      });
    }
    for (auto& t : threads) t.join();
  };
  take(25);
  const long long highestBefore = *seen.rbegin();
  // Deleting the newest rows must not bring their numbers back.
  m_service->Stop(SIGTERM);
  QueryRows(Db(), "DELETE FROM transactions WHERE id > 50");
  m_service->Start();
  take(5);
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(seen.size(), 120u);
  EXPECT_EQ(*seen.begin(), 1);
  EXPECT_GT(*std::next(seen.begin(), 100), highestBefore);
}

TEST_P(ServiceTest, EveryAnsweredLogLineSurvivesSigkill) {
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::vector<std::string> answered;
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&, t] {
      httplib::Client client("127.0.0.1", m_service->Port());
      client.set_url_encode(false);
      client.set_connection_timeout(1, 0);
      for (int i = 0; !stop; ++i) {
        const std::string message = "burst-" + std::to_string(t) + "-" + std::to_string(i);
        const auto res = client.Get(("/php/addlog.php?transaction=9&message=" + message + "&action=46").c_str());
        if (!res) break;  // the service is gone
        if (res->status == 200) {
          std::lock_guard lock(mutex);
          answered.push_back(message);
        }
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  m_service->Stop(SIGKILL);
  stop = true;
  for (auto& w : writers) w.join();
  ASSERT_GT(answered.size(), 20u);

  m_service->Start();  // recovers the WAL on open
  std::set<std::string> stored;
  for (const auto& row : QueryRows(Db(), "SELECT message FROM logs WHERE trans = '9'")) {
    stored.insert(row[0]);
  }
  for (const std::string& message : answered) EXPECT_TRUE(stored.count(message)) << message;
  EXPECT_TRUE(Get("/php/addlog.php?transaction=9&message=after&action=1"));
}

TEST_P(ServiceTest, ARepeatedRequestIdStoresNothingNewAndIsAnsweredOk) {
  struct Case {
    std::string table;
    std::string target;  // without a request id
  };
  const std::vector<Case> cases = {
      {"logs", "/php/addlog.php?transaction=7&message=retry%20me&action=46"},
      {"machines",
       "/php/addmachine.php?transaction=7&os=6.1&platform=WinNT&processor=6&cpu=2395%20MHz&"
       "keyboard=English&ram=512%20MB&freeram=256%20MB"},
      {"statistics",
       "/php/addstatistics.php?transaction=7&cardsize=%5B1%20GB%5D&foundsize=%5B2%20MB%5D&number=3&"
       "time=4&types=jpg:3&cancelled=0&scantype=F-Scan"},
      {"registrations", "/php/updatetransaction.php?transaction=7&firstname=A&lastname=B&email=a@b.c&news=1"},
  };
  for (const Case& c : cases) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      const auto res = Get(c.target + "&request=0123456789abcdef-" + c.table);
      ASSERT_TRUE(res) << c.table;
      EXPECT_EQ(res->status, 200) << c.table;
      EXPECT_EQ(res->body, "<html><body>\nOK\n</body></html>\n") << c.table;
    }
    ASSERT_TRUE(Get(c.target + "&request=another_id-" + c.table));
    // Without an id every request is a new row, as before ids existed.
    ASSERT_TRUE(Get(c.target));
    ASSERT_TRUE(Get(c.target));
    EXPECT_EQ(testsupport::CountRows(Db(), c.table + " WHERE trans = '7'"), 4u) << c.table;
  }

  // A retry racing its original (the reply was slow, not lost) still makes one row.
  std::atomic<int> answeredOk{0};
  std::vector<std::thread> racers;
  for (int t = 0; t < 8; ++t) {
    racers.emplace_back([&] {
      const auto res = Get("/php/addlog.php?transaction=8&message=raced&action=46&request=race-1");
      if (res && res->status == 200 && res->body.find("OK") != std::string::npos) ++answeredOk;
    });
  }
  for (auto& r : racers) r.join();
  EXPECT_EQ(answeredOk.load(), 8);
  EXPECT_EQ(testsupport::CountRows(Db(), "logs WHERE trans = '8'"), 1u);

  for (const std::string& bad : std::vector<std::string>{"a%20b", "x%00", std::string(65, 'a'), "%3Cscript%3E"}) {
    const auto res = Get("/php/addlog.php?transaction=8&message=bad&action=46&request=" + bad);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400) << bad;
  }
  EXPECT_EQ(testsupport::CountRows(Db(), "logs WHERE trans = '8'"), 1u);
}

TEST_P(ServiceTest, StoredValuesKeepEveryByteTheClientSent) {
  const auto res = Get("/php/addlog.php?transaction=6&message=a%00b%FF%C3%A9%0D%0A%09%2B+end&action=-99");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  const auto rows = QueryRows(Db(), "SELECT message, action FROM logs WHERE trans = '6'");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], std::string("a\0b\xFF\xC3\xA9\r\n\t++end", 14));
  EXPECT_EQ(rows[0][1], "-99");
}

TEST_P(ServiceFrontTest, CatalogueFilesAreServedLineByLineAndMissingOnesGiveAnEmptyList) {
  testsupport::WriteFileBytes(m_dir / "data" / "catalogue" / "details.txt", "jpg;FFD8FF;FFD9\r\nbmp;424D;\r\n");
  const auto details = Get("/php/getfileinfo.php?method=getFileDetails&scantype=1&version=1&language=ENG");
  ASSERT_TRUE(details);
  EXPECT_EQ(details->body, "<html><body>\njpg;FFD8FF;FFD9<BR />bmp;424D;<BR />\n</body></html>\n");
  const auto overview = Get("/php/getfileinfo.php?method=getFileOverview&version=1&language=ENG&scantype=2");
  ASSERT_TRUE(overview);
  EXPECT_EQ(overview->status, 200);
  EXPECT_EQ(overview->body, "<html><body>\n\n</body></html>\n");
}

TEST_P(ServiceFrontTest, SitePagesAreServed) {
  const auto news = Get("/newsENG.html");
  ASSERT_TRUE(news);
  EXPECT_EQ(news->body, "<p>news</p>");
  // The project's own pages, from the default data folder.
  testsupport::ServiceProcess real((m_dir / "real.sqlite").string());
  real.Start();
  httplib::Client client("127.0.0.1", real.Port());
  for (const char* page : {"/", "/help.html", "/support/", "/newsENG.html", "/TrellmondNewsSub.html"}) {
    const auto res = client.Get(page);
    ASSERT_TRUE(res) << page;
    EXPECT_EQ(res->status, 200) << page;
    EXPECT_NE(res->body.find("Trellmond"), std::string::npos) << page;
  }
  const auto outside = client.Get("/../CMakeLists.txt");
  ASSERT_TRUE(outside);
  EXPECT_GE(outside->status, 400);
}

TEST_P(ServiceTest, ConsoleNeedsItsTokenAndShowsStoredMarkupAsText) {
  ASSERT_TRUE(Get("/php/addtransaction.php"));
  ASSERT_TRUE(Get("/php/addlog.php?transaction=1&message=%3Cscript%3Ealert(1)%3C/script%3E&action=6"));
  ASSERT_TRUE(Get("/php/updatetransaction.php?transaction=1&firstname=%3Cb%3EAnn&lastname=O'Neil&"
                  "email=ann@example.com&news=1"));
  for (const std::string target : {"/console/", "/console/?token=wrong", "/console/transaction?t=1",
                                   "/console/transaction?t=1&token=s3cret-tokenX"}) {
    const auto res = Get(target);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 401) << target;
    EXPECT_EQ(res->body.find("script"), std::string::npos);
  }
  const auto list = Get(std::string("/console/?token=") + kConsoleToken);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->status, 200);
  EXPECT_NE(list->body.find("&lt;b&gt;Ann"), std::string::npos);
  EXPECT_NE(list->body.find("O&#39;Neil"), std::string::npos);
  EXPECT_EQ(list->body.find("<b>Ann"), std::string::npos);

  httplib::Client client("127.0.0.1", m_service->Port());
  const auto log = client.Get("/console/transaction?t=1", {{"Authorization", std::string("Bearer ") + kConsoleToken}});
  ASSERT_TRUE(log);
  EXPECT_EQ(log->status, 200);
  EXPECT_NE(log->body.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_EQ(log->body.find("<script>"), std::string::npos);
}

TEST_P(ServiceTest, ConsolePagesThroughALongLogInArrivalOrder) {
  for (int i = 0; i < 450; ++i) {
    ASSERT_TRUE(Get("/php/addlog.php?transaction=3&message=line-" + std::to_string(i) + "-end&action=46"));
  }
  const auto first = Get(std::string("/console/transaction?t=3&token=") + kConsoleToken);
  const auto last = Get(std::string("/console/transaction?t=3&page=2&token=") + kConsoleToken);
  ASSERT_TRUE(first && last);
  EXPECT_NE(first->body.find("Page 1 of 3 (450 rows)"), std::string::npos);
  EXPECT_LT(first->body.find("line-0-end"), first->body.find("line-199-end"));
  EXPECT_EQ(first->body.find("line-200-end"), std::string::npos);
  EXPECT_NE(first->body.find("page=1\">next"), std::string::npos);
  EXPECT_NE(last->body.find("line-449-end"), std::string::npos);
  EXPECT_EQ(last->body.find("line-399-end"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Stores, ServiceTest,
                         testing::Values(testsupport::kSqliteNormal, testsupport::kSqliteFull,
                                         testsupport::kPostgresNormal, testsupport::kPostgresFull),
                         testsupport::StoreCaseName);
INSTANTIATE_TEST_SUITE_P(Front, ServiceFrontTest, testing::Values(testsupport::kSqliteNormal),
                         testsupport::StoreCaseName);

TEST(ServiceProgramTest, HelpNamesTheDefaultPortAndBadOptionsFail) {
  const auto help = testsupport::RunCommand({testsupport::BuiltProgram("trellmond-service"), "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("8642"), std::string::npos);
  const auto bad = testsupport::RunCommand({testsupport::BuiltProgram("trellmond-service"), "--port", "x"});
  EXPECT_EQ(bad.exitCode, 2);
}

}  // namespace
