#include "cli/UndeleteRun.h"

#include <algorithm>
#include <iostream>

#include "platform/DriveTable.h"
#include "report/FileEntry.h"
#include "util/Text.h"

namespace cli {
namespace {

// The --types list "jpg,png" as its entries.
std::vector<std::string> TypeList(const std::string& text) {
  std::vector<std::string> types;
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t comma = std::min(text.find(',', from), text.size());
    if (std::string type = util::Trim(std::string_view(text).substr(from, comma - from)); !type.empty()) {
      types.push_back(std::move(type));
    }
    from = comma + 1;
  }
  return types;
}

}  // namespace

ScanTotals RunUndelete(const ScanOptions& options, session::TScanSession& scan, const std::string& outputFolder,
                       std::vector<FoundFile>& found) {
  ScanTotals result;
  fsscan::TMekFATScan& scanner = scan.Undelete();
  const std::size_t first = found.size();
  scan.OnFileFound = [&](util::TScanType, const std::string& id, util::TMemoryStream*, const std::string& fullName,
                         const std::string&, util::TFileType, std::int64_t size) {
    if (found.size() == first) found.reserve(first + scanner.FileList().size());
    FoundFile f;
    f.scan = "Undelete";
    f.id = "F" + id;
    f.fullName = fullName;
    f.size = size;
    found.push_back(std::move(f));
    if ((found.size() - first) % 1000 == 0) std::cerr << "\rFound " << found.size() - first << " files..." << std::flush;
  };
  scan.OnMessage = [](const std::string& message, bool visible) {
    if (visible && !message.empty()) std::cerr << message << '\n';
  };
  const std::vector<std::string> types = TypeList(options.types);
  const session::TScanFigures figures = scan.RunUndelete(!options.all, types, types.empty());
  scan.OnMessage = nullptr;
  result.scanSeconds = static_cast<double>(figures.seconds);
  result.found = figures.found;
  result.foundBytes = figures.foundBytes;
  result.typesFound = figures.typesFound;
  if (!outputFolder.empty()) {
    std::cerr << "Saving into " << options.out << "...\n";
    SaveAndCount(scanner, [&] { return scanner.SaveFilesToDisk(outputFolder); }, result);
  }
  const auto& records = scanner.FileList();
  const report::VolumeGeometry volume = report::GeometryOf(scanner);
  for (std::size_t i = 0; i < records.size() && first + i < found.size(); ++i) {
    FoundFile& f = found[first + i];
    f.directory = records[i]->Dir;
    f.date = records[i]->DateTime;
    f.firstCluster = records[i]->FirstCluster;
    f.saved = records[i]->Saved;
    f.rebuilt = records[i]->Rebuilt;
    f.origin = fsscan::OriginText(records[i]->Origin);
    f.clustersInUse = records[i]->ClustersInUse;
    if (f.saved) f.outputPath = platform::ToPosixPath(records[i]->SavedAs).value_or(std::string{});
    f.unreadable = records[i]->Unreadable;
    f.compressed = records[i]->CompressionUnit != 0;
    f.runs = report::UndeleteRuns(*records[i], volume);
  }
  for (const fsscan::DroppedFile& d : scanner.DroppedPictures()) {
    FoundFile f;
    f.scan = "Undelete";
    f.fullName = std::string(1, scanner.GetDrive()) + ":" + d.path;
    f.directory = d.path.substr(0, d.path.rfind('\\') + 1);
    f.size = d.size;
    f.dropped = "no decodable picture";
    found.push_back(std::move(f));
  }
  result.dropped = static_cast<std::int64_t>(scanner.DroppedPictures().size());
  return result;
}

}  // namespace cli
