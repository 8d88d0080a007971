#pragma once
// A scanner log line as --verbose prints it: the action code in brackets, then the
// message with each "<br>" (any case) starting a new, indented line.

#include <string>

namespace cli {

std::string FormatLogLine(const std::string& message, const std::string& action);

}  // namespace cli
