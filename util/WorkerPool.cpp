#include "util/WorkerPool.h"

#include <algorithm>

namespace util {

TWorkerPool::TWorkerPool(std::size_t threads) {
  m_threads.reserve(std::max<std::size_t>(1, threads));
  for (std::size_t i = 0; i < std::max<std::size_t>(1, threads); ++i) {
    m_threads.emplace_back([this](const std::stop_token& stop) { Run(stop); });
  }
}

TWorkerPool::~TWorkerPool() {
  for (auto& thread : m_threads) thread.request_stop();
  m_ready.notify_all();
  m_threads.clear();
}

void TWorkerPool::Submit(std::function<void()> job) {
  {
    const std::lock_guard lock(m_mutex);
    m_jobs.push_back(std::move(job));
  }
  m_ready.notify_one();
}

void TWorkerPool::Run(const std::stop_token& stop) {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(m_mutex);
      // Jobs queued before a stop still run: their owners wait for them.
      m_ready.wait(lock, stop, [this] { return !m_jobs.empty(); });
      if (m_jobs.empty()) return;
      job = std::move(m_jobs.front());
      m_jobs.pop_front();
    }
    job();
  }
}

}  // namespace util
