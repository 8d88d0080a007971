#include "online/Browser.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace online {
namespace {

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string dir(rest.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    if (dir.empty()) continue;
    const std::string candidate = dir + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

}  // namespace

bool BrowseURL(std::string_view address) {
  const std::string opener = FindOnPath("xdg-open");
  if (opener.empty()) return false;
  const std::string argument(address);
  // Everything the children need is prepared before fork: after it only
  // async-signal-safe calls are made. The middle child exits at once, so the
  // opener is adopted by init and never left as a zombie of this process.
  const char* argv[] = {opener.c_str(), argument.c_str(), nullptr};
  const pid_t middle = fork();
  if (middle < 0) return true;  // errors after finding the opener are not reported
  if (middle == 0) {
    if (fork() == 0) {
      setsid();
      execv(argv[0], const_cast<char* const*>(argv));
      _exit(127);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(middle, &status, 0);
  return true;
}

}  // namespace online
