#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

#include <string>
#include <vector>

#include "tests/lowscan/CatalogueSupport.h"
#include "lowscan/imagecheck/ImageCheck.h"
#include "util/ByteReader.h"

namespace lowscan::imagecheck {
namespace {

std::string SampleBytes(const std::string& name) {
  for (const auto& sample : testing::Samples()) {
    if (sample.path.filename() == name) return sample.bytes;
  }
  ADD_FAILURE() << "no sample " << name;
  return {};
}

// A plain grey JPEG of the given size, written with libjpeg.
std::string MakeJpeg(int width, int height) {
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3, 128);
  while (info.next_scanline < info.image_height) {
    unsigned char* p = row.data();
    jpeg_write_scanlines(&info, &p, 1);
  }
  jpeg_finish_compress(&info);
  std::string out(reinterpret_cast<char*>(buffer), size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return out;
}

struct Bitmap {
  std::uint32_t width = 0, height = 0;
  std::uint16_t bits = 0;
};

Bitmap ReadBitmap(const util::TMemoryStream& stream) {
  const util::ByteReader r(stream.Bytes());
  EXPECT_EQ(r.U8(0), 'B');
  EXPECT_EQ(r.U8(1), 'M');
  EXPECT_EQ(r.U32(2), static_cast<std::uint32_t>(stream.Size()));
  return {r.U32(18), r.U32(22), r.U16(28)};
}

TEST(ImageCheck, LargeJpegIsReducedByAWholePercentageTo16BitBitmap) {
  util::TMemoryStream image;
  image.Assign(MakeJpeg(4000, 3000));
  ASSERT_TRUE(CheckImageData(image, "JPG"));  // the type is compared in lower case
  const Bitmap bmp = ReadBitmap(image);
  EXPECT_EQ(bmp.width, 160u);
  EXPECT_EQ(bmp.height, 120u);
  EXPECT_EQ(bmp.bits, 16);
}

struct PictureCase {
  const char* sample;
  const char* type;
};

class DecodablePicture : public ::testing::TestWithParam<PictureCase> {};

TEST_P(DecodablePicture, SampleBecomesABitmapWithinTheBox) {
  util::TMemoryStream image;
  image.Assign(SampleBytes(GetParam().sample));
  ASSERT_TRUE(CheckImageData(image, GetParam().type));
  const Bitmap bmp = ReadBitmap(image);
  EXPECT_GT(bmp.width, 0u);
  EXPECT_LE(bmp.width, 175u);
  EXPECT_LE(bmp.height, 175u);
  EXPECT_TRUE(bmp.width == 175u || bmp.height == 175u || bmp.width >= 170u || bmp.height >= 170u);
  EXPECT_EQ(bmp.bits, 16);
}

INSTANTIATE_TEST_SUITE_P(Samples, DecodablePicture,
                         ::testing::Values(PictureCase{"sample.jpg", "jpg"}, PictureCase{"sample.exif.jpg", "jpeg"},
                                           PictureCase{"sample.jpeg", "jpeg"}, PictureCase{"sample.gif", "gif"},
                                           PictureCase{"sample.bmp", "bmp"}, PictureCase{"sample.wmf", "wmf"}),
                         [](const auto& info) {
                           std::string name = info.param.sample;
                           for (char& c : name) c = c == '.' ? '_' : c;
                           return name;
                         });

TEST(ImageCheck, DataThatDoesNotDecodeIsRejected) {
  const std::string jpeg = SampleBytes("sample.jpg");
  const std::string bmp = SampleBytes("sample.bmp");
  const std::string gif = SampleBytes("sample.gif");
  // A metafile whose header claims a largest record of 4 GB, far past its own end.
  std::string hugeRecord = SampleBytes("sample.wmf");
  hugeRecord.replace(22 + 12, 4, "\xFF\xFF\xFF\x7F");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"jpg", jpeg.substr(0, jpeg.size() / 2)},           // cut short
      {"jpg", std::string("\xFF\xD8\xFF\xE0") + std::string(600, 'x')},
      {"bmp", bmp.substr(0, bmp.size() - 100)},           // rows missing
      {"bmp", "BM" + std::string(60, '\x7F')},
      {"gif", gif.substr(0, 40)},
      {"gif", "GIF89a" + std::string(100, '\0')},
      {"wmf", std::string("\xD7\xCD\xC6\x9A") + std::string(30, '\xFF')},
      {"wmf", hugeRecord},
  };
  for (const auto& [type, data] : cases) {
    util::TMemoryStream image;
    image.Assign(data);
    EXPECT_FALSE(CheckImageData(image, type)) << type << " of " << data.size() << " bytes";
  }
}

TEST(ImageCheck, OtherTypesAreLeftUnchangedAndPass) {
  for (const std::string type : {"png", "tif", "emf", ""}) {
    util::TMemoryStream image;
    image.Assign(SampleBytes("sample.png"));
    ASSERT_TRUE(CheckImageData(image, type)) << type;
    EXPECT_EQ(image.View(), SampleBytes("sample.png"));
  }
}

TEST(ImageCheck, EveryTruncationOfAJpegIsHandled) {
  const std::string jpeg = SampleBytes("sample.jpg");
  for (std::size_t n = 0; n < jpeg.size(); n += 37) {
    util::TMemoryStream image;
    image.Assign(jpeg.substr(0, n));
    EXPECT_FALSE(CheckImageData(image, "jpg")) << n;
  }
}

}  // namespace
}  // namespace lowscan::imagecheck
