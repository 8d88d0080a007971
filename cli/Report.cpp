#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/FoundFile.h"
#include "report/Dfxml.h"

namespace cli {
namespace {

nlohmann::json DateText(util::TDateTime date) {
  if (date == 0) return nullptr;
  const util::DateTimeFields f = util::DecodeDateTime(date);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
                f.second);
  return text;
}

nlohmann::json RangesOf(const std::vector<disk::TUnreadableSectors::Range>& ranges) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& r : ranges) list.push_back({{"first", r.first}, {"last", r.first + r.count - 1}});
  return list;
}

}  // namespace

bool WriteReport(const std::string& path, const std::vector<FoundFile>& files) {
  nlohmann::json report = nlohmann::json::array();
  for (const FoundFile& f : files) {
    report.push_back({{"scan", f.scan},
                      {"id", f.id},
                      {"fullName", f.fullName},
                      {"directory", f.directory},
                      {"size", f.size},
                      {"date", DateText(f.date)},
                      {"firstCluster", f.firstCluster},
                      {"saved", f.saved},
                      {"rebuilt", f.rebuilt},
                      {"origin", f.origin.empty() ? nlohmann::json(nullptr) : nlohmann::json(f.origin)},
                      {"clustersInUse", f.clustersInUse},
                      {"outputPath", f.outputPath.empty() ? nlohmann::json(nullptr) : nlohmann::json(f.outputPath)},
                      {"unreadableSectors", RangesOf(f.unreadable)},
                      {"dropped", f.dropped.empty() ? nlohmann::json(nullptr) : nlohmann::json(f.dropped)}});
  }
  std::ofstream out(path, std::ios::trunc);
  // Names from a damaged medium need not be valid UTF-8; replace rather than fail.
  out << report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  return static_cast<bool>(out);
}

bool WriteDfxmlReport(const std::string& path, const std::string& commandLine, const std::string& source,
                      const std::vector<FoundFile>& files, std::string& why) {
  std::vector<report::FileEntry> entries;
  entries.reserve(files.size());
  for (const FoundFile& f : files) {
    if (!f.dropped.empty()) continue;  // no runs to describe: its bytes are no picture of its type
    report::FileEntry& e = entries.emplace_back();
    e.scan = f.scan;
    e.id = f.id;
    // The Undelete scan names files with their drive letter ("E:\DCIM\x.jpg"); the report
    // names them on their volume.
    e.name = f.fullName.size() >= 2 && f.fullName[1] == ':' ? f.fullName.substr(2) : f.fullName;
    e.size = f.size;
    e.modified = f.date;
    e.compressed = f.compressed;
    e.runs = f.runs;
    e.saved = f.saved;
    e.savedPath = f.outputPath;
    e.origin = f.origin;
  }
  return report::WriteDfxml(path, {"trellmond-cli", commandLine, source}, entries, why);
}

}  // namespace cli
