// The structure walkers on the committed samples: each finds its sample's end
// whatever pieces the bytes come in, never claims more than it was given, and
// refuses headers whose fields do not agree.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "CatalogueSupport.h"
#include "lowscan/FileEnd.h"

namespace lowscan {
namespace {

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// Feeds `bytes` in pieces of `piece` until the walk decides.
TEndVerdict Walk(TFileEnd& walker, std::string_view bytes, std::size_t piece) {
  TEndVerdict verdict = TEndVerdict::kWalking;
  for (std::size_t at = 0; at < bytes.size() && verdict == TEndVerdict::kWalking; at += piece) {
    verdict = walker.Feed(bytes.substr(at, piece));
  }
  return verdict;
}

class FileEndPieces : public ::testing::TestWithParam<std::size_t> {};

TEST_P(FileEndPieces, EverySampleEndsAtItsOwnLastByte) {
  int walked = 0;
  for (const auto& sample : testing::Samples()) {
    SCOPED_TRACE(sample.path.filename().string());
    const auto walker = MakeFileEnd(sample.extension, 0);
    if (!walker) continue;
    ++walked;
    const std::string bytes = sample.bytes + RandomBytes(8192, 7);
    const TEndVerdict verdict = Walk(*walker, bytes, GetParam());
    const auto size = static_cast<std::int64_t>(sample.bytes.size());
    if (sample.extension == "pdf" || sample.extension == "ps") {
      // The look-ahead for a later update goes on; the end found so far holds.
      EXPECT_EQ(verdict, TEndVerdict::kWalking);
      EXPECT_EQ(walker->TentativeEnd(), size);
    } else {
      ASSERT_EQ(verdict, TEndVerdict::kEnd);
      EXPECT_EQ(walker->End(), size);
    }
    EXPECT_TRUE(walker->HeaderParsed());
  }
  EXPECT_GE(walked, 50);
}

INSTANTIATE_TEST_SUITE_P(Pieces, FileEndPieces, ::testing::Values(1u, 7u, 512u, 1u << 20));

TEST(FileEnd, ACloneWalksOnAloneAndAgreesWithTheOriginal) {
  for (const auto& sample : testing::Samples()) {
    const auto walker = MakeFileEnd(sample.extension, 0);
    if (!walker) continue;
    SCOPED_TRACE(sample.path.filename().string());
    const std::string bytes = sample.bytes + RandomBytes(4096, 3);
    const std::size_t half = sample.bytes.size() / 2;
    walker->Feed(std::string_view(bytes).substr(0, half));
    const auto copy = walker->Clone();
    copy->Feed(std::string_view(bytes).substr(half));
    EXPECT_EQ(walker->Fed(), static_cast<std::int64_t>(half));
    walker->Feed(std::string_view(bytes).substr(half));
    EXPECT_EQ(copy->Verdict(), walker->Verdict());
    EXPECT_EQ(copy->End(), walker->End());
  }
}

// Cut at every length (as at the end of a drive, the limit being the bytes
// there are) and followed by random bytes: no walk claims bytes it was not
// given, and a cut file is never taken for a whole one.
TEST(FileEnd, TruncatedSamplesNeverReachPastWhatTheyWereGiven) {
  for (const auto& sample : testing::Samples()) {
    if (!MakeFileEnd(sample.extension, 0)) continue;
    SCOPED_TRACE(sample.path.filename().string());
    const std::size_t step = sample.bytes.size() > 2000 ? 37 : 1;
    for (std::size_t length = 0; length < sample.bytes.size(); length += step) {
      const std::string cut = sample.bytes.substr(0, length);
      const auto atDriveEnd = MakeFileEnd(sample.extension, static_cast<std::int64_t>(std::max<std::size_t>(1, length)));
      Walk(*atDriveEnd, cut, 4096);
      if (atDriveEnd->Verdict() == TEndVerdict::kEnd) {
        EXPECT_LE(atDriveEnd->End(), static_cast<std::int64_t>(length)) << length;
      }
      const auto inNoise = MakeFileEnd(sample.extension, 0);
      const std::string noisy = cut + RandomBytes(20000, static_cast<unsigned>(length));
      Walk(*inNoise, noisy, 4096);
      if (inNoise->Verdict() == TEndVerdict::kEnd) {
        EXPECT_LE(inNoise->End(), static_cast<std::int64_t>(noisy.size())) << length;
      }
    }
  }
}

struct Corruption {
  const char* name;
  const char* sample;
  std::size_t offset;
  char value;
};

class FileEndCorruption : public ::testing::TestWithParam<Corruption> {};

TEST_P(FileEndCorruption, AHeaderWhoseFieldsDisagreeIsNoFile) {
  const Corruption& c = GetParam();
  std::string bytes;
  std::string extension;
  for (const auto& s : testing::Samples()) {
    if (s.path.filename() == c.sample) bytes = s.bytes, extension = s.extension;
  }
  ASSERT_FALSE(bytes.empty());
  bytes[c.offset] = c.value;
  // The drive ends a little behind the sample.
  const std::string drive = bytes + RandomBytes(4096, 1);
  const auto walker = MakeFileEnd(extension, static_cast<std::int64_t>(drive.size()));
  EXPECT_EQ(Walk(*walker, drive, 4096), TEndVerdict::kBadHeader);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, FileEndCorruption,
    ::testing::Values(Corruption{"BitmapPlanes", "sample.bmp", 26, 2}, Corruption{"BitmapDepth", "sample.bmp", 28, 3},
                      Corruption{"BitmapInfoSize", "sample.bmp", 14, 41},
                      Corruption{"TiffFirstDirectoryOutside", "sample.tif", 7, 0x40},
                      Corruption{"PngSignature", "sample.png", 4, 'x'}, Corruption{"PngFirstChunk", "sample.png", 12, 'x'},
                      Corruption{"ZipNameLength", "sample.zip", 26, 0}, Corruption{"OleSectorShift", "sample.doc", 30, 10},
                      Corruption{"IconReserved", "sample.ico", 0, 1}, Corruption{"GifWidth", "sample.gif", 6, 0},
                      Corruption{"JpegStart", "sample.jpg", 1, 0}, Corruption{"Id3Version", "sample.mp3", 3, 9},
                      Corruption{"OggFirstPage", "sample.ogg", 5, 0}, Corruption{"FileTypeBox", "sample.mp4", 4, 'x'},
                      Corruption{"RiffFormType", "sample.wav", 8, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lowscan
