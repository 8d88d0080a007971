#pragma once
// The one list of 33 × 33 images the three result trees draw from: six fixed
// icons (0 file, 1 closed folder, 2 open folder, 3 picture, 4 media, 5 other
// document) followed by the thumbnails of the current scan run in the order
// the files arrived. Needs a QGuiApplication; used on the GUI thread only.

#include "util/MemoryStream.h"

#include <QImage>
#include <QPixmap>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace wizard {

inline constexpr int kTreeImageSide = 33;
enum TreeIcon : int {
  kIconFile = 0,
  kIconFolderClosed = 1,
  kIconFolderOpen = 2,
  kIconImage = 3,
  kIconMedia = 4,
  kIconDocument = 5,
  kFixedIconCount = 6
};

// A picture stretched into 33 × 33 after fitting it proportionally; the margins left
// on the short side are transparent. `bottomUp` for rows stored last row first.
QImage MakeThumbnail(const QImage& picture, bool bottomUp = false);

class TreeImageList {
 public:
  TreeImageList();

  int Count() const { return static_cast<int>(m_images.size()); }
  // A null pixmap for an index outside the list.
  const QPixmap& Image(int index) const;
  // Appends the thumbnail of a Windows bitmap stream (read from its start) and returns its
  // index; -1 when the stream does not hold a bitmap.
  int AddThumbnail(const util::TMemoryStream& bitmap);
  // Back to the six fixed icons.
  void DropThumbnails();
  // The desktop theme's icon for files of this extension, 33 x 33; the fixed icon `fallback`
  // where the theme has none.
  const QPixmap& TypeIcon(std::string_view extension, int fallback) const;

 private:
  std::vector<QPixmap> m_images;
  mutable std::unordered_map<std::string, QPixmap> m_typeIcons;  // by lower-case extension
};

}  // namespace wizard
