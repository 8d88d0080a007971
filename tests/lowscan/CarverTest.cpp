#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "lowscan/Carver.h"
#include "lowscan/MarkerData.h"
#include "lowscan/MarkerSearch.h"

namespace lowscan {
namespace {

struct Carved {
  FileNode node;
  int marker;
  bool atEnd;
};

struct CarveRun {
  std::vector<Carved> files;
  std::int64_t counter = 0;
  std::vector<std::string> logs;
};

// Feeds `data` to a carver in read steps of `step` bytes, as the scan does.
CarveRun Carve(const std::vector<std::string>& catalogue, const std::string& data, std::size_t step,
               TAlignment alignment = {}) {
  std::vector<std::string> selection;
  for (const auto& line : catalogue) selection.push_back(line.substr(0, line.find(';')) + ";0");
  CarveRun run;
  TMarkerPreparation prepared = PrepareMarkers(catalogue, selection, {});
  TCarverEvents events;
  events.FileClosed = [&](FileNode&& node, int marker, bool atEnd, bool, std::string_view) {
    run.files.push_back({std::move(node), marker, atEnd});
  };
  events.Log = [&](const std::string& m, const std::string&) { run.logs.push_back(m); };
  TCarver carver(prepared.Markers, prepared.Patterns, alignment, step, run.counter, events);
  for (std::size_t off = 0; off < data.size(); off += step) {
    const std::size_t n = std::min(step, data.size() - off);
    std::memcpy(carver.ChunkBuffer().data(), data.data() + off, n);
    carver.ProcessChunk(static_cast<std::int64_t>(off), n);
  }
  carver.Finish();
  return run;
}

std::string Filler(std::size_t n) { return std::string(n, 'x'); }

void Put(std::string& data, std::size_t at, const std::string& bytes) { data.replace(at, bytes.size(), bytes); }

TEST(Carver, FileEndsAtTheNextSplitPointAndTheLastOneAtTheDrivesEnd) {
  std::string data = Filler(8003);
  Put(data, 1000, "HDR1");
  Put(data, 5000, "HDR1");
  const auto run = Carve({"hd;0;48445231;;0;0;0;0"}, data, 4096);
  ASSERT_EQ(run.files.size(), 2u);
  EXPECT_EQ(run.files[0].node.Name, "file_1.hd");
  EXPECT_EQ(run.files[0].node.StartPos, 1000);
  EXPECT_EQ(run.files[0].node.EndPos, 5000);
  EXPECT_EQ(run.files[0].node.Size, 4000);
  EXPECT_FALSE(run.files[0].atEnd);
  // No "=" padding: the file open at the end runs to the drive's last byte.
  EXPECT_EQ(run.files[1].node.Name, "file_2.hd");
  EXPECT_EQ(run.files[1].node.StartPos, 5000);
  EXPECT_EQ(run.files[1].node.EndPos, 8003);
  EXPECT_EQ(run.files[1].node.Size, 3003);
  EXPECT_TRUE(run.files[1].atEnd);
}

TEST(Carver, HeaderInTheFirstBytesOfTheDriveIsFound) {
  std::string data = Filler(3000);
  Put(data, 0, "HDR1");
  Put(data, 4, "HDR1");  // inside the 5 bytes behind the accepted marker: not split again
  Put(data, 700, "HDR1");
  const auto run = Carve({"hd;0;48445231;;0;0;0;0"}, data, 4096);
  ASSERT_EQ(run.files.size(), 2u);
  EXPECT_EQ(run.files[0].node.StartPos, 0);
  EXPECT_EQ(run.files[0].node.EndPos, 700);
}

TEST(Carver, QuickScanFindsEveryAlignedOccurrenceNotOnlyTheFirst) {
  std::string data = Filler(4096);
  Put(data, 100, "HDR1");   // not a cluster start
  Put(data, 1024, "HDR1");
  Put(data, 2048, "HDR1");
  Put(data, 2560, "PAT1");  // pattern fails here
  Put(data, 3072, "PAT1ok");
  TAlignment quick{true, 0, 512};
  const auto run = Carve({"hd;0;48445231;;0;0;0;0", "pt;1;50415431;^PAT1ok;0;0;0;0"}, data, 4096, quick);
  ASSERT_EQ(run.files.size(), 3u);
  EXPECT_EQ(run.files[0].node.StartPos, 1024);
  EXPECT_EQ(run.files[1].node.StartPos, 2048);
  EXPECT_EQ(run.files[1].node.EndPos, 3072);
  EXPECT_EQ(run.files[2].node.Extension, "pt");
}

TEST(Carver, QuickScanWithoutADataSectorLinesClustersUpWithTheDrive) {
  std::string data = Filler(8192);
  Put(data, 2 * 1024 + 512, "HDR1");
  Put(data, 2 * 2048, "HDR1");
  TAlignment quick{true, -2 * 2048, 2048};
  const auto run = Carve({"hd;0;48445231;;0;0;0;0"}, data, 4096, quick);
  ASSERT_EQ(run.files.size(), 1u);
  EXPECT_EQ(run.files[0].node.StartPos, 4096);
}

TEST(Carver, MarkerAcrossTwoReadStepsIsFoundAtItsDriveOffset) {
  std::string data = Filler(10000);
  Put(data, 4094, "HDR1");
  Put(data, 8190, "HDR1");
  const auto run = Carve({"hd;0;48445231;;0;0;0;0"}, data, 4096);
  ASSERT_EQ(run.files.size(), 2u);
  EXPECT_EQ(run.files[0].node.StartPos, 4094);
  EXPECT_EQ(run.files[0].node.EndPos, 8190);
  EXPECT_EQ(run.files[0].node.Size, 8190 - 4094);
}

TEST(Carver, OnEqualPositionsTheEntryListedFirstWins) {
  std::string data = Filler(2000);
  Put(data, 500, "ABCD");
  auto run = Carve({"b;0;41424344;;0;0;0;0", "a;0;4142;;0;0;0;0"}, data, 4096);
  ASSERT_EQ(run.files.size(), 1u);
  EXPECT_EQ(run.files[0].node.Extension, "b");
  run = Carve({"a;0;4142;;0;0;0;0", "b;0;41424344;;0;0;0;0"}, data, 4096);
  ASSERT_EQ(run.files.size(), 1u);
  EXPECT_EQ(run.files[0].node.Extension, "a");
}

TEST(Carver, FooterOfAnotherTypeIsIgnoredAndOwnFooterEndsTheFile) {
  std::string data = Filler(3000);
  Put(data, 100, "H1");
  Put(data, 300, "F2");
  Put(data, 500, "F1");
  const auto run = Carve({"a;0;4831;;0;0;0;0", "b;0;4832;;0;0;0;0", "b;0;4632;;1;2;0;0", "a;0;4631;;1;2;0;0"},
                         data, 4096);
  ASSERT_EQ(run.files.size(), 1u);
  EXPECT_EQ(run.files[0].node.StartPos, 100);
  EXPECT_EQ(run.files[0].node.EndPos, 502);
  EXPECT_FALSE(run.files[0].atEnd);
}

TEST(Carver, FooterWhoseFileEndsInTheNextReadStepKeepsItsLastBytes) {
  for (const std::size_t footerAt : {4070u, 4080u, 4090u, 4094u, 4095u}) {
    std::string data = Filler(9000);
    Put(data, 100, "PK\x03\x04");
    Put(data, footerAt, std::string("PK\x05\x06", 4));
    // The next file starts right behind the end of central directory.
    Put(data, footerAt + 22, "PK\x03\x04");
    const auto run = Carve({"zp;0;504B0304;;0;0;2;0", "zp;0;504B0506;;1;22;2;0"}, data, 4096);
    ASSERT_EQ(run.files.size(), 2u) << footerAt;
    EXPECT_EQ(run.files[0].node.EndPos, static_cast<std::int64_t>(footerAt + 22)) << footerAt;
    EXPECT_EQ(run.files[1].node.StartPos, static_cast<std::int64_t>(footerAt + 22)) << footerAt;
  }
}

TEST(Carver, MaxSizeCutsTheFileAndAHeaderInThatStepStillOpensOne) {
  std::string data = Filler(12000);
  Put(data, 0, "HDR1");
  Put(data, 5000, "HDR1");  // in the second read step, after the first file passed its limit
  Put(data, 5300, "HDR1");  // same search text: the 300-byte file stays within the limit
  const auto run = Carve({"hd;0;48445231;;0;0;0;1000"}, data, 4096);
  ASSERT_EQ(run.files.size(), 3u);
  EXPECT_EQ(run.files[0].node.StartPos, 0);
  EXPECT_EQ(run.files[0].node.EndPos, 1000);
  EXPECT_EQ(run.files[0].node.Size, 1000);
  EXPECT_EQ(run.files[1].node.StartPos, 5000);
  EXPECT_EQ(run.files[1].node.EndPos, 5300);
  EXPECT_EQ(run.files[2].node.StartPos, 5300);
  EXPECT_EQ(run.files[2].node.EndPos, 6300);  // limited at the end of the drive too
}

TEST(Carver, KeptImageHoldsExactlyTheCarvedBytes) {
  std::string data;
  for (int i = 0; i < 10000; ++i) data += static_cast<char>('a' + i % 26);
  Put(data, 1234, "HDR1");
  Put(data, 7000, "HDR1");
  const auto run = Carve({"hd;0;48445231;;0;0;0;0;Y"}, data, 4096);
  ASSERT_EQ(run.files.size(), 2u);
  ASSERT_TRUE(run.files[0].node.Image);
  EXPECT_EQ(run.files[0].node.Image->View(), data.substr(1234, 7000 - 1234));
  EXPECT_EQ(run.files[1].node.Image->View(), data.substr(7000));
}

TEST(Carver, HeaderOffsetPutsTheStartBeforeTheMarker) {
  std::string data = Filler(3000);
  Put(data, 1004, "ftyp");
  Put(data, 2, "ftyp");  // would start before the drive: starts at its first byte
  const auto run = Carve({"mq;0;66747970;;0;4;1;0"}, data, 4096);
  ASSERT_EQ(run.files.size(), 2u);
  EXPECT_EQ(run.files[0].node.StartPos, 0);
  EXPECT_EQ(run.files[1].node.StartPos, 1000);
  EXPECT_EQ(run.files[1].node.EndPos, 3000);
}

// The multi-marker search must pick the same marker as testing every entry in turn.
TMarkerHit ReferenceNext(const std::vector<TMarkerData>& markers, const std::vector<TPattern>& patterns,
                         const std::string& text, std::int64_t textPos, std::size_t from, const std::string& ext,
                         const TAlignment& align) {
  TMarkerHit best;
  for (int i = 0; i < static_cast<int>(markers.size()); ++i) {
    const TMarkerData& m = markers[i];
    if (m.Marker.empty()) continue;
    for (std::size_t p = text.find(m.Marker, from); p != std::string::npos; p = text.find(m.Marker, p + 1)) {
      if (m.IsFooter && m.Extension != ext) break;
      if (!m.IsFooter && align.Quick) {
        const std::int64_t rel = textPos + static_cast<std::int64_t>(p) - m.Offset - align.ClusterBase;
        if (((rel % align.ClusterSize) + align.ClusterSize) % align.ClusterSize != 0) continue;
      }
      if (m.UsePattern) {
        std::string window = text.substr(p, 32);
        for (char& c : window) c = c == '\0' ? '\x11' : c;
        if (!patterns[i].Matches(window)) continue;
      }
      if (best.Index < 0 || p < best.Pos) best = {i, p};
      break;
    }
  }
  return best;
}

TEST(MarkerSearch, AgreesWithTestingEveryMarkerInTurn) {
  const std::vector<std::string> catalogue = {
      "a;0;4142;;0;0;0;0",      "b;1;41;^A[BC]\\x11;0;0;0;0", "c;0;434343;;0;0;0;0", "a;0;4241;;1;1;0;0",
      "c;1;4344;^CDA;1;0;0;0",  "d;0;00;;0;0;0;0",            "e;0;;;0;0;0;0",
      "d;0;4444;;0;3;0;0",      "b;0;4241;;0;-2;0;0"};
  std::vector<std::string> selection = {"a;0", "b;0", "c;0", "d;0", "e;0"};
  const TMarkerPreparation prepared = PrepareMarkers(catalogue, selection, {});
  std::mt19937 random(7);
  const char alphabet[] = {'A', 'B', 'C', 'D', '\0'};
  for (int round = 0; round < 300; ++round) {
    std::string text(200 + random() % 300, 'A');
    for (char& c : text) c = alphabet[random() % 5];
    const TAlignment align{round % 2 == 0, static_cast<std::int64_t>(random() % 7) - 3,
                           static_cast<std::int64_t>(1 + random() % 6)};
    const std::int64_t textPos = random() % 1000;
    TMarkerSearch search(prepared.Markers, prepared.Patterns);
    search.BeginText(text, textPos, align);
    std::size_t from = 0;
    while (from < text.size()) {
      const std::string ext = std::string(1, "abc "[random() % 4]);
      const std::string current = ext == " " ? std::string() : ext;
      const TMarkerHit got = search.Next(from, current);
      const TMarkerHit want =
          ReferenceNext(prepared.Markers, prepared.Patterns, text, textPos, from, current, align);
      ASSERT_EQ(got.Index, want.Index) << "round " << round << " from " << from;
      if (want.Index >= 0) {
        ASSERT_EQ(got.Pos, want.Pos) << "round " << round;
      }
      from += 1 + random() % 40;
    }
  }
}

// Zero-filled and other one-byte runs are passed over up to where a marker that
// begins with such a run could still start; the winners stay the same.
TEST(MarkerSearch, AgreesWithTestingEveryMarkerInTurnInsideLongRunsOfOneByte) {
  const std::vector<std::string> catalogue = {"m;0;000001BA;;0;0;0;0", "v;0;00000018;;0;0;0;0",
                                              "a;0;41414142;;0;0;0;0", "b;0;4142;;0;0;0;0",
                                              "z;0;0001;;0;0;0;0",     "q;0;4141;^AAA\x11;0;0;0;0"};
  const TMarkerPreparation prepared = PrepareMarkers(catalogue, {"m;0", "v;0", "a;0", "b;0", "z;0", "q;0"}, {});
  std::mt19937 random(11);
  const char sprinkle[] = {'A', 'B', '\0', '\x01', '\xBA', '\x18'};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    while (text.size() < 400) {
      text.append(random() % 80, random() % 2 ? '\0' : 'A');
      for (unsigned k = random() % 4; k > 0; --k) text += sprinkle[random() % 6];
    }
    const TAlignment align{false, 0, 0};
    TMarkerSearch search(prepared.Markers, prepared.Patterns);
    search.BeginText(text, 0, align);
    for (std::size_t from = 0; from < text.size(); from += 1 + random() % 30) {
      const TMarkerHit got = search.Next(from, "");
      const TMarkerHit want = ReferenceNext(prepared.Markers, prepared.Patterns, text, 0, from, "", align);
      ASSERT_EQ(got.Index, want.Index) << "round " << round << " from " << from;
      if (want.Index >= 0) {
        ASSERT_EQ(got.Pos, want.Pos) << "round " << round;
      }
    }
  }
}

}  // namespace
}  // namespace lowscan
