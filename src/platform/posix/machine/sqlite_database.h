// A SQLite database in a store (system_root.h) shared by all processes: the
// registry keeps one in each store, the event log one in the machine store.
// A process that may not write the store opens it for reading only.
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

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "machine/checkpointer.h"
#include "machine/system_root.h"

namespace vk_posix {

// SQLite's result as a Win32 code; corruptCode names a damaged database.
// With the connection, an I/O error caused by a full disk is ERROR_DISK_FULL.
LONG ErrorFromSqlite(int rc, LONG corruptCode, sqlite3* db = nullptr);

// In the shared machine store, keeps the WAL and shared-memory files when
// the connection closes: a reader that may not write the store cannot make
// them, and SQLite reads a WAL database only while they exist.
void KeepCompanionFiles(sqlite3* db, const std::string& directory);

// A store's database file: its name in the store's directory, the tables
// it creates on first use, the code for a damaged file, the page size a new
// file gets (0 for SQLite's default), and the store it lies in.
struct DatabaseFile {
  const char* name;
  const char* schema;
  LONG corruptCode;
  int pageSize;
  Store store;
};

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
  // Checkpoints what it can and closes; called with the lock held.
  void Close();
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
  const DatabaseFile m_file;
  Checkpointer* const m_checkpointer;
  std::mutex m_lock;
  sqlite3* m_db = nullptr;
  bool m_readOnly = false;
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
