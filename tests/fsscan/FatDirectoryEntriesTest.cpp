// Directory entries as bytes, fed to the entry extraction one buffer at a time.

#include <gtest/gtest.h>

#include <cstring>

#include "tests/fsscan/ScanFixture.h"

namespace {

using Entry = std::array<std::uint8_t, 32>;

Entry Short(const char (&name11)[12], std::uint8_t attr, std::uint32_t cluster, std::uint32_t size,
            std::uint16_t date = 0x3A21, std::uint16_t time = 0x7BAF, std::uint8_t caseBits = 0) {
  Entry e{};
  std::memcpy(e.data(), name11, 11);
  e[11] = attr;
  e[12] = caseBits;
  e[20] = (cluster >> 16) & 0xFF;
  e[21] = (cluster >> 24) & 0xFF;
  e[22] = time & 0xFF;
  e[23] = time >> 8;
  e[24] = date & 0xFF;
  e[25] = date >> 8;
  e[26] = cluster & 0xFF;
  e[27] = (cluster >> 8) & 0xFF;
  for (int i = 0; i < 4; ++i) e[28 + i] = (size >> (8 * i)) & 0xFF;
  return e;
}

std::uint8_t Checksum(const Entry& shortEntry) {
  std::uint8_t sum = 0;
  for (int i = 0; i < 11; ++i) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + shortEntry[i]);
  return sum;
}

// The long-name entries of `name` (ASCII or UTF-16 units), in disk order (last piece first).
std::vector<Entry> LongName(const std::u16string& name, std::uint8_t checksum, bool deleted) {
  const std::size_t pieces = (name.size() + 12) / 13;
  std::vector<Entry> out;
  static constexpr int kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  for (std::size_t p = pieces; p-- > 0;) {
    Entry e{};
    e[0] = deleted ? 0xE5 : static_cast<std::uint8_t>((p + 1) | (p + 1 == pieces ? 0x40 : 0));
    e[11] = 0x0F;
    e[13] = checksum;
    for (std::size_t i = 0; i < 13; ++i) {
      const std::size_t at = p * 13 + i;
      const char16_t c = at < name.size() ? name[at] : at == name.size() ? 0x0000 : 0xFFFF;
      e[kOffsets[i]] = c & 0xFF;
      e[kOffsets[i] + 1] = c >> 8;
    }
    out.push_back(e);
  }
  return out;
}

class EntriesTest : public testing::Test {
 protected:
  EntriesTest() : image(dir / "v.img", {}), harness(image.Path()) {
    harness.raw.SetDriveLetter(std::string(1, harness.letter));
    harness.scanner.GetFATBootRecord(boot);
  }

  // Runs the extraction over the entries and returns the records made.
  const std::vector<std::unique_ptr<fsscan::FileNode>>& Extract(std::vector<Entry> entries, bool deletedOnly,
                                                                const std::string& filter = "") {
    harness.scanner.MutableFileList().clear();
    harness.scanner.SetDeletedOnly(deletedOnly);
    harness.scanner.SetFilter(filter);
    std::vector<std::byte> bytes(entries.size() * 32 + 32);
    std::memcpy(bytes.data(), entries.data(), entries.size() * 32);
    harness.scanner.ExtractDirEntries(bytes.data(), boot, fsscan::kFat32, "\\Photos",
                                      static_cast<std::int64_t>(bytes.size()));
    return harness.scanner.FileList();
  }

  testsupport::TempDir dir;
  testsupport::FatImage image;
  fsscantest::ScannerHarness harness;
  fsscan::BootRecord boot{};
};

TEST_F(EntriesTest, DeletedShortNameKeepsAnXForItsLostLetter) {
  const Entry deleted = Short("\xE5" "EADME  TXT", 0x20, 5, 100);
  auto& records = Extract({deleted}, true);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]->ShortName, "xEADME.TXT");
  EXPECT_EQ(records[0]->LongName, "xEADME.TXT");
  EXPECT_EQ(records[0]->Extension, "TXT");
  EXPECT_EQ(records[0]->Dir, "\\Photos\\");
  EXPECT_EQ(records[0]->FirstCluster, 5);
  EXPECT_EQ(records[0]->Size, 100);
  EXPECT_TRUE(records[0]->Save);
  EXPECT_FALSE(records[0]->Saved);
  const Entry live = Short("README  TXT", 0x20, 5, 100);
  EXPECT_TRUE(Extract({live}, true).empty());
  EXPECT_EQ(Extract({live}, false).size(), 1u);
}

TEST_F(EntriesTest, LongNamesKeepEveryCharacter) {
  // Live: a space at position 14 falls at the start of the second piece.
  Entry live = Short("HOLIDA~1JPG", 0x20, 9, 70000);
  auto entries = LongName(u"Holiday photo 2005.jpg", Checksum(live), false);
  entries.push_back(live);
  auto& a = Extract(entries, false);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0]->LongName, "Holiday photo 2005.jpg");
  EXPECT_EQ(a[0]->ShortName, "HOLIDA~1.JPG");

  // Deleted: every long-name entry lost its sequence byte; the run with one checksum is gathered.
  Entry deleted = Short("\xE5OLIDA~1JPG", 0x20, 9, 70000);
  entries = LongName(u"Holiday photos 2005.jpg", Checksum(Short("HOLIDA~1JPG", 0x20, 9, 70000)), true);
  entries.push_back(deleted);
  auto& b = Extract(entries, true);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0]->LongName, "Holiday photos 2005.jpg");

  // Non-ASCII characters arrive as UTF-8.
  Entry greek = Short("GR~1    TXT", 0x20, 9, 10);
  entries = LongName(u"Grüße für Άννα.txt", Checksum(greek), false);
  entries.push_back(greek);
  EXPECT_EQ(Extract(entries, false).at(0)->LongName, "Grüße für Άννα.txt");
}

