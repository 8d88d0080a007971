// trellmond-cli image: a rescue copy of a drive or image into an image file.

#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <iomanip>
#include <iostream>

#include "cli/Commands.h"
#include "cli/ImageProgress.h"
#include "disk/RescueCopy.h"
#include "disk/RescueImage.h"
#include "platform/DriveTable.h"
#include "platform/RescueSource.h"
#include "util/Text.h"

namespace cli {
namespace {

// The shell's code for a run ended by Ctrl-C: the map says where to go on.
constexpr int kExitStopped = 130;

std::atomic<bool> g_stop{false};

void OnStopSignal(int) { g_stop.store(true); }

struct ImageArgs {
  std::string source, image, map;
  int retries = 0;
  long timeoutMs = 0;
};

bool ParseCount(const std::string& text, long max, long& value) {
  if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), ::isdigit)) return false;
  value = std::stol(text);
  return value <= max;
}

// Empty on success, else what is wrong with the arguments.
std::string ParseArgs(const std::vector<std::string>& args, ImageArgs& out) {
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takesValue = arg == "--map" || arg == "--retries" || arg == "--timeout-ms";
    if (takesValue && i + 1 >= args.size()) return arg + " needs a value";
    long value = 0;
    if (arg == "--map") {
      out.map = args[++i];
    } else if (arg == "--retries") {
      if (!ParseCount(args[++i], 1000, value)) return "--retries takes a count from 0 to 1000";
      out.retries = static_cast<int>(value);
    } else if (arg == "--timeout-ms") {
      if (!ParseCount(args[++i], 3600000, value)) return "--timeout-ms takes milliseconds from 0 to 3600000";
      out.timeoutMs = value;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return "unknown option " + arg;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) return "image takes a SOURCE and an IMAGE";
  out.source = positional[0];
  out.image = positional[1];
  if (out.map.empty()) out.map = out.image + ".map";
  return {};
}

struct SourceSpan {
  std::string path;  // empty: a letter with no device
  std::uint64_t offset = 0, length = 0;
};

// A drive letter of the table stands for its device (or its stretch of a whole disk);
// anything else is a path.
SourceSpan SourceOf(const std::string& source) {
  const bool letter = (source.size() == 1 || (source.size() == 2 && source[1] == ':')) &&
                      std::isalpha(static_cast<unsigned char>(source[0]));
  if (!letter) return {source};
  const auto entry = platform::DriveTable::Instance().Find(util::UpperCase(source.substr(0, 1))[0]);
  if (!entry) return {};
  return {entry->devicePath, entry->offset, entry->length};
}

std::string CommandLine(const std::vector<std::string>& args) {
  std::string line = "trellmond-cli image";
  for (const auto& arg : args) line += " " + arg;
  return line;
}

std::string Now() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace

int RunImage(const std::vector<std::string>& args) {
  ImageArgs options;
  if (const std::string error = ParseArgs(args, options); !error.empty()) {
    std::cerr << error << "\n\n" << UsageText();
    return kExitUsage;
  }
  const SourceSpan span = SourceOf(options.source);
  const std::string& sourcePath = span.path;
  if (sourcePath.empty()) {
    std::cerr << "drive " << options.source << " has no device to copy (see: trellmond-cli drives)\n";
    return kExitSourceUnreadable;
  }
  auto source = platform::RescueSource::Open(sourcePath, span.offset, span.length);
  if (!source) {
    std::cerr << "cannot open the source " << sourcePath << ": " << std::strerror(errno) << "\n";
    return kExitSourceUnreadable;
  }
  std::string error;
  const auto image = disk::TRescueImage::Prepare(*source, options.image, options.map, error);
  if (!image) {
    std::cerr << error << "\n";
    return kExitOutputRefused;
  }
  util::RescueMap& map = image->Map();
  const int imageFd = image->ImageFd();

  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program at once
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  const disk::RescueTarget target{imageFd, options.map,
                                  {"Mapfile. Created by trellmond-cli", "Command line: " + CommandLine(args),
                                   "Start time:   " + Now()}};
  disk::RescueOptions rescueOptions;
  rescueOptions.retries = options.retries;
  rescueOptions.timeout = std::chrono::milliseconds(options.timeoutMs);
  ImageProgress progress(std::cerr, isatty(STDERR_FILENO) != 0, map.BytesWith('+'));
  disk::RescueProgress last;
  const auto start = std::chrono::steady_clock::now();
  const auto result = disk::RunRescue(*source, map, target, rescueOptions, g_stop, [&](const auto& now) {
    last = now;
    progress.Show(now);
  });
  last.size = map.Size();
  last.rescued = map.BytesWith('+');
  last.settled = last.rescued + map.BytesWith('-');
  last.badAreas = map.BadAreas();
  progress.Show(last, true);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  if (result.end == disk::RescueEnd::kWriteFailed) {
    std::cerr << result.error << "\n";
    return kExitOutputRefused;
  }
  std::cout << "Rescued " << last.rescued << " of " << last.size << " bytes, " << last.badAreas << " bad area"
            << (last.badAreas == 1 ? "" : "s") << " (" << map.BytesWith('-') << " bytes), " << std::fixed
            << std::setprecision(1) << seconds << " seconds\n";
  if (result.end == disk::RescueEnd::kStopped) {
    std::cerr << "Stopped: the same command goes on from the map " << options.map << "\n";
    return kExitStopped;
  }
  return kExitDone;
}

}  // namespace cli
