#pragma once
// What the result-tree tests share: a recorder standing in for the scanners and
// the file-type table, reported files, and picture-check bitmaps.

#include "lowscan/imagecheck/ImageCheck.h"
#include "util/MemoryStream.h"
#include "wizard/ResultTreeStore.h"
#include "wizard/TreeKeys.h"

#include <QBuffer>
#include <QImage>

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace testsupport {

// Every callback of the trees, as it came.
struct TreeRecorder {
  std::vector<std::tuple<util::TScanType, std::int64_t, bool>> saveFlags;
  std::vector<std::pair<util::TScanType, bool>> allSaveFlags;
  std::vector<std::pair<std::string, int>> tableUpdates;
  int clickStatus = 0;
  bool scanning = false;

  void Bind(wizard::ResultTreeEvents& events) {
    events.SetSaveFlag = [this](util::TScanType s, std::int64_t i, bool v) { saveFlags.emplace_back(s, i, v); };
    events.SetAllSaveFlags = [this](util::TScanType s, bool v) { allSaveFlags.emplace_back(s, v); };
    events.UpdateFileTypesTable = [this](const std::string& d, int m) { tableUpdates.emplace_back(d, m); };
    events.UpdateClickStatus = [this](bool warn) {
      if (!warn) ++clickStatus;
    };
    events.Scanning = [this] { return scanning; };
  }
  void Reset() {
    saveFlags.clear();
    allSaveFlags.clear();
    tableUpdates.clear();
    clickStatus = 0;
  }
};

// A file's key as ScanFileNotify hands it on: "F"/"L" + index. Built by appending: GCC 12
// at -O3 reports a false -Wrestrict for "literal + string" (GCC bug 105329).
inline std::string Key(char prefix, int index) {
  std::string key(1, prefix);
  key.append(std::to_string(index));
  return key;
}

// A file as ScanFileNotify hands it on, with the prefix of its scanner.
template <typename Trees>
void AddFat(Trees& trees, int index, const std::string& fullName, const std::string& extension, std::int64_t size,
            const util::TMemoryStream* image = nullptr) {
  trees.AddTreeEntry(util::stFATScan, Key('F', index), fullName, extension,
                     std::string(wizard::kUndeletePrefix), size, image, util::ftBusiness);
}

template <typename Trees>
void AddLow(Trees& trees, int index, const std::string& extension, std::int64_t size, util::TFileType type,
            const util::TMemoryStream* image = nullptr) {
  std::string name = "file_";
  name.append(std::to_string(index)).append(".").append(extension);
  trees.AddTreeEntry(util::stLowScan, Key('L', index), name,
                     extension, std::string(wizard::kLowScanPrefix), size, image, type);
}

inline wizard::TreeNode* Child(const wizard::TreeNode& parent, std::string_view name) {
  for (wizard::TreeNode* child : parent.Children) {
    if (child->Data.Name == name) return child;
  }
  return nullptr;
}

inline std::vector<std::string> ChildNames(const wizard::TreeNode& parent) {
  std::vector<std::string> names;
  for (const wizard::TreeNode* child : parent.Children) names.emplace_back(child->Data.Name);
  return names;
}

// What the picture check makes of a JPEG of this size whose top half is red and bottom half blue.
inline util::TMemoryStream CheckedPicture(int width, int height) {
  QImage picture(width, height, QImage::Format_RGB32);
  picture.fill(Qt::blue);
  for (int y = 0; y < height / 2; ++y) {
    for (int x = 0; x < width; ++x) picture.setPixel(x, y, qRgb(255, 0, 0));
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "JPG", 95);
  util::TMemoryStream stream;
  stream.Assign(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  lowscan::imagecheck::CheckImageData(stream, "jpg");
  return stream;
}

}  // namespace testsupport
