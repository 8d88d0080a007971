#include "platform/TimedRead.h"

#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ImageSource.h"
#include "platform/ReadFaults.h"

namespace platform {
namespace {

// A medium that leaves this many reads hanging does not answer at all: further reads
// fail at once rather than pile up threads behind it.
constexpr std::size_t kMaxAbandoned = 16;
// Helpers kept waiting for work; more than this finish when their read is done.
constexpr std::size_t kMaxIdle = 8;

long ReadFully(const SharedDescriptor& source, std::byte* out, std::size_t count, std::uint64_t offset,
               bool withFaults, int& error) {
  const int fd = source.Get();
  std::size_t got = 0;
  while (got < count) {
    errno = 0;
    long n = 0;
    if (const ImageSource* image = source.Image()) {
      // A short read stops before an unreadable chunk: the next read there gives the error.
      n = static_cast<long>(image->ReadAt(offset + got, std::span(out + got, count - got)));
      if (n < 0 && errno == 0) errno = EIO;
    } else {
      n = withFaults ? ReadFaults::PRead(fd, out + got, count - got, offset + got)
                     : ::pread(fd, out + got, count - got, static_cast<off_t>(offset + got));
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      return -1;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<long>(got);
}

struct Helper {
  std::mutex mutex;
  std::condition_variable wake;      // work posted
  std::condition_variable finished;  // work done
  std::shared_ptr<const SharedDescriptor> fd;
  std::uint64_t offset = 0;
  std::size_t count = 0;
  bool withFaults = true;
  bool posted = false;
  bool done = false;
  bool abandoned = false;
  bool quit = false;
  long result = 0;
  int error = 0;
  std::vector<std::byte> buffer;
};

struct Pool {
  std::mutex mutex;
  std::vector<std::shared_ptr<Helper>> idle;
  std::size_t abandoned = 0;
};

// Never destroyed: helpers may still be waiting on it while the process ends.
Pool& Helpers() {
  static Pool* pool = new Pool;
  return *pool;
}

// Back to the idle list, unless enough wait there already; false: the thread ends.
bool ReturnToPool(const std::shared_ptr<Helper>& helper) {
  Pool& pool = Helpers();
  const std::lock_guard lock(pool.mutex);
  if (pool.idle.size() >= kMaxIdle) return false;
  pool.idle.push_back(helper);
  return true;
}

void Serve(const std::shared_ptr<Helper>& helper) {
  for (;;) {
    std::unique_lock lock(helper->mutex);
    helper->wake.wait(lock, [&] { return helper->posted || helper->quit; });
    if (helper->quit) return;
    helper->posted = false;
    const auto fd = helper->fd;
    const std::uint64_t offset = helper->offset;
    const std::size_t count = helper->count;
    const bool withFaults = helper->withFaults;
    if (helper->buffer.size() < count) helper->buffer.resize(count);
    std::byte* into = helper->buffer.data();
    lock.unlock();

    int error = 0;
    const long n = ReadFully(*fd, into, count, offset, withFaults, error);

    lock.lock();
    helper->fd.reset();
    helper->result = n;
    helper->error = error;
    helper->done = true;
    const bool wasAbandoned = helper->abandoned;
    helper->abandoned = false;
    lock.unlock();
    if (!wasAbandoned) {
      // The caller copies the bytes out and hands the helper back (or tells it to quit).
      helper->finished.notify_one();
      continue;
    }
    {
      const std::lock_guard poolLock(Helpers().mutex);
      --Helpers().abandoned;
    }
    if (!ReturnToPool(helper)) return;
  }
}

// nullptr when the medium leaves too many reads hanging already.
std::shared_ptr<Helper> TakeHelper() {
  Pool& pool = Helpers();
  {
    const std::lock_guard lock(pool.mutex);
    if (pool.abandoned >= kMaxAbandoned) return nullptr;
    if (!pool.idle.empty()) {
      auto helper = std::move(pool.idle.back());
      pool.idle.pop_back();
      return helper;
    }
  }
  auto helper = std::make_shared<Helper>();
  std::thread([helper] { Serve(helper); }).detach();
  return helper;
}

}  // namespace

SharedDescriptor::~SharedDescriptor() {
  if (m_fd >= 0) ::close(m_fd);
}

std::size_t PendingAbandonedReads() {
  const std::lock_guard lock(Helpers().mutex);
  return Helpers().abandoned;
}

TimedReadResult ReadWithin(const std::shared_ptr<const SharedDescriptor>& fd, std::uint64_t offset,
                           std::span<std::byte> out, std::chrono::milliseconds limit, bool withFaults) {
  TimedReadResult result;
  if (limit.count() <= 0) {
    const long n = ReadFully(*fd, out.data(), out.size(), offset, withFaults, result.error);
    if (n >= 0) result = {ReadOutcome::kDone, static_cast<std::size_t>(n), 0};
    return result;
  }
  const auto helper = TakeHelper();
  if (!helper) return {ReadOutcome::kTimedOut, 0, ETIMEDOUT};
  std::unique_lock lock(helper->mutex);
  helper->fd = fd;
  helper->offset = offset;
  helper->count = out.size();
  helper->withFaults = withFaults;
  helper->done = false;
  helper->posted = true;
  helper->wake.notify_one();
  if (!helper->finished.wait_for(lock, limit, [&] { return helper->done; })) {
    // Counted while the helper is still held, so its return cannot be counted first.
    helper->abandoned = true;
    const std::lock_guard poolLock(Helpers().mutex);
    ++Helpers().abandoned;
    return {ReadOutcome::kTimedOut, 0, ETIMEDOUT};
  }
  if (helper->result < 0) {
    result.error = helper->error;
  } else {
    std::memcpy(out.data(), helper->buffer.data(), static_cast<std::size_t>(helper->result));
    result = {ReadOutcome::kDone, static_cast<std::size_t>(helper->result), 0};
  }
  lock.unlock();
  if (!ReturnToPool(helper)) {
    // Enough helpers wait already: this one ends.
    const std::lock_guard helperLock(helper->mutex);
    helper->quit = true;
    helper->wake.notify_one();
  }
  return result;
}

}  // namespace platform
