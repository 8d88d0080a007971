// trellmond-cli scan: one source scanned, optionally saved into a folder and reported.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>

#include "cli/CliPrompt.h"
#include "cli/Commands.h"
#include "cli/FoundFile.h"
#include "cli/LowScanRun.h"
#include "cli/ScanOptions.h"
#include "cli/ServiceSession.h"
#include "cli/UndeleteRun.h"
#include "disk/RawDiskAccessComponent.h"
#include "fsscan/MekFATScan.h"
#include "platform/DriveTable.h"
#include "util/SizeText.h"
#include "util/Text.h"

namespace cli {
namespace {

// A drive letter ("E", "e:", "E:\") of the table, or a path attached as a free letter.
char ResolveSource(const std::string& source) {
  const bool looksLikeLetter = (source.size() == 1 || (source.size() <= 3 && source[1] == ':')) &&
                               std::isalpha(static_cast<unsigned char>(source[0])) &&
                               (source.size() < 3 || source[2] == '\\');
  if (looksLikeLetter) {
    const char letter = util::UpperCase(source.substr(0, 1))[0];
    return platform::DriveTable::Instance().Find(letter) ? letter : 0;
  }
  return platform::DriveTable::Instance().Attach(source);
}

struct Output {
  std::string windowsPath;
  int refusal = 0;  // exit code when refused
  std::string why;
};

Output PrepareOutput(const std::string& folder, char sourceLetter) {
  Output out;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder, ec)) {
    return {"", kExitOutputRefused, "cannot create the output folder " + folder};
  }
  const auto windows = platform::ToWindowsPath(folder);
  if (!windows) return {"", kExitOutputRefused, "the output folder is on no drive: " + folder};
  if (util::UpperCase(windows->substr(0, 1))[0] == sourceLetter) {
    return {"", kExitOutputRefused, "the output folder is on the scanned drive " + std::string(1, sourceLetter) + ":"};
  }
  out.windowsPath = *windows;
  return out;
}

// The statistics records of one scan and, when it saved, its save ("F-Scan" / "F-Save", ...).
void SendStatistics(ServiceSession& service, std::int64_t driveBytes, const ScanTotals& totals, const char* scanType,
                    const char* saveType, bool saved) {
  const auto record = [&](std::int64_t bytes, std::int64_t number, double seconds, const std::string& types,
                          const char* kind) {
    return online::StatisticsRecord{util::GetSizeDescription(driveBytes), util::GetSizeDescription(bytes),
                                    std::to_string(number), std::to_string(static_cast<std::int64_t>(seconds)),
                                    types, "0", kind};
  };
  service.Statistics(record(totals.foundBytes, totals.found, totals.scanSeconds, totals.typesFound, scanType));
  if (saved) {
    service.Statistics(record(totals.savedBytes, totals.saved, totals.saveSeconds, totals.typesSaved, saveType));
  }
}

}  // namespace

int RunScan(const std::vector<std::string>& args) {
  std::string error;
  const auto options = ParseScanOptions(args, error);
  if (!options) {
    std::cerr << "scan: " << error << "\n\n" << UsageText();
    return kExitUsage;
  }
  const auto started = std::chrono::steady_clock::now();
  const char letter = ResolveSource(options->source);
  if (letter == 0) {
    std::cerr << "scan: cannot open the source " << options->source << '\n';
    return kExitSourceUnreadable;
  }
  disk::TRawDiskAccessComponent raw;
  raw.SetDriveLetter(std::string(1, letter));
  if (raw.GetStatusCode() != disk::status::kSuccess) {
    std::cerr << "scan: " << letter << ": " << raw.GetStatusText() << '\n';
    return kExitSourceUnreadable;
  }
  Output output;
  if (!options->out.empty()) {
    output = PrepareOutput(options->out, letter);
    if (output.refusal != 0) {
      std::cerr << "scan: output refused: " << output.why << '\n';
      return output.refusal;
    }
  }

  CliPrompt prompt;
  std::unique_ptr<ServiceSession> service;
  LogSink log;
  if (!options->service.empty()) {
    service = std::make_unique<ServiceSession>(options->service, prompt);
    std::string why;
    if (!service->Start(why)) {
      std::cerr << "scan: service " << options->service << ": " << why << '\n';
      return kExitServiceFailed;
    }
    std::cerr << "Transaction " << service->TransactionID() << " at " << options->service << '\n';
    log = [&service](const std::string& message, const std::string& action) { service->Log(message, action); };
  }

  std::vector<FoundFile> found;
  std::int64_t saved = 0;
  fsscan::TMekFATScan scanner;
  scanner.SetRAW(&raw);
  scanner.SetDrive(letter);
  if (options->undelete) {
    std::cerr << "Scanning " << letter << ": (" << raw.GetFileSystem() << ")\n";
    const ScanTotals undelete = RunUndelete(*options, scanner, prompt, output.windowsPath, log, found);
    if (prompt.securityWarningShown) return kExitSourceUnreadable;
    saved += undelete.saved;
    if (service) {
      SendStatistics(*service, raw.GetTotalSpace(), undelete, "F-Scan", "F-Save", !output.windowsPath.empty());
    }
  }
  if (options->low) {
    LowScanSource source;
    if (service) {
      source.catalogue = service->Catalogue();
      source.overview = service->Overview("1");
      source.log = log;
    }
    const LowScanResult low = RunLowScan(*options, letter, output.windowsPath, prompt, found,
                                         [&](char drive) { return scanner.GetFirstDataSector(drive); }, source);
    if (!low.started) {
      std::cerr << "scan: Low Level Scan: " << low.error << '\n';
      return kExitUsage;
    }
    if (prompt.securityWarningShown) return kExitSourceUnreadable;
    saved += low.totals.saved;
    if (service) {
      SendStatistics(*service, raw.GetTotalSpace(), low.totals, "L-Scan", "L-Save", !output.windowsPath.empty());
    }
  }
  if (!options->report.empty() && !WriteReport(options->report, found)) {
    std::cerr << "scan: cannot write the report " << options->report << '\n';
    return kExitOutputRefused;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  char summary[160];
  std::snprintf(summary, sizeof summary, "Found %zu files, saved %lld files in %.2f seconds", found.size(),
                static_cast<long long>(saved), seconds);
  std::cout << summary << '\n';
  const bool allSaved = output.windowsPath.empty() || saved == static_cast<std::int64_t>(found.size());
  return allSaved ? kExitDone : kExitOutputRefused;
}

}  // namespace cli
