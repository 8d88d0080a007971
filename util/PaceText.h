#pragma once
// How far a read of a drive has come, as both front ends show it.

#include <cstdint>
#include <string>

namespace util {

// " 42%  310.5 MB/s  0:12 left" for `position` of `total` bytes read in `seconds`;
// without the time left while no speed is known and once the end is reached.
std::string PaceText(std::int64_t position, std::int64_t total, double seconds);

}  // namespace util
