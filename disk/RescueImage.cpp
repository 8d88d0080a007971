#include "disk/RescueImage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace disk {

std::unique_ptr<TRescueImage> TRescueImage::Prepare(const platform::RescueSource& source, const std::string& imagePath,
                                                    const std::string& mapPath, std::string& error) {
  if (source.IsSameFile(imagePath) || source.IsSameFile(mapPath) || imagePath == mapPath) {
    error = "the image and the map must be files other than the source and each other";
    return nullptr;
  }
  // A map from an earlier run says what is in the image already; without one, nothing is.
  std::unique_ptr<TRescueImage> image(new TRescueImage(util::RescueMap(source.Size())));
  std::ifstream mapIn(mapPath, std::ios::binary);
  image->m_resuming = mapIn.is_open();
  if (image->m_resuming) {
    std::stringstream text;
    text << mapIn.rdbuf();
    std::string why;
    auto parsed = util::RescueMap::Parse(text.str(), source.Size(), why);
    if (!parsed) {
      error = "the map " + mapPath + " is not a mapfile (" + why + "); nothing was copied";
      return nullptr;
    }
    image->m_map = std::move(*parsed);
  }
  image->m_fd = ::open(imagePath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (image->m_resuming ? 0 : O_TRUNC), 0644);
  if (image->m_fd < 0) {
    error = "cannot open the image " + imagePath + ": " + std::strerror(errno);
    return nullptr;
  }
  struct stat info {};
  if (::fstat(image->m_fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::uint64_t>(info.st_size) < source.Size() &&
      ::ftruncate(image->m_fd, static_cast<off_t>(source.Size())) != 0) {
    error = "cannot size the image " + imagePath + ": " + std::strerror(errno);
    return nullptr;
  }
  return image;
}

TRescueImage::~TRescueImage() {
  if (m_fd >= 0) ::close(m_fd);
}

}  // namespace disk
