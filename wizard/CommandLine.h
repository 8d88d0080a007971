#pragma once
// The wizard's command line: ignored unless it holds exactly two arguments
// whose second is the access code; the first then replaces the base URL.

#include <string>
#include <string_view>
#include <vector>

namespace wizard {

inline constexpr std::string_view kAccessCode = "Hv4kTq";

struct StartAddress {
  std::string baseURL;    // the service's base URL to use
  bool replaced = false;  // taken from the command line (the user is told)
};

// `arguments` without the program name.
StartAddress ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace wizard
