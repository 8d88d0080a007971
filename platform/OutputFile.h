#pragma once
// A file a save writes: created (or replaced) at a drive-letter path, its
// descriptor owned and closed when it goes. Failures set the last error.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace platform {

class TOutputFile {
 public:
  enum class Mode : std::uint8_t { kReplace, kNew };
  // kNew fails (kErrorFileExists) where a file or folder of that name is there already.
  explicit TOutputFile(std::string_view path, Mode mode = Mode::kReplace);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  bool IsOpen() const { return m_fd >= 0; }
  // Every byte, or false; `written` counts what reached the file either way.
  bool WriteAll(std::span<const std::byte> data, std::int64_t& written);
  // A range of zeros left as a hole: no space taken where the file system keeps holes.
  bool SkipZeros(std::int64_t count);
  // Modification and access time, seconds since the epoch.
  bool SetTimes(std::int64_t unixSeconds);
  // Gives the file its whole length (a trailing hole included) and closes it;
  // false when the data may not have reached the disk.
  bool Close();

 private:
  int m_fd = -1;
  std::int64_t m_position = 0;
  std::int64_t m_length = 0;
};

}  // namespace platform
