#include "service/ServiceStore.h"

#include "service/PostgresStore.h"
#include "service/SqliteStore.h"

#include <algorithm>

namespace service {

bool IsPostgresAddress(const std::string& database) {
  return database.rfind("postgresql://", 0) == 0 || database.rfind("postgres://", 0) == 0;
}

std::unique_ptr<ServiceStore> ServiceStore::Open(const std::string& database, SyncMode sync, std::string& error) {
  std::unique_ptr<StoreBackend> backend;
  if (IsPostgresAddress(database)) {
    backend = PostgresStore::Open(database, sync, error);
  } else {
    backend = SqliteStore::Open(database, sync, error);
  }
  if (!backend) return nullptr;
  return std::make_unique<ServiceStore>(std::move(backend));
}

ServiceStore::ServiceStore(std::unique_ptr<StoreBackend> backend)
    : m_backend(std::move(backend)), m_writer([this] { WriterLoop(); }) {}

ServiceStore::~ServiceStore() {
  {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
  }
  m_queued.notify_all();
  m_writer.join();
}

std::optional<std::int64_t> ServiceStore::AddTransaction(std::string_view remote, std::string& error) {
  Ticket ticket;
  ticket.row.remote = remote;
  if (!Submit(ticket)) {
    error = ticket.error;
    return std::nullopt;
  }
  return ticket.id;
}

bool ServiceStore::AddRecord(const RecordKind& kind, std::vector<std::string> values, std::string_view remote,
                             std::string_view request, std::string& error) {
  if (values.size() != kind.keys.size()) {
    error = "wrong number of values";
    return false;
  }
  Ticket ticket;
  ticket.row.kind = &kind;
  ticket.row.values = std::move(values);
  ticket.row.remote = remote;
  ticket.row.request = request;
  if (!Submit(ticket)) {
    error = ticket.error;
    return false;
  }
  return true;
}

bool ServiceStore::Submit(Ticket& ticket) {
  std::unique_lock lock(m_mutex);
  if (m_stopping) {
    ticket.error = "the service is stopping";
    return false;
  }
  m_queue.push_back(&ticket);
  m_queued.notify_one();
  m_committed.wait(lock, [&] { return ticket.done; });
  return ticket.ok;
}

void ServiceStore::WriterLoop() {
  std::vector<Ticket*> batch;
  std::vector<PendingRow> rows;
  std::vector<std::int64_t> ids;
  std::size_t recentBatch = 0;
  std::chrono::steady_clock::duration lastCommit{};
  for (;;) {
    {
      std::unique_lock lock(m_mutex);
      m_queued.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
      // Clients answered together come back together, a little spread out. A
      // commit started with the first of them would make the rest wait for
      // it and then for one more; so when fewer rows are queued than recent
      // commits took, wait a fraction of a commit's time for the others.
      if (m_queue.size() < recentBatch) {
        const auto gather = std::min<std::chrono::steady_clock::duration>(lastCommit / 2, kMaxGather);
        m_queued.wait_for(lock, gather, [&] { return m_stopping || m_queue.size() >= recentBatch; });
      }
      // Requests already queued are still written when stopping: their handlers are waiting.
      if (m_queue.empty()) return;
      batch.clear();
      while (!m_queue.empty() && batch.size() < kMaxBatch) {
        batch.push_back(m_queue.front());
        m_queue.pop_front();
      }
    }
    // The rows are moved out and back so the backend sees one contiguous span.
    rows.clear();
    for (Ticket* t : batch) rows.push_back(std::move(t->row));
    std::string error;
    const auto started = std::chrono::steady_clock::now();
    const bool ok = m_backend->WriteBatch(rows, ids, error);
    lastCommit = std::chrono::steady_clock::now() - started;
    // The largest recent batch, forgotten slowly: a few late clients should
    // not shrink the next batches to those who happened to be on time.
    recentBatch = std::max(batch.size(), recentBatch > 0 ? recentBatch - 1 : 0);
    {
      std::lock_guard lock(m_mutex);
      for (std::size_t i = 0; i < batch.size(); ++i) {
        batch[i]->ok = ok;
        batch[i]->id = ok && i < ids.size() ? ids[i] : 0;
        batch[i]->error = error;
        batch[i]->done = true;
      }
    }
    m_committed.notify_all();
    m_backend->AfterBatch();
  }
}

}  // namespace service
