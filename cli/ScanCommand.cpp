// trellmond-cli scan: one source scanned, optionally saved into a folder and reported.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "cli/CliPrompt.h"
#include "cli/Commands.h"
#include "cli/FoundFile.h"
#include "cli/LowScanRun.h"
#include "cli/ScanOptions.h"
#include "disk/RawDiskAccessComponent.h"
#include "fsscan/MekFATScan.h"
#include "lowscan/ImageCheck.h"
#include "platform/DriveTable.h"
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

std::string PosixOf(const std::string& windowsPath) {
  return platform::ToPosixPath(windowsPath).value_or(std::string{});
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
  fsscan::TMekFATScan scanner;
  scanner.SetRAW(&raw);
  scanner.SetPrompt(&prompt);
  scanner.SetDrive(letter);
  scanner.SetDeletedOnly(!options->all);
  scanner.SetFilter(options->types);
  // The wizard's picture check: pictures that do not decode are not reported.
  scanner.SetImageFilter("jpg;jpeg;bmp;emf;wmf");
  scanner.OnImageCheck = [](fsscan::TMekFATScan* sender, util::TMemoryStream& image, const std::string& type,
                            bool& ok) { lowscan::LowScanImageCheck(sender, image, type, ok); };
  std::vector<FoundFile> found;
  scanner.OnFileNotify = [&](fsscan::TMekFATScan*, util::TScanType, const std::string& id, util::TMemoryStream*,
                             const std::string& fullName, const std::string&, util::TFileType, std::int64_t size) {
    if (found.empty()) found.reserve(scanner.FileList().size());
    FoundFile f;
    f.scan = "Undelete";
    f.id = "F" + id;
    f.fullName = fullName;
    f.size = size;
    found.push_back(std::move(f));
    if (found.size() % 1000 == 0) std::cerr << "\rFound " << found.size() << " files..." << std::flush;
  };
  scanner.OnUpdateMessageNotify = [](fsscan::TMekFATScan*, const std::string& message, bool visible) {
    if (visible && !message.empty()) std::cerr << message << '\n';
  };
  if (options->verbose) {
    scanner.OnLogNotify = [](fsscan::TMekFATScan*, const std::string& message, const std::string& action) {
      std::cerr << "[" << action << "] " << message << '\n';
    };
  }
  if (options->undelete) {
    std::cerr << "Scanning " << letter << ": (" << raw.GetFileSystem() << ")\n";
    scanner.ScanDrive();
    if (prompt.securityWarningShown) return kExitSourceUnreadable;
  }

  std::int64_t saved = 0;
  if (!output.windowsPath.empty() && options->undelete) {
    std::cerr << "Saving into " << options->out << "...\n";
    saved = scanner.SaveFilesToDisk(output.windowsPath);
  }
  const auto& records = scanner.FileList();
  for (std::size_t i = 0; i < records.size() && i < found.size(); ++i) {
    found[i].directory = records[i]->Dir;
    found[i].date = records[i]->DateTime;
    found[i].firstCluster = records[i]->FirstCluster;
    found[i].saved = records[i]->Saved;
    if (records[i]->Saved) found[i].outputPath = PosixOf(records[i]->SavedAs);
  }
  if (options->low) {
    const LowScanResult low = RunLowScan(*options, letter, output.windowsPath, prompt, found,
                                         [&](char drive) { return scanner.GetFirstDataSector(drive); });
    if (!low.started) {
      std::cerr << "scan: Low Level Scan: " << low.error << '\n';
      return kExitUsage;
    }
    if (prompt.securityWarningShown) return kExitSourceUnreadable;
    saved += low.saved;
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