TEST_F(EntriesTest, ALongNameBelongsOnlyToTheEntryRightAfterIt) {
  const Entry other = Short("OTHER   JPG", 0x20, 9, 10);
  // A set whose checksum is not the entry's is an orphan.
  auto entries = LongName(u"Not mine at all.jpg", static_cast<std::uint8_t>(Checksum(other) + 1), false);
  entries.push_back(other);
  EXPECT_EQ(Extract(entries, false).at(0)->LongName, "OTHER.JPG");
  // A long name before an entry that is passed over does not move on to the next file.
  const Entry empty = Short("\xE5MPTY   TXT", 0x20, 0, 0);
  entries = LongName(u"An empty file.txt", 0x11, true);
  entries.push_back(empty);
  entries.push_back(Short("\xE5" "ATA    BIN", 0x20, 9, 10));
  auto& records = Extract(entries, true);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]->LongName, "xATA.BIN");
}

TEST_F(EntriesTest, AttributesAreReadByTheirBits) {
  struct Case {
    const char* what;
    std::uint8_t attr;
    std::uint32_t size;
    bool listed;
  };
  const Case cases[] = {
      {"archive", 0x20, 10, true},         {"read-only photo", 0x21, 10, true}, {"hidden", 0x22, 10, true},
      {"system", 0x27, 10, true},          {"no archive bit", 0x00, 10, true},  {"volume label", 0x08, 0, false},
      {"label with size", 0x28, 10, false}, {"zero bytes", 0x20, 0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Extract({Short("FILE    JPG", c.attr, 9, c.size)}, false).size(), c.listed ? 1u : 0u) << c.what;
  }
  // A directory entry with a size is entered only where its first cluster starts as a
  // directory's (not here: the cluster holds no "." entry); "." and ".." never are.
  EXPECT_TRUE(Extract({Short("DIR        ", 0x10, 9, 512), Short(".          ", 0x10, 9, 0),
                       Short("..         ", 0x10, 0, 0)},
                      false)
                  .empty());
}

TEST_F(EntriesTest, FilterMatchesTheShortExtension) {
  const std::vector<Entry> entries = {Short("PHOTO   JPE", 0x20, 9, 10), Short("NOEXT      ", 0x20, 9, 10),
                                      Short("SONG    MP3", 0x20, 9, 10)};
  const auto names = [&](const std::string& filter) {
    std::string out;
    for (const auto& r : Extract(entries, false, filter)) out += r->LongName + " ";
    return out;
  };
  EXPECT_EQ(names("JPG,JPEG"), "PHOTO.JPE ");
  EXPECT_EQ(names("  "), "PHOTO.JPE NOEXT SONG.MP3 ");
  EXPECT_EQ(names("mp3"), "SONG.MP3 ");
}

TEST_F(EntriesTest, NamesDatesAndCaseAsWindowsShowsThem) {
  auto& records = Extract({Short("MAKEFILE   ", 0x20, 9, 10, 0, 0), Short("README  TXT", 0x20, 9, 10, 0x3A21, 0x7BAF, 0x18),
                           Short("NOTES   TXT", 0x20, 9, 10, 0x3A21, 0x7BAF, 0x08)},
                          false);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0]->LongName, "MAKEFILE");  // no extension, no dot
  EXPECT_EQ(records[0]->ShortName, "MAKEFILE");
  EXPECT_EQ(records[0]->DateTime, 0.0);
  EXPECT_EQ(records[1]->LongName, "readme.txt");
  EXPECT_EQ(records[1]->ShortName, "README.TXT");
  EXPECT_EQ(records[2]->LongName, "notes.TXT");
  const util::DateTimeFields f = util::DecodeDateTime(records[1]->DateTime);
  EXPECT_EQ(std::vector<int>({f.year, f.month, f.day, f.hour, f.minute, f.second}),
            std::vector<int>({2009, 1, 1, 15, 29, 30}));
  // A long name keeps the extension its short one was cut from; a different one gets the
  // short one appended, as stored.
  Entry jpeg = Short("HOLIDAY JPE", 0x20, 9, 10);
  auto entries = LongName(u"holiday.jpeg", Checksum(jpeg), false);
  entries.push_back(jpeg);
  EXPECT_EQ(Extract(entries, false).at(0)->LongName, "holiday.jpeg");
  Entry gz = Short("ARCHIVE GZ ", 0x20, 11, 10);
  entries = LongName(u"archive.tar", Checksum(gz), false);
  entries.push_back(gz);
  EXPECT_EQ(Extract(entries, false).at(0)->LongName, "archive.tar.GZ");
}

TEST_F(EntriesTest, AFirstClusterBeyondTheVolumeIsLoggedAndKept) {
  harness.log.clear();
  auto& records = Extract({Short("\xE5" "AR     JPG", 0x20, 0x0FFFFFF0, 100)}, true);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(harness.Logged("ExtractDirEntries (E5): <br>Filename: xAR.JPG<br>Calculated: 268435440<br>Maximum: ",
                             "-30"));
  EXPECT_TRUE(harness.Logged("<br>High: 4095<br>Low: 65520<br>Hex:  E5 41 52"));
}

}  // namespace
