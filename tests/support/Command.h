#pragma once
// Runs a program with an argument vector (no shell) and captures what it prints.

#include <map>
#include <string>
#include <vector>

namespace testsupport {

struct CommandResult {
  int exitCode = -1;
  std::string output;  // standard output
  std::string errors;  // standard error
};

// Extra environment entries are added to (or replace) the inherited ones.
CommandResult RunCommand(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& extraEnv = {},
                         const std::string& input = {});
// Throws with the command's error output when it does not exit with 0.
std::string RunOrThrow(const std::vector<std::string>& argv,
                       const std::map<std::string, std::string>& extraEnv = {});

// A built program of this project, found under the build folder.
std::string BuiltProgram(const std::string& name);

}  // namespace testsupport
