#include "machine/sqlite_database.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <vector>

#include "kernel/errors.h"
#include "machine/state_files.h"
#include "machine/system_root.h"

namespace vk_posix {

namespace {

constexpr int kBusyTimeoutMs = 60000;

// Every database of the process, so a forked child can drop their
// inherited connections.
std::mutex g_databasesLock;
std::vector<ProcessDatabase*>* g_databases = nullptr;

// The inherited connections are abandoned, never closed or used.
void AbandonConnectionsInChild() {
  if (!g_databases) return;
  for (ProcessDatabase* database : *g_databases) database->AbandonConnection();
}

// A process that ends normally copies its writes from the WAL into the
// database file, so that the file alone (a backup, say) holds them.
void CloseConnectionsAtExit() {
  std::lock_guard<std::mutex> guard(g_databasesLock);
  if (!g_databases) return;
  for (ProcessDatabase* database : *g_databases) database->CloseConnection();
}

// Before a fork: no other thread may be inside SQLite, whose own global
// mutexes a child would inherit held; so every connection's lock and every
// checkpointer's gate is taken, and released again in the parent.
void PauseForFork() {
  g_databasesLock.lock();
  if (!g_databases) return;
  for (ProcessDatabase* database : *g_databases) database->PauseForFork();
}

void ResumeAfterFork() {
  if (g_databases)
    for (auto it = g_databases->rbegin(); it != g_databases->rend(); ++it) (*it)->ResumeAfterFork();
  g_databasesLock.unlock();
}

void Register(ProcessDatabase* database) {
  static bool registered = [] {
    pthread_atfork(PauseForFork, ResumeAfterFork,
                   [] {
                     new (&g_databasesLock) std::mutex();
                     AbandonConnectionsInChild();
                   });
    atexit(CloseConnectionsAtExit);
    return true;
  }();
  (void)registered;
  std::lock_guard<std::mutex> guard(g_databasesLock);
  if (!g_databases) g_databases = new std::vector<ProcessDatabase*>;
  g_databases->push_back(database);
}

// Page size, WAL mode and tables, inside one transaction.
int SetUp(sqlite3* db, const DatabaseFile& file) {
  // The page size holds only for a file still empty, so it comes before
  // the switch to WAL, which writes the file's first page.
  std::string setup = file.pageSize ? "PRAGMA page_size=" + std::to_string(file.pageSize) + ";" : "";
  setup += "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;";
  int rc = sqlite3_exec(db, setup.c_str(), nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, file.schema, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  return rc;
}

// Makes a missing database whole under a private name and links it into
// place, so that no process ever finds a half-made (empty) store; a
// racing creator's file wins and ours goes. The scratch file is made here,
// with the store's mode and group set through its descriptor, before
// SQLite fills it: whoever may write the directory could put a link in
// its place at any moment, and a chmod or chown by name would follow it
// out of the store. SQLite gives the WAL and shared-memory files the
// database's mode.
LONG CreateDatabaseFile(const StoreLocation& where, const DatabaseFile& file) {
  std::string path = where.directory + "/" + file.name;
  std::string scratchName = std::string(file.name) + ".new-" + std::to_string(getpid()) + "-" + std::to_string(pthread_self());
  std::string scratch = where.directory + "/" + scratchName;
  unlink(scratch.c_str());
  DWORD made = ERROR_SUCCESS;
  int fd = OpenStateFile(where.directory, scratchName, O_RDWR | O_CREAT | O_EXCL, where.fileMode, &made, where.group);
  if (fd < 0) return static_cast<LONG>(made);
  // Closed before SQLite opens the file: closing any descriptor of a file
  // drops the process's locks on it, SQLite's among them.
  close(fd);
  LONG error = ERROR_SUCCESS;
  sqlite3* db = nullptr;
  if (error == ERROR_SUCCESS) {
    int rc = sqlite3_open_v2(scratch.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
                             nullptr);
    if (rc == SQLITE_OK) rc = SetUp(db, file);
    if (rc != SQLITE_OK) error = ErrorFromSqlite(rc, file.corruptCode, db);
    sqlite3_close(db);  // the last connection: checkpoints and removes the WAL
  }
  if (error == ERROR_SUCCESS && link(scratch.c_str(), path.c_str()) != 0 && errno != EEXIST)
    error = Win32ErrorFromErrno(errno);
  unlink(scratch.c_str());
  return error;
}

}  // namespace

LONG ErrorFromSqlite(int rc, LONG corruptCode, sqlite3* db) {
  // An I/O error that a full disk caused reads as one, as on Windows.
  if ((rc & 0xFF) == SQLITE_IOERR && db) {
    int cause = sqlite3_system_errno(db);
    if (cause == ENOSPC || cause == EDQUOT) return ERROR_DISK_FULL;
  }
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW: return ERROR_SUCCESS;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return corruptCode;
    case SQLITE_CANTOPEN: return ERROR_CANTOPEN;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    case SQLITE_FULL: return ERROR_DISK_FULL;
    case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_REGISTRY_IO_FAILED;
  }
}

void KeepCompanionFiles(sqlite3* db, const std::string& directory) {
  if (!IsSharedMachineStore(directory)) return;
  int persist = 1;
  sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
}

LONG Connection::EnsureOpen() {
  if (m_db && (!m_followsCopy || CopyStillPublished())) return ERROR_SUCCESS;
  if (m_db) Close();
  StoreLocation where = Locate(m_file.store);
  if (!where.problem.empty()) return ERROR_ACCESS_DENIED;
  if (where.shared) return where.writable ? OpenLive(where) : OpenPublishedCopy(where);
  if (where.directory.empty()) return ERROR_PATH_NOT_FOUND;
  const std::string& directory = where.directory;
  std::string name = m_file.name;
  LONG error = CheckDatabaseFile(directory, name, m_file.corruptCode);
  for (const char* companion : {"-wal", "-shm"})
    if (error == ERROR_SUCCESS) error = CheckCompanionFile(directory, name + companion, m_file.corruptCode);
  if (error != ERROR_SUCCESS) return error;
  struct stat status;
  bool exists = lstat((directory + "/" + name).c_str(), &status) == 0;
  if (!exists && !where.writable) return ERROR_FILE_NOT_FOUND;
  if (!exists) error = CreateDatabaseFile(where, m_file);
  if (error != ERROR_SUCCESS) return error;
  sqlite3* db = nullptr;
  // SQLite's own mutexes are off: the connection lock serialises all use.
  // A reader of the machine store opens its shared memory for reading
  // only, which SQLite allows while the WAL and that file exist; the
  // writers keep both for it.
  int access = where.writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
  int rc = sqlite3_open_v2((directory + "/" + name).c_str(), &db, access | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
                           nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if (where.writable) {
      KeepCompanionFiles(db, directory);
      rc = SetUp(db, m_file);
    }
  }
  if (rc != SQLITE_OK) {
    error = ErrorFromSqlite(rc, m_file.corruptCode, db);
    sqlite3_close(db);
    return error;
  }
  if (where.writable) m_checkpointer->Serve(db);
  m_readOnly = !where.writable;
  m_db = db;
  return ERROR_SUCCESS;
}

LONG Connection::OpenLive(const StoreLocation& where) {
  std::string name = m_file.name;
  for (const char* suffix : {"", "-wal", "-shm"}) {
    LONG error = CheckLiveFile(where, name + suffix);
    if (error != ERROR_SUCCESS) return error;
  }
  sqlite3* db = nullptr;
  // Opened by name: the directory is root's alone, so the names checked
  // are the files opened. Nothing is created: setup made every file.
  int rc = sqlite3_open_v2((where.directory + "/" + name).c_str(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    KeepCompanionFiles(db, where.directory);
    rc = SetUp(db, m_file);
  }
  if (rc != SQLITE_OK) {
    LONG error = ErrorFromSqlite(rc, m_file.corruptCode, db);
    sqlite3_close(db);
    return error;
  }
  m_checkpointer->Serve(db);
  m_readOnly = false;
  m_followsCopy = false;
  m_db = db;
  return ERROR_SUCCESS;
}

LONG Connection::OpenPublishedCopy(const StoreLocation& where) {
  if (!m_file.published) return ERROR_ACCESS_DENIED;
  DWORD error = ERROR_SUCCESS;
  int fd = vk_posix::OpenPublishedCopy(where, m_file.name, &error);
  if (fd < 0) return static_cast<LONG>(error);
  struct stat status;
  if (fstat(fd, &status) != 0) {
    error = Win32ErrorFromErrno(errno);
    close(fd);
    return static_cast<LONG>(error);
  }
  // SQLite opens the very file checked, through this descriptor's name. A
  // copy never changes once published, so SQLite takes no lock on it and
  // needs no WAL or shared memory beside it.
  std::string uri = "file:/proc/self/fd/" + std::to_string(fd) + "?mode=ro&immutable=1";
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
  close(fd);
  if (rc != SQLITE_OK) {
    LONG failed = ErrorFromSqlite(rc, m_file.corruptCode, db);
    sqlite3_close(db);
    return failed;
  }
  m_readOnly = true;
  m_followsCopy = true;
  m_copyPath = where.published + "/" + m_file.name;
  m_nextCopyCheckNs = 0;
  m_copyDevice = status.st_dev;
  m_copyInode = status.st_ino;
  // A copy is replaced, never changed: its inode and change time name it.
  // Even, as a count no write is under way in, and never 0.
  uint64_t identity = (static_cast<uint64_t>(status.st_ino) << 32) ^
                      (static_cast<uint64_t>(status.st_ctim.tv_sec) << 20) ^ static_cast<uint64_t>(status.st_ctim.tv_nsec);
  m_copyIdentity = (identity << 1) | 2;
  m_db = db;
  return ERROR_SUCCESS;
}

// A reader of a published copy moves on to the next one once it is there,
// looking at most once a millisecond; the one it has stays whole meanwhile.
bool Connection::CopyStillPublished() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  int64_t nowNs = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
  if (nowNs < m_nextCopyCheckNs) return true;
  m_nextCopyCheckNs = nowNs + kCopyCheckIntervalNs;
  struct stat status;
  return lstat(m_copyPath.c_str(), &status) == 0 && status.st_dev == m_copyDevice && status.st_ino == m_copyInode;
}

void Connection::Publish(uint64_t generation) {
  StoreLocation where = Locate(m_file.store);
  if (!m_db || !m_file.published || !where.shared || !where.writable) return;
  m_checkpointer->Publish(where.directory + "/" + m_file.name, where.published + "/" + m_file.name, generation);
}

LONG StartWalDatabase(const std::string& path) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
  if (rc == SQLITE_OK) {
    int persist = 1;
    sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    std::string start = "PRAGMA page_size=" + std::to_string(kStorePageSize) + "; PRAGMA journal_mode=WAL;";
    rc = sqlite3_exec(db, start.c_str(), nullptr, nullptr, nullptr);
  }
  LONG error = ErrorFromSqlite(rc, ERROR_BADDB, db);
  sqlite3_close(db);
  return error;
}

