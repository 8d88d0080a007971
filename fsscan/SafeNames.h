#pragma once
// Names and folders read from a medium, made safe before they reach the output
// folder: no "..", no "/", no control characters, no empty names.

#include <string>
#include <string_view>

namespace fsscan {

// One name: "/", "\" and control characters become "_"; "", "." and ".." become "_",
// "_." and "_..". Every other character is kept, a trailing dot included.
std::string SafeName(std::string_view name);
// A directory path in the scan's form ("\A\B\"): each level made safe, empty levels dropped.
// The result starts and ends with a backslash.
std::string SafeDirectory(std::string_view dir);

}  // namespace fsscan
