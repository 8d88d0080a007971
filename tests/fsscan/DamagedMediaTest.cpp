// Randomly damaged FAT and NTFS metadata: every scan and save must end, stay inside its
// output folder and leave the image as it was. Seeds are fixed, so a failure repeats.

#include <gtest/gtest.h>

#include <random>

#include "tests/fsscan/ScanFixture.h"
#include "tests/support/NtfsImage.h"

namespace {

namespace fs = std::filesystem;

// Overwrites `count` bytes chosen in [from, to) with random values.
std::string Damaged(std::string image, std::uint64_t from, std::uint64_t to, int count, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<std::uint64_t> where(from, std::min<std::uint64_t>(to, image.size()) - 1);
  for (int i = 0; i < count; ++i) image[where(rng)] = static_cast<char>(rng() & 0xFF);
  return image;
}

// Scans and saves one damaged copy; checks the image is untouched and nothing left the folder.
void ScanAndSave(const fs::path& image, const testsupport::TempDir& work) {
  const std::string before = testsupport::Sha256Of(image);
  fsscantest::ScannerHarness harness(image);
  harness.scanner.SetImageFilter("jpg;jpeg;bmp;emf;wmf");
  harness.Scan(false);
  fsscantest::OutputDrive out;
  fs::create_directories(out.Posix("inside"));
  harness.scanner.SaveFilesToDisk(out.Folder("inside"));
  EXPECT_EQ(testsupport::Sha256Of(image), before);
  for (const auto& e : fs::directory_iterator(out.Posix())) EXPECT_EQ(e.path().filename(), "inside");
  (void)work;
}

TEST(DamagedMediaTest, FatMetadataWithRandomDamage) {
  testsupport::TempDir dir;
  testsupport::FatImageOptions options;
  options.fatBits = 16;
  testsupport::FatImage image(dir / "card.img", options);
  fsscantest::FillHolidayCard(image, 1120000000);
  const std::string clean = testsupport::ReadFileBytes(image.Path());
  // Boot sector, both FATs, the root folder and the first data clusters (sub-folders).
  const std::uint64_t metadataEnd = image.ClusterOffset(2) + 64 * 1024;
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const fs::path copy = dir / ("damaged" + std::to_string(seed) + ".img");
    testsupport::WriteFileBytes(copy, Damaged(clean, 0, metadataEnd, 64, seed));
    ScanAndSave(copy, dir);
    fs::remove(copy);
  }
}

TEST(DamagedMediaTest, NtfsRecordsWithRandomDamage) {
  testsupport::TempDir dir;
  testsupport::NtfsImage image(dir / "card.ntfs");
  for (int i = 0; i < 12; ++i) {
    image.AddFile("/photo" + std::to_string(i) + ".jpg", fsscantest::Payload(i % 3 == 0 ? 300 : 9000 + 1000 * i, i));
  }
  for (int i = 0; i < 12; i += 2) image.MarkDeleted(image.RecordNumber("/photo" + std::to_string(i) + ".jpg"));
  const std::string clean = testsupport::ReadFileBytes(image.Path());
  const std::uint64_t mft = image.RecordOffset(0);
  const std::uint64_t mftEnd = image.RecordOffset(image.RecordNumber("/photo11.jpg")) + image.RecordSize();
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const fs::path copy = dir / ("damaged" + std::to_string(seed) + ".ntfs");
    // Mostly the records; now and then the boot sector too.
    std::string bytes = Damaged(clean, mft, mftEnd, 96, seed);
    if (seed % 5 == 0) bytes = Damaged(bytes, 0, 512, 4, seed + 1000);
    testsupport::WriteFileBytes(copy, bytes);
    ScanAndSave(copy, dir);
    fs::remove(copy);
  }
}

}  // namespace
