#pragma once
// A scanner wired to an attached image, with its log lines and reported files kept.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "disk/RawDiskAccessComponent.h"
#include "fsscan/MekFATScan.h"
#include "tests/support/FatImage.h"
#include "tests/support/TempDir.h"

namespace fsscantest {

struct Reported {
  std::string id, fullName, extension;
  std::int64_t size = 0;
  bool hadImage = false;
};

struct LogLine {
  std::string message, action;
};

class ScannerHarness {
 public:
  // Attaches the image (or any path) and wires a scanner to it.
  explicit ScannerHarness(const std::filesystem::path& image);
  ~ScannerHarness();

  void Scan(bool deletedOnly = true, const std::string& filter = "");
  bool Logged(const std::string& part, const std::string& action = "") const;
  const fsscan::FileNode* Find(const std::string& longName) const;
  std::string Names() const;  // "Dir+LongName" of every record, sorted, one per line

  char letter = 0;
  disk::TRawDiskAccessComponent raw;
  fsscan::TMekFATScan scanner;
  std::vector<Reported> reported;
  std::vector<LogLine> log;
  int securityWarnings = 0;

 private:
  class Prompt;
  std::unique_ptr<Prompt> m_prompt;
};

// A folder attached as a writable drive; its drive-letter path.
class OutputDrive {
 public:
  OutputDrive();
  ~OutputDrive();
  std::string Folder(const std::string& sub = "") const;
  std::filesystem::path Posix(const std::string& relative = "") const;
  testsupport::TempDir dir;
  char letter = 0;
};

// Every file under a folder, relative path -> contents.
std::map<std::string, std::string> FilesUnder(const std::filesystem::path& root);

// A 32-byte short directory entry, for what no tool writes: 11 name bytes, attribute, first
// cluster (both words), size.
std::string ShortEntry(const std::string& name11, std::uint8_t attr, std::uint32_t cluster, std::uint32_t size);

// A pseudo-random payload that differs per seed.
std::string Payload(std::size_t size, unsigned seed);

}  // namespace fsscantest

namespace fsscantest {

// One file put on a test card, with what the scan should make of it.
struct CardFile {
  std::string path;        // inside the image, "/DCIM/a.jpg"
  std::string contents;
  bool deleted = false;    // deleted again after the card was filled
  std::string attributes;  // mattrib flags such as "+r"
};

// A card with live and deleted files and folders, long, short and non-ASCII names,
// read-only and hidden entries, zero-byte files and a fragmented live file.
// Returns the files that have contents (the zero-byte ones are never listed).
std::vector<CardFile> FillHolidayCard(testsupport::FatImage& image, std::time_t modified);

}  // namespace fsscantest
