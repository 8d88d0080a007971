#pragma once
// The walkers behind MakeFileEnd, one file each. `limit` bounds nothing here: the
// factory sets it on the walker.

#include <memory>
#include <string_view>

#include "lowscan/ends/FileEnd.h"

namespace lowscan::ends {

std::unique_ptr<TFileEnd> Jpeg();
std::unique_ptr<TFileEnd> Png();
std::unique_ptr<TFileEnd> Gif();
std::unique_ptr<TFileEnd> Bmp();
std::unique_ptr<TFileEnd> Ico();
std::unique_ptr<TFileEnd> Tiff();
// RIFF (little-endian sizes) and IFF (big-endian), `prefix` bytes before the form chunk (DjVu: 4).
std::unique_ptr<TFileEnd> Riff();
std::unique_ptr<TFileEnd> Iff(std::size_t prefix);
std::unique_ptr<TFileEnd> Zip();
// PDF and PostScript: the last "%%EOF" line within a bounded look-ahead.
std::unique_ptr<TFileEnd> PdfLike(std::string_view magic);
std::unique_ptr<TFileEnd> Ole2();
std::unique_ptr<TFileEnd> IsoBoxes();
std::unique_ptr<TFileEnd> Mp3();
std::unique_ptr<TFileEnd> Ogg();
std::unique_ptr<TFileEnd> Midi();
std::unique_ptr<TFileEnd> Flv();
// Matroska and WebM.
std::unique_ptr<TFileEnd> Ebml();
// Windows Media.
std::unique_ptr<TFileEnd> Asf();
std::unique_ptr<TFileEnd> Gzip();
std::unique_ptr<TFileEnd> Bzip2();
std::unique_ptr<TFileEnd> Pcx();
std::unique_ptr<TFileEnd> Dds();
std::unique_ptr<TFileEnd> Psd();
std::unique_ptr<TFileEnd> Flac();
std::unique_ptr<TFileEnd> Amr();
std::unique_ptr<TFileEnd> Rtf();
std::unique_ptr<TFileEnd> Xml();
// MPEG-1 system and MPEG-2 program streams.
std::unique_ptr<TFileEnd> MpegPs();
// Creative Voice files.
std::unique_ptr<TFileEnd> Voc();
// Formats whose header states the size of the whole file.
std::unique_ptr<TFileEnd> DeclaredSize(std::string_view kind);

}  // namespace lowscan::ends
