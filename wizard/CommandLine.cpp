#include "wizard/CommandLine.h"

#include "online/ServiceAddress.h"

namespace wizard {

StartAddress ParseCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.size() == 2 && arguments[1] == kAccessCode) return {arguments[0], true};
  return {std::string(online::kDefaultBaseURL), false};
}

}  // namespace wizard
