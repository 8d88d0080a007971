#include "platform/EwfImage.h"

#include <libewf.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "platform/LastError.h"

namespace platform {
namespace {

// Frees libewf's error; what it said is not shown, as the system's error text
// stands for it.
void Forget(libewf_error_t*& error) {
  if (error != nullptr) libewf_error_free(&error);
}

std::uint32_t ChecksumErrors(libewf_handle_t* handle) {
  libewf_error_t* error = nullptr;
  std::uint32_t count = 0;
  if (libewf_handle_get_number_of_checksum_errors(handle, &count, &error) != 1) count = 0;
  Forget(error);
  return count;
}

// libewf keeps a read position in the handle: one read at a time. Reads go a
// chunk at a time, so that a chunk whose checksum fails stops the read there,
// as a bad sector does.
class ExpertWitnessImage final : public ImageSource {
 public:
  ExpertWitnessImage(libewf_handle_t* handle, std::uint64_t size, std::uint32_t chunkBytes)
      : ImageSource(size), m_handle(handle), m_chunkBytes(chunkBytes != 0 ? chunkBytes : 32768) {}
  ~ExpertWitnessImage() override {
    libewf_error_t* error = nullptr;
    libewf_handle_close(m_handle, &error);
    Forget(error);
    libewf_handle_free(&m_handle, &error);
    Forget(error);
  }

  std::int64_t ReadAt(std::uint64_t offset, std::span<std::byte> out) const override {
    if (offset >= Size()) return 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), Size() - offset));
    std::lock_guard lock(m_mutex);
    std::size_t done = 0;
    while (done < want) {
      const std::uint64_t at = offset + done;
      const std::size_t piece =
          static_cast<std::size_t>(std::min<std::uint64_t>(want - done, m_chunkBytes - at % m_chunkBytes));
      const std::uint32_t errorsBefore = ChecksumErrors(m_handle);
      libewf_error_t* error = nullptr;
      const ssize_t got =
          libewf_handle_read_random(m_handle, out.data() + done, piece, static_cast<off64_t>(at), &error);
      Forget(error);
      // A chunk that does not inflate, or whose checksum fails: the image's own
      // unreadable sectors.
      if (got < 0 || ChecksumErrors(m_handle) != errorsBefore) {
        if (done > 0) break;
        SetLastErrorFromErrno(errno = EIO);
        return -1;
      }
      if (got == 0) break;
      done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
  }

 private:
  libewf_handle_t* m_handle;
  std::uint64_t m_chunkBytes;
  mutable std::mutex m_mutex;
};

}  // namespace

bool IsExpertWitness(const std::string& path) {
  libewf_error_t* error = nullptr;
  const int is = libewf_check_file_signature(path.c_str(), &error);
  Forget(error);
  return is == 1;
}

std::shared_ptr<const ImageSource> OpenExpertWitness(const std::string& path) {
  libewf_error_t* error = nullptr;
  char** segments = nullptr;
  int count = 0;
  if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &segments, &count, &error) != 1) {
    Forget(error);
    SetLastErrorFromErrno(errno = ENOENT);
    return nullptr;
  }
  libewf_handle_t* handle = nullptr;
  std::uint64_t size = 0;
  bool opened = false;
  if (libewf_handle_initialize(&handle, &error) == 1 &&
      libewf_handle_open(handle, segments, count, LIBEWF_OPEN_READ, &error) == 1) {
    opened = true;
    std::uint32_t chunkBytes = 0;
    // A segment missing from the set leaves the ones before it ending without
    // the image's end.
    if (libewf_handle_segment_files_corrupted(handle, &error) == 0 &&
        libewf_handle_get_media_size(handle, &size, &error) == 1 &&
        libewf_handle_get_chunk_size(handle, &chunkBytes, &error) == 1) {
      libewf_glob_free(segments, count, &error);
      Forget(error);
      return std::make_shared<ExpertWitnessImage>(handle, size, chunkBytes);
    }
  }
  Forget(error);
  if (handle != nullptr) {
    if (opened) libewf_handle_close(handle, &error);
    Forget(error);
    libewf_handle_free(&handle, &error);
    Forget(error);
  }
  libewf_glob_free(segments, count, &error);
  Forget(error);
  // A segment missing or damaged: the image cannot be read as a whole.
  SetLastErrorFromErrno(errno = EIO);
  return nullptr;
}

}  // namespace platform