uint64_t PublishedGeneration(const StoreLocation& where, const std::string& name) {
  DWORD error = ERROR_SUCCESS;
  int fd = OpenPublishedCopy(where, name, &error);
  if (fd < 0) return 0;
  std::string uri = "file:/proc/self/fd/" + std::to_string(fd) + "?mode=ro&immutable=1";
  sqlite3* db = nullptr;
  uint64_t generation = 0;
  if (sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr) ==
      SQLITE_OK) {
    sqlite3_stmt* query = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT generation FROM published WHERE form=?1", -1, &query, nullptr) == SQLITE_OK &&
        sqlite3_bind_int(query, 1, Checkpointer::kCopyForm) == SQLITE_OK && sqlite3_step(query) == SQLITE_ROW)
      generation = static_cast<uint64_t>(sqlite3_column_int64(query, 0));
    sqlite3_finalize(query);
  }
  sqlite3_close(db);
  close(fd);
  return generation;
}

sqlite3_stmt* Connection::Statement(const char* sql) {
  sqlite3_stmt*& statement = m_statements[sql];
  if (!statement) {
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
      statement = nullptr;
      return nullptr;
    }
  } else {
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
  }
  return statement;
}

int Connection::Run(const char* sql) {
  sqlite3_stmt* statement = Statement(sql);
  if (!statement) return SQLITE_ERROR;
  int rc = sqlite3_step(statement);
  sqlite3_reset(statement);
  return rc;
}

