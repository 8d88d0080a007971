#pragma once
// The workers a test program's scans check their pictures on, as TRELLMOND_THREADS
// asks (none for 1): the scan tests run once each way and must agree.

#include "util/WorkerPool.h"

namespace testsupport {

util::TWorkerPool* ScanWorkers();

}  // namespace testsupport
