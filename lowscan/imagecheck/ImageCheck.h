#pragma once
// The picture check both scanners call through OnImageCheck: decodes JPEG
// (scaled decoding), GIF, Windows bitmaps and Windows metafiles, reduces the
// picture into 175 x 175 keeping its proportions, and hands back a 16-bit
// Windows bitmap in place of the data. No GUI library: the CLI and the wizard
// share it.

#include <string>

#include "util/MemoryStream.h"

namespace lowscan::imagecheck {

inline constexpr int kImageCheckBox = 175;

// On entry `image` holds a file's data and `type` its extension. For the picture
// types above: true and `image` replaced by the reduced bitmap when it decodes,
// false when it does not. Other types (and metafile flavours no library here
// reads): `image` unchanged, true.
bool CheckImageData(util::TMemoryStream& image, const std::string& type);

// The handler shape of the scanners' OnImageCheck event.
void LowScanImageCheck(const void* sender, util::TMemoryStream& xImage, const std::string& sType, bool& bOk);

}  // namespace lowscan::imagecheck
