#pragma once
// A Digital Forensics XML report: the program and machine that made it, the scanned source,
// and one fileobject per found file with its byte runs on the source and, when it was saved,
// the saved copy's path and its MD5 and SHA-1.

#include <string>
#include <vector>

#include "report/FileEntry.h"

namespace report {

struct ReportOrigin {
  std::string program;      // "trellmond-cli", "trellmond"
  std::string commandLine;  // as run
  std::string sourcePath;   // the scanned image or device (POSIX path)
};

// Writes the report (hashing each saved copy); false with the reason when it cannot be written.
bool WriteDfxml(const std::string& path, const ReportOrigin& origin, const std::vector<FileEntry>& files,
                std::string& why);

// Text fit for XML 1.0: invalid UTF-8 and characters XML cannot hold become U+FFFD.
std::string XmlSafeText(const std::string& text);

}  // namespace report
