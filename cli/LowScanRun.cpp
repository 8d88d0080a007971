#include "cli/LowScanRun.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "cli/CatalogueFiles.h"
#include "cli/LogLines.h"
#include "cli/ProgressLine.h"
#include "lowscan/imagecheck/ImageCheck.h"
#include "lowscan/MekLowScan.h"
#include "lowscan/ScanPasses.h"
#include "platform/DriveTable.h"
#include "report/FileEntry.h"
#include "util/Text.h"

namespace cli {
namespace {

// Selection entries "ext;category;key": the --types list, or the overview's defaults.
std::vector<std::string> Selection(const std::string& types, const std::vector<std::string>& overview) {
  std::vector<std::string> selection;
  const auto entryOf = [&](const std::string& line) {
    return util::GetField(line, 1, ';') + ";" + util::GetField(line, 4, ';') + ";" + util::GetField(line, 5, ';');
  };
  if (types.empty()) {
    for (const auto& line : overview) {
      if (util::GetField(line, 3, ';') == "1") selection.push_back(entryOf(line));
    }
    return selection;
  }
  for (int i = 1;; ++i) {
    const std::string ext = util::LowerCase(util::GetField(types, i, ','));
    if (ext.empty() && util::GetField(types + ",x", i, ',').empty()) break;
    if (ext.empty()) continue;
    std::string entry = ext + ";0;";
    for (const auto& line : overview) {
      if (util::GetField(line, 1, ';') == ext) entry = entryOf(line);
    }
    selection.push_back(entry);
  }
  return selection;
}

}  // namespace

LowScanResult RunLowScan(const ScanOptions& options, char letter, const std::string& outputFolder,
                         util::IPrompt& prompt, std::vector<FoundFile>& found,
                         const std::function<std::int64_t(char)>& firstDataSector,
                         const LowScanSource& source) {
  LowScanResult result;
  const std::filesystem::path details =
      options.catalogue.empty() ? BundledCatalogue() / "details.txt" : std::filesystem::path(options.catalogue);
  std::vector<std::string> catalogue = source.catalogue, overview = source.overview;
  if (catalogue.empty() && !ReadCatalogueLines(details, catalogue)) {
    result.error = "cannot read the marker catalogue " + details.string();
    return result;
  }
  if (overview.empty()) ReadCatalogueLines(BundledCatalogue() / "overview-low.txt", overview);
  const auto passes = lowscan::MakeScanPasses(Selection(options.types, overview), !options.thorough);

  lowscan::TMekLowScan scanner;
  scanner.SetDrive(letter);
  scanner.SetPrompt(&prompt);
  scanner.SetUseClusterBoundary(!options.thorough);
  scanner.OnGetFileData = [&](lowscan::TMekLowScan*, std::vector<std::string>& data) { data = catalogue; };
  if (firstDataSector) {
    scanner.OnGetFirstDataSector = [&](lowscan::TMekLowScan*, const std::string& drive, std::int64_t& sector) {
      sector = drive.empty() ? 0 : firstDataSector(drive[0]);
    };
  }
  scanner.OnImageCheck = [](lowscan::TMekLowScan* sender, util::TMemoryStream& image, const std::string& type,
                            bool& ok) { lowscan::imagecheck::LowScanImageCheck(sender, image, type, ok); };
  const std::size_t first = found.size();
  scanner.OnFileNotify = [&](lowscan::TMekLowScan*, util::TScanType, const std::string& id, util::TMemoryStream*,
                             const std::string& name, const std::string&, util::TFileType, std::int64_t size) {
    FoundFile f;
    f.scan = "Low Level";
    f.id = "L" + id;
    f.fullName = name;
    f.size = size;
    found.push_back(std::move(f));
  };
  if (options.verbose || source.log) {
    scanner.OnLogNotify = [&](lowscan::TMekLowScan*, const std::string& message, const std::string& action) {
      if (options.verbose) std::cerr << FormatLogLine(message, action) << '\n';
      if (source.log) source.log(message, action);
    };
  }
  ProgressLine progress(std::cerr, isatty(STDERR_FILENO) != 0);
  scanner.SetProgress(&progress);
  scanner.OnBatchStart = [&](lowscan::TMekLowScan*, std::size_t, const std::vector<std::string>& pass) {
    std::string joined;
    for (const auto& entry : pass) {
      if (!joined.empty()) joined.push_back(' ');
      joined.append(util::GetField(entry, 1, ';'));
    }
    progress.Break();
    std::cerr << "Low Level Scan of " << letter << ": " << (options.thorough ? "thorough" : "quick") << " pass with "
              << joined << '\n';
  };
  const auto started = Clock::now();
  scanner.DeletePrevious();
  // Every pass is carved from one read of the drive.
  const bool scanned = scanner.ScanDriveBatches(passes);
  progress.Break();
  if (!scanned) {
    result.error = scanner.ScanError();
    return result;
  }
  result.started = true;
  CountFound(scanner, started, result.totals);
  if (!outputFolder.empty()) {
    std::cerr << "Saving carved files...\n";
    SaveAndCount(scanner, [&] { return scanner.SaveFileList(outputFolder); }, result.totals);
  }
  const auto& records = scanner.FileList();
  const std::int64_t volumeOffset = report::SourceOffset(letter);
  for (std::size_t i = 0; i < records.size() && first + i < found.size(); ++i) {
    FoundFile& f = found[first + i];
    f.saved = records[i]->Saved;
    f.runs = report::CarvedRuns(*records[i], volumeOffset);
    if (f.saved) {
      f.outputPath = platform::ToPosixPath(util::TidyFilename(outputFolder + "\\" + records[i]->Name)).value_or("");
    }
  }
  return result;
}

}  // namespace cli
