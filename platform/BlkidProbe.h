#pragma once
// libblkid's view of a stretch of a device: which file system, its label and UUID.

#include <cstdint>
#include <string>

namespace platform {

struct SuperblockProbe {
  std::string type;
  std::string label;
  std::string uuid;
};

// Probes `length` bytes (0: to the end) from `offset` of the open `fd` for the file
// systems a drive list names; empty fields when none is there.
SuperblockProbe ProbeSuperblocks(int fd, std::uint64_t offset, std::uint64_t length);

}  // namespace platform
