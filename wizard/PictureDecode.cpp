#include "wizard/PictureDecode.h"

#include "lowscan/imagecheck/ImageCheck.h"
#include "util/Geometry.h"
#include "util/Text.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <climits>
#include <memory>
#include <string_view>

#ifdef TRELLMOND_HAVE_LIBRAW
#include <libraw/libraw.h>
#endif
#ifdef TRELLMOND_HAVE_LIBHEIF
#include <libheif/heif.h>
#endif

namespace wizard {

const char kWizardImageFilter[] =
    "jpg;bmp;emf;wmf;png;tif;tiff;webp;heic;heif;hei;cr2;cr3;nef;nrw;arw;srf;sr2;orf;rw2;raf;dng;pef;srw;x3f;kdc;mrw";

namespace {

// The reduced picture is as large as the engine's check makes its own.
constexpr int kBox = lowscan::imagecheck::kImageCheckBox;

// With the three-letter forms an Undelete scan reports from short names ("photo.webp" is WEB).
constexpr std::array<std::string_view, 7> kQtTypes = {"png", "tif", "tiff", "webp", "web", "jp2", "tga"};
constexpr std::array<std::string_view, 3> kHeifTypes = {"heic", "heif", "hei"};
constexpr std::array<std::string_view, 19> kRawTypes = {"cr2", "cr3", "nef", "nrw", "arw", "srf", "sr2",
                                                        "orf", "rw2", "raf", "dng", "pef", "srw", "x3f",
                                                        "kdc", "mrw", "3fr", "erf", "rwl"};

template <std::size_t N>
bool In(const std::array<std::string_view, N>& list, const std::string& type) {
  return std::find(list.begin(), list.end(), type) != list.end();
}

QImage FromQtPlugins(const QByteArray& bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  // Large photos are decoded straight to the reduced size where the format allows it.
  const QSize size = reader.size();
  constexpr int kDecoded = 4 * kBox;
  if (size.isValid() && (size.width() > kDecoded || size.height() > kDecoded)) {
    reader.setScaledSize(size.scaled(kDecoded, kDecoded, Qt::KeepAspectRatio));
  }
  return reader.read();
}

QImage FromHeif(const QByteArray& bytes) {
#ifdef TRELLMOND_HAVE_LIBHEIF
  std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(), heif_context_free);
  if (!context || heif_context_read_from_memory_without_copy(context.get(), bytes.constData(),
                                                             static_cast<std::size_t>(bytes.size()), nullptr)
                          .code != heif_error_Ok) {
    return {};
  }
  heif_image_handle* rawHandle = nullptr;
  if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok) return {};
  std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> handle(rawHandle, heif_image_handle_release);
  heif_image* rawImage = nullptr;
  if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code !=
      heif_error_Ok) {
    return {};
  }
  std::unique_ptr<heif_image, decltype(&heif_image_release)> image(rawImage, heif_image_release);
  int stride = 0;
  const uint8_t* pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
  if (pixels == nullptr || width <= 0 || height <= 0) return {};
  return QImage(pixels, width, height, stride, QImage::Format_RGB888).copy();
#else
  (void)bytes;
  return {};
#endif
}

// The largest JPEG the raw file carries, when libraw cannot read the file: a preview
// starts with its start-of-image marker and decodes on its own.
QImage FromEmbeddedJpeg(const QByteArray& bytes) {
  QImage best;
  const QByteArray soi("\xFF\xD8\xFF", 3);
  for (qsizetype at = bytes.indexOf(soi, 1); at >= 0; at = bytes.indexOf(soi, at + 3)) {
    QImage picture;
    if (picture.loadFromData(bytes.mid(at), "JPG") &&
        static_cast<qint64>(picture.width()) * picture.height() > static_cast<qint64>(best.width()) * best.height()) {
      best = picture;
    }
  }
  return best;
}

QImage FromRaw(const QByteArray& bytes) {
#ifdef TRELLMOND_HAVE_LIBRAW
  auto processor = std::make_unique<LibRaw>();
  if (processor->open_buffer(const_cast<char*>(bytes.constData()), static_cast<std::size_t>(bytes.size())) ==
          LIBRAW_SUCCESS &&
      processor->unpack_thumb() == LIBRAW_SUCCESS) {
    int error = 0;
    libraw_processed_image_t* thumb = processor->dcraw_make_mem_thumb(&error);
    if (thumb != nullptr) {
      QImage picture;
      if (thumb->type == LIBRAW_IMAGE_JPEG) {
        picture.loadFromData(thumb->data, static_cast<int>(thumb->data_size), "JPG");
      } else if (thumb->type == LIBRAW_IMAGE_BITMAP && thumb->colors == 3 && thumb->bits == 8) {
        picture = QImage(thumb->data, thumb->width, thumb->height, thumb->width * 3, QImage::Format_RGB888).copy();
      }
      LibRaw::dcraw_clear_mem(thumb);
      if (!picture.isNull()) return picture;
    }
  }
#endif
  return FromEmbeddedJpeg(bytes);
}

}  // namespace

bool IsExtraPictureType(const std::string& type) {
  const std::string lower = util::LowerCase(type);
  return In(kQtTypes, lower) || In(kHeifTypes, lower) || In(kRawTypes, lower);
}

bool DecodePicture(util::TMemoryStream& image, const std::string& type) {
  const std::string lower = util::LowerCase(type);
  const std::string_view view = image.View();
  if (view.empty() || view.size() > static_cast<std::size_t>(INT_MAX)) return false;
  const QByteArray bytes = QByteArray::fromRawData(view.data(), static_cast<qsizetype>(view.size()));
  QImage picture = In(kHeifTypes, lower)  ? FromHeif(bytes)
                   : In(kRawTypes, lower) ? FromRaw(bytes)
                   : In(kQtTypes, lower)  ? FromQtPlugins(bytes)
                                          : QImage();
  if (picture.isNull()) return false;
  util::TPoint scaled;
  util::ProportionalSize({picture.width(), picture.height()}, {kBox, kBox}, scaled);
  if (scaled.X <= 0 || scaled.Y <= 0) return false;
  const QImage reduced = picture.convertToFormat(QImage::Format_RGB32)
                             .scaled(scaled.X, scaled.Y, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  QByteArray bitmap;
  QBuffer out(&bitmap);
  out.open(QIODevice::WriteOnly);
  if (!reduced.save(&out, "BMP")) return false;
  image.Clear();
  image.Write(bitmap.constData(), static_cast<std::int64_t>(bitmap.size()));
  image.SetPosition(0);
  return true;
}

}  // namespace wizard
