#pragma once
// A whole disk or card image named as one drive becomes the drives a user expects: one
// per volume its partition table names or its boot sectors show, then the whole disk
// for a Low Level Scan of all of it. A bare volume stays one drive.

#include <string>
#include <vector>

#include "platform/DriveTable.h"

namespace platform {

struct SplitDisk {
  std::vector<DriveEntry> drives;  // letters left 0: the caller gives them, in this order
  std::vector<std::string> notes;  // what the layout reading refused, cut or found
};

// `whole` is the entry the path alone makes (its devicePath an image or block device).
// Read once per medium: the same unchanged image or device gives the kept answer.
SplitDisk SplitIntoVolumes(const DriveEntry& whole);

}  // namespace platform
