// trellmond-cli scan: one source scanned, optionally saved into a folder and reported.

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <tuple>

#include "cli/CatalogueFiles.h"
#include "cli/CliPrompt.h"
#include "cli/Commands.h"
#include "cli/FoundFile.h"
#include "cli/LogLines.h"
#include "cli/LowScanRun.h"
#include "cli/ScanOptions.h"
#include "cli/ScanSource.h"
#include "cli/ServiceSession.h"
#include "cli/UndeleteRun.h"
#include "disk/RawDiskAccessComponent.h"
#include "session/ScanSession.h"
#include "platform/DriveTable.h"
#include "platform/Volume.h"
#include "report/FileEntry.h"
#include "util/SizeText.h"
#include "util/Text.h"

namespace cli {
namespace {

struct Output {
  std::string windowsPath;
  std::string folder;    // as given
  bool create = false;   // missing until the scan starts saving
  bool created = false;  // made by this run
  int refusal = 0;       // exit code when refused
  std::string why;
};

// Checked before the scan, made only once the scan starts: a refused scan leaves nothing.
Output PrepareOutput(const std::string& folder, char sourceLetter) {
  namespace fs = std::filesystem;
  Output out;
  out.folder = folder;
  std::error_code ec;
  fs::path existing = fs::absolute(folder, ec);
  while (!fs::exists(existing, ec) && existing.has_relative_path()) existing = existing.parent_path();
  out.create = existing != fs::absolute(folder, ec);
  if (!fs::is_directory(existing, ec)) {
    return {"", folder, false, false, kExitOutputRefused,
            (out.create ? "cannot create the output folder " : "the output folder ") + folder + ": " +
                std::strerror(ENOTDIR)};
  }
  // The system's reason ("Read-only file system", "Permission denied") rather than a save of
  // no files later on.
  if (::access(existing.c_str(), W_OK | X_OK) != 0) {
    return {"", folder, false, false, kExitOutputRefused,
            (out.create ? "cannot create the output folder " : "cannot write to the output folder ") + folder + ": " +
                std::strerror(errno)};
  }
  const auto windows = platform::ToWindowsPath(folder);
  if (!windows) return {"", folder, false, false, kExitOutputRefused, "the output folder is on no drive: " + folder};
  if (util::UpperCase(windows->substr(0, 1))[0] == sourceLetter) {
    return {"", folder, false, false, kExitOutputRefused,
            "the output folder is on the scanned drive " + std::string(1, sourceLetter) + ":"};
  }
  out.windowsPath = *windows;
  return out;
}

// Makes the output folder when it was missing; the reason when it cannot be made.
bool MakeOutput(Output& output, std::string& why) {
  if (output.windowsPath.empty() || !output.create) return true;
  std::error_code ec;
  std::filesystem::create_directories(output.folder, ec);
  if (std::error_code check; !std::filesystem::is_directory(output.folder, check)) {
    why = "cannot create the output folder " + output.folder + ": " + (ec ? ec : check).message();
    return false;
  }
  output.created = true;
  return true;
}

// A run that ends refused leaves no folder of its own behind, as long as it is empty.
void RemoveIfUnused(const Output& output) {
  std::error_code ec;
  if (output.created && std::filesystem::is_empty(output.folder, ec)) std::filesystem::remove(output.folder, ec);
}

// The statistics record of a save ("F-Save" / "L-Save"); the scan's own record the session sends.
void SendSaveStatistics(ServiceSession& service, const session::TScanSession& scan, const ScanTotals& totals,
                        const char* saveType) {
  service.Statistics(scan.Statistics(saveType, totals.savedBytes, totals.saved,
                                     static_cast<std::int64_t>(totals.saveSeconds), totals.typesSaved, false));
}

bool HoldsUndeleteFileSystem(const disk::TRawDiskAccessComponent& raw) {
  const std::string fileSystem = util::UpperCase(raw.GetFileSystem());
  return fileSystem == "FAT" || fileSystem == "FAT32" || fileSystem == "EXFAT" || fileSystem == "NTFS";
}

// The checks before any sector is read: source, output folder, report, file system and
// the types asked for. 0 when the scan may start, else the exit code (the reason printed).
int CheckBeforeScan(const ScanOptions& options, disk::TRawDiskAccessComponent& raw, char& letter, Output& output) {
  const OpenedSource source = OpenSource(options.source, options.partition);
  for (const std::string& note : source.notes) std::cerr << "disk: " << note << '\n';
  if (source.letter == 0) {
    std::cerr << "scan: " << source.error << '\n';
    return source.exitCode;
  }
  letter = source.letter;
  if (!options.out.empty()) {
    output = PrepareOutput(options.out, letter);
    if (output.refusal != 0) {
      std::cerr << "scan: output refused: " << output.why << '\n';
      return output.refusal;
    }
  }
  for (const std::string* report : {&options.report, &options.dfxml}) {
    if (std::string why; !report->empty() && !CheckReportPath(*report, why)) {
      std::cerr << "scan: cannot write the report " << *report << ": " << why << '\n';
      return kExitOutputRefused;
    }
  }
  if (!source.folderError.empty()) {
    std::cerr << "scan: " << source.folderError << '\n';
    return kExitSourceUnreadable;
  }
  raw.SetDriveLetter(std::string(1, letter));
  if (raw.GetStatusCode() != disk::status::kSuccess) {
    std::cerr << "scan: " << letter << ": " << raw.GetStatusText() << '\n';
    return kExitSourceUnreadable;
  }
  if (options.undelete && !HoldsUndeleteFileSystem(raw)) {
    if (!options.low) {
      std::cerr << "no FAT, exFAT or NTFS file system found on " << options.source << "; try --low\n";
      return kExitNoFileSystem;
    }
    std::cerr << "no FAT, exFAT or NTFS file system found on " << options.source << "; only the Low Level Scan runs\n";
  }
  return 0;
}

// An unknown type in --types is a usage error, named against the types of the scan.
int CheckTypes(const ScanOptions& options, const LowScanSource& low) {
  if (options.types.empty()) return 0;
  std::vector<std::string> undelete, lowOverview = low.overview;
  if (options.undelete) ReadCatalogueLines(BundledCatalogue() / "overview-undelete.txt", undelete);
  if (options.low && lowOverview.empty()) ReadCatalogueLines(BundledCatalogue() / "overview-low.txt", lowOverview);
  for (const auto& [wanted, overview, name] :
       {std::tuple{options.undelete, &undelete, "Undelete scan"}, std::tuple{options.low, &lowOverview, "Low Level Scan"}}) {
    if (!wanted || overview->empty()) continue;
    if (const std::string error = UnknownTypesError(options.types, *overview, name); !error.empty()) {
      std::cerr << "scan: " << error << '\n';
      return kExitUsage;
    }
  }
  return 0;
}


// What one `scan` run holds once its checks have passed.
struct ScanRun {
  const ScanOptions& options;
  disk::TRawDiskAccessComponent& raw;
  char letter;
  const Output& output;
  ServiceSession* service;
  LowScanSource low;
  CliPrompt prompt;
  std::vector<FoundFile> found;
  std::int64_t saved = 0;
  std::int64_t dropped = 0;
};

// Runs the scans asked for (the Undelete scan only on a FAT or NTFS volume); 0 or the exit code.
int RunScans(ScanRun& run) {
  const ScanOptions& options = run.options;
  session::TScanSession scan;
  scan.SetRaw(&run.raw);
  scan.SetPrompt(&run.prompt);
  scan.Begin(run.letter);
  scan.OnLog = [&](const std::string& message, const std::string& action) {
    if (options.verbose) std::cerr << FormatLogLine(message, action) << '\n';
    if (run.low.log) run.low.log(message, action);
  };
  scan.OnStatistics = [&](const online::StatisticsRecord& record) {
    if (run.service) run.service->Statistics(record);
  };
  const bool writes = !run.output.windowsPath.empty();
  if (options.undelete && HoldsUndeleteFileSystem(run.raw)) {
    std::cerr << "Scanning " << run.letter << ": (" << run.raw.GetFileSystem() << ")\n";
    const ScanTotals undelete = RunUndelete(options, scan, run.output.windowsPath, run.found);
    if (run.prompt.securityWarningShown) return kExitSourceUnreadable;
    run.saved += undelete.saved;
    run.dropped += undelete.dropped;
    if (run.service && writes) SendSaveStatistics(*run.service, scan, undelete, "F-Save");
  }
  if (options.low) {
    const LowScanResult low = RunLowScan(options, scan, run.letter, run.output.windowsPath, run.found, run.low);
    if (!low.started) {
      std::cerr << "scan: Low Level Scan: " << low.error << '\n';
      return kExitUsage;
    }
    if (run.prompt.securityWarningShown) return kExitSourceUnreadable;
    run.saved += low.totals.saved;
    if (run.service && writes) SendSaveStatistics(*run.service, scan, low.totals, "L-Save");
  }
  if (writes) scan.LogUnreadable("the saves");
  if (const auto ranges = scan.Unreadable().Ranges(); !ranges.empty()) {
    std::cerr << "Unreadable: " << scan.Unreadable().Sectors() << " sectors of " << run.letter << ": in "
              << ranges.size() << (ranges.size() == 1 ? " range" : " ranges") << " (sectors "
              << disk::RangesText(ranges, ", ", 20) << ")\n";
  }
  return 0;
}

std::string CommandLineText(const std::vector<std::string>& args) {
  std::string text = "trellmond-cli scan";
  for (const std::string& arg : args) text += " " + arg;
  return text;
}

}  // namespace

int RunScan(const std::vector<std::string>& args) {
  std::string error;
  const auto options = ParseScanOptions(args, error);
  if (!options) {
    std::cerr << "scan: " << error << "\n\n" << UsageText();
    return kExitUsage;
  }
  if (!options->timeoutMs.empty()) platform::Volume::SetReadTimeout(std::chrono::milliseconds(std::stol(options->timeoutMs)));
  const auto started = std::chrono::steady_clock::now();
  disk::TRawDiskAccessComponent raw;
  char letter = 0;
  Output output;
  if (const int refused = CheckBeforeScan(*options, raw, letter, output); refused != 0) return refused;

  std::unique_ptr<ServiceSession> service;
  ScanRun run{*options, raw, letter, output, nullptr, {}, {}, {}, 0, 0};
  if (!options->service.empty()) {
    service = std::make_unique<ServiceSession>(options->service, run.prompt);
    if (std::string why; !service->Start(why)) {
      std::cerr << "scan: service " << options->service << ": " << why << '\n';
      return kExitServiceFailed;
    }
    std::cerr << "Transaction " << service->TransactionID() << " at " << options->service << '\n';
    run.service = service.get();
    run.low.log = [&service](const std::string& message, const std::string& action) { service->Log(message, action); };
    if (options->low) {
      run.low.catalogue = service->Catalogue();
      run.low.overview = service->Overview("1");
    }
  }
  if (const int refused = CheckTypes(*options, run.low); refused != 0) return refused;
  if (std::string why; !MakeOutput(output, why)) {
    std::cerr << "scan: output refused: " << why << '\n';
    return kExitOutputRefused;
  }
  if (const int failed = RunScans(run); failed != 0) {
    RemoveIfUnused(output);
    return failed;
  }

  if (!options->report.empty() && !WriteReport(options->report, run.found)) {
    std::cerr << "scan: cannot write the report " << options->report << ": " << std::strerror(errno) << '\n';
    return kExitOutputRefused;
  }
  if (std::string why; !options->dfxml.empty() &&
                       !WriteDfxmlReport(options->dfxml, CommandLineText(args), report::SourcePath(letter), run.found,
                                         why)) {
    std::cerr << "scan: cannot write the report " << options->dfxml << ": " << why << '\n';
    return kExitOutputRefused;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  char summary[160];
  std::snprintf(summary, sizeof summary, "Found %zu files, saved %lld files in %.2f seconds", run.found.size(),
                static_cast<long long>(run.saved), seconds);
  std::cout << summary;
  // Counted among those found, so neither the listing nor the exit code hides them.
  if (run.dropped > 0) std::cout << "; " << run.dropped << " dropped: no decodable picture";
  std::cout << '\n';
  const bool allSaved = output.windowsPath.empty() || run.saved == static_cast<std::int64_t>(run.found.size());
  return allSaved ? kExitDone : kExitOutputRefused;
}

}  // namespace cli
