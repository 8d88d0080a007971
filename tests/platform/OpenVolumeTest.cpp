// The volume object: one open per chosen drive while it is held, a fresh one when the
// medium behind the letter changes, and volumes at a byte offset inside a disk.

#include <gtest/gtest.h>

#include <fstream>

#include "platform/DriveTable.h"
#include "platform/Volume.h"
#include "tests/support/FatImage.h"
#include "tests/support/TempDir.h"

namespace {

testsupport::FatImageOptions Fat16(std::uint32_t volumeId) {
  testsupport::FatImageOptions options;
  options.fatBits = 16;
  options.volumeId = volumeId;
  return options;
}

TEST(OpenVolumeTest, AChosenDriveStaysOpenUntilItsMediumChanges) {
  testsupport::TempDir dir;
  const auto path = dir / "card.img";
  testsupport::FatImage(path, Fat16(0x11111111));
  const char letter = platform::DriveTable::Instance().Attach(path.string());
  ASSERT_NE(letter, 0);
  const auto first = platform::Volume::Choose(letter);
  ASSERT_TRUE(first && first->Boot());
  EXPECT_EQ(first->Boot()->serialNumber, 0x11111111u);
  EXPECT_EQ(platform::Volume::Choose(letter), first);
  EXPECT_EQ(platform::Volume::Held(letter), first);
  const std::uint64_t free = first->FreeClusters();
  EXPECT_GT(free, 0u);

  // Formatted again in place: same file, new volume.
  std::filesystem::remove(path);
  testsupport::FatImage(path, Fat16(0x22222222));
  const auto second = platform::Volume::Choose(letter);
  ASSERT_TRUE(second && second->Boot());
  EXPECT_NE(second, first);
  EXPECT_EQ(second->Boot()->serialNumber, 0x22222222u);
  EXPECT_EQ(platform::Volume::Held(letter), second);
  platform::DriveTable::Instance().Detach(letter);
  EXPECT_EQ(platform::Volume::Held(letter), nullptr);
}

TEST(OpenVolumeTest, AVolumeAtAnOffsetReadsOnlyItsOwnBytes) {
  testsupport::TempDir dir;
  testsupport::FatImage card(dir / "part.img", Fat16(0x33333333));
  const std::string part = testsupport::ReadFileBytes(card.Path());
  constexpr std::uint64_t kStart = 1 << 20;
  {
    std::ofstream disk(dir / "disk.img", std::ios::binary);
    disk << std::string(kStart, 'x') << part << std::string(4096, 'y');
  }
  const auto volume = platform::Volume::Open((dir / "disk.img").string(), kStart, part.size());
  ASSERT_TRUE(volume);
  EXPECT_EQ(volume->Size(), part.size());
  ASSERT_TRUE(volume->Boot());
  EXPECT_EQ(volume->Boot()->serialNumber, 0x33333333u);
  EXPECT_GT(volume->FreeClusters(), 0u);
  std::string bytes(4096, '\0');
  EXPECT_EQ(volume->ReadAt(0, std::as_writable_bytes(std::span(bytes))), 4096);
  EXPECT_EQ(bytes, part.substr(0, 4096));
  // The last 100 bytes of the volume, not the disk's bytes behind it.
  EXPECT_EQ(volume->ReadAt(part.size() - 100, std::as_writable_bytes(std::span(bytes))), 100);
  EXPECT_EQ(bytes.substr(0, 100), part.substr(part.size() - 100));
  EXPECT_EQ(volume->ReadAt(part.size(), std::as_writable_bytes(std::span(bytes))), 0);
  EXPECT_EQ(platform::Volume::Open((dir / "missing.img").string()), nullptr);
}

}  // namespace
