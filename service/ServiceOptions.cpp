#include "service/ServiceOptions.h"

#include <charconv>
#include <cstdlib>

#include "online/ServiceAddress.h"
#include "platform/Companion.h"

namespace service {
namespace {

std::string DefaultDatabasePath() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (dataHome != nullptr && dataHome[0] == '/') {
    base = dataHome;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr ? home : ".") + "/.local/share";
  }
  return base + "/Pelmora/trellmond-service.sqlite";
}

std::string DefaultDataFolder() {
  if (const char* env = std::getenv("TRELLMOND_SERVICE_DATA"); env != nullptr && env[0] != '\0') return env;
  // An installed service uses its installed data; one run from the build folder the source tree's.
  if (std::string installed = platform::InstalledDataFolder("service"); !installed.empty()) return installed;
  return TRELLMOND_SERVICE_DATA_DIR;
}

bool ParseInt(const std::string& text, int low, int high, int& out) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || value < low || value > high) return false;
  out = value;
  return true;
}

}  // namespace

std::string DefaultVersionText() {
  const std::string full = TRELLMOND_VERSION_TEXT;
  const std::size_t first = full.find('.');
  if (first == std::string::npos) return full;
  const std::size_t second = full.find('.', first + 1);
  return full.substr(0, second);
}

std::string ServiceUsage() {
  return "Usage: trellmond-service [options]\n"
         "  --bind ADDRESS        address to listen on (default " +
         std::string(online::kDefaultServiceHost) +
         ")\n"
         "  --port N              port (default " +
         std::to_string(online::kDefaultServicePort) +
         "; 0 picks a free one)\n"
         "  --database FILE|URL   SQLite file (default $XDG_DATA_HOME/Pelmora/trellmond-service.sqlite)\n"
         "                        or a PostgreSQL server: postgresql://USER@HOST/DATABASE\n"
         "  --data FOLDER         catalogue and site pages (default " +
         DefaultDataFolder() +
         ")\n"
         "  --version TEXT        version reported to clients (default " +
         DefaultVersionText() +
         ")\n"
         "  --news 0|1            news flag (default: 1 when the language's news page exists)\n"
         "  --console-token TEXT  enables the support console under /console/ (also\n"
         "                        $TRELLMOND_CONSOLE_TOKEN)\n"
         "  --sync normal|full    normal survives a killed service, full also a power loss\n"
         "  --threads N           worker threads (default 48)\n"
         "  --request-time S      seconds a client has to send a request's headers and body (default 10)\n"
         "  --per-address N       open connections allowed from one client address (default 64)\n"
         "Prints \"listening on http://ADDRESS:PORT\" once it accepts requests.\n";
}

ParsedOptions ParseServiceOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  ServiceOptions& o = parsed.options;
  o.bindAddress = std::string(online::kDefaultServiceHost);
  o.port = online::kDefaultServicePort;
  o.databasePath = DefaultDatabasePath();
  o.dataFolder = DefaultDataFolder();
  o.version = DefaultVersionText();
  if (const char* token = std::getenv("TRELLMOND_CONSOLE_TOKEN"); token != nullptr) o.consoleToken = token;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      parsed.showHelp = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      parsed.error = "unknown option or missing value: " + arg;
      return parsed;
    }
    const std::string& value = args[++i];
    if (arg == "--bind") {
      o.bindAddress = value;
    } else if (arg == "--port") {
      if (!ParseInt(value, 0, 65535, o.port)) parsed.error = "invalid port: " + value;
    } else if (arg == "--database") {
      o.databasePath = value;
    } else if (arg == "--data") {
      o.dataFolder = value;
    } else if (arg == "--version") {
      o.version = value;
    } else if (arg == "--news") {
      if (value != "0" && value != "1") parsed.error = "--news takes 0 or 1";
      o.newsFlag = value;
    } else if (arg == "--console-token") {
      o.consoleToken = value;
    } else if (arg == "--sync") {
      if (value != "normal" && value != "full") parsed.error = "--sync takes normal or full";
      o.sync = value == "full" ? SyncMode::Full : SyncMode::Normal;
    } else if (arg == "--threads") {
      if (!ParseInt(value, 1, 1024, o.threads)) parsed.error = "invalid thread count: " + value;
    } else if (arg == "--request-time") {
      if (!ParseInt(value, 1, 3600, o.requestSeconds)) parsed.error = "invalid request time: " + value;
    } else if (arg == "--per-address") {
      if (!ParseInt(value, 1, 100000, o.perAddress)) parsed.error = "invalid connection count: " + value;
    } else {
      parsed.error = "unknown option: " + arg;
    }
    if (!parsed.error.empty()) return parsed;
  }
  return parsed;
}

}  // namespace service