void Connection::Close() {
  if (!m_db) return;
  for (auto& entry : m_statements) sqlite3_finalize(entry.second);
  m_statements.clear();
  // Passive: copies what no other process still reads, waiting for nobody.
  if (!m_readOnly) sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  sqlite3_close(m_db);
  m_db = nullptr;
  m_readOnly = false;
  m_followsCopy = false;
  m_copyIdentity = 0;
}

ProcessDatabase::ProcessDatabase(const DatabaseFile& file)
    : m_file(file), m_checkpointer(new Checkpointer(file.unpublished)) {
  Register(this);
}

Connection& ProcessDatabase::connection() {
  Connection* connection = m_connection.load(std::memory_order_acquire);
  if (connection) return *connection;
  std::lock_guard<std::mutex> guard(m_creationLock);
  connection = m_connection.load(std::memory_order_acquire);
  if (!connection) {
    connection = new Connection(m_file, m_checkpointer);
    m_connection.store(connection, std::memory_order_release);
  }
  return *connection;
}

void ProcessDatabase::PauseForFork() {
  m_creationLock.lock();
  Connection* connection = m_connection.load(std::memory_order_acquire);
  if (connection) connection->lock().lock();
  m_checkpointer->PauseForFork();
}

void ProcessDatabase::ResumeAfterFork() {
  m_checkpointer->ResumeAfterFork();
  Connection* connection = m_connection.load(std::memory_order_acquire);
  if (connection) connection->lock().unlock();
  m_creationLock.unlock();
}

