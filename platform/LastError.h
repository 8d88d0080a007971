#pragma once
// The "last error" of the calling thread, as Windows error numbers.

#include <cstdint>

namespace platform {

inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorNotReady = 21;
inline constexpr std::uint32_t kErrorCrc = 23;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorSemTimeout = 121;  // a device that did not answer in time

std::uint32_t GetLastError();
void SetLastError(std::uint32_t code);
// EACCES/EPERM 5, ENOENT/ENXIO/ENODEV 21, EIO 23, EEXIST 80, EINVAL 87, ENOSPC 112, ETIMEDOUT 121,
// others 31.
std::uint32_t WindowsErrorFromErrno(int err);
// Sets the last error from errno and returns it.
std::uint32_t SetLastErrorFromErrno(int err);

}  // namespace platform
