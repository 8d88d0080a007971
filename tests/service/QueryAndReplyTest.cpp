#include "service/QueryText.h"
#include "service/ReplyBody.h"
#include "service/ServiceOptions.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct DecodeCase {
  const char* text;
  std::optional<std::string> expected;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class PercentDecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(PercentDecodeTest, DecodesStrictly) { EXPECT_EQ(service::PercentDecode(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, PercentDecodeTest,
    testing::Values(DecodeCase{"plain", "plain"}, DecodeCase{"a%20b", "a b"}, DecodeCase{"%5c%5C", "\\\\"},
                    DecodeCase{"1+1", "1+1"},  // never form encoding: a plus stays a plus
                    DecodeCase{"%25%26%23%3D", "%&#="}, DecodeCase{"%C3%BC%00x", std::string("\xC3\xBC\0x", 4)},
                    DecodeCase{"%", std::nullopt}, DecodeCase{"%4", std::nullopt}, DecodeCase{"ab%zz", std::nullopt},
                    DecodeCase{"%g0", std::nullopt}, DecodeCase{"", ""}));

TEST(ParseQueryTest, SplitsBeforeDecodingAndKeepsTheFirstOfARepeatedKey) {
  const auto q = service::ParseQuery("/php/addlog.php?transaction=7&message=a%26b%3Dc&action=-30&action=1&flag");
  EXPECT_TRUE(q.error.empty());
  EXPECT_EQ(service::QueryValue(q, "message"), "a&b=c");
  EXPECT_EQ(service::QueryValue(q, "action"), "-30");
  EXPECT_EQ(service::QueryValue(q, "flag"), "");
  EXPECT_EQ(service::QueryValue(q, "missing"), std::nullopt);
  EXPECT_FALSE(service::ParseQuery("/php/x.php?a=%zz").error.empty());
  EXPECT_TRUE(service::ParseQuery("/php/addtransaction.php").values.empty());
}

TEST(ReplyBodyTest, ListLinesEndInBreaksWithNothingBetweenThem) {
  EXPECT_EQ(service::ReplyLines({"a;b", "c;d"}), "<html><body>\na;b<BR />c;d<BR />\n</body></html>\n");
  EXPECT_EQ(service::ReplyLines({}), "<html><body>\n\n</body></html>\n");
  EXPECT_EQ(service::ReplyValue("VERSION;1.0"), "<html><body>\nVERSION;1.0\n</body></html>\n");
}

TEST(ReplyBodyTest, CatalogueFileLinesAreServedAsTheyStandAndAMissingFileIsEmpty) {
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir / "details.txt", "jpg;0;FFD8FF\r\n\r\n  \npng; x ;89504E47\nlast");
  EXPECT_EQ(service::ReadCatalogueLines((dir / "details.txt").string()),
            (std::vector<std::string>{"jpg;0;FFD8FF", "png; x ;89504E47", "last"}));
  EXPECT_TRUE(service::ReadCatalogueLines((dir / "absent.txt").string()).empty());
}

TEST(ServiceOptionsTest, DefaultsAndErrors) {
  const auto defaults = service::ParseServiceOptions({});
  EXPECT_TRUE(defaults.error.empty());
  EXPECT_EQ(defaults.options.bindAddress, "127.0.0.1");
  EXPECT_EQ(defaults.options.port, 8642);
  EXPECT_EQ(defaults.options.version, service::DefaultVersionText());
  EXPECT_EQ(std::count(defaults.options.version.begin(), defaults.options.version.end(), '.'), 1);
  const auto set = service::ParseServiceOptions({"--port", "0", "--news", "0", "--version", "2.1"});
  EXPECT_TRUE(set.error.empty());
  EXPECT_EQ(set.options.port, 0);
  EXPECT_EQ(set.options.newsFlag, "0");
  EXPECT_EQ(set.options.version, "2.1");
  for (const auto& bad : std::vector<std::vector<std::string>>{
           {"--port", "70000"}, {"--port", "x"}, {"--news", "2"}, {"--sync", "off"}, {"--bogus", "1"}, {"--port"}}) {
    EXPECT_FALSE(service::ParseServiceOptions(bad).error.empty()) << bad[0];
  }
}

}  // namespace
