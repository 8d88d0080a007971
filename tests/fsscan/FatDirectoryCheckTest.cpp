// Telling a directory cluster from file data, as a deleted directory's clusters are read.

#include <gtest/gtest.h>

#include "fsscan/FatDirectoryCheck.h"
#include "tests/fsscan/ScanFixture.h"

namespace {

using fsscan::DirectoryCluster;

constexpr std::int64_t kLastCluster = 5000;

std::string Entry(const std::string& name11, std::uint8_t attr, std::uint32_t cluster, std::uint32_t size,
                  std::uint8_t first = 0) {
  std::string e(32, '\0');
  e.replace(0, 11, name11);
  if (first != 0) e[0] = static_cast<char>(first);
  e[11] = static_cast<char>(attr);
  e[20] = static_cast<char>((cluster >> 16) & 0xFF);
  e[21] = static_cast<char>(cluster >> 24);
  e[26] = static_cast<char>(cluster & 0xFF);
  e[27] = static_cast<char>((cluster >> 8) & 0xFF);
  for (int i = 0; i < 4; ++i) e[28 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
  return e;
}

// A long-name entry with the given sequence byte; the name's characters do not matter here.
std::string LongEntry(std::uint8_t sequence, std::uint16_t clusterField = 0) {
  std::string e(32, 'a');
  e[0] = static_cast<char>(sequence);
  e[11] = 0x0F;
  e[12] = 0;
  e[26] = static_cast<char>(clusterField & 0xFF);
  e[27] = static_cast<char>(clusterField >> 8);
  return e;
}

std::string Dots(std::uint32_t self) { return Entry(".          ", 0x10, self, 0) + Entry("..         ", 0x10, 0, 0); }

// 512 bytes: the entries, then `tail` up to the end.
std::string Cluster(const std::string& entries, char tail = '\0') {
  std::string out = entries;
  out.resize(512, tail);
  return out;
}

std::string Repeated(const std::string& entry) {
  std::string out;
  while (out.size() < 512) out += entry;
  return out;
}

struct ClusterCase {
  const char* name;
  std::string bytes;
  DirectoryCluster expected;
};

class DirectoryClusterTest : public testing::TestWithParam<ClusterCase> {};

TEST_P(DirectoryClusterTest, Classifies) {
  const std::string& bytes = GetParam().bytes;
  EXPECT_EQ(fsscan::ClassifyDirectoryCluster(util::ByteReader(bytes.data(), bytes.size()), kLastCluster),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Clusters, DirectoryClusterTest,
    testing::Values(
        ClusterCase{"FirstClusterThenEnd",
                    Cluster(Dots(7) + LongEntry(0xE5) + Entry("xEPORT  DOC", 0x20, 9, 100, 0xE5)),
                    DirectoryCluster::kEnds},
        ClusterCase{"FullOfEntries", Repeated(LongEntry(0x41) + Entry("PHOTO~1 JPG", 0x20, 12, 5000)),
                    DirectoryCluster::kContinues},
        ClusterCase{"HiddenReadOnlyAndLabels",
                    Repeated(Entry("SECRET  TXT", 0x23, 30, 10) + Entry("CARD       ", 0x08, 0, 0)),
                    DirectoryCluster::kContinues},
        ClusterCase{"StoredE5Byte", Cluster(Entry("\x05" "BC     TXT", 0x20, 9, 1)), DirectoryCluster::kEnds},
        ClusterCase{"Zeros", Cluster(""), DirectoryCluster::kEnds},
        ClusterCase{"Text", Repeated("The quick brown fox jumps over the lazy dog. "), DirectoryCluster::kNotDirectory},
        ClusterCase{"RandomBytes", fsscantest::Payload(512, 5), DirectoryCluster::kNotDirectory},
        ClusterCase{"UnknownAttributeBits", Cluster(Entry("A       TXT", 0x60, 9, 1)), DirectoryCluster::kNotDirectory},
        ClusterCase{"ControlCharacterInName", Cluster(Entry("A\x01      TXT", 0x20, 9, 1)),
                    DirectoryCluster::kNotDirectory},
        ClusterCase{"CharacterNeverInShortNames", Cluster(Entry("A*B     TXT", 0x20, 9, 1)),
                    DirectoryCluster::kNotDirectory},
        ClusterCase{"DotInAFileName", Cluster(Entry("A.B     TXT", 0x20, 9, 1)), DirectoryCluster::kNotDirectory},
        ClusterCase{"ClusterBeyondTheVolume", Cluster(Entry("A       TXT", 0x20, kLastCluster + 1, 1)),
                    DirectoryCluster::kNotDirectory},
        // Windows leaves a size in a deleted directory's entry; entering it is guarded by its dot entries.
        ClusterCase{"DirectoryWithASizeAsWindowsLeavesIt", Cluster(Entry("SUB        ", 0x10, 9, 512)),
                    DirectoryCluster::kEnds},
        ClusterCase{"LongNameWithACluster", Cluster(LongEntry(0x41, 7)), DirectoryCluster::kNotDirectory},
        ClusterCase{"LongNameSequenceTooHigh", Cluster(LongEntry(0x55)), DirectoryCluster::kNotDirectory},
        ClusterCase{"EntriesThenGarbage", Cluster(Entry("A       TXT", 0x20, 9, 1), '\x7F'),
                    DirectoryCluster::kNotDirectory}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DotEntriesTest, OnlyAClusterThatNamesItselfStartsADirectory) {
  const auto check = [](const std::string& bytes, std::int64_t self) {
    return fsscan::StartsWithDotEntries(util::ByteReader(bytes.data(), bytes.size()), self);
  };
  EXPECT_TRUE(check(Cluster(Dots(7)), 7));
  EXPECT_FALSE(check(Cluster(Dots(7)), 8));  // another directory's first cluster
  EXPECT_FALSE(check(Cluster(Entry(".          ", 0x10, 7, 0)), 7));
  EXPECT_FALSE(check(Cluster(Entry(".          ", 0x20, 7, 0) + Entry("..         ", 0x10, 0, 0)), 7));
  EXPECT_FALSE(check(Cluster(Entry("A       TXT", 0x20, 7, 1)), 7));
  EXPECT_FALSE(check(Dots(7).substr(0, 40), 7));
}

// A deleted long-name piece: up to 13 ASCII characters, the end mark and padding after them.
std::string DeletedPiece(const std::string& text, std::uint8_t checksum) {
  std::string e(32, '\xFF');
  e[0] = '\xE5';
  e[11] = 0x0F;
  e[12] = 0;
  e[13] = static_cast<char>(checksum);
  e[26] = e[27] = 0;
  static constexpr int kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  for (std::size_t i = 0; i < 13; ++i) {
    const char16_t c = i < text.size() ? static_cast<unsigned char>(text[i]) : (i == text.size() ? 0 : 0xFFFF);
    e[kOffsets[i]] = static_cast<char>(c & 0xFF);
    e[kOffsets[i] + 1] = static_cast<char>(c >> 8);
  }
  return e;
}

std::uint8_t ChecksumOf(const std::string& name11) {
  return fsscan::ShortNameChecksum(util::ByteReader(name11.data(), name11.size()));
}

TEST(DeletedNameContinuationTest, OnlyTheClusterWithTheRestOfTheNameAndItsShortEntryContinuesIt) {
  // "Summer trip 5.jpg", cut after its last piece, or after both, at a cluster's end.
  const std::uint8_t sum = ChecksumOf("SUMMER~5JPG");
  const std::string tail = DeletedPiece(".jpg", sum);
  const std::string head = DeletedPiece("Summer trip 5", sum);
  const std::string shortEntry = Entry("SUMMER~5JPG", 0x20, 40, 4000, 0xE5);
  const auto pending = [](const std::vector<std::string>& pieces) {
    fsscan::LongNameAssembler names;
    for (const std::string& p : pieces) names.Add(util::ByteReader(p.data(), p.size()));
    return names;
  };
  const auto continues = [](const fsscan::LongNameAssembler& names, const std::string& bytes) {
    return fsscan::ContinuesDeletedName(names, util::ByteReader(bytes.data(), bytes.size()), kLastCluster);
  };
  EXPECT_TRUE(continues(pending({tail}), Cluster(head + shortEntry)));
  EXPECT_TRUE(continues(pending({tail, head}), Cluster(shortEntry)));
  // Another deleted directory's cluster, a piece of another name, a live entry, nothing pending.
  EXPECT_FALSE(continues(pending({tail, head}), Cluster(Entry("GIPFEL~1DAT", 0x20, 50, 2000, 0xE5))));
  EXPECT_FALSE(continues(pending({tail}), Cluster(DeletedPiece("Gipfel Numme", ChecksumOf("GIPFEL~1DAT")) +
                                                  Entry("GIPFEL~1DAT", 0x20, 50, 2000, 0xE5))));
  EXPECT_FALSE(continues(pending({tail, head}), Cluster(Entry("SUMMER~5JPG", 0x20, 40, 4000))));
  EXPECT_FALSE(continues(pending({}), Cluster(head + shortEntry)));
  // The first cluster of a directory is never a continuation.
  EXPECT_FALSE(continues(pending({tail, head}), Cluster(Dots(9) + shortEntry)));
}

}  // namespace
