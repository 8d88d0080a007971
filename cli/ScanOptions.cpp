#include "cli/ScanOptions.h"

namespace cli {

std::optional<ScanOptions> ParseScanOptions(const std::vector<std::string>& args, std::string& error) {
  ScanOptions options;
  struct Flag {
    const char* name;
    bool ScanOptions::*target;
  };
  struct Value {
    const char* name;
    std::string ScanOptions::*target;
  };
  static constexpr Flag kFlags[] = {{"--undelete", &ScanOptions::undelete}, {"--low", &ScanOptions::low},
                                    {"--all", &ScanOptions::all},           {"--thorough", &ScanOptions::thorough},
                                    {"--verbose", &ScanOptions::verbose}};
  static constexpr Value kValues[] = {{"--types", &ScanOptions::types},         {"--out", &ScanOptions::out},
                                      {"--report", &ScanOptions::report},       {"--catalogue", &ScanOptions::catalogue},
                                      {"--service", &ScanOptions::service},     {"--partition", &ScanOptions::partition},
                                      {"--timeout-ms", &ScanOptions::timeoutMs}, {"--dfxml", &ScanOptions::dfxml}};
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool known = false;
    for (const Flag& f : kFlags) {
      if (arg == f.name) {
        options.*(f.target) = true;
        known = true;
      }
    }
    for (const Value& v : kValues) {
      const std::string prefix = std::string(v.name) + "=";
      if (arg == v.name) {
        if (i + 1 >= args.size()) {
          error = std::string(v.name) + " needs a value";
          return std::nullopt;
        }
        options.*(v.target) = args[++i];
        known = true;
      } else if (arg.rfind(prefix, 0) == 0) {
        options.*(v.target) = arg.substr(prefix.size());
        known = true;
      }
    }
    if (known) continue;
    if (!arg.empty() && arg[0] == '-') {
      error = "unknown option " + arg;
      return std::nullopt;
    }
    if (!options.source.empty()) {
      error = "only one source can be scanned at a time";
      return std::nullopt;
    }
    options.source = arg;
  }
  if (options.source.empty()) {
    error = "scan needs a SOURCE";
    return std::nullopt;
  }
  if (!options.partition.empty() &&
      (options.partition.size() > 3 || options.partition.find_first_not_of("0123456789") != std::string::npos)) {
    error = "--partition needs a number (0 for the whole disk)";
    return std::nullopt;
  }
  if (!options.timeoutMs.empty() &&
      (options.timeoutMs.size() > 7 || options.timeoutMs.find_first_not_of("0123456789") != std::string::npos)) {
    error = "--timeout-ms takes milliseconds from 0 to 9999999";
    return std::nullopt;
  }
  if (!options.undelete && !options.low) options.undelete = true;
  return options;
}

}  // namespace cli
