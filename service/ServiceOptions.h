#pragma once
// Command-line options of trellmond-service.

#include "service/StoreBackend.h"

#include <optional>
#include <string>
#include <vector>

namespace service {

struct ServiceOptions {
  std::string bindAddress;   // loopback unless told otherwise
  int port = 0;              // 0: any free port (printed at start)
  std::string databasePath;  // an SQLite file ($XDG_DATA_HOME/Pelmora/trellmond-service.sqlite) or postgresql://...
  std::string dataFolder;    // holds catalogue/ and site/
  std::string version;       // reply to searchKey=VERSION
  std::optional<std::string> newsFlag;  // reply to searchKey=NEWS; by default "1" when the news page exists
  std::string consoleToken;  // empty: the console refuses everyone
  SyncMode sync = SyncMode::Normal;
  int threads = 48;
  int requestSeconds = 10;  // time a client has to send a request's headers and body
  int perAddress = 64;      // open connections allowed from one client address
};

struct ParsedOptions {
  ServiceOptions options;
  bool showHelp = false;
  std::string error;  // empty when the command line was understood
};

ParsedOptions ParseServiceOptions(const std::vector<std::string>& args);
std::string ServiceUsage();
// major.minor of this program's own version.
std::string DefaultVersionText();

}  // namespace service
