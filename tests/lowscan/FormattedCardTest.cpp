// A memory card full of camera photos and documents is formatted again; the Low
// Level Scan of trellmond-cli must bring every photo back, decoding to the same
// pixels as the original.

#include <gtest/gtest.h>

#include <jpeglib.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "CatalogueSupport.h"
#include "tests/support/Command.h"
#include "tests/support/FatImage.h"
#include "tests/support/TempDir.h"

namespace {

void PutU16(std::string& s, std::uint16_t v) { s += static_cast<char>(v & 0xFF), s += static_cast<char>(v >> 8); }
void PutU32(std::string& s, std::uint32_t v) {
  PutU16(s, static_cast<std::uint16_t>(v & 0xFFFF));
  PutU16(s, static_cast<std::uint16_t>(v >> 16));
}

struct Pixels {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
};

// A photo-like picture: smooth light with noise, different for every seed.
Pixels Scene(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  Pixels p{width, height, std::vector<unsigned char>(static_cast<std::size_t>(width) * height * 3)};
  const int sx = 1 + static_cast<int>(random() % 7), sy = 1 + static_cast<int>(random() % 5);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      unsigned char* px = &p.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      px[0] = static_cast<unsigned char>((x * sx + static_cast<int>(random() % 24)) & 0xFF);
      px[1] = static_cast<unsigned char>((y * sy + static_cast<int>(random() % 24)) & 0xFF);
      px[2] = static_cast<unsigned char>(((x + y) * 2 + static_cast<int>(seed * 40)) & 0xFF);
    }
  }
  return p;
}

