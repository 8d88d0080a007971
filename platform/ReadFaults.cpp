#include "platform/ReadFaults.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <limits>
#include <mutex>
#include <vector>

namespace platform {
namespace {

struct Fault {
  dev_t device = 0;
  ino_t inode = 0;
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
  int error = 0;  // 0: the device ends at `begin`
};

struct Registry {
  std::mutex mutex;
  std::vector<Fault> faults;
  std::atomic<bool> any{false};
};

Registry& Faults() {
  static Registry registry;
  return registry;
}

bool Add(const std::string& path, Fault fault) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  fault.device = st.st_dev;
  fault.inode = st.st_ino;
  Registry& r = Faults();
  std::lock_guard lock(r.mutex);
  r.faults.push_back(fault);
  r.any = true;
  return true;
}

}  // namespace

bool ReadFaults::Fail(const std::string& path, std::uint64_t begin, std::uint64_t end, int error) {
  return begin < end && Add(path, {0, 0, begin, end, error == 0 ? EIO : error});
}

bool ReadFaults::EndAt(const std::string& path, std::uint64_t size) {
  return Add(path, {0, 0, size, std::numeric_limits<std::uint64_t>::max(), 0});
}

void ReadFaults::Clear() {
  Registry& r = Faults();
  std::lock_guard lock(r.mutex);
  r.faults.clear();
  r.any = false;
}

long ReadFaults::PRead(int fd, void* buffer, std::uint64_t count, std::uint64_t offset) {
  Registry& r = Faults();
  if (r.any) {
    struct stat st {};
    if (::fstat(fd, &st) == 0) {
      std::lock_guard lock(r.mutex);
      for (const Fault& f : r.faults) {
        if (f.device != st.st_dev || f.inode != st.st_ino || f.end <= offset || f.begin >= offset + count) continue;
        if (f.begin <= offset) {
          if (f.error == 0) return 0;
          errno = f.error;
          return -1;
        }
        count = std::min(count, f.begin - offset);  // what lies before the fault still reads
      }
    }
  }
  return ::pread(fd, buffer, count, static_cast<off_t>(offset));
}

}  // namespace platform
