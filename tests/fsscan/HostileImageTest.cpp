// Damaged and hostile FAT images: every scan and save ends, nothing escapes the
// output folder and the image is never written.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "tests/fsscan/ScanFixture.h"

namespace {

using Entry = std::array<std::uint8_t, 32>;

void Patch(const std::filesystem::path& image, std::uint64_t offset, const void* bytes, std::size_t size) {
  std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(offset));
  f.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

Entry ShortEntry(const char (&name11)[12], std::uint8_t attr, std::uint32_t cluster, std::uint32_t size) {
  Entry e{};
  std::memcpy(e.data(), name11, 11);
  e[11] = attr;
  e[20] = (cluster >> 16) & 0xFF;
  e[21] = (cluster >> 24) & 0xFF;
  e[26] = cluster & 0xFF;
  e[27] = (cluster >> 8) & 0xFF;
  for (int i = 0; i < 4; ++i) e[28 + i] = (size >> (8 * i)) & 0xFF;
  return e;
}

// One long-name entry holding up to 13 ASCII characters, tied to `shortEntry`.
Entry LongEntry(const std::string& text, const Entry& shortEntry) {
  std::uint8_t sum = 0;
  for (int i = 0; i < 11; ++i) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + shortEntry[i]);
  Entry e{};
  e[0] = 0x41;
  e[11] = 0x0F;
  e[13] = sum;
  static constexpr int kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  for (std::size_t i = 0; i < 13; ++i) {
    const std::uint16_t c = i < text.size() ? static_cast<std::uint8_t>(text[i]) : i == text.size() ? 0 : 0xFFFF;
    e[kOffsets[i]] = c & 0xFF;
    e[kOffsets[i] + 1] = c >> 8;
  }
  return e;
}

class HostileImageTest : public testing::Test {
 protected:
  void SetUp() override {
    testsupport::FatImageOptions options;
    options.sectorsPerCluster = 1;
    image = std::make_unique<testsupport::FatImage>(dir / "evil.img", options);
    image->MakeDir("/A");
    image->MakeDir("/A/B");
    image->MakeDir("/G");
    image->AddFile("/A/B/data.bin", fsscantest::Payload(3000, 1));
    image->AddFile("/A/loop.bin", fsscantest::Payload(5000, 2));
  }
  std::uint64_t FatEntryOffset(std::uint32_t cluster) const { return 32 * 512 + std::uint64_t{cluster} * 4; }
  void SetFatEntry(std::uint32_t cluster, std::uint32_t value) { Patch(image->Path(), FatEntryOffset(cluster), &value, 4); }
  // Writes entries into a directory's first cluster after its "." and ".." entries.
  void WriteEntries(const std::string& directory, const std::vector<Entry>& entries) {
    const std::uint64_t at = image->ClusterOffset(image->FirstCluster(directory)) + 64;
    Patch(image->Path(), at, entries.data(), entries.size() * 32);
  }

  testsupport::TempDir dir;
  std::unique_ptr<testsupport::FatImage> image;
};

TEST_F(HostileImageTest, LoopsGarbageAndEscapingNamesEndCleanly) {
  const std::uint32_t a = image->FirstCluster("/A");
  const std::uint32_t data = image->FirstCluster("/A/B/data.bin");
  const std::uint32_t loopFile = image->FirstCluster("/A/loop.bin");
  SetFatEntry(a, a);                // the directory's chain runs back on itself
  SetFatEntry(loopFile, loopFile);  // and so does a file's
  const Entry evil = ShortEntry("EVIL    TXT", 0x20, data, 3000);
  const Entry slash = ShortEntry("SLASH   TXT", 0x20, data, 3000);
  const Entry dotdot = ShortEntry("DOTDOT     ", 0x10, a, 0);
  WriteEntries("/A/B", {
                           ShortEntry("PARENT     ", 0x10, a, 0),                    // back to its parent
                           ShortEntry("ROOT       ", 0x10, 2, 0),                    // back to the root
                           ShortEntry("\xE5" "AR     JPG", 0x20, 0x0FFFFF00, 5000),  // beyond the volume
                           ShortEntry("HUGE    BIN", 0x20, data, 0xFFFFFFFF),
                           LongEntry("../../evil.tx", evil), evil,
                           LongEntry("a/b.txt", slash), slash,
                           LongEntry("..", dotdot), dotdot,
                       });
  // A directory full of noise.
  const std::string noise = fsscantest::Payload(512, 77);
  Patch(image->Path(), image->ClusterOffset(image->FirstCluster("/G")), noise.data(), noise.size());
  const std::string before = testsupport::Sha256Of(image->Path());

  fsscantest::ScannerHarness harness(image->Path());
  harness.Scan(false);
  EXPECT_GT(harness.scanner.GetFoundNumber(), 0);
  EXPECT_NE(harness.Find("../../evil.tx.TXT"), nullptr) << harness.Names();
  fsscantest::OutputDrive out;
  std::filesystem::create_directories(out.Posix("inside"));
  harness.scanner.SaveFilesToDisk(out.Folder("inside"));
  EXPECT_EQ(testsupport::Sha256Of(image->Path()), before);
  // Only the output folder itself was written to.
  std::vector<std::string> top;
  for (const auto& e : std::filesystem::directory_iterator(out.Posix())) top.push_back(e.path().filename());
  EXPECT_EQ(top, std::vector<std::string>{"inside"});
  const auto files = fsscantest::FilesUnder(out.Posix("inside"));
  EXPECT_TRUE(files.count("A/B/.._.._evil.tx.TXT")) << [&] {
    std::string names;
    for (const auto& [k, v] : files) names += k + "\n";
    return names;
  }();
  EXPECT_TRUE(files.at("A/B/a_b.txt") == fsscantest::Payload(3000, 1));
}

TEST_F(HostileImageTest, ABootSectorWithoutGeometryEndsTheScan) {
  const std::uint8_t zero = 0;
  Patch(image->Path(), 13, &zero, 1);  // sectors per cluster 0
  {
    // The FAT32 backup six sectors in still describes the volume: it is read through that.
    fsscantest::ScannerHarness harness(image->Path());
    harness.Scan(false);
    EXPECT_EQ(harness.scanner.GetFoundNumber(), 2);
  }
  Patch(image->Path(), 6 * 512 + 13, &zero, 1);
  fsscantest::ScannerHarness harness(image->Path());
  harness.Scan(false);
  EXPECT_EQ(harness.scanner.GetFoundNumber(), 0);
}

TEST_F(HostileImageTest, ABootSectorClaimingAHugeTableEndsTheScan) {
  // Four billion sectors, each table 500 million of them: 256 GB the small image cannot hold.
  const std::uint32_t totalSectors = 0xFFFFFFF0, fatSectors = 500'000'000;
  Patch(image->Path(), 32, &totalSectors, 4);
  Patch(image->Path(), 36, &fatSectors, 4);
  fsscantest::ScannerHarness harness(image->Path());
  harness.Scan(false);
  EXPECT_EQ(harness.scanner.GetFoundNumber(), 0);
  EXPECT_TRUE(harness.Logged("Cannot read the rest of the FAT", "-30"));
}

}  // namespace
