// Which walker follows which catalogue type.

#include "lowscan/ends/FileEndWalkers.h"
#include "util/Text.h"

namespace lowscan::ends {

std::unique_ptr<TFileEnd> MakeFileEnd(std::string_view extension, std::int64_t limit) {
  const std::string e = util::LowerCase(std::string(extension));
  std::unique_ptr<TFileEnd> walker;
  if (e == "jpg" || e == "jpeg") walker = Jpeg();
  else if (e == "png") walker = Png();
  else if (e == "gif") walker = Gif();
  else if (e == "bmp") walker = Bmp();
  else if (e == "ico") walker = Ico();
  else if (e == "tif" || e == "cr2" || e == "orf" || e == "rw2") walker = Tiff();
  else if (e == "avi" || e == "wav" || e == "webp") walker = Riff();
  else if (e == "aif") walker = Iff(0);
  else if (e == "djvu") walker = Iff(4);
  else if (e == "zip" || e == "docx" || e == "xlsx" || e == "pptx" || e == "odt" || e == "ods" || e == "epub" ||
           e == "jar") walker = Zip();
  else if (e == "pdf") walker = PdfLike("%PDF-");
  else if (e == "ps") walker = PdfLike("%!PS");
  else if (e == "doc" || e == "xls" || e == "ppt") walker = Ole2();
  else if (e == "mp4" || e == "mov" || e == "3gp" || e == "m4a" || e == "heic" || e == "jp2") walker = IsoBoxes();
  else if (e == "mp3") walker = Mp3();
  else if (e == "ogg" || e == "opus") walker = Ogg();
  else if (e == "mid") walker = Midi();
  else if (e == "flv") walker = Flv();
  else if (e == "mkv" || e == "webm") walker = Ebml();
  else if (e == "wmv" || e == "wma") walker = Asf();
  else if (e == "gz") walker = Gzip();
  else if (e == "bz2") walker = Bzip2();
  else if (e == "pcx") walker = Pcx();
  else if (e == "dds") walker = Dds();
  else if (e == "psd") walker = Psd();
  else if (e == "flac") walker = Flac();
  else if (e == "amr") walker = Amr();
  else if (e == "rtf") walker = Rtf();
  else if (e == "xml") walker = Xml();
  else if (e == "mpg") walker = MpegPs();
  else if (e == "voc") walker = Voc();
  else walker = DeclaredSize(e);
  if (walker && limit > 0) walker->SetLimit(limit);
  return walker;
}

}  // namespace lowscan::ends
