#include "machine/checkpointer.h"

#include <new>
#include <system_error>
#include <thread>

#include "machine/sqlite_database.h"
#include "machine/state_files.h"

namespace vk_posix {

namespace {

// SQLite's own threshold for an automatic checkpoint, in WAL pages; and
// the size at which a writer runs one itself.
constexpr int kCheckpointPages = 1000;
constexpr int kMostPages = 4 * kCheckpointPages;

// A connection of the checkpointer's own to the database at path, checked
// as every opener checks a state file; null when it cannot be had.
sqlite3* OpenForCheckpoints(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return nullptr;
  std::string directory = path.substr(0, slash);
  std::string name = path.substr(slash + 1);
  const LONG refused = ERROR_ACCESS_DENIED;
  if (CheckDatabaseFile(directory, name, refused) != ERROR_SUCCESS ||
      CheckCompanionFile(directory, name + "-wal", refused) != ERROR_SUCCESS ||
      CheckCompanionFile(directory, name + "-shm", refused) != ERROR_SUCCESS)
    return nullptr;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
                           nullptr);
  if (rc == SQLITE_OK) KeepCompanionFiles(db, directory);
  // The syncs of a checkpoint are those of synchronous=NORMAL, as before.
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  return db;
}

}  // namespace

void Checkpointer::Serve(sqlite3* db) { sqlite3_wal_hook(db, &Checkpointer::OnCommit, this); }

// Called by SQLite after each commit, on the committing thread. Without a
// thread to ask (at the process's end, or when none can be started), or
// with a WAL at its bound, the checkpoint runs here, as SQLite's own hook
// would run it.
int Checkpointer::OnCommit(void* self, sqlite3* db, const char* schema, int pages) {
  Checkpointer* checkpointer = static_cast<Checkpointer*>(self);
  if (pages >= kMostPages || (pages >= kCheckpointPages && !checkpointer->Request(sqlite3_db_filename(db, schema), pages)))
    sqlite3_wal_checkpoint_v2(db, schema, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  return SQLITE_OK;
}

bool Checkpointer::Request(const char* path, int pages) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_finishing || !path || !*path) return false;
  // Once for every 1000 pages the WAL grew by; a WAL that started again
  // counts from its beginning.
  if (pages < m_askedAt) m_askedAt = 0;
  if (pages < m_askedAt + kCheckpointPages) return true;
  if (!m_started) {
    try {
      std::thread(&Checkpointer::Run, this).detach();
    } catch (const std::system_error&) {
      return false;
    }
    m_started = true;
  }
  m_askedAt = pages;
  m_path = path;
  m_requested = true;
  m_wake.notify_one();
  return true;
}

void Checkpointer::Run() {
  sqlite3* db = nullptr;
  std::string opened;
  std::unique_lock<std::mutex> guard(m_lock);
  for (;;) {
    m_wake.wait(guard, [this] { return m_requested || m_finishing; });
    if (m_finishing) break;
    m_requested = false;
    std::string path = m_path;
    guard.unlock();
    {
      std::lock_guard<std::mutex> gate(m_gate);
      if (db && path != opened) {
        sqlite3_close(db);
        db = nullptr;
      }
      if (!db) {
        db = OpenForCheckpoints(path);
        opened = path;
      }
      // Passive: copies what no reader still needs, waiting for nobody.
      if (db) sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
    guard.lock();
  }
  guard.unlock();
  {
    std::lock_guard<std::mutex> gate(m_gate);
    sqlite3_close(db);
  }
  guard.lock();
  m_started = false;
  m_idle.notify_all();
}

void Checkpointer::Finish() {
  std::unique_lock<std::mutex> guard(m_lock);
  m_finishing = true;
  m_wake.notify_all();
  m_idle.wait(guard, [this] { return !m_started; });
}

void Checkpointer::PauseForFork() { m_gate.lock(); }

void Checkpointer::ResumeAfterFork() { m_gate.unlock(); }

void Checkpointer::Abandon() {
  new (&m_lock) std::mutex();
  new (&m_gate) std::mutex();
  new (&m_wake) std::condition_variable();
  new (&m_idle) std::condition_variable();
  new (&m_path) std::string();
  m_started = false;
  m_askedAt = 0;
  m_requested = false;
  m_finishing = false;
}

}  // namespace vk_posix
