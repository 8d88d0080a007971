#pragma once
// The service's storage with group commit. Handler threads hand their rows to
// one writer thread and wait; the writer takes everything that queued up while
// it was committing the previous batch, writes it in one transaction and
// commits, then wakes those handlers. A handler replies only after its row's
// commit, so an answered request is on disk (and, with SyncMode::Full, on the
// medium) whatever happens to the service afterwards; yet one commit serves
// many requests, which is what makes the synced mode fast.

#include "service/StoreBackend.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace service {

class ServiceStore {
 public:
  // An SQLite file (created with its tables when missing) or a PostgreSQL
  // address; null with `error` filled on failure.
  static std::unique_ptr<ServiceStore> Open(const std::string& database, SyncMode sync, std::string& error);
  explicit ServiceStore(std::unique_ptr<StoreBackend> backend);
  ~ServiceStore();
  ServiceStore(const ServiceStore&) = delete;
  ServiceStore& operator=(const ServiceStore&) = delete;

  // A new transaction number: never 0, never one handed out before.
  std::optional<std::int64_t> AddTransaction(std::string_view remote, std::string& error);
  // Stores one request of `kind` (`values` in the order of kind.keys). With a
  // request id that is stored already it stores nothing and succeeds, so a
  // client's retry of an answered request does not make a second row.
  bool AddRecord(const RecordKind& kind, std::vector<std::string> values, std::string_view remote,
                 std::string_view request, std::string& error);

  // Most rows one commit takes.
  static constexpr std::size_t kMaxBatch = 256;
  // Longest a commit waits for more rows to join it.
  static constexpr std::chrono::microseconds kMaxGather{1000};

 private:
  struct Ticket {
    PendingRow row;
    bool done = false;
    bool ok = false;
    std::int64_t id = 0;
    std::string error;
  };

  bool Submit(Ticket& ticket);
  void WriterLoop();

  std::unique_ptr<StoreBackend> m_backend;
  std::mutex m_mutex;
  std::condition_variable m_queued;
  std::condition_variable m_committed;
  std::deque<Ticket*> m_queue;
  bool m_stopping = false;
  std::thread m_writer;
};

}  // namespace service