void ProcessDatabase::AbandonConnection() {
  m_checkpointer->Abandon();
  new (&m_creationLock) std::mutex();
  m_connection.store(nullptr, std::memory_order_relaxed);
}

void ProcessDatabase::CloseConnection() {
  m_checkpointer->Finish();
  Connection* connection = m_connection.load(std::memory_order_acquire);
  if (!connection) return;
  std::lock_guard<std::mutex> guard(connection->lock());
  connection->Close();
}

Query& Query::Bind(int index, int64_t value) {
  if (m_statement) sqlite3_bind_int64(m_statement, index, value);
  return *this;
}

Query& Query::Bind(int index, const std::string& text) {
  if (m_statement)
    sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}

Query& Query::BindBlob(int index, const void* data, size_t size) {
  static const char kEmpty[1] = {0};
  if (m_statement)
    sqlite3_bind_blob(m_statement, index, size ? data : kEmpty, static_cast<int>(size), SQLITE_TRANSIENT);
  return *this;
}

std::string Query::Text(int column) {
  const void* bytes = sqlite3_column_blob(m_statement, column);
  int size = sqlite3_column_bytes(m_statement, column);
  return bytes ? std::string(static_cast<const char*>(bytes), static_cast<size_t>(size)) : std::string();
}

}  // namespace vk_posix
