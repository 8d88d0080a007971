#include "tests/support/ScanWorkers.h"

#include <memory>

#include "platform/SystemInfo.h"

namespace testsupport {

util::TWorkerPool* ScanWorkers() {
  static const std::unique_ptr<util::TWorkerPool> pool = [] {
    const std::size_t threads = platform::ScanWorkerThreads(false);
    return threads > 0 ? std::make_unique<util::TWorkerPool>(threads) : nullptr;
  }();
  return pool.get();
}

}  // namespace testsupport
