// The structure walkers on the committed samples: each finds its sample's end
// whatever pieces the bytes come in, never claims more than it was given, and
// refuses headers whose fields do not agree.

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/lowscan/CatalogueSupport.h"
#include "lowscan/ends/FileEnd.h"

namespace lowscan::ends {
namespace {

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

testing::Sample SampleNamed(const std::string& name) {
  for (const auto& s : testing::Samples()) {
    if (s.path.filename() == name) return s;
  }
  return {};
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
  const testing::Sample sample = SampleNamed(c.sample);
  std::string bytes = sample.bytes;
  const std::string& extension = sample.extension;
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
                      Corruption{"RiffFormType", "sample.wav", 8, 1}, Corruption{"GzipMethod", "sample.gz", 2, 7},
                      Corruption{"Bzip2BlockSize", "sample.bz2", 3, '0'},
                      Corruption{"Bzip2FirstBlockMark", "sample.bz2", 6, 0x42},
                      Corruption{"PcxPlanes", "sample.pcx", 65, 5}, Corruption{"PcxLineBytes", "sample.pcx", 66, 1},
                      Corruption{"DdsHeaderSize", "sample.dds", 4, 100},
                      Corruption{"DdsPixelFormatSize", "sample.dds", 76, 8},
                      Corruption{"PsdChannels", "sample.psd", 13, 0}, Corruption{"PsdDepth", "sample.psd", 23, 7},
                      Corruption{"FlacFirstBlockNotStreamInfo", "sample.flac", 4, 1},
                      Corruption{"FlacSmallestBlock", "sample.flac", 8, 0},
                      Corruption{"FlacBlockSizesDisagree", "sample.flac", 10, 0x0F},
                      Corruption{"AmrMagic", "sample.amr", 5, ' '}, Corruption{"RtfGroup", "sample.rtf", 0, '['},
                      Corruption{"XmlDeclaration", "sample.xml", 1, '!'},
                      Corruption{"MpegPackMarkerBit", "sample.mpg", 4, 0x40},
                      Corruption{"VocChecksum", "sample.voc", 24, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct Damage {
  const char* name;
  const char* sample;
  std::size_t offset;
};

class FileEndDamage : public ::testing::TestWithParam<Damage> {};

// A compressed stream or a frame whose check fails inside the file: the walk
// falls back to the marker rules instead of naming an end.
TEST_P(FileEndDamage, ADamagedStreamNamesNoEnd) {
  const Damage& d = GetParam();
  const testing::Sample sample = SampleNamed(d.sample);
  std::string bytes = sample.bytes;
  const std::string& extension = sample.extension;
  ASSERT_GT(bytes.size(), d.offset);
  bytes[d.offset] = static_cast<char>(bytes[d.offset] ^ 0x24);
  const std::string drive = bytes + RandomBytes(4096, 2);
  for (const std::size_t piece : {std::size_t{1}, std::size_t{4096}}) {
    const auto walker = MakeFileEnd(extension, static_cast<std::int64_t>(drive.size()));
    EXPECT_NE(Walk(*walker, drive, piece), TEndVerdict::kEnd) << piece;
    EXPECT_TRUE(walker->HeaderParsed());
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, FileEndDamage,
                         ::testing::Values(Damage{"GzipData", "sample.gz", 30}, Damage{"GzipTrailer", "sample.gz", 47},
                                           Damage{"Bzip2Block", "sample.bz2", 40},
                                           Damage{"Bzip2SecondBlock", "sample.blocks.bz2", 100},
                                           Damage{"FlacFrame", "sample.flac", 1500},
                                           Damage{"FlacSecondFrame", "sample.stereo.flac", 2000}),
                         [](const auto& info) { return std::string(info.param.name); });

struct Written {
  const char* name;
  const char* extension;
  std::string bytes;
  TEndVerdict verdict;
  std::size_t end;  // with kEnd
};

class FileEndWritten : public ::testing::TestWithParam<Written> {};

// Files written byte by byte where the text formats and the frame formats hide
// their ends: markup and escapes that look like the end, and what follows it.
TEST_P(FileEndWritten, EndsWhereTheStructureCloses) {
  const Written& w = GetParam();
  for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{4096}}) {
    const auto walker = MakeFileEnd(w.extension, 0);
    std::int64_t end = 0;
    TEndVerdict verdict = Walk(*walker, w.bytes, piece);
    if (verdict == TEndVerdict::kEnd) end = walker->End();
    EXPECT_EQ(verdict, w.verdict) << piece;
    if (w.verdict == TEndVerdict::kEnd) {
      EXPECT_EQ(end, static_cast<std::int64_t>(w.end)) << piece;
    }
  }
}

std::string AmrFrames() {
  // A 12.2 kbit/s frame (type 7, 31 bytes of speech), a no-data frame, then slack.
  return std::string("#!AMR\n\x3C", 7) + std::string(31, '\x55') + "\x7C" + std::string(8, '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FileEndWritten,
    ::testing::Values(
        Written{"XmlMarkupThatLooksLikeTheEnd", "xml",
                "<?xml version=\"1.0\"?><!-- </r> --><r a=\"x>y\" b='</r>'><![CDATA[</r>]]><e/><?pi </r>?>"
                "</r>\r\n<r/>",
                TEndVerdict::kEnd, 91},
        Written{"XmlDoctypeAndEmptyRoot", "xml",
                "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY e \"v>\">]>\n<r/>\nmore", TEndVerdict::kEnd, 59},
        Written{"XmlTextOutsideTheRoot", "xml", "<?xml version=\"1.0\"?>text<r/>", TEndVerdict::kLost, 0},
        Written{"XmlControlByte", "xml", std::string("<?xml version=\"1.0\"?><r>te\x01xt</r>"), TEndVerdict::kLost, 0},
        Written{"RtfEscapedBraces", "rtf", "{\\rtf1{\\f0 a}\\{ \\} \\\\}\n}x", TEndVerdict::kEnd, 23},
        Written{"RtfBinaryData", "rtf", "{\\rtf1 \\bin3 }}}}}xx", TEndVerdict::kEnd, 17},
        Written{"RtfControlByte", "rtf", std::string("{\\rtf1 te\x02xt}"), TEndVerdict::kLost, 0},
        Written{"AmrFramesBeforeSlack", "amr", AmrFrames(), TEndVerdict::kEnd, 39}),
    [](const auto& info) { return std::string(info.param.name); });

// Where types share a marker, the structure tells which one a file is.
TEST(FileEnd, TheStructureTellsWhichTypeOfAFamilyAFileIs) {
  const std::set<std::string> family = {"doc", "xls", "ppt", "docx", "xlsx", "pptx", "odt",
                                        "ods", "epub", "jar", "zip", "wma", "wmv"};
  for (const auto& sample : testing::Samples()) {
    if (!family.count(sample.extension)) continue;
    SCOPED_TRACE(sample.path.filename().string());
    // Walked as every other member of its family, it shows its own type.
    for (const std::string& as : family) {
      const auto walker = MakeFileEnd(as, 0);
      Walk(*walker, sample.bytes + RandomBytes(4096, 4), 512);
      if (walker->Verdict() == TEndVerdict::kEnd) {
        EXPECT_EQ(walker->ShownType(), sample.extension) << as;
      }
    }
  }
}

}  // namespace
}  // namespace lowscan::ends
