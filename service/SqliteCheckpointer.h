#pragma once
// Copies the WAL back into an SQLite file on a thread and connection of its
// own. Left to SQLite, the commit that crosses the WAL's size threshold runs
// the checkpoint itself, syncing the whole file while every request of that
// commit waits; here the writer only signals, and its commits go on beside
// the copy (WAL mode lets a checkpoint run while a writer appends).
//
// A copy made beside a busy writer never reaches the WAL's end, and SQLite
// starts the WAL over only once everything in it is copied; so after each
// copy the writer, between two batches, copies the few pages appended
// meanwhile (TakeTail). Then the WAL is reused from its start instead of
// growing without end.

#include "service/Sqlite.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace service {

class SqliteCheckpointer {
 public:
  // Takes over checkpointing of `writer` (the store's connection to `path`);
  // null with `error` filled when its own connection cannot be opened.
  static std::unique_ptr<SqliteCheckpointer> Start(sqlite3* writer, const std::string& path, std::string& error);
  explicit SqliteCheckpointer(DbPtr db);
  ~SqliteCheckpointer();
  SqliteCheckpointer(const SqliteCheckpointer&) = delete;
  SqliteCheckpointer& operator=(const SqliteCheckpointer&) = delete;

  // True once after each copy: the writer should now copy the rest itself.
  bool TakeTail() { return m_tailWanted.exchange(false); }

  // WAL pages after which a checkpoint starts.
  static constexpr int kWalPages = 1000;

 private:
  static int OnCommit(void* self, sqlite3* db, const char* name, int walPages);
  void Loop();

  DbPtr m_db;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_wanted = false;
  bool m_stopping = false;
  std::atomic<bool> m_tailWanted{false};
  std::thread m_thread;
};

}  // namespace service
