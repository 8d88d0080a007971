#include "cli/LowScanRun.h"

#include <filesystem>
#include <iostream>

#include "cli/CatalogueFiles.h"
#include "cli/LogLines.h"
#include "cli/ProgressLine.h"
#include "platform/DriveTable.h"
#include "platform/SystemInfo.h"
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

LowScanResult RunLowScan(const ScanOptions& options, session::TScanSession& scan, char letter,
                         const std::string& outputFolder, std::vector<FoundFile>& found,
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

  lowscan::TMekLowScan& scanner = scan.Low();
  scanner.SetUseClusterBoundary(!options.thorough);
  scan.OnGetCatalogue = [&](std::vector<std::string>& data) { data = catalogue; };
  const std::size_t first = found.size();
  scan.OnFileFound = [&](util::TScanType, const std::string& id, util::TMemoryStream*, const std::string& name,
                         const std::string&, util::TFileType, std::int64_t size) {
    FoundFile f;
    f.scan = "Low Level";
    f.id = "L" + id;
    f.fullName = name;
    f.size = size;
    found.push_back(std::move(f));
  };
  ProgressLine progress(std::cerr, platform::ErrorStreamIsTerminal());
  scanner.SetProgress(&progress);
  scan.OnPassStart = [&](std::size_t, const std::vector<std::string>& pass) {
    std::string joined;
    for (const auto& entry : pass) {
      if (!joined.empty()) joined.push_back(' ');
      joined.append(util::GetField(entry, 1, ';'));
    }
    progress.Break();
    std::cerr << "Low Level Scan of " << letter << ": " << (options.thorough ? "thorough" : "quick") << " pass with "
              << joined << '\n';
  };
  const session::TScanFigures figures = scan.RunLowLevel(Selection(options.types, overview));
  progress.Break();
  scan.OnPassStart = nullptr;
  if (!figures.started) {
    scanner.SetProgress(nullptr);
    result.error = figures.error;
    return result;
  }
  result.started = true;
  result.totals.scanSeconds = static_cast<double>(figures.seconds);
  result.totals.found = figures.found;
  result.totals.foundBytes = figures.foundBytes;
  result.totals.typesFound = figures.typesFound;
  if (!outputFolder.empty()) {
    std::cerr << "Saving carved files...\n";
    SaveAndCount(scanner, [&] { return scanner.SaveFileList(outputFolder); }, result.totals);
  }
  scanner.SetProgress(nullptr);  // the progress line goes with this run
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
