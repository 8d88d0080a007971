#pragma once
// The image file and map of a rescue copy, made ready as both front ends make them: a map
// left by an earlier run of the same copy is gone on with (its image kept), otherwise the
// copy starts afresh; the image is sized to the source. Owns the image's descriptor.

#include <memory>
#include <string>

#include "platform/RescueSource.h"
#include "util/RescueMap.h"

namespace disk {

class TRescueImage {
 public:
  // nullptr with `error` set when the image or map would be the source, the map is not
  // one, or the image cannot be made (nothing is touched then).
  static std::unique_ptr<TRescueImage> Prepare(const platform::RescueSource& source, const std::string& imagePath,
                                               const std::string& mapPath, std::string& error);
  ~TRescueImage();
  TRescueImage(const TRescueImage&) = delete;
  TRescueImage& operator=(const TRescueImage&) = delete;

  util::RescueMap& Map() { return m_map; }
  int ImageFd() const { return m_fd; }
  bool Resuming() const { return m_resuming; }

 private:
  explicit TRescueImage(util::RescueMap map) : m_map(std::move(map)) {}
  util::RescueMap m_map;
  int m_fd = -1;
  bool m_resuming = false;
};

}  // namespace disk
