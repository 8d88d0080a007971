// Expert Witness and split raw images read as the raw image they were made
// from: reads that cross segment and part boundaries, refusals of incomplete
// images, and a damaged segment.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

#include "platform/DriveTable.h"
#include "platform/ImageSource.h"
#include "platform/Volume.h"
#include "tests/support/Command.h"
#include "tests/support/FatImage.h"
#include "tests/support/ImageContainers.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using Kind = platform::ImageSource::Kind;

class ImageSourceTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = testsupport::ExpertWitnessUnavailable(); !why.empty()) GTEST_SKIP() << why;
    // A card with random contents, so that every chunk of the image differs.
    testsupport::FatImage card(dir / "card.img", {.fatBits = 12, .sizeKiB = 6 * 1024});
    std::mt19937 random(7);
    std::string bytes(5 << 20, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    card.AddFile("/random.bin", bytes);
    raw = card.Path();
    rawBytes = testsupport::ReadFileBytes(raw);
  }

  // Reads of `path` at offsets on and around 1 MiB boundaries and past the end
  // give the raw bytes.
  void ExpectSameBytes(const fs::path& path) {
    const auto image = platform::ImageSource::Open(path.string());
    ASSERT_TRUE(image);
    ASSERT_EQ(image->Size(), rawBytes.size());
    for (const std::uint64_t at :
         {0ull, 1048575ull, 1048576ull, 3145000ull, 6291456ull - 100, 6291456ull, 9999999ull}) {
      for (const std::size_t length : {1ul, 4096ul, 1048577ul}) {
        std::vector<std::byte> got(length);
        const std::int64_t n = image->ReadAt(at, got);
        const std::size_t expected = at >= rawBytes.size() ? 0 : std::min<std::size_t>(length, rawBytes.size() - at);
        ASSERT_EQ(n, static_cast<std::int64_t>(expected)) << at << "+" << length;
        EXPECT_EQ(0, std::memcmp(got.data(), rawBytes.data() + std::min<std::size_t>(at, rawBytes.size()), expected))
            << at << "+" << length;
      }
    }
  }

  testsupport::TempDir dir;
  fs::path raw;
  std::string rawBytes;
};

TEST_F(ImageSourceTest, EveryFormReadsAsTheRawImage) {
  const fs::path packed = testsupport::MakeExpertWitness(raw, dir / "packed", 1 << 20, true);
  const fs::path stored = testsupport::MakeExpertWitness(raw, dir / "stored", 1 << 20, false);
  ASSERT_TRUE(fs::exists(dir / "stored.E03"));                                    // several segments
  const fs::path split = testsupport::MakeSplitRaw(raw, dir / "split", 1000000);  // parts cut mid-sector
  // Numbered from .000 and chosen by .001 (the part a user takes for the first).
  const fs::path fromZero = testsupport::MakeSplitRaw(raw, dir / "zero", 3 << 20, 0);
  for (const fs::path& form : {packed, stored, split, fromZero}) {
    SCOPED_TRACE(form.filename().string());
    EXPECT_NE(platform::ImageSource::KindOf(form.string()), Kind::Plain);
    ExpectSameBytes(form);
    // A volume opened on it: the card's own boot sector and size.
    const auto volume = platform::Volume::Open(form.string());
    ASSERT_TRUE(volume && volume->Boot());
    EXPECT_EQ(volume->Size(), rawBytes.size());
    EXPECT_EQ(volume->Probed().type, "vfat");
    // A drive letter keeps its open image while it is unchanged.
    const char letter = platform::DriveTable::Instance().Attach(form.string());
    ASSERT_NE(letter, 0);
    const auto chosen = platform::Volume::Choose(letter);
    EXPECT_TRUE(chosen && chosen == platform::Volume::Choose(letter));
    platform::DriveTable::Instance().Detach(letter);
  }
}

TEST_F(ImageSourceTest, KindsByContentsAndNames) {
  const fs::path split = testsupport::MakeSplitRaw(raw, dir / "part", 2 << 20);
  const fs::path e01 = testsupport::MakeExpertWitness(raw, dir / "ewf", 1 << 20, true);
  fs::copy_file(e01, dir / "renamed.img");
  fs::copy_file(raw, dir / "raw.e01");
  fs::copy_file(raw, dir / "lone.001");
  struct Case {
    fs::path path;
    Kind kind;
  } cases[] = {
      {raw, Kind::Plain},
      {split, Kind::SplitRaw},
      {dir / "part.002", Kind::Plain},  // a later part alone is no image's start
      {dir / "lone.001", Kind::Plain},  // one part: the file is the image
      {e01, Kind::ExpertWitness},
      {dir / "renamed.img", Kind::Plain},  // a plain image's sectors are not read for a signature
      {dir / "raw.e01", Kind::Plain},      // the signature decides
      {dir.Path(), Kind::Plain},
      {dir / "missing.E01", Kind::Plain},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::ImageSource::KindOf(c.path.string()), c.kind) << c.path;
}

TEST_F(ImageSourceTest, IncompleteImagesAreRefused) {
  const fs::path split = testsupport::MakeSplitRaw(raw, dir / "split", 1 << 20);
  fs::remove(dir / "split.003");
  errno = 0;
  EXPECT_FALSE(platform::ImageSource::Open(split.string()));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(platform::Volume::Open(split.string()));

  const fs::path e01 = testsupport::MakeExpertWitness(raw, dir / "ewf", 1 << 20, false);
  fs::remove(dir / "ewf.E02");
  EXPECT_FALSE(platform::ImageSource::Open(e01.string()));
  EXPECT_FALSE(platform::Volume::Open(e01.string()));
}

// Byte edit: no imager writes a damaged chunk; a disk's decay does. Reads of
// the damaged chunk fail as an unreadable sector does; the rest of the image
// reads as before.
TEST_F(ImageSourceTest, ADamagedChunkReadsAsAnError) {
  const fs::path e01 = testsupport::MakeExpertWitness(raw, dir / "ewf", 8 << 20, true);
  {
    const int fd = ::open(e01.c_str(), O_WRONLY);
    const std::string noise(4096, '\x5a');
    ASSERT_EQ(pwrite(fd, noise.data(), noise.size(), static_cast<off_t>(fs::file_size(e01) / 2)), 4096);
    ::close(fd);
  }
  const auto image = platform::ImageSource::Open(e01.string());
  ASSERT_TRUE(image);
  std::vector<std::byte> chunk(32768);
  std::size_t failed = 0, same = 0;
  for (std::uint64_t at = 0; at < image->Size(); at += chunk.size()) {
    const std::int64_t n = image->ReadAt(at, chunk);
    if (n < 0) {
      ++failed;
    } else if (n == static_cast<std::int64_t>(chunk.size()) &&
               std::memcmp(chunk.data(), rawBytes.data() + at, chunk.size()) == 0) {
      ++same;
    }
  }
  EXPECT_GT(failed, 0u);
  EXPECT_GT(same, image->Size() / chunk.size() / 2);
}

}  // namespace
