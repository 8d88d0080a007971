#include "platform/LastError.h"

#include <cerrno>

namespace platform {
namespace {
thread_local std::uint32_t t_lastError = 0;
}

std::uint32_t GetLastError() { return t_lastError; }
void SetLastError(std::uint32_t code) { t_lastError = code; }

std::uint32_t WindowsErrorFromErrno(int err) {
  switch (err) {
    case 0: return kErrorSuccess;
    case EACCES:
    case EPERM:
    case EROFS: return kErrorAccessDenied;
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM: return kErrorNotReady;
    case EIO: return kErrorCrc;
    case EEXIST: return kErrorFileExists;
    case EINVAL: return kErrorInvalidParameter;
    case ENOSPC:
    case EDQUOT: return kErrorDiskFull;
    case ETIMEDOUT: return kErrorSemTimeout;
    default: return kErrorGenFailure;
  }
}

std::uint32_t SetLastErrorFromErrno(int err) {
  t_lastError = WindowsErrorFromErrno(err);
  return t_lastError;
}

}  // namespace platform
