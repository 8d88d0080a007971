// NTFS decoders on hand-made bytes: record sizes, run lists, fix-ups, LZNT1 and whole
// FILE records, the damaged ones included.

#include <gtest/gtest.h>

#include "fsscan/Lznt1.h"
#include "fsscan/MekFATScan.h"
#include "fsscan/NtfsLayout.h"
#include "tests/fsscan/NtfsRecordBuilder.h"
#include "util/DateTime.h"

namespace {

using fsscantest::Hex;
using fsscantest::NtfsRecordBuilder;

struct RecordSizeCase {
  std::uint32_t field, sectorsPerCluster, bytesPerSector;
  std::uint64_t expected;
};

class RecordSizeTest : public testing::TestWithParam<RecordSizeCase> {};

TEST_P(RecordSizeTest, DecodesClustersPerRecordField) {
  const auto& c = GetParam();
  EXPECT_EQ(fsscan::ntfs::RecordSizeFromField(c.field, c.sectorsPerCluster, c.bytesPerSector), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Fields, RecordSizeTest,
                         testing::Values(RecordSizeCase{0xF6, 8, 512, 1024},      // -10: 2^10
                                         RecordSizeCase{0x01, 8, 512, 4096},      // one 4096-byte cluster
                                         RecordSizeCase{0xF4, 1, 512, 4096},      // -12: 2^12
                                         RecordSizeCase{0x000000F6, 1, 4096, 1024},
                                         RecordSizeCase{0x00, 8, 512, 0},         // zero would stall every walk
                                         RecordSizeCase{0x03, 1, 512, 0},         // 1536: not a power of two
                                         RecordSizeCase{0x40, 128, 4096, 0},      // far beyond any record
                                         RecordSizeCase{0xE0, 8, 512, 0},         // 2^32
                                         RecordSizeCase{0x81, 8, 512, 0}));       // 2^127

struct RunListCase {
  const char* name;
  const char* bytes;
  std::vector<fsscan::ntfs::Run> expected;  // start, length, sparse
};

class RunListTest : public testing::TestWithParam<RunListCase> {};

TEST_P(RunListTest, Decodes) {
  const std::string bytes = Hex(GetParam().bytes);
  const auto runs = fsscan::ntfs::DecodeRunList(util::ByteReader(bytes.data(), bytes.size()), 0);
  ASSERT_EQ(runs.size(), GetParam().expected.size());
  for (std::size_t i = 0; i < runs.size(); ++i) {
    EXPECT_EQ(runs[i].start, GetParam().expected[i].start) << i;
    EXPECT_EQ(runs[i].length, GetParam().expected[i].length) << i;
    EXPECT_EQ(runs[i].sparse, GetParam().expected[i].sparse) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, RunListTest,
    testing::Values(
        RunListCase{"TwoRunsSecondBackwards", "31 40 00 10 00 21 10 00 F8 00", {{4096, 64, false}, {2048, 16, false}}},
        RunListCase{"SparseKeepsStart", "21 10 00 01 01 05 11 03 02 00", {{256, 16, false}, {256, 5, true}, {258, 3, false}}},
        RunListCase{"ThreeByteNegative", "31 10 00 00 10 31 10 00 00 F0 00", {{0x100000, 16, false}, {0, 16, false}}},
        RunListCase{"OffsetFieldAboveEight", "91 01 00 00 00 00 00 00 00 00 00", {}},
        RunListCase{"LengthFieldAboveEight", "31 40 00 10 00 09 01 00", {{4096, 64, false}}},
        RunListCase{"ZeroLengthField", "30 00 10 00 00", {}},
        RunListCase{"RunsOffTheEnd", "31 40 00 10 00 44 01 02", {{4096, 64, false}}},
        RunListCase{"NoEndMarker", "11 04 20", {{32, 4, false}}},
        RunListCase{"Empty", "00", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// A 1024-byte record with sequence number 0x1234 and its two protected words as stored.
std::string FixupRecord(std::uint32_t allocated, std::uint16_t word510, std::uint16_t word1022) {
  std::string record(1024, '\0');
  fsscantest::PutLE(record, 4, 48, 2);
  fsscantest::PutLE(record, 6, 3, 2);
  fsscantest::PutLE(record, 28, allocated, 4);
  fsscantest::PutLE(record, 48, 0x1234, 2);
  fsscantest::PutLE(record, 50, 0xAAAA, 2);
  fsscantest::PutLE(record, 52, 0xBBBB, 2);
  fsscantest::PutLE(record, 510, word510, 2);
  fsscantest::PutLE(record, 1022, word1022, 2);
  return record;
}

bool Fix(std::string& bytes) {
  const std::span<std::byte> span(reinterpret_cast<std::byte*>(bytes.data()), bytes.size());
  return fsscan::ntfs::ApplyFixups(span, fsscan::ntfs::ParseRecordHeader(util::ByteReader(span)));
}

TEST(NtfsFixups, EveryFiveHundredTwelveBytesReplacedUpToAllocatedSize) {
  // The stride is 512 whatever the sector size: a 4096-byte-sector volume's records are the same.
  for (std::uint32_t allocated : {1024u, 600u, 0u}) {
    std::string bytes = FixupRecord(allocated, 0x1234, 0x1234);
    EXPECT_TRUE(Fix(bytes)) << allocated;
    const util::ByteReader r(bytes.data(), bytes.size());
    EXPECT_EQ(r.U16(510), allocated >= 512 ? 0xAAAA : 0x1234) << allocated;
    EXPECT_EQ(r.U16(1022), allocated >= 1024 ? 0xBBBB : 0x1234) << allocated;
  }
}

TEST(NtfsFixups, ProtectedWordNotTheSequenceNumberMarksTheRecordDamaged) {
  for (const auto& [first, second] : {std::pair{0x1234, 0x1233}, std::pair{0x0000, 0x1234}}) {
    const std::string record = FixupRecord(1024, static_cast<std::uint16_t>(first), static_cast<std::uint16_t>(second));
    std::string bytes = record;
    EXPECT_FALSE(Fix(bytes));
    EXPECT_EQ(bytes, record);  // left as read
  }
  // A damaged word past the allocated size is no part of the record.
  std::string bytes = FixupRecord(600, 0x1234, 0x9999);
  EXPECT_TRUE(Fix(bytes));
}

TEST(NtfsFixups, ArrayPastTheRecordChangesNothing) {
  std::string record = FixupRecord(1024, 0x1234, 0x1234);
  fsscantest::PutLE(record, 4, 1022, 2);
  fsscantest::PutLE(record, 6, 60, 2);
  std::string bytes = record;
  Fix(bytes);
  EXPECT_EQ(bytes, record);
}

struct LznCase {
  const char* name;
  std::string input;
  bool ok;
  std::vector<std::pair<std::size_t, std::string>> expected;  // offset in the output, bytes
};

class Lznt1Test : public testing::TestWithParam<LznCase> {};

TEST_P(Lznt1Test, DecompressesUnit) {
  std::vector<std::byte> out(16384, std::byte{0x5A});
  const std::string& in = GetParam().input;
  const bool ok = fsscan::Lznt1DecompressUnit(
      std::span<const std::byte>(reinterpret_cast<const std::byte*>(in.data()), in.size()), out);
  ASSERT_EQ(ok, GetParam().ok);
  if (!ok) return;
  std::string text(reinterpret_cast<const char*>(out.data()), out.size());
  std::size_t covered = 0;
  for (const auto& [offset, bytes] : GetParam().expected) {
    EXPECT_EQ(text.substr(offset, bytes.size()), bytes) << offset;
    covered += bytes.size();
  }
  // Everything not produced is zero.
  std::size_t nonZero = 0;
  for (char c : text) nonZero += c != 0;
  EXPECT_LE(nonZero, covered);
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

const std::string kTwenty = "ABCDEFGHIJKLMNOPQRST";

INSTANTIATE_TEST_SUITE_P(
    Units, Lznt1Test,
    testing::Values(
        LznCase{"Literals", Hex("08 B0 00") + "abcdefgh", true, {{0, "abcdefgh"}}},
        LznCase{"OverlappingReference", Hex("05 B0 08") + "abc" + Hex("06 20"), true, {{0, "abcabcabcabc"}}},
        // Past 16 bytes of output the offset field widens by one bit and the length narrows.
        LznCase{"WideOffsetSplit", Hex("18 B0 00") + kTwenty.substr(0, 8) + Hex("00") + kTwenty.substr(8, 8) +
                                       Hex("10") + kTwenty.substr(16, 4) + Hex("00 98"),
                true, {{0, kTwenty + "ABC"}}},
        LznCase{"StoredChunkThenShortChunk", Hex("FF 3F") + Repeat("x", 4096) + Hex("02 B0 00") + "yz", true,
                {{0, Repeat("x", 4096)}, {4096, "yz"}}},
        LznCase{"ShortChunkZeroFilled", Hex("02 B0 00") + "ab" + Hex("02 B0 00") + "cd", true, {{0, "ab"}, {4096, "cd"}}},
        LznCase{"ReferenceBeforeStart", Hex("03 B0 02") + "a" + Hex("00 40"), false, {}},
        LznCase{"ChunkLongerThanInput", Hex("63 B0 00") + "abc", false, {}},
        LznCase{"ShortStoredChunk", Hex("0F 30") + Repeat("q", 16), true, {{0, Repeat("q", 16)}}},
        LznCase{"StoredChunkPastInput", Hex("FF 3F") + Repeat("q", 16), false, {}},
        LznCase{"EmptyUnit", "", true, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Decoding whole records needs a scanner; its drive stays unselected (no clusters).
class NtfsRecordTest : public testing::Test {
 protected:
  NtfsRecordTest() { scanner.SetRAW(&raw); scanner.OnLogNotify = [this](auto*, const std::string& m, const std::string& a) { log.push_back(a + " " + m); }; }
  std::unique_ptr<fsscan::FileNode> Decode(std::string bytes) {
    return scanner.DecodeMFTRecord(std::span<std::byte>(reinterpret_cast<std::byte*>(bytes.data()), bytes.size()),
                                   512, true);
  }
  disk::TRawDiskAccessComponent raw;
  fsscan::TMekFATScan scanner;
  std::vector<std::string> log;
};

TEST_F(NtfsRecordTest, Win32NameIsShownAndGivesTheExtension) {
  struct Case {
    std::u16string win32, dos;
    std::string longName, shortName, extension;
  };
  for (const Case& c : {Case{u"Quarterly report.doc", u"QUARTE~1.DOC", "Quarterly report.doc", "QUARTE~1.DOC", "DOC"},
                        Case{u"holiday.jpeg", u"HOLIDA~1.JPE", "holiday.jpeg", "HOLIDA~1.JPE", "JPEG"},
                        Case{u"", u"notes.txt", "notes.txt", "notes.txt", "TXT"},
                        Case{u"Ünïcødé ñame.tar.gz", u"", "Ünïcødé ñame.tar.gz", "Ünïcødé ñame.tar.gz", "GZ"},
                        Case{u"README", u"", "README", "README", ""}}) {
    NtfsRecordBuilder b(70, 0);
    if (!c.dos.empty()) b.FileName(5, 2, c.dos);
    if (!c.win32.empty()) b.FileName(5, 1, c.win32);
    b.Resident(0x80, "data");
    const auto record = Decode(b.Build());
    EXPECT_EQ(record->LongName, c.longName);
    EXPECT_EQ(record->ShortName, c.shortName);
    EXPECT_EQ(record->Extension, c.extension);
    EXPECT_EQ(record->ParentDir, 5);
    EXPECT_EQ(record->MFT, 70);
  }
}

TEST_F(NtfsRecordTest, ResidentDataCrossingTheSectorEndIsRestoredByFixups) {
  std::string value(600, 'r');
  value[486] = 'X';  // lands on the record's offset 510 (attribute at 56, value at 24 into it)
  value[487] = 'Y';
  const auto record = Decode(NtfsRecordBuilder(71, 0).FileName(5, 1, u"tiny.txt").Resident(0x80, value).Build());
  ASSERT_TRUE(record->Resident);
  ASSERT_TRUE(record->ResidentData);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(record->ResidentData->Memory()), 600), value);
  EXPECT_EQ(record->Size, 600);
  EXPECT_FALSE(record->Clusters.has_value());
}

TEST_F(NtfsRecordTest, ModifiedTimeOfZeroIsNoDateAndFarDatesStay) {
  struct Case {
    std::uint64_t fileTime;
    int year;  // 0: no date
  };
  // 2040-04-14 and 2107-12-31 in 100-ns units since 1601.
  for (const Case& c : {Case{0, 0}, Case{(2218000000ULL + 11644473600ULL) * 10000000ULL, 2040},
                        Case{(4354732800ULL + 11644473600ULL) * 10000000ULL, 2107}}) {
    std::string times(48, '\0');
    fsscantest::PutLE(times, 8, c.fileTime, 8);
    const auto record =
        Decode(NtfsRecordBuilder(74, 0).Resident(0x10, times).FileName(5, 1, u"dated.txt").Build());
    ASSERT_NE(record, nullptr);
    if (c.year == 0) {
      EXPECT_EQ(record->DateTime, 0.0);
    } else {
      EXPECT_EQ(util::DecodeDateTime(record->DateTime).year, c.year);
    }
  }
}

TEST_F(NtfsRecordTest, NamedStreamsDoNotReplaceTheFileContents) {
  const auto resident = Decode(NtfsRecordBuilder(72, 0)
                                   .FileName(5, 1, u"a.txt")
                                   .Resident(0x80, "main data")
                                   .Resident(0x80, "[ZoneTransfer]", u"Zone.Identifier")
                                   .Build());
  EXPECT_EQ(resident->Size, 9);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(resident->ResidentData->Memory()), 9), "main data");
  const auto runs = Decode(NtfsRecordBuilder(73, 0)
                               .FileName(5, 1, u"b.jpg")
                               .NonResident(Hex("21 10 00 01"), 60000)
                               .Resident(0x80, "stream", u"thumb")
                               .Build());
  EXPECT_FALSE(runs->Resident);
  EXPECT_EQ(runs->Size, 60000);
  EXPECT_EQ(runs->FirstCluster, 256);
  // Asked for, each stream becomes a record of its own beside the file.
  fsscan::ntfs::RecordStreams streams;
  std::string bytes = NtfsRecordBuilder(76, 0)
                          .FileName(5, 1, u"c.jpg")
                          .Resident(0x80, "")
                          .Resident(0x80, "[ZoneTransfer]", u"Zone.Identifier")
                          .NonResident(Hex("21 04 00 02"), 15000, 0, 0, u"thumb")
                          .Build();
  const auto file = scanner.DecodeMFTRecord(
      std::span<std::byte>(reinterpret_cast<std::byte*>(bytes.data()), bytes.size()), 512, true, &streams);
  EXPECT_EQ(file->Size, 0);
  EXPECT_TRUE(streams.hasData) << "an empty file still has its data attribute";
  ASSERT_EQ(streams.named.size(), 2u);
  EXPECT_EQ(streams.named[0]->LongName, "c.jpg:Zone.Identifier");
  EXPECT_EQ(streams.named[0]->Extension, "IDENTIFIER");
  EXPECT_EQ(streams.named[0]->Size, 14);
  EXPECT_TRUE(streams.named[0]->Resident);
  EXPECT_EQ(streams.named[1]->LongName, "c.jpg:thumb");
  EXPECT_EQ(streams.named[1]->StreamName, "thumb");
  EXPECT_EQ(streams.named[1]->Size, 15000);
  EXPECT_EQ(streams.named[1]->FirstCluster, 512);
  EXPECT_EQ(streams.named[1]->ParentDir, 5);
  EXPECT_EQ(streams.named[1]->MFT, 76);
  // A folder with only a named stream has no contents of its own.
  const auto folder =
      Decode(NtfsRecordBuilder(74, 2).FileName(5, 1, u"Photos").Resident(0x80, "x", u"meta").Build());
  EXPECT_EQ(folder->Size, 0);
}

TEST_F(NtfsRecordTest, CompressedRunsKeepTheUnitAndOutOfVolumeRunsAreLogged) {
  const auto record = Decode(NtfsRecordBuilder(75, 0)
                                 .FileName(5, 1, u"c.txt")
                                 .NonResident(Hex("11 03 20 01 0D 00"), 65536, 0x0001, 4)
                                 .Build());
  EXPECT_EQ(record->CompressionUnit, 16);
  ASSERT_TRUE(record->Clusters);
  ASSERT_EQ(record->Clusters->size(), 2u);
  EXPECT_TRUE((*record->Clusters)[1].Sparse);
  // Fifty bytes from the run's header: the run list, then what follows it in the record.
  EXPECT_EQ((*record->Clusters)[0].Hex.rfind(" 11 03 20 01 0D 00 00 00 FF FF FF FF", 0), 0u);
  EXPECT_EQ((*record->Clusters)[0].Hex.size(), 150u);
  // With no drive selected the volume has no clusters: the run lies outside it.
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0].rfind("-99 Attr80 Problem:<br>StartCluster: 32<br> NumClusters: 3<br>MTF: 75<br>", 0), 0u)
      << log[0];
}

// Damaged records: each decode ends inside the record, whatever the fields say.
TEST_F(NtfsRecordTest, DamagedRecordsEndCleanly) {
  const std::string good =
      NtfsRecordBuilder(76, 0).FileName(5, 1, u"victim.bin").NonResident(Hex("21 10 00 01"), 8000).Build();
  const std::size_t name = 56, data = 56 + 0x68;
  struct Damage {
    const char* what;
    std::size_t offset;
    std::uint64_t value;
    int width;
  };
  for (const Damage& d : {Damage{"zero attribute length", name + 4, 0, 4},
                          Damage{"attribute past the record", name + 4, 0x7FFFFFF0, 4},
                          Damage{"first attribute past the record", 20, 0xFFF0, 2},
                          Damage{"value length past the record", name + 16, 0xFFFFFFF, 4},
                          Damage{"value offset past the attribute", name + 20, 0xFFFF, 2},
                          Damage{"run list offset past the attribute", data + 32, 0xFFFF, 2},
                          Damage{"run header with nine-byte sizes", data + 64, 0x99, 1},
                          Damage{"run list without end running to the record's end", data + 64, 0x88, 1},
                          Damage{"allocated size 0", 28, 0, 4},
                          Damage{"update sequence array past the record", 4, 0xFFFE, 2},
                          Damage{"huge data size", data + 48, 0x8000000000000000ULL, 8}}) {
    std::string bytes = good;
    fsscantest::PutLE(bytes, d.offset, d.value, d.width);
    std::unique_ptr<fsscan::FileNode> record;
    ASSERT_NO_THROW(record = Decode(bytes)) << d.what;
    ASSERT_TRUE(record) << d.what;
  }
  // The undamaged record decodes in full.
  const auto record = Decode(good);
  EXPECT_EQ(record->LongName, "victim.bin");
  EXPECT_EQ(record->Size, 8000);
}

}  // namespace
