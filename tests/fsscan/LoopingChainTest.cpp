// Live FAT files whose chains loop back on themselves. No tool writes such a table, so a
// real mkfs.fat image gets a few bytes of its FAT (every copy) changed by hand.

#include <gtest/gtest.h>

#include <fstream>

#include "tests/fsscan/ScanFixture.h"

namespace {

struct LoopCase {
  const char* name;
  int fatBits;
};

class LoopingChainTest : public testing::TestWithParam<LoopCase> {
 protected:
  // Sets a FAT entry in every copy of the table, as the FAT type packs it.
  void SetFatEntry(std::uint32_t cluster, std::uint32_t value) {
    std::fstream f(image->Path(), std::ios::in | std::ios::out | std::ios::binary);
    std::array<unsigned char, 512> boot{};
    f.read(reinterpret_cast<char*>(boot.data()), boot.size());
    const auto u16 = [&](int at) { return static_cast<std::uint32_t>(boot[at] | (boot[at + 1] << 8)); };
    const std::uint32_t bytesPerSector = u16(11), reserved = u16(14), copies = boot[16];
    std::uint32_t fatSectors = u16(22);
    if (fatSectors == 0) fatSectors = u16(36) | (u16(38) << 16);
    const int bits = GetParam().fatBits;
    for (std::uint32_t copy = 0; copy < copies; ++copy) {
      const std::uint64_t table = std::uint64_t{reserved + copy * fatSectors} * bytesPerSector;
      const std::uint64_t at = table + (bits == 12 ? cluster + cluster / 2 : cluster * (bits / 8));
      std::array<unsigned char, 4> bytes{};
      f.seekg(static_cast<std::streamoff>(at));
      f.read(reinterpret_cast<char*>(bytes.data()), 4);
      std::uint32_t word = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (std::uint32_t{bytes[3]} << 24);
      if (bits == 12) {
        word = (cluster & 1) != 0 ? (word & 0xFFFF000F) | (value << 4) : (word & 0xFFFFF000) | value;
      } else if (bits == 16) {
        word = (word & 0xFFFF0000) | value;
      } else {
        word = (word & 0xF0000000) | value;
      }
      for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(word >> (8 * i));
      f.seekp(static_cast<std::streamoff>(at));
      f.write(reinterpret_cast<const char*>(bytes.data()), bits == 12 || bits == 16 ? 2 : 4);
    }
  }

  void SetUp() override {
    testsupport::FatImageOptions options;
    options.fatBits = GetParam().fatBits;
    options.sectorsPerCluster = 1;
    if (options.fatBits == 12) options.sizeKiB = 1440;  // a floppy
    image = std::make_unique<testsupport::FatImage>(dir / "loop.img", options);
    image->MakeDir("/DCIM");
  }

  testsupport::TempDir dir;
  std::unique_ptr<testsupport::FatImage> image;
};

TEST_P(LoopingChainTest, ALoopIsCutAtItsFirstRepeatAndNothingSavedOutgrowsItsRecord) {
  const std::string wanted = fsscantest::Payload(40 * 512, 3);
  image->AddFile("/DCIM/notes.bin", wanted);
  image->AddFile("/DCIM/huge.bin", fsscantest::Payload(6 * 512, 4));
  image->AddFile("/DCIM/zzz.bin", fsscantest::Payload(512, 5));
  const std::uint32_t notes = image->FirstCluster("/DCIM/notes.bin");
  const std::uint32_t huge = image->FirstCluster("/DCIM/huge.bin");
  // The tenth cluster of notes.bin leads back to its second, and huge.bin's two clusters
  // lead to one another.
  SetFatEntry(notes + 9, notes + 1);
  SetFatEntry(huge + 1, huge);
  // huge.bin claims nearly 4 GiB: no walk may go round its two clusters that long. Its entry
  // sits in the folder's first cluster after ".", "..", notes.bin's long and short entries.
  std::fstream f(image->Path(), std::ios::in | std::ios::out | std::ios::binary);
  std::uint64_t entry = image->ClusterOffset(image->FirstCluster("/DCIM"));
  std::array<char, 32> bytes{};
  for (;; entry += 32) {
    f.seekg(static_cast<std::streamoff>(entry));
    f.read(bytes.data(), bytes.size());
    if (std::string(bytes.data(), 8) == "HUGE    ") break;
    ASSERT_LT(entry, image->ClusterOffset(image->FirstCluster("/DCIM")) + 512);
  }
  const std::uint32_t hugeSize = 0xFFFFF000;
  f.seekp(static_cast<std::streamoff>(entry + 28));
  f.write(reinterpret_cast<const char*>(&hugeSize), 4);
  f.close();
  const std::string before = testsupport::Sha256Of(image->Path());

  fsscantest::ScannerHarness harness(image->Path());
  harness.Scan(false);
  EXPECT_TRUE(harness.Logged("the chain of \\DCIM\\notes.bin comes back to cluster " + std::to_string(notes + 1)))
      << harness.Names();
  EXPECT_TRUE(harness.Logged("the chain of \\DCIM\\huge.bin comes back to cluster " + std::to_string(huge)));
  fsscantest::OutputDrive out;
  harness.scanner.SaveFilesToDisk(out.Folder("Back"));
  EXPECT_EQ(testsupport::Sha256Of(image->Path()), before);
  const auto files = fsscantest::FilesUnder(out.Posix("Back"));
  // Written in one stretch, the file comes back whole from the clusters after the cut.
  ASSERT_TRUE(files.contains("DCIM/notes.bin"));
  EXPECT_TRUE(files.at("DCIM/notes.bin") == wanted);
  EXPECT_EQ(files.at("DCIM/zzz.bin"), fsscantest::Payload(512, 5));
  // huge.bin could at most be given the rest of the volume, and is never counted as saved.
  const auto imageBytes = std::filesystem::file_size(image->Path());
  for (const auto& [name, contents] : files) EXPECT_LE(contents.size(), imageBytes) << name;
  const fsscan::FileNode* hugeRecord = harness.Find("huge.bin");
  EXPECT_TRUE(hugeRecord == nullptr || !hugeRecord->Saved);
}

INSTANTIATE_TEST_SUITE_P(FatTypes, LoopingChainTest,
                         testing::Values(LoopCase{"Fat12Floppy", 12}, LoopCase{"Fat16", 16}, LoopCase{"Fat32", 32}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
