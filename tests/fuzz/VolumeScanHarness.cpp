#include "tests/fuzz/VolumeScanHarness.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "disk/RawDiskAccessComponent.h"
#include "fsscan/MekFATScan.h"
#include "platform/DriveTable.h"

namespace fuzz {

VolumeScanHarness& VolumeScanHarness::Instance() {
  static VolumeScanHarness harness;
  return harness;
}

VolumeScanHarness::VolumeScanHarness() {
  m_root = std::filesystem::temp_directory_path() / ("trellmond-fuzz-" + std::to_string(::getpid()));
  m_image = m_root / "volume.img";
  m_out = m_root / "out";
  std::filesystem::create_directories(m_out);
  std::ofstream(m_image, std::ios::binary).put('\0');
  m_letter = platform::DriveTable::Instance().Attach(m_image.string());
  m_outLetter = platform::DriveTable::Instance().Attach(m_out.string());
  if (m_letter == 0 || m_outLetter == 0) {
    std::cerr << "cannot attach the fuzz volume under " << m_root << '\n';
    std::abort();
  }
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(Instance().m_root, ec);
  });
}

void VolumeScanHarness::ScanAndSave(std::span<const std::byte> image) {
  {
    std::ofstream file(m_image, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  }
  disk::TRawDiskAccessComponent raw;
  fsscan::TMekFATScan scanner;
  util::DefaultPrompt prompt;
  scanner.SetRAW(&raw);
  scanner.SetDrive(m_letter);
  scanner.SetPrompt(&prompt);
  scanner.SetDeletedOnly(false);
  // Pictures are read back through their cluster runs; the decoders have their own target.
  scanner.SetImageFilter("JPG;BMP;GIF");
  scanner.OnImageCheck = [](fsscan::TMekFATScan*, util::TMemoryStream& stream, const std::string&, bool& ok) {
    ok = stream.Size() > 0;
  };
  scanner.ScanDrive();
  scanner.SetAllSaveFlags(true);
  scanner.SaveFilesToDisk(std::string(1, m_outLetter) + ":\\");

  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(m_root, ec)) {
    if (entry.path() != m_image && entry.path() != m_out) {
      std::cerr << "a save wrote outside its folder: " << entry.path() << '\n';
      std::abort();
    }
  }
  for (const auto& entry : std::filesystem::directory_iterator(m_out, ec)) std::filesystem::remove_all(entry, ec);
}

}  // namespace fuzz
