#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lowscan/MarkerData.h"

namespace lowscan {
namespace {

TEST(MarkerHex, DecodesPairsAndIgnoresATrailingDigit) {
  std::string bytes;
  ASSERT_TRUE(DecodeMarkerHex("FFd8fF", bytes));
  EXPECT_EQ(bytes, std::string("\xFF\xD8\xFF"));
  ASSERT_TRUE(DecodeMarkerHex("FFD8F", bytes));
  EXPECT_EQ(bytes, std::string("\xFF\xD8"));
  ASSERT_TRUE(DecodeMarkerHex("", bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(DecodeMarkerHex("FFZ8", bytes));
}

struct LineCase {
  const char* name;
  const char* line;
  bool usePattern;
  bool isFooter;
  int offset;
  util::TFileType type;
  std::int64_t maxSize;
  bool keepImage;
};

class MarkerLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(MarkerLine, FieldsAreReadAsTheCatalogueDefines) {
  const LineCase& c = GetParam();
  TMarkerData entry;
  ParseMarkerLine(c.line, entry);
  EXPECT_EQ(entry.UsePattern, c.usePattern);
  EXPECT_EQ(entry.IsFooter, c.isFooter);
  EXPECT_EQ(entry.Offset, c.offset);
  EXPECT_EQ(entry.FileType, c.type);
  EXPECT_EQ(entry.MaxSize, c.maxSize);
  EXPECT_EQ(entry.KeepImage, c.keepImage);
  EXPECT_EQ(entry.FoundPos, -1);
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, MarkerLine,
    ::testing::Values(
        LineCase{"Full", " jpg ;1;FFD8FF;^\\xFF;0;0;0;30000000;Y", true, false, 0, util::ftImage, 30000000, true},
        LineCase{"FooterNegative", "pdf;0;2525454F46;;1;-3;2;1000", false, true, -3, util::ftBusiness, 1000, false},
        LineCase{"LowerCaseYClears", "gif;0;474946;;0;0;0;0;y", false, false, 0, util::ftImage, 0, false},
        LineCase{"EmptyMaxSizeNoLimit", "mp3;0;494433;;0;0;1;", false, false, 0, util::ftMedia, 0, false},
        LineCase{"NotNumbersReadAsZero", "x;0;00;;0;abc;1;12x", false, false, 0, util::ftMedia, 0, false},
        LineCase{"FlagsOutOfRangeLeaveDefaults", "x;7;00;;2;0;9;0", false, false, 0, util::ftImage, 0, false},
        LineCase{"MissingFields", "x", false, false, 0, util::ftImage, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SelectCatalogue, KeepsCatalogueOrderAndAppendsTheSelectionCategory) {
  const std::vector<std::string> catalogue = {"png;0;89504E47;;0;0;0;0", "jpg;0;FFD8FF;;0;0;0;0",
                                              "JPG;0;FFD8FF;;0;0;0;0", "pdf;0;25504446;;0;0;2;0",
                                              "pdf;0;2525454F46;;1;5;2;0"};
  const std::vector<std::string> selection = {"pdf;2;k", "jpg;Y;k", "jpg;0;other"};
  const auto kept = SelectCatalogueLines(catalogue, selection);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(kept[0], "jpg;0;FFD8FF;;0;0;0;0;Y");  // the first selection line with that extension
  EXPECT_EQ(kept[1], "pdf;0;25504446;;0;0;2;0;2");
  EXPECT_EQ(kept[2], "pdf;0;2525454F46;;1;5;2;0;2");
}

TEST(PrepareMarkers, EightFieldLineTakesKeepImageFromTheSelection) {
  std::vector<std::string> logs;
  const auto log = [&](const std::string& m, const std::string&) { logs.push_back(m); };
  auto kept = PrepareMarkers({"jpg;0;FFD8FF;;0;0;0;100"}, {"jpg;0;x"}, log);
  ASSERT_EQ(kept.Markers.size(), 1u);
  EXPECT_FALSE(kept.Markers[0].KeepImage);
  EXPECT_EQ(kept.Markers[0].Marker, std::string("\xFF\xD8\xFF"));
  kept = PrepareMarkers({"jpg;0;FFD8FF;;0;0;0;100;Y"}, {"jpg;0;x"}, log);
  EXPECT_TRUE(kept.Markers[0].KeepImage);
  EXPECT_TRUE(logs.empty());
}

TEST(PrepareMarkers, RejectsLinesThatWouldSplitForeverAndBadPatternsButKeepsTheRest) {
  std::vector<std::pair<std::string, std::string>> logs;
  const auto log = [&](const std::string& m, const std::string& a) { logs.emplace_back(m, a); };
  const std::vector<std::string> catalogue = {
      "a;0;41;;0;5;0;0",     "a;0;42;;0;4;0;0",    "a;0;43;;1;-5;0;0",   "a;0;44;;1;-4;0;0",
      "a;1;45;([;0;0;0;0",   "a;1;46;^F\\x11;0;0;0;0", "a;0;47;;1;22;0;0"};
  const auto kept = PrepareMarkers(catalogue, {"a;0"}, log);
  ASSERT_EQ(kept.Markers.size(), 4u);
  EXPECT_EQ(kept.Markers[0].Marker, "B");
  EXPECT_EQ(kept.Markers[1].Marker, "D");
  EXPECT_EQ(kept.Markers[2].Marker, "F");
  EXPECT_EQ(kept.Markers[3].Marker, "G");
  ASSERT_EQ(kept.Patterns.size(), 4u);
  EXPECT_TRUE(kept.Patterns[2].IsValid());
  ASSERT_EQ(logs.size(), 3u);
  for (const auto& [message, action] : logs) EXPECT_EQ(action, "-25") << message;
}

TEST(PrepareMarkers, ANonHexMarkerStopsTheScanBeforeReading) {
  const auto kept = PrepareMarkers({"a;0;41;;0;0;0;0", "b;0;4G;;0;0;0;0"}, {"a;0", "b;0"}, {});
  EXPECT_TRUE(kept.HexError);
  EXPECT_TRUE(kept.Markers.empty());
  EXPECT_NE(kept.ErrorText.find("4G"), std::string::npos);
}

TEST(Pattern, RunsOnBytesWithDotMatchingEverything) {
  const TPattern pattern("^BM.{4}\\x11\\x11");
  ASSERT_TRUE(pattern.IsValid());
  EXPECT_TRUE(pattern.Matches(std::string("BM\n\r\xFF\x00\x11\x11", 8)));
  EXPECT_FALSE(pattern.Matches("BMxxxx\x11"));
  EXPECT_TRUE(TPattern("ab").Matches("xxab"));  // a match may start anywhere
  EXPECT_FALSE(TPattern("(").IsValid());
}

}  // namespace
}  // namespace lowscan
