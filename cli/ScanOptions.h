#pragma once
// The options of `trellmond-cli scan`.

#include <optional>
#include <string>
#include <vector>

namespace cli {

struct ScanOptions {
  std::string source;      // a drive letter of the drive table, or an image file or block device
  bool undelete = false;   // the Undelete scan (the default when no scan is named)
  bool low = false;        // the Low Level Scan
  bool all = false;        // also live files, not only deleted ones
  bool thorough = false;   // Low Level Scan: one pass per batch of non-conflicting types
  bool verbose = false;    // every scanner log line to standard error
  std::string types;       // comma-separated extensions
  std::string out;         // POSIX folder to save into
  std::string report;      // JSON report file
  std::string dfxml;       // DFXML report file
  std::string catalogue;   // marker catalogue file for the Low Level Scan
  std::string service;     // base URL of the vendor service
  std::string partition;   // which volume of a partitioned disk: 1, 2, ...; 0 the whole disk
  std::string timeoutMs;   // a read of the source not answered in this time is given up
};

// std::nullopt with `error` set when the arguments are not understood.
std::optional<ScanOptions> ParseScanOptions(const std::vector<std::string>& args, std::string& error);

}  // namespace cli
