#include "service/SqliteCheckpointer.h"

#include <chrono>
#include <cstdio>

namespace service {

std::unique_ptr<SqliteCheckpointer> SqliteCheckpointer::Start(sqlite3* writer, const std::string& path,
                                                              std::string& error) {
  DbPtr db = OpenDatabase(path, false, error);
  if (!db) return nullptr;
  auto checkpointer = std::make_unique<SqliteCheckpointer>(std::move(db));
  // Replaces SQLite's own checkpoint after commit.
  sqlite3_wal_hook(writer, &SqliteCheckpointer::OnCommit, checkpointer.get());
  return checkpointer;
}

SqliteCheckpointer::SqliteCheckpointer(DbPtr db) : m_db(std::move(db)), m_thread([this] { Loop(); }) {}

SqliteCheckpointer::~SqliteCheckpointer() {
  {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_all();
  m_thread.join();
}

int SqliteCheckpointer::OnCommit(void* self, sqlite3*, const char*, int walPages) {
  if (walPages >= kWalPages) {
    auto* checkpointer = static_cast<SqliteCheckpointer*>(self);
    {
      std::lock_guard lock(checkpointer->m_mutex);
      checkpointer->m_wanted = true;
    }
    checkpointer->m_wake.notify_one();
  }
  return SQLITE_OK;
}

void SqliteCheckpointer::Loop() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    // Also now and then without a signal, so a quiet service's WAL is folded in too.
    m_wake.wait_for(lock, std::chrono::seconds(5), [&] { return m_wanted || m_stopping; });
    if (m_stopping) return;
    m_wanted = false;
    lock.unlock();
    // PASSIVE never waits for the writer; what it cannot copy now, a later round does.
    const int rc = sqlite3_wal_checkpoint_v2(m_db.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    if (rc == SQLITE_OK) m_tailWanted = true;
    if (rc != SQLITE_OK && rc != SQLITE_BUSY) {
      std::fprintf(stderr, "trellmond-service: checkpoint failed: %s\n", sqlite3_errmsg(m_db.get()));
    }
    lock.lock();
  }
}

}  // namespace service
