#include "machine/checkpointer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <new>
#include <system_error>
#include <thread>

#include "files/files.h"
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
  if (IsSharedMachineStore(directory)) {
    StoreLocation where = Locate(Store::kMachine);
    for (const char* suffix : {"", "-wal", "-shm"})
      if (CheckLiveFile(where, name + suffix) != ERROR_SUCCESS) return nullptr;
  } else if (CheckDatabaseFile(directory, name, refused) != ERROR_SUCCESS ||
             CheckCompanionFile(directory, name + "-wal", refused) != ERROR_SUCCESS ||
             CheckCompanionFile(directory, name + "-shm", refused) != ERROR_SUCCESS) {
    return nullptr;
  }
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

// The copy's own name while it is made: unique to this process and call.
std::string ScratchName(const std::string& copy) {
  static std::atomic<unsigned> made{0};
  return copy + ".new-" + std::to_string(getpid()) + "-" + std::to_string(made.fetch_add(1));
}

// Bytes that SQLite allocated, freed with it.
struct SqliteBytes {
  unsigned char* data = nullptr;
  sqlite3_int64 size = 0;
  SqliteBytes() = default;
  SqliteBytes(const SqliteBytes&) = delete;
  SqliteBytes& operator=(const SqliteBytes&) = delete;
  ~SqliteBytes() { sqlite3_free(data); }
};

// The database as one image, without what `unpublished` takes out, rebuilt
// without its free pages (which may still hold what was deleted, and
// everyone reads the copy), stamped with the generation and its form, and
// marked as a file without a WAL (bytes 18 and 19 of the header): a copy
// is read without locks, as a plain file. Built in this process's memory
// (VACUUM may spill to an unlinked temporary file), so a copy costs a few
// times the store's size for a moment. Empty data when it cannot be had.
void StampImage(sqlite3* db, uint64_t generation, const char* unpublished, SqliteBytes* image) {
  sqlite3_int64 size = 0;
  unsigned char* pages = sqlite3_serialize(db, "main", &size, 0);
  if (!pages || size < 100) {
    sqlite3_free(pages);
    return;
  }
  pages[18] = pages[19] = 1;
  sqlite3* stamped = nullptr;
  if (sqlite3_open_v2(":memory:", &stamped, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY, nullptr) != SQLITE_OK) {
    sqlite3_free(pages);
    sqlite3_close(stamped);
    return;
  }
  // The connection owns the pages from here on, even when this fails.
  int rc = sqlite3_deserialize(stamped, "main", pages, size, size,
                               SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE);
  std::string stamp =
      "VACUUM; CREATE TABLE published(generation INTEGER NOT NULL, form INTEGER NOT NULL); INSERT INTO published "
      "VALUES(" + std::to_string(generation) + ", " + std::to_string(Checkpointer::kCopyForm) + ");";
  if (rc == SQLITE_OK && (!unpublished || sqlite3_exec(stamped, unpublished, nullptr, nullptr, nullptr) == SQLITE_OK) &&
      sqlite3_exec(stamped, stamp.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK)
    image->data = sqlite3_serialize(stamped, "main", &image->size, 0);
  sqlite3_close(stamped);
}

// Makes a copy of the database whole under a scratch name, stamped, with
// the published mode, and renames it into place, so that a reader finds
// either the last copy or this one, never a part. The copy is written,
// given its mode and synced through the descriptor that made it, never
// reopened by name: every member may rename files in the copies' directory,
// and none may make this process write into or change a file of theirs.
// False when it could not be made.
bool MakeCopy(sqlite3* db, const std::string& copy, uint64_t generation, const char* unpublished) {
  SqliteBytes image;
  StampImage(db, generation, unpublished, &image);
  if (!image.data) return false;
  std::string scratch = ScratchName(copy);
  int fd = open(scratch.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t written = 0;
  bool made = WriteAll(fd, image.data, static_cast<size_t>(image.size), &written) &&
              fchmod(fd, kPublishedFileMode) == 0 && fsync(fd) == 0;
  close(fd);
  made = made && rename(scratch.c_str(), copy.c_str()) == 0;
  if (!made) unlink(scratch.c_str());
  return made;
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

bool Checkpointer::StartThread() {
  if (m_started) return true;
  try {
    std::thread(&Checkpointer::Run, this).detach();
  } catch (const std::system_error&) {
    return false;
  }
  m_started = true;
  return true;
}

bool Checkpointer::Request(const char* path, int pages) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_finishing || !path || !*path) return false;
  // Once for every 1000 pages the WAL grew by; a WAL that started again
  // counts from its beginning.
  if (pages < m_askedAt) m_askedAt = 0;
  if (pages < m_askedAt + kCheckpointPages) return true;
  if (!StartThread()) return false;
  m_askedAt = pages;
  m_path = path;
  m_requested = true;
  m_wake.notify_one();
  return true;
}

void Checkpointer::Publish(const std::string& path, const std::string& copy, uint64_t generation) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_finishing || !StartThread()) return;
  if (!m_publishDue) m_publishAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPublishDelayMs);
  m_publishDue = true;
  m_publishFrom = path;
  m_publishTo = copy;
  if (generation > m_generation) m_generation = generation;
  m_wake.notify_one();
}

void Checkpointer::Run() {
  sqlite3* db = nullptr;
  std::string opened;
  // The thread's own connection to the database at path.
  auto connect = [&](const std::string& path) {
    if (db && path != opened) {
      sqlite3_close(db);
      db = nullptr;
    }
    if (!db) {
      db = OpenForCheckpoints(path);
      opened = path;
    }
    return db;
  };
  std::unique_lock<std::mutex> guard(m_lock);
  for (;;) {
    m_wake.wait(guard, [this] { return m_requested || m_finishing || m_publishDue; });
    // A copy is made once its burst is over, or at once at the end.
    if (!m_requested && !m_finishing && m_publishDue &&
        m_wake.wait_until(guard, m_publishAt, [this] { return m_requested || m_finishing; }))
      continue;
    bool checkpoint = m_requested;
    bool publish = m_publishDue && (m_finishing || std::chrono::steady_clock::now() >= m_publishAt);
    std::string path = m_path, from = m_publishFrom, to = m_publishTo;
    uint64_t generation = m_generation;
    m_requested = false;
    if (publish) m_publishDue = false;
    guard.unlock();
    {
      std::lock_guard<std::mutex> gate(m_gate);
      // Passive: copies what no reader still needs, waiting for nobody.
      if (checkpoint && connect(path)) sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
      if (publish && connect(from)) MakeCopy(db, to, generation, m_unpublished);
    }
    guard.lock();
    if (m_finishing && !m_publishDue) break;
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
  m_publishDue = false;
  new (&m_publishFrom) std::string();
  new (&m_publishTo) std::string();
  m_generation = 0;
}

}  // namespace vk_posix
