#include "wizard/TreeImages.h"

#include "util/ByteReader.h"
#include "util/Geometry.h"

#include <QIcon>
#include <QMimeDatabase>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

namespace wizard {
namespace {

constexpr const char* kIconResources[kFixedIconCount] = {
    ":/trellmond/tree/file.svg",  ":/trellmond/tree/folder-closed.svg", ":/trellmond/tree/folder-open.svg",
    ":/trellmond/tree/image.svg", ":/trellmond/tree/media.svg",         ":/trellmond/tree/document.svg"};

QPixmap RenderIcon(const char* resource) {
  QImage image(kTreeImageSide, kTreeImageSide, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QSvgRenderer renderer(QString::fromLatin1(resource));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter, QRectF(0, 0, kTreeImageSide, kTreeImageSide));
  painter.end();
  return QPixmap::fromImage(image);
}

// Half of the uncovered length, a half going to the even neighbour.
int Margin(int covered) { return static_cast<int>(std::nearbyint((kTreeImageSide - covered) / 2.0)); }

// The picture check's own bitmaps (16 bits per pixel, 5-5-5, uncompressed) are read in place:
// a QImage over the stream's pixel rows spares decoding a copy of every picture.
struct PixelRows {
  QImage image;
  bool bottomUp = true;
};

std::optional<PixelRows> Bitmap16Rows(std::span<const std::byte> bytes) {
  constexpr std::int64_t kMaxSide = 32768;
  const util::ByteReader bitmap(bytes);
  if (bitmap.U8(0) != 'B' || bitmap.U8(1) != 'M' || bitmap.U32(14) != 40 || bitmap.U16(26) != 1 ||
      bitmap.U16(28) != 16 || bitmap.U32(30) != 0) {
    return std::nullopt;
  }
  const std::int64_t width = static_cast<std::int32_t>(bitmap.U32(18));
  const std::int64_t height = static_cast<std::int32_t>(bitmap.U32(22));
  const std::int64_t rows = std::abs(height);
  if (width <= 0 || width > kMaxSide || rows == 0 || rows > kMaxSide) return std::nullopt;
  const std::int64_t rowBytes = (width * 2 + 3) / 4 * 4;
  const std::uint32_t offset = bitmap.U32(10);
  if (!bitmap.Has(offset, static_cast<std::uint64_t>(rowBytes * rows))) return std::nullopt;
  PixelRows view;
  view.image = QImage(reinterpret_cast<const uchar*>(bytes.data() + offset), static_cast<int>(width),
                      static_cast<int>(rows), static_cast<qsizetype>(rowBytes), QImage::Format_RGB555);
  view.bottomUp = height > 0;
  return view;
}

}  // namespace

QImage MakeThumbnail(const QImage& picture, bool bottomUp) {
  util::TPoint scaled;
  util::ProportionalSize({picture.width(), picture.height()}, {kTreeImageSide, kTreeImageSide}, scaled);
  QImage thumbnail(kTreeImageSide, kTreeImageSide, QImage::Format_ARGB32_Premultiplied);
  thumbnail.fill(Qt::transparent);
  // The scaled side that is shorter keeps its length and is centred; the other is stretched to the full 33.
  QRect target;
  if (scaled.Y < scaled.X) {
    target = QRect(0, Margin(scaled.Y), kTreeImageSide, scaled.Y);
  } else {
    target = QRect(Margin(scaled.X), 0, scaled.X, kTreeImageSide);
  }
  if (target.isEmpty()) return thumbnail;
  QPainter painter(&thumbnail);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  if (bottomUp) {
    // Mirrors the target's rows onto themselves.
    painter.translate(0, target.top() + target.bottom() + 1);
    painter.scale(1, -1);
  }
  painter.drawImage(target, picture);
  painter.end();
  return thumbnail;
}

TreeImageList::TreeImageList() {
  for (const char* resource : kIconResources) m_images.push_back(RenderIcon(resource));
}

const QPixmap& TreeImageList::Image(int index) const {
  static const QPixmap kNone;
  if (index < 0 || index >= Count()) return kNone;
  return m_images[static_cast<std::size_t>(index)];
}

int TreeImageList::AddThumbnail(const util::TMemoryStream& bitmap) {
  if (const std::optional<PixelRows> rows = Bitmap16Rows(bitmap.Bytes())) {
    m_images.push_back(QPixmap::fromImage(MakeThumbnail(rows->image, rows->bottomUp)));
    return Count() - 1;
  }
  QImage picture;
  const std::string_view bytes = bitmap.View();
  if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return -1;
  // Only a Windows bitmap counts: the picture check has already turned every picture it decodes into one.
  if (!picture.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()), "BMP")) {
    return -1;
  }
  m_images.push_back(QPixmap::fromImage(MakeThumbnail(picture)));
  return Count() - 1;
}

void TreeImageList::DropThumbnails() { m_images.resize(kFixedIconCount); }

const QPixmap& TreeImageList::TypeIcon(std::string_view extension, int fallback) const {
  static const bool themed = [] {
    // Without a desktop session Qt looks in "hicolor" only, which has no icons for file types.
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor")) {
      QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    }
    return true;
  }();
  (void)themed;
  const std::string key = QString::fromUtf8(extension.data(), static_cast<qsizetype>(extension.size()))
                              .toLower()
                              .toStdString() +
                          "/" + std::to_string(fallback);
  const auto found = m_typeIcons.find(key);
  if (found != m_typeIcons.end()) return found->second;
  QPixmap pixmap;
  if (!extension.empty()) {
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(
        QStringLiteral("x.") + QString::fromUtf8(extension.data(), static_cast<qsizetype>(extension.size())),
        QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(mime.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(mime.genericIconName());
    if (!mime.isDefault() && !icon.isNull()) pixmap = icon.pixmap(kTreeImageSide, kTreeImageSide);
  }
  if (pixmap.isNull()) pixmap = Image(fallback);
  return m_typeIcons.emplace(key, pixmap).first->second;
}

}  // namespace wizard
