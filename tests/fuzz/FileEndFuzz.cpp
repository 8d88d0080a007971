// The structure-end walkers of the carved formats: a file's bytes fed in pieces, as
// read steps hand them over, to the walker of the type the first input byte picks.
// Whatever the bytes, a walker ends inside what it was fed and its limit.

#include <string>

#include "lowscan/ends/FileEnd.h"
#include "tests/fuzz/FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static const std::string kTypes[] = {"jpg", "png", "gif", "bmp", "ico", "tif", "cr2", "orf", "rw2", "raf",
                                       "avi", "wav", "webp", "aif", "zip", "docx", "pdf", "doc", "xls", "mp4",
                                       "mov", "3gp", "m4a", "mp3", "flac", "ogg", "mid", "flv", "mkv", "webm",
                                       "wmv", "psd", "heic", "jp2", "pcx", "dds", "wmf", "rtf", "gz",   "bz2",
                                       "amr", "xml", "mpg", "voc", "wma", "ppt", "odt", "jar"};
  const std::string& type = kTypes[data[0] % std::size(kTypes)];
  const std::size_t piece = 1 + (data[1] % 64) * 97;
  const std::string_view file = fuzz::Text(data + 2, size - 2);
  const auto limit = static_cast<std::int64_t>(file.size() + (data[1] & 0x80 ? 0 : 1000));
  auto walker = lowscan::ends::MakeFileEnd(type, limit);
  if (!walker) return 0;
  walker->SetLimit(limit);
  for (std::size_t at = 0; at < file.size() && walker->Verdict() == lowscan::ends::TEndVerdict::kWalking; at += piece) {
    walker->Feed(file.substr(at, piece));
  }
  if (walker->Verdict() == lowscan::ends::TEndVerdict::kEnd && walker->End() > limit) {
    __builtin_trap();
  }
  return 0;
}
