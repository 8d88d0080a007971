// Request texts, reply bodies and the pure parts of the online functions.

#include "online/MekCookie.h"
#include "online/Requests.h"
#include "online/StartupChecks.h"
#include "online/SysInfo.h"
#include "online/Transaction.h"
#include "platform/SystemInfo.h"

#include <gtest/gtest.h>

namespace {

TEST(RequestTextTest, SpacesAndBackslashesComeOutAsBefore) {
  const std::string expected = "addlog.php?transaction=12&message=Drive%20C:%5C%20ok&action=20";
  EXPECT_EQ(online::PrepareRequestText("addlog.php?transaction=12&message=Drive C:\\ ok&action=20"), expected);
  EXPECT_EQ(online::BuildLogRequest("12", "Drive C:\\ ok", "20"), expected);
}

TEST(RequestTextTest, ValuesCannotEndOrSplitTheAddress) {
  struct Case {
    std::string value;
    std::string encoded;
  };
  const Case cases[] = {
      {"a&b", "a%26b"},
      {"#1", "%231"},
      {"100%", "100%25"},
      {"1+1=2", "1%2B1%3D2"},
      {"x<br>y", "x%3Cbr%3Ey"},
      {"tab\tnl\n", "tab%09nl%0A"},
      {"\xC3\xBC\xE9", "%C3%BC%E9"},
      {"say \"hi\"", "say%20%22hi%22"},
      {"E:\\DCIM\\100", "E:%5CDCIM%5C100"},
      {"-._~!$'()*,;:@/?", "-._~!$'()*,;:@/?"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(online::EncodeValue(c.value), c.encoded) << c.value;
  // A hand-built request keeps its structure but loses the bytes no address may hold.
  EXPECT_EQ(online::PrepareRequestText("x.php?m=#1 \x01\xFF"), "x.php?m=%231%20%01%FF");
}

TEST(RequestTextTest, OverLongMessagesAreCutAndMarkedWithoutSplittingAnEscape) {
  const std::string message(20000, '%');
  const std::string request = online::BuildLogRequest("1", message, "-99");
  const std::size_t start = request.find("&message=") + 9;
  const std::string encoded = request.substr(start, request.find("&action=") - start);
  EXPECT_LE(encoded.size(), online::kMaxEncodedMessage);
  const std::string mark = "%20%5Bcut:%2020000%20bytes%5D";
  ASSERT_GT(encoded.size(), mark.size());
  EXPECT_EQ(encoded.substr(encoded.size() - mark.size()), mark);
  EXPECT_EQ((encoded.size() - mark.size()) % 3, 0u);  // only whole "%25" escapes before the mark
  EXPECT_EQ(encoded.substr(0, 6), "%25%25");
}

TEST(ReplyBodyTest, GetDataFollowsTheBodyRules) {
  struct Case {
    const char* reply;
    const char* body;
  };
  const Case cases[] = {
      {"<html><body>\nVERSION;2.1\n</body></html>", "VERSION;2.1"},
      {"  no tags at all \r\n", "no tags at all"},
      {"<html><body>\nopen but never closed", ""},
      {"<html><body>X1234</body>", "1234"},  // one character after the tag is passed over
      {"<body></body>", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(online::GetData(c.reply), c.body) << c.reply;
  EXPECT_EQ(online::SplitBodyLines("a;b<BR />c;d<BR />tail"), (std::vector<std::string>{"a;b", "c;d"}));
  EXPECT_EQ(online::SplitBodyLines(" x <BR /><BR />"), (std::vector<std::string>{" x ", ""}));
}

TEST(SysInfoTest, RecordTexts) {
  EXPECT_EQ(online::CpuSpeedText(2394.6), "2395 MHz");
  EXPECT_EQ(online::CpuSpeedText(2394.5), "2395 MHz");
  EXPECT_EQ(online::CpuSpeedText(0), "0 MHz");
  EXPECT_EQ(online::MaxImageHintsFor(1'600'000'000), 28'800);
  EXPECT_EQ(online::MaxImageHintsFor(0), 0);
  EXPECT_EQ(online::MaxImageHintsFor(8'000'000'000ULL), 144'000);  // beyond 32 bits
  const std::pair<int, const char*> levels[] = {{3, "80386"}, {4, "80486"}, {5, "Pentium"},
                                                {6, "Pentium Pro"}, {15, "15"}, {25, "25"}};
  for (const auto& [level, text] : levels) EXPECT_EQ(online::ProcessorLevelText(level), text);
  EXPECT_EQ(online::FormatOsVersion(6, 1, 0x10005, "Debian GNU/Linux 12 (bookworm)"),
            "6.1 (5.Debian GNU/Linux 12 (bookworm))");
  EXPECT_TRUE(online::ValidTransactionID("17"));
  for (const char* bad : {"", "0", " \r\n", " 0 "}) EXPECT_FALSE(online::ValidTransactionID(bad)) << bad;
}

TEST(SystemInfoTest, ParsesTheProcFiles) {
  const auto memory = platform::ParseMemInfo("MemTotal:       16314040 kB\nMemFree: 1 kB\nMemAvailable:    9718256 kB\n");
  EXPECT_TRUE(memory.ok);
  EXPECT_EQ(memory.totalBytes, 16314040ULL * 1024);
  EXPECT_EQ(memory.availableBytes, 9718256ULL * 1024);
  EXPECT_FALSE(platform::ParseMemInfo("MemTotal: 5 kB\n").ok);
  EXPECT_EQ(platform::ParseCpuFamily("processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t: 85\n"), 6);
  EXPECT_EQ(platform::ParseCpuFamily("processor : 0\nmodel name : ARMv8\n"), 0);
  int major = 0, minor = 0, build = 0;
  EXPECT_TRUE(platform::ParseKernelRelease("6.1.0-18-amd64", major, minor, build));
  EXPECT_EQ(std::tie(major, minor, build), std::make_tuple(6, 1, 0));
  EXPECT_TRUE(platform::ParseKernelRelease("5.15.153.1-microsoft", major, minor, build));
  EXPECT_EQ(std::tie(major, minor, build), std::make_tuple(5, 15, 153));
  EXPECT_FALSE(platform::ParseKernelRelease("unknown", major, minor, build));
  EXPECT_EQ(platform::ParseOsReleaseName("NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12\"\n"), "Debian GNU/Linux 12");
  EXPECT_EQ(platform::ParseOsReleaseName("NAME=x\n"), "");
}

TEST(SysInfoTest, ThisMachineGivesPlausibleValues) {
  EXPECT_GT(online::GetRAM(), 0u);
  EXPECT_LE(online::GetFreeRAM(), online::GetRAM());
  EXPECT_EQ(online::GetPlatform(), "Linux");
  EXPECT_FALSE(online::GetOS_2().empty());
  EXPECT_LE(online::GetKeyBoardLanguage().size(), 100u);
}

TEST(NewsletterTest, ChecksFollowTheRegistrationRules) {
  struct Case {
    online::RegistrationDetails details;
    bool newsletter;
    online::NewsletterCheck expected;
  };
  using online::NewsletterCheck;
  const Case cases[] = {
      {{"", "Smith", "ann@example.com"}, true, NewsletterCheck::MissingDetails},
      {{"Ann", "Smith", "  "}, true, NewsletterCheck::MissingDetails},
      {{"", "", ""}, false, NewsletterCheck::Ok},
      {{"Ann", "Smith", " ann@example.com"}, true, NewsletterCheck::InvalidEmail},
      {{"", "", "ann@example"}, false, NewsletterCheck::InvalidEmail},
      {{"Ann", "Smith", "ann@example.com"}, true, NewsletterCheck::Ok},
  };
  for (const Case& c : cases) EXPECT_EQ(online::CheckNewsletter(c.details, c.newsletter), c.expected) << c.details.Email;
  EXPECT_EQ(online::BuildRegistrationRequest("4", {"A&B", "O'Neil", "x+y@example.com"}, false),
            "updatetransaction.php?transaction=4&firstname=A%26B&lastname=O'Neil&email=x%2By@example.com&news=0");
}

TEST(CookieTest, NetscapeLinesAreReadLastFirstAndTheFirstNonEmptyReferrerWins) {
  online::TMekCookie cookie;
  cookie.AddNetscapeLines(
      "# Netscape HTTP Cookie File\n"
      ".trellmond.example\tTRUE\t/\tFALSE\t0\tREF\tfrom-banner\n"
      ".other.example\tTRUE\t/\tFALSE\t0\tREF\tnot-ours\n"
      ".trellmond.example\tTRUE\t/\tFALSE\t0\tREF\t\r\n"
      ".trellmond.example\tTRUE\t/\tFALSE\t0\tSESSION\t42\n",
      "trellmond");
  EXPECT_EQ(cookie.GetKeyValuePairs(),
            (std::vector<std::string>{"SESSION\t42", "REF\t", "REF\tfrom-banner"}));
  int position = 0;
  std::string value;
  cookie.GetKeyValue("REF", position, value);
  EXPECT_EQ(position, 2);
  EXPECT_EQ(value, "");
  cookie.GetKeyValue("REF", position, value);
  EXPECT_EQ(position, 3);
  EXPECT_EQ(value, "from-banner");
  cookie.GetKeyValue("REF", position, value);
  EXPECT_EQ(position, -1);
  EXPECT_EQ(online::FirstNonEmptyValue(cookie, "REF"), "from-banner");
  EXPECT_EQ(online::FirstNonEmptyValue(cookie, "ref"), "");  // names are case-sensitive

  online::TMekCookie records;
  records.AddRecordLines("REF\nstore-value\nhost/\n1\n2\n3\n4\n5\n*\nCUT\n");
  EXPECT_EQ(records.GetKeyValuePairs(), (std::vector<std::string>{"REF\tstore-value"}));
}

}  // namespace
