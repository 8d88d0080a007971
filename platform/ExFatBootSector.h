#pragma once
// The exFAT boot sector, as far as the drive queries need it (sizes and serial).

#include <optional>

#include "platform/BootSector.h"
#include "util/ByteReader.h"

namespace platform {

std::optional<BootGeometry> DecodeExFatBootSector(const util::ByteReader& sector, const DeviceLimits& device);

}  // namespace platform
