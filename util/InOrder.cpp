#include "util/InOrder.h"

#include <chrono>

namespace util {

enum class ItemState { kQueued, kRunning, kFinished, kSkipped };

struct TInOrder::Shared {
  std::mutex mutex;
  std::condition_variable finished;
};

struct TInOrder::Item {
  Work work;
  Done done;
  std::function<void()> action;  // a plain action instead of work and done
  std::int64_t bytes = 0;
  ItemState state = ItemState::kQueued;  // guarded by Shared::mutex
  std::exception_ptr error;
};

TInOrder::TInOrder(TWorkerPool* pool, std::size_t maxPending, std::int64_t maxBytes)
    : m_pool(pool),
      m_maxPending(maxPending > 0 ? maxPending : 1),
      m_maxBytes(maxBytes),
      m_shared(std::make_shared<Shared>()) {}

TInOrder::~TInOrder() {
  SkipQueued();
  std::unique_lock lock(m_shared->mutex);
  for (const auto& item : m_items) {
    m_shared->finished.wait(lock, [&] { return item->state != ItemState::kRunning; });
  }
}

bool TInOrder::Stopped() { return m_stopped && m_stopped(); }

void TInOrder::Add(Work work, Done done, std::int64_t bytes) {
  if (m_pool == nullptr) {
    work();
    done(true);
    return;
  }
  Collect();
  if (Stopped()) {
    Then([done = std::move(done)] { done(false); });
    return;
  }
  // The oldest item leaves before a new one comes when the queue is full.
  std::size_t pending = 0;
  for (;;) {
    pending = 0;
    for (const auto& item : m_items) pending += item->action ? 0 : 1;
    if (pending == 0 || (pending < m_maxPending && m_bytes + bytes <= m_maxBytes)) break;
    WaitFront();
    if (Stopped()) {
      Then([done = std::move(done)] { done(false); });
      return;
    }
    RunFront();
    Collect();
  }
  auto item = std::make_shared<Item>();
  item->work = std::move(work);
  item->done = std::move(done);
  item->bytes = bytes;
  m_bytes += bytes;
  m_items.push_back(item);
  m_pool->Submit([item, shared = m_shared] {
    {
      const std::lock_guard lock(shared->mutex);
      if (item->state == ItemState::kSkipped) return;
      item->state = ItemState::kRunning;
    }
    try {
      item->work();
    } catch (...) {
      item->error = std::current_exception();
    }
    {
      const std::lock_guard lock(shared->mutex);
      item->state = ItemState::kFinished;
    }
    shared->finished.notify_all();
  });
}

void TInOrder::Then(std::function<void()> action) {
  if (m_inDone || m_items.empty()) {
    action();
    return;
  }
  auto item = std::make_shared<Item>();
  item->action = std::move(action);
  item->state = ItemState::kFinished;
  m_items.push_back(std::move(item));
}

bool TInOrder::FrontReady() {
  const std::lock_guard lock(m_shared->mutex);
  const ItemState state = m_items.front()->state;
  return state == ItemState::kFinished || state == ItemState::kSkipped;
}

void TInOrder::RunFront() {
  const std::shared_ptr<Item> item = std::move(m_items.front());
  m_items.pop_front();
  m_bytes -= item->bytes;
  const bool ran = item->action || item->state == ItemState::kFinished;
  item->work = nullptr;
  struct InDone {
    bool& flag;
    explicit InDone(bool& f) : flag(f) { flag = true; }
    ~InDone() { flag = false; }
  } inDone(m_inDone);
  if (item->action) {
    item->action();
  } else {
    if (item->error) std::rethrow_exception(item->error);
    item->done(ran);
  }
}

void TInOrder::Collect() {
  if (m_inDone) return;
  while (!m_items.empty() && FrontReady()) RunFront();
}

void TInOrder::WaitFront() {
  for (;;) {
    {
      std::unique_lock lock(m_shared->mutex);
      const auto ready = [&] {
        const ItemState state = m_items.front()->state;
        return state == ItemState::kFinished || state == ItemState::kSkipped;
      };
      if (m_shared->finished.wait_for(lock, std::chrono::milliseconds(20), ready)) return;
    }
    if (m_waitHook) m_waitHook();
    if (Stopped()) SkipQueued();
  }
}

void TInOrder::SkipQueued() {
  const std::lock_guard lock(m_shared->mutex);
  for (const auto& item : m_items) {
    if (item->state == ItemState::kQueued) item->state = ItemState::kSkipped;
  }
}

void TInOrder::Drain() {
  if (m_inDone) return;
  if (Stopped()) SkipQueued();
  while (!m_items.empty()) {
    WaitFront();
    RunFront();
  }
}

}  // namespace util