// Compresses with libjpeg; `app1` (Exif) replaces the JFIF header when given.
std::string Compress(const Pixels& p, int quality, const std::string& app1) {
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(p.width);
  info.image_height = static_cast<JDIMENSION>(p.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  if (!app1.empty()) info.write_JFIF_header = FALSE;
  jpeg_start_compress(&info, TRUE);
  if (!app1.empty()) {
    jpeg_write_marker(&info, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(app1.data()),
                      static_cast<unsigned>(app1.size()));
  }
  while (info.next_scanline < info.image_height) {
    auto* row = const_cast<unsigned char*>(&p.rgb[static_cast<std::size_t>(info.next_scanline) * p.width * 3]);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::string out(reinterpret_cast<char*>(buffer), size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return out;
}

// An Exif block as cameras write it: make and model in IFD0, a JPEG thumbnail in IFD1.
std::string ExifWithThumbnail(const std::string& thumbnail, int index) {
  const std::string make = "Pelmora";
  const std::string model = "CardCam " + std::to_string(index);
  std::string tiff = "II*";
  tiff += '\0';
  PutU32(tiff, 8);
  const std::uint32_t ifd0Size = 2 + 2 * 12 + 4, ifd1Size = 2 + 2 * 12 + 4;
  const std::uint32_t makeAt = 8 + ifd0Size + ifd1Size, modelAt = makeAt + static_cast<std::uint32_t>(make.size()) + 1;
  const std::uint32_t thumbAt = modelAt + static_cast<std::uint32_t>(model.size()) + 1;
  PutU16(tiff, 2);
  PutU16(tiff, 0x010F), PutU16(tiff, 2), PutU32(tiff, static_cast<std::uint32_t>(make.size()) + 1), PutU32(tiff, makeAt);
  PutU16(tiff, 0x0110), PutU16(tiff, 2), PutU32(tiff, static_cast<std::uint32_t>(model.size()) + 1), PutU32(tiff, modelAt);
  PutU32(tiff, 8 + ifd0Size);
  PutU16(tiff, 2);
  PutU16(tiff, 0x0201), PutU16(tiff, 4), PutU32(tiff, 1), PutU32(tiff, thumbAt);
  PutU16(tiff, 0x0202), PutU16(tiff, 4), PutU32(tiff, 1), PutU32(tiff, static_cast<std::uint32_t>(thumbnail.size()));
  PutU32(tiff, 0);
  tiff += make + '\0' + model + '\0' + thumbnail;
  return std::string("Exif\0\0", 6) + tiff;
}

Pixels Decode(const std::string& jpeg) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.data()), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  Pixels p{static_cast<int>(info.output_width), static_cast<int>(info.output_height), {}};
  p.rgb.resize(static_cast<std::size_t>(p.width) * p.height * 3);
  while (info.output_scanline < info.output_height) {
    unsigned char* row = &p.rgb[static_cast<std::size_t>(info.output_scanline) * p.width * 3];
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return p;
}

struct Card {
  const char* name;
  int fatBits;
  std::uint64_t sizeKiB;
  int sectorsPerCluster;
};

class FormattedCard : public ::testing::TestWithParam<Card> {};

// FAT32 with one-sector clusters, and FAT16 with 4 KiB clusters whose data area
// does not start on a 4 KiB boundary of the drive: the quick scan must test the
// volume's own cluster starts.
TEST_P(FormattedCard, LowLevelScanRecoversEveryPhotoWithItsPixels) {
  const Card& c = GetParam();
  testsupport::TempDir dir;
  const auto imagePath = dir / "card.img";
  testsupport::FatImageOptions options;
  options.fatBits = c.fatBits;
  options.sizeKiB = c.sizeKiB;
  options.sectorsPerCluster = c.sectorsPerCluster;
  testsupport::FatImage card(imagePath, options);
  card.MakeDir("/DCIM");
  card.MakeDir("/DCIM/100CAM");
  card.MakeDir("/Docs");
  std::vector<std::string> photos;
  for (int i = 0; i < 8; ++i) {
    const Pixels scene = Scene(240 + 80 * (i % 4), 180 + 60 * (i % 3), static_cast<unsigned>(i + 1));
    Pixels small = Scene(80, 60, static_cast<unsigned>(i + 100));
    const std::string photo = Compress(scene, 85, ExifWithThumbnail(Compress(small, 70, ""), i));
    photos.push_back(photo);
    char name[32];
    std::snprintf(name, sizeof name, "/DCIM/100CAM/IMG_%04d.JPG", i + 1);
    card.AddFile(name, photo);
    if (i == 3) {
      for (const auto& sample : lowscan::testing::Samples()) {
        if (sample.extension == "pdf" || sample.extension == "docx") card.AddFile("/Docs/" + sample.path.filename().string(), sample.bytes);
      }
    }
  }
  // Formatting again writes a new boot sector, empty tables and an empty root.
  testsupport::RunOrThrow({"mkfs.fat", "-F", std::to_string(c.fatBits), "-s", std::to_string(c.sectorsPerCluster),
                           "-S", "512", "-n", "NEWCARD", imagePath.string()});
  const std::string before = testsupport::Sha256Of(imagePath);

  const auto out = dir / "recovered";
  const auto r = testsupport::RunCommand(
      {testsupport::BuiltProgram("trellmond-cli"), "scan", imagePath.string(), "--low", "--out", out.string()});
  ASSERT_EQ(r.exitCode, 0) << r.errors << r.output;
  EXPECT_EQ(testsupport::Sha256Of(imagePath), before);

  std::vector<Pixels> recovered;
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    if (entry.path().extension() == ".jpg") recovered.push_back(Decode(testsupport::ReadFileBytes(entry.path())));
  }
  for (std::size_t i = 0; i < photos.size(); ++i) {
    const Pixels want = Decode(photos[i]);
    bool found = false;
    for (const Pixels& got : recovered) {
      found = found || (got.width == want.width && got.height == want.height && got.rgb == want.rgb);
    }
    EXPECT_TRUE(found) << "photo " << i + 1 << " not recovered";
  }
  EXPECT_EQ(recovered.size(), photos.size());
  bool pdf = false;
  for (const auto& entry : std::filesystem::directory_iterator(out)) pdf = pdf || entry.path().extension() == ".pdf";
  EXPECT_TRUE(pdf);
}

INSTANTIATE_TEST_SUITE_P(Cards, FormattedCard,
                         ::testing::Values(Card{"Fat32SectorClusters", 32, 40 * 1024, 1},
                                           Card{"Fat16FourKiBClusters", 16, 32 * 1024, 8}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
