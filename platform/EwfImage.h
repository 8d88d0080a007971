#pragma once
// Expert Witness images (E01 and the segments after it) read through libewf.

#include <memory>
#include <string>

#include "platform/ImageSource.h"

namespace platform {

// Whether `path` begins with the Expert Witness signature.
bool IsExpertWitness(const std::string& path);
// Opens the image of which `path` is a segment, with all its segments; nullptr,
// last error and errno set, when libewf cannot read it.
std::shared_ptr<const ImageSource> OpenExpertWitness(const std::string& path);

}  // namespace platform
