#pragma once
// TInOrder: work handed to a worker pool in a fixed order whose results are taken
// back on the owner's thread in that same order, with plain actions of the owner
// (log lines, progress) kept in line between them. What the owner sees is what
// running everything one after another on its own thread would show. At most
// `maxPending` items, and about `maxBytes` of their data, wait at once; a
// further Add waits for the oldest. Without a pool everything runs at once, on
// the owner's thread. Owned by one run of a scan; used from the owner's thread
// only. Destroying it skips the work not yet begun and waits for the rest.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

#include "util/WorkerPool.h"

namespace util {

class TInOrder {
 public:
  using Work = std::function<void()>;
  // `ran` is false when the work was skipped by a stop.
  using Done = std::function<void(bool ran)>;

  TInOrder(TWorkerPool* pool, std::size_t maxPending, std::int64_t maxBytes);
  ~TInOrder();
  TInOrder(const TInOrder&) = delete;
  TInOrder& operator=(const TInOrder&) = delete;

  // Called about every 20 ms while the owner waits: the window keeps working.
  void SetWaitHook(std::function<void()> hook) { m_waitHook = std::move(hook); }
  // Once it answers true, work not yet begun is skipped.
  void SetStopped(std::function<bool()> stopped) { m_stopped = std::move(stopped); }

  // `work` on a worker (it must not touch the owner's state), then `done` here, in turn.
  void Add(Work work, Done done, std::int64_t bytes);
  // An action in turn behind everything added before it; at once when nothing waits
  // or when called from a `done` or an action.
  void Then(std::function<void()> action);
  // Runs the `done` of the finished items at the front.
  void Collect();
  // Waits for every item and runs what is left. An exception from a `done` (or
  // thrown by a work and carried over) leaves here; the items behind it stay.
  void Drain();

 private:
  struct Shared;
  struct Item;
  bool Stopped();
  bool FrontReady();
  void RunFront();
  void WaitFront();
  void SkipQueued();

  TWorkerPool* m_pool;
  std::size_t m_maxPending;
  std::int64_t m_maxBytes;
  std::shared_ptr<Shared> m_shared;
  std::deque<std::shared_ptr<Item>> m_items;
  std::int64_t m_bytes = 0;
  bool m_inDone = false;
  std::function<void()> m_waitHook;
  std::function<bool()> m_stopped;
};

}  // namespace util
