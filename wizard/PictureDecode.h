#pragma once
// The pictures the wizard shows beyond the engine's picture check: PNG, TIFF
// and WebP through Qt's image plugins, HEIF/HEIC through libheif, camera raws
// through their embedded preview (libraw). Only the picture shown changes:
// which files a scan keeps or drops stays the engine check's answer. GUI
// thread (or any thread with a QGuiApplication); no state.

#include "util/MemoryStream.h"

#include <string>

namespace wizard {

// The Undelete scan's image filter: the types whose data reaches the picture check.
extern const char kWizardImageFilter[];

// True for the types DecodePicture reads (extension in any case).
bool IsExtraPictureType(const std::string& type);
// Replaces `image` (the file's data) by a Windows bitmap of the picture reduced into
// 175 x 175; false, and `image` unchanged, when it does not decode.
bool DecodePicture(util::TMemoryStream& image, const std::string& type);

}  // namespace wizard
