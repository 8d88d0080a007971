#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "CatalogueSupport.h"
#include "lowscan/Carver.h"
#include "lowscan/MarkerData.h"
#include "lowscan/ScanPasses.h"
#include "util/Text.h"

namespace lowscan {
namespace {

using testing::CatalogueDetails;
using testing::CatalogueOverview;
using testing::Samples;

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

std::map<std::string, std::string> KeysByExtension() {
  std::map<std::string, std::string> keys;
  for (const auto& line : CatalogueOverview()) keys[util::GetField(line, 1, ';')] = util::GetField(line, 5, ';');
  return keys;
}

TEST(Catalogue, DetailsAndOverviewDescribeTheSameTypes) {
  const auto details = CatalogueDetails();
  const auto overview = CatalogueOverview();
  std::map<std::string, std::string> categories;
  for (const auto& line : overview) {
    ASSERT_EQ(util::GetField(line, 6, ';'), "") << line;
    ASSERT_NE(util::GetField(line, 5, ';'), "") << line;
    const std::string tick = util::GetField(line, 3, ';');
    EXPECT_TRUE(tick == "0" || tick == "1") << line;
    EXPECT_TRUE(categories.emplace(util::GetField(line, 1, ';'), util::GetField(line, 4, ';')).second) << line;
  }
  EXPECT_GE(categories.size(), 40u);
  std::set<std::string> seen, perCategory;
  for (const auto& line : details) {
    const std::string ext = util::GetField(line, 1, ';');
    ASSERT_TRUE(categories.count(ext)) << line;
    EXPECT_EQ(util::GetField(line, 7, ';'), categories[ext]) << line;
    EXPECT_NE(util::GetField(line, 9, ';'), "") << line;
    EXPECT_EQ(util::GetField(line, 10, ';'), "") << line;
    seen.insert(ext);
    perCategory.insert(categories[ext]);
  }
  EXPECT_EQ(seen.size(), categories.size());
  EXPECT_EQ(perCategory, (std::set<std::string>{"0", "1", "2"}));
}

TEST(Catalogue, EveryLineIsPreparedWithoutRejection) {
  std::vector<std::string> selection;
  for (const auto& line : CatalogueOverview()) selection.push_back(util::GetField(line, 1, ';') + ";0");
  std::vector<std::string> logs;
  const auto prepared =
      PrepareMarkers(CatalogueDetails(), selection, [&](const std::string& m, const std::string&) { logs.push_back(m); });
  EXPECT_FALSE(prepared.HexError) << prepared.ErrorText;
  EXPECT_TRUE(logs.empty()) << logs.front();
  EXPECT_EQ(prepared.Markers.size(), CatalogueDetails().size());
  for (const auto& m : prepared.Markers) {
    EXPECT_FALSE(m.Marker.empty()) << m.Extension;
    EXPECT_GT(m.MaxSize, 0) << m.Extension;
  }
}

// Where one type's header would be accepted inside another type's file (the same
// marker, or a file embedded in it), a thorough scan must search them in
// different passes: their conflict keys have to contain one another.
TEST(Catalogue, TypesThatWouldCutEachOthersFilesConflict) {
  const auto keys = KeysByExtension();
  for (const auto& sample : Samples()) {
    for (const auto& [ext, key] : keys) {
      if (ext == sample.extension) continue;
      const TMarkerPreparation one = PrepareMarkers(CatalogueDetails(), {ext + ";0"}, {});
      TMarkerSearch search(one.Markers, one.Patterns);
      search.BeginText(sample.bytes, 0, TAlignment{});
      const TMarkerHit hit = search.Next(0, "");
      if (hit.Index < 0) continue;
      EXPECT_TRUE(ConflictExists({"x;0;" + keys.at(sample.extension)}, key))
          << ext << " header found at " << hit.Pos << " in " << sample.path.filename();
    }
  }
}

struct Placement {
  const char* name;
  bool quick;
  std::int64_t offset;  // of the sample in the image
};

class CatalogueSample : public ::testing::TestWithParam<Placement> {};

TEST_P(CatalogueSample, EverySampleIsCarvedWholeByItsOwnLines) {
  const Placement& place = GetParam();
  const auto details = CatalogueDetails();
  std::set<int> headerLinesUsed;
  int index = 0;
  for (const auto& sample : Samples()) {
    SCOPED_TRACE(sample.path.filename().string());
    const TMarkerPreparation prepared = PrepareMarkers(details, {sample.extension + ";0"}, {});
    ASSERT_FALSE(prepared.Markers.empty());
    bool hasFooter = false;
    for (const auto& m : prepared.Markers) hasFooter = hasFooter || m.IsFooter;
    // Random bytes around the sample, then a second copy after a 2 KiB gap.
    std::string image = RandomBytes(200000, 11 + index++);
    image.replace(static_cast<std::size_t>(place.offset), sample.bytes.size(), sample.bytes);
    std::vector<std::pair<FileNode, int>> files;
    std::int64_t counter = 0;
    TCarverEvents events;
    events.FileClosed = [&](FileNode&& node, int marker, bool, bool, std::string_view) {
      files.emplace_back(std::move(node), marker);
    };
    TCarver carver(prepared.Markers, prepared.Patterns, TAlignment{place.quick, -2 * 4096, 4096}, 65536, counter,
                   events);
    for (std::size_t off = 0; off < image.size(); off += 65536) {
      const std::size_t n = std::min<std::size_t>(65536, image.size() - off);
      std::memcpy(carver.ChunkBuffer().data(), image.data() + off, n);
      carver.ProcessChunk(static_cast<std::int64_t>(off), n);
    }
    carver.Finish();
    const FileNode* found = nullptr;
    for (const auto& [node, marker] : files) {
      if (node.StartPos == place.offset) {
        found = &node;
        std::string line;
        for (std::size_t i = 0, seen = 0; i < details.size(); ++i) {
          if (util::GetField(details[i], 1, ';') != sample.extension) continue;
          if (static_cast<int>(seen++) == marker) headerLinesUsed.insert(static_cast<int>(i));
        }
      }
    }
    ASSERT_NE(found, nullptr) << "not found at " << place.offset;
    const std::string carved = image.substr(static_cast<std::size_t>(found->StartPos),
                                            static_cast<std::size_t>(found->EndPos - found->StartPos));
    if (hasFooter) {
      EXPECT_EQ(carved.size(), sample.bytes.size());
      EXPECT_TRUE(carved == sample.bytes) << "carved bytes differ";
    } else {
      ASSERT_GE(carved.size(), sample.bytes.size());
      EXPECT_TRUE(carved.compare(0, sample.bytes.size(), sample.bytes) == 0) << "sample is not a prefix";
    }
  }
  // Every header line of the catalogue opened one of the samples.
  for (std::size_t i = 0; i < details.size(); ++i) {
    if (util::GetField(details[i], 5, ';') == "0") {
      EXPECT_TRUE(headerLinesUsed.count(static_cast<int>(i))) << details[i];
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Placements, CatalogueSample,
                         ::testing::Values(Placement{"QuickAligned", true, 3 * 4096},
                                           Placement{"ThoroughUnaligned", false, 65536 - 700},
                                           Placement{"ThoroughAtImageStart", false, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lowscan
