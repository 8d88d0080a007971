#include <gtest/gtest.h>

#include <string>

#include "tests/lowscan/CatalogueSupport.h"
#include "lowscan/ends/PictureEnd.h"

namespace lowscan::ends {
namespace {

std::string Sample(const std::string& name) {
  for (const auto& s : testing::Samples()) {
    if (s.path.filename() == name) return s.bytes;
  }
  ADD_FAILURE() << name;
  return {};
}

TEST(PictureEnd, FindsTheEndOfJpegsAndBitmapsWhateverTheyAreFedIn) {
  for (const std::string name : {"sample.jpg", "sample.jpeg", "sample.exif.jpg", "sample.bmp"}) {
    const std::string picture = Sample(name);
    const std::string carved = picture + std::string(5000, '\xFF') + std::string("\xFF\xD9", 2);
    for (const std::size_t piece : {1u, 7u, 512u, 100000u}) {
      TPictureEnd end(name.substr(name.rfind('.') + 1));
      std::optional<std::int64_t> found;
      for (std::size_t n = piece; !found && n < carved.size() + piece; n += piece) {
        found = end.Feed(std::string_view(carved).substr(0, std::min(n, carved.size())));
      }
      ASSERT_TRUE(found) << name << " in pieces of " << piece;
      EXPECT_EQ(*found, static_cast<std::int64_t>(picture.size())) << name << " in pieces of " << piece;
    }
  }
}

TEST(PictureEnd, AThumbnailInsideTheExifBlockIsNotTheEnd) {
  // An APP1 segment holding a whole small JPEG, then the real picture.
  const std::string thumbnail = Sample("sample.jpeg");
  std::string app1 = std::string("Exif\0\0", 6) + thumbnail;
  const std::size_t length = app1.size() + 2;
  std::string photo = std::string("\xFF\xD8\xFF\xE1", 4) + static_cast<char>(length >> 8) +
                      static_cast<char>(length & 0xFF) + app1 + Sample("sample.jpeg").substr(2);
  TPictureEnd end("JPG");
  EXPECT_EQ(end.Feed(photo + "trailing"), static_cast<std::int64_t>(photo.size()));
}

TEST(PictureEnd, OtherTypesAndBrokenDataHaveNoEnd) {
  EXPECT_FALSE(TPictureEnd("png").Feed(Sample("sample.png")));
  EXPECT_FALSE(TPictureEnd("jpg").Feed(std::string("\xFF\xD8xyz", 5) + std::string(100, 'q')));
  EXPECT_FALSE(TPictureEnd("bmp").Feed(std::string("BM\x01\0\0\0", 6)));
}

}  // namespace
}  // namespace lowscan::ends
