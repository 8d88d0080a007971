#include "wizard/TreeImages.h"

#include "util/Geometry.h"

#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <limits>

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

}  // namespace

QImage MakeThumbnail(const QImage& picture) {
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

}  // namespace wizard
