#pragma once
// A DFXML report as the tests read it (libxml2): its creator, source and fileobjects, and the
// bytes a fileobject's runs name on an image.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace dfxmlread {

struct ByteRun {
  std::int64_t fileOffset = -1;
  std::int64_t imageOffset = -1;
  std::int64_t length = 0;
  std::string fill, type;
};

struct FileObject {
  std::string filename, scan, saved, savedPath, md5, sha1;
  std::int64_t size = 0;
  bool compressed = false;
  std::vector<ByteRun> runs;
};

struct Report {
  std::string program, version, image;
  std::vector<FileObject> files;
};

// Throws when the file is not XML.
Report ParseReport(const std::filesystem::path& file);
// The first word md5sum or sha1sum prints for `path`.
std::string Digest(const char* tool, const std::string& path);
// The saved copy rebuilt from the image by the runs; false when a run's bytes are not on the
// image (resident data).
bool RebuildFromRuns(const std::filesystem::path& image, const FileObject& f, std::string& bytes);

}  // namespace dfxmlread
