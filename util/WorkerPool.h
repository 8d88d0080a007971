#pragma once
// TWorkerPool: a fixed set of threads that run jobs in the order they were
// handed in. Owned by whoever runs the work (a scan session); jobs must not
// outlive what they point to, so the owner destroys the pool, which finishes
// the jobs already queued, before that. Thread-safe.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace util {

class TWorkerPool {
 public:
  explicit TWorkerPool(std::size_t threads);
  ~TWorkerPool();
  TWorkerPool(const TWorkerPool&) = delete;
  TWorkerPool& operator=(const TWorkerPool&) = delete;

  std::size_t Threads() const { return m_threads.size(); }
  // A job must not throw.
  void Submit(std::function<void()> job);

 private:
  void Run(const std::stop_token& stop);

  std::mutex m_mutex;
  std::condition_variable_any m_ready;
  std::deque<std::function<void()>> m_jobs;
  std::vector<std::jthread> m_threads;
};

}  // namespace util
