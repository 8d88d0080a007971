#include "lowscan/imagecheck/ImageCheck.h"

#include <exception>

#include "lowscan/imagecheck/ImageCheckInternal.h"
#include "util/Geometry.h"
#include "util/Text.h"

namespace lowscan::imagecheck {

bool CheckImageData(util::TMemoryStream& image, const std::string& type) {
  const std::string kind = util::LowerCase(type);
  const bool jpeg = kind == "jpg" || kind == "jpeg";
  if (!jpeg && kind != "gif" && kind != "bmp" && kind != "wmf" && kind != "emf") return true;
  if (kind == "emf") return true;  // no enhanced-metafile reader is available here
  try {
    const std::span<const std::byte> data = image.Bytes();
    RgbImage picture;
    int fullWidth = 0, fullHeight = 0;
    Decode result = Decode::kCorrupt;
    if (jpeg) {
      result = DecodeJpeg(data, kImageCheckBox, picture, fullWidth, fullHeight);
    } else if (kind == "gif") {
      result = DecodeGif(data, picture);
    } else if (kind == "bmp") {
      result = DecodeBmp(data, picture);
    } else {
      result = DecodeWmf(data, picture);
    }
    if (result == Decode::kUnsupported) return true;
    if (result != Decode::kDecoded || picture.Width <= 0 || picture.Height <= 0) return false;
    if (!jpeg) {
      fullWidth = picture.Width;
      fullHeight = picture.Height;
    }
    util::TPoint size;
    util::ProportionalSize({fullWidth, fullHeight}, {kImageCheckBox, kImageCheckBox}, size);
    if (size.X <= 0 || size.Y <= 0) return false;
    const std::vector<std::byte> bitmap = WriteBitmap16(Stretch(picture, size.X, size.Y));
    image.Clear();
    image.Assign(bitmap);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void LowScanImageCheck(const void*, util::TMemoryStream& xImage, const std::string& sType, bool& bOk) {
  bOk = CheckImageData(xImage, sType);
}

}  // namespace lowscan::imagecheck
