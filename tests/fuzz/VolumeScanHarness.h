#pragma once
// A fuzz input laid down as an image file behind a drive letter, scanned by the
// Undelete scanner and its files saved into a folder drive. The oracle beyond the
// sanitizers: a save never writes beside its output folder. Process-wide, made on
// first use; the image is rewritten for every input.

#include <cstddef>
#include <filesystem>
#include <span>

namespace fuzz {

class VolumeScanHarness {
 public:
  static VolumeScanHarness& Instance();
  // Scans `image` as a volume and saves what it finds; aborts when a file appeared
  // outside the output folder.
  void ScanAndSave(std::span<const std::byte> image);

 private:
  VolumeScanHarness();
  std::filesystem::path m_root;
  std::filesystem::path m_image;
  std::filesystem::path m_out;
  char m_letter = 0;
  char m_outLetter = 0;
};

}  // namespace fuzz
