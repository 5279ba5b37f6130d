// A SQLite database in a store (system_root.h) shared by all processes: the
// registry keeps one in each store, the event log one in the machine store.
//
// In the shared machine store the database and its companion files are
// live files that setup made (state_files.h): the library opens them only
// while they are root's and the group's with their mode and one link, and
// never makes one. A process that may not write that store opens none of
// them: it reads the copy of the registry that root and the group publish
// (a database made whole and renamed into place, opened immutable, so that
// it takes no lock at all), and the event log is closed to it, as the
// system's logs are to users outside their group.
//
// WAL mode with synchronous=NORMAL: a committed write survives a crash of
// the process (it is in the WAL, which the next opener replays); a
// checkpoint with a sync makes it durable against power loss. Concurrent
// processes wait for each other through the busy timeout. Each process has
// one connection per database, shared by its threads under one lock; a
// process made by fork() opens its own and never touches the inherited one.
#ifndef VK_PLATFORM_POSIX_MACHINE_SQLITE_DATABASE_H
#define VK_PLATFORM_POSIX_MACHINE_SQLITE_DATABASE_H

#include "kernel/win32.h"

#include <sqlite3.h>
#include <stdint.h>
#include <sys/types.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "machine/checkpointer.h"
#include "machine/system_root.h"

namespace vk_posix {

// The page size of the stores' databases: half the usual one, so that a
// value or an event, which changes a few pages, puts half as many bytes
// into the WAL, while a value of some 480 bytes (a full path among them)
// and an event with a message of the longest kind still fit in their row.
constexpr int kStorePageSize = 2048;

// SQLite's result as a Win32 code; corruptCode names a damaged database.
// With the connection, an I/O error caused by a full disk is ERROR_DISK_FULL.
LONG ErrorFromSqlite(int rc, LONG corruptCode, sqlite3* db = nullptr);

// In the shared machine store, keeps the WAL and shared-memory files when
// the connection closes: a reader that may not write the store cannot make
// them, and SQLite reads a WAL database only while they exist.
void KeepCompanionFiles(sqlite3* db, const std::string& directory);

// A store's database file: its name in the store's directory, the tables
// it creates on first use, the code for a damaged file, the page size a new
// file gets (0 for SQLite's default), the store it lies in, and whether it
// is published for the readers of the shared machine store.
struct DatabaseFile {
  const char* name;
  const char* schema;
  LONG corruptCode;
  int pageSize;
  Store store;
  bool published;
  // SQL run on each published copy before it is made: takes out what its
  // readers must not find (null for nothing). A copy is not published when
  // this fails.
  const char* unpublished;
};

// Turns the empty database file at path into an empty WAL database with
// the stores' page size, its WAL and shared memory kept: setup does it for
// the shared machine store, whose directory the group may not write, so
// that no member ever needs the rollback journal that the switch to WAL
// takes.
LONG StartWalDatabase(const std::string& path);

// The number a published copy was stamped with (the store's change count
// when it was made), 0 when there is none or it is of an earlier form.
uint64_t PublishedGeneration(const StoreLocation& where, const std::string& name);

// One process's connection to one database, with its prepared statements.
// A forked child never touches an inherited connection; a normal exit
// checkpoints and closes the process's own (a later use opens it again).
class Connection {
 public:
  Connection(const DatabaseFile& file, Checkpointer* checkpointer) : m_file(file), m_checkpointer(checkpointer) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  std::mutex& lock() { return m_lock; }
  // Opens the database and creates its tables on first use. A reader that
  // may not write the store finds ERROR_FILE_NOT_FOUND while nobody has
  // made the database yet.
  LONG EnsureOpen();
  Store store() const { return m_file.store; }
  // Opened for reading only: this process may not write the store.
  bool readOnly() const { return m_readOnly; }
  // Reading a published copy: a number that names the copy open, 0 while
  // none is; it changes when EnsureOpen moves on to a new copy.
  uint64_t CopyIdentity() const { return m_copyIdentity; }
  // Checkpoints what it can and closes; called with the lock held.
  void Close();
  // Takes a database opened elsewhere for reading only, as its own.
  void Adopt(sqlite3* db) {
    m_db = db;
    m_readOnly = true;
  }
  // Has the checkpointer publish a copy of the database for the shared
  // machine store's readers, stamped with the store's change count after
  // this process's last write; bursts of writes make one copy.
  void Publish(uint64_t generation);
  sqlite3* db() { return m_db; }
  LONG Error(int rc) const { return ErrorFromSqlite(rc, m_file.corruptCode, m_db); }
  // A cached statement, reset and with its bindings cleared; null on error.
  sqlite3_stmt* Statement(const char* sql);
  // Steps a cached statement that returns no rows.
  int Run(const char* sql);
  // State that the store using this database keeps with the connection,
  // made on first use under the connection's lock. A forked child gets a
  // new connection and so new state.
  template <typename State, typename... Args>
  State& Attached(Args&&... args) {
    if (!m_attached) m_attached = std::make_shared<State>(std::forward<Args>(args)...);
    return *static_cast<State*>(m_attached.get());
  }

