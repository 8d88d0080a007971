// The picture check's decoders (JPEG, GIF, BMP, WMF, EMF) and the picture-end
// walker the carver keeps pictures by. The first input byte picks the type.

#include <string>

#include "lowscan/imagecheck/ImageCheck.h"
#include "lowscan/ends/PictureEnd.h"
#include "tests/fuzz/FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const std::string kTypes[] = {"jpg", "gif", "bmp", "wmf", "emf", "jpeg"};
  const std::string& type = kTypes[data[0] % std::size(kTypes)];
  const std::string_view picture = fuzz::Text(data + 1, size - 1);

  lowscan::ends::TPictureEnd end(type);
  // Fed as the carver feeds it: growing prefixes, then the whole picture.
  for (std::size_t n = 1; n < picture.size(); n = n * 2 + 7) {
    if (const auto at = end.Feed(picture.substr(0, n)); at && *at < 0) __builtin_trap();
  }
  (void)end.Feed(picture);

  util::TMemoryStream stream;
  stream.Write(reinterpret_cast<const std::byte*>(picture.data()), static_cast<std::int64_t>(picture.size()));
  (void)lowscan::imagecheck::CheckImageData(stream, type);
  return 0;
}
