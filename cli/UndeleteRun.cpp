#include "cli/UndeleteRun.h"

#include <iostream>

#include "cli/LogLines.h"
#include "lowscan/imagecheck/ImageCheck.h"
#include "platform/DriveTable.h"
#include "report/FileEntry.h"

namespace cli {

ScanTotals RunUndelete(const ScanOptions& options, fsscan::TMekFATScan& scanner, util::IPrompt& prompt,
                           const std::string& outputFolder, const LogSink& log, std::vector<FoundFile>& found) {
  ScanTotals result;
  scanner.SetPrompt(&prompt);
  scanner.SetDeletedOnly(!options.all);
  scanner.SetFilter(options.types);
  // The wizard's picture check: pictures that do not decode are not reported.
  scanner.SetImageFilter("jpg;jpeg;bmp;emf;wmf");
  scanner.OnImageCheck = [](fsscan::TMekFATScan* sender, util::TMemoryStream& image, const std::string& type,
                            bool& ok) { lowscan::imagecheck::LowScanImageCheck(sender, image, type, ok); };
  const std::size_t first = found.size();
  scanner.OnFileNotify = [&](fsscan::TMekFATScan*, util::TScanType, const std::string& id, util::TMemoryStream*,
                             const std::string& fullName, const std::string&, util::TFileType, std::int64_t size) {
    if (found.size() == first) found.reserve(first + scanner.FileList().size());
    FoundFile f;
    f.scan = "Undelete";
    f.id = "F" + id;
    f.fullName = fullName;
    f.size = size;
    found.push_back(std::move(f));
    if ((found.size() - first) % 1000 == 0) std::cerr << "\rFound " << found.size() - first << " files..." << std::flush;
  };
  scanner.OnUpdateMessageNotify = [](fsscan::TMekFATScan*, const std::string& message, bool visible) {
    if (visible && !message.empty()) std::cerr << message << '\n';
  };
  if (options.verbose || log) {
    scanner.OnLogNotify = [&](fsscan::TMekFATScan*, const std::string& message, const std::string& action) {
      if (options.verbose) std::cerr << FormatLogLine(message, action) << '\n';
      if (log) log(message, action);
    };
  }
  const auto started = Clock::now();
  scanner.ScanDrive();
  CountFound(scanner, started, result);
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
    if (f.saved) f.outputPath = platform::ToPosixPath(records[i]->SavedAs).value_or(std::string{});
    f.compressed = records[i]->CompressionUnit != 0;
    f.runs = report::UndeleteRuns(*records[i], volume);
  }
  return result;
}

}  // namespace cli