 private:
  LONG OpenLive(const StoreLocation& where);
  LONG OpenPublishedCopy(const StoreLocation& where);
  bool CopyStillPublished();

  static constexpr int64_t kCopyCheckIntervalNs = 1000000;

  const DatabaseFile m_file;
  Checkpointer* const m_checkpointer;
  std::mutex m_lock;
  sqlite3* m_db = nullptr;
  bool m_readOnly = false;
  // Reading a published copy: which one, by its file's identity.
  bool m_followsCopy = false;
  std::string m_copyPath;
  int64_t m_nextCopyCheckNs = 0;
  dev_t m_copyDevice = 0;
  ino_t m_copyInode = 0;
  uint64_t m_copyIdentity = 0;
  std::map<const char*, sqlite3_stmt*> m_statements;
  std::shared_ptr<void> m_attached;
};

// The connection of this process to one database, made on first use and
// made anew in a forked child. Instances are static objects.
class ProcessDatabase {
 public:
  explicit ProcessDatabase(const DatabaseFile& file);
  Connection& connection();
  // Whether this process may write the database's store; a write it may
  // not make is refused with ERROR_ACCESS_DENIED before anything is opened.
  bool Writable() const { return Locate(m_file.store).writable; }
  // Around a fork, in the parent: holds the connection and the
  // checkpointer still, so that no thread is inside SQLite meanwhile.
  void PauseForFork();
  void ResumeAfterFork();
  // In a forked child: forget the parent's connection without touching it.
  void AbandonConnection();
  // At a normal exit: checkpoint and close this process's connection.
  void CloseConnection();

 private:
  const DatabaseFile m_file;
  std::atomic<Connection*> m_connection{nullptr};
  std::mutex m_creationLock;
  Checkpointer* const m_checkpointer;  // never destroyed: its thread may outlive static destructors
};

// Runs body inside one transaction on a connection already locked and
// open. Writers take the write lock at once (BEGIN IMMEDIATE), so two
// writers never deadlock upgrading read locks.
template <typename Body>
LONG InTransaction(Connection& connection, bool write, Body body) {
  int rc = connection.Run(write ? "BEGIN IMMEDIATE" : "BEGIN");
  if (rc != SQLITE_DONE) return connection.Error(rc);
  LONG result = body(connection);
  rc = connection.Run(result == ERROR_SUCCESS ? "COMMIT" : "ROLLBACK");
  if (rc != SQLITE_DONE && result == ERROR_SUCCESS) {
    connection.Run("ROLLBACK");
    result = connection.Error(rc);
  }
  return result;
}

// Runs body on this process's connection, locked and open: for reads whose
// statements each see a consistent store.
template <typename Body>
LONG Statements(ProcessDatabase& database, Body body) {
  Connection& connection = database.connection();
  std::lock_guard<std::mutex> guard(connection.lock());
  LONG error = connection.EnsureOpen();
  return error != ERROR_SUCCESS ? error : body(connection);
}

// Runs body inside one transaction on this process's connection.
template <typename Body>
LONG Transaction(ProcessDatabase& database, bool write, Body body) {
  return Statements(database, [&](Connection& connection) { return InTransaction(connection, write, body); });
}

// A cached statement with its parameters bound, stepped by the caller.
class Query {
 public:
  Query(Connection& connection, const char* sql) : m_statement(connection.Statement(sql)) {}
  ~Query() {
    if (m_statement) sqlite3_reset(m_statement);
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& Bind(int index, int64_t value);
  Query& Bind(int index, const std::string& text);
  Query& BindBlob(int index, const void* data, size_t size);
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return m_statement ? sqlite3_step(m_statement) : SQLITE_ERROR; }
  int64_t Int(int column) { return sqlite3_column_int64(m_statement, column); }
  // Whether the column holds an integer from low to high, as stored: text
  // or a real number there is no such integer.
  bool IntIn(int column, int64_t low, int64_t high) {
    return sqlite3_column_type(m_statement, column) == SQLITE_INTEGER && Int(column) >= low && Int(column) <= high;
  }
  // The size in bytes of a text or blob column, before it is copied.
  size_t Bytes(int column) { return static_cast<size_t>(sqlite3_column_bytes(m_statement, column)); }
  std::string Text(int column);

 private:
  sqlite3_stmt* m_statement;
};

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_MACHINE_SQLITE_DATABASE_H
