// The registry in one SQLite database, $VK_SYSTEM_ROOT/registry.db.
//
// WAL mode with synchronous=NORMAL: a committed write survives a crash of
// the process (it is in the WAL, which the next opener replays), and
// RegFlushKey checkpoints with a sync for durability against power loss.
// Concurrent processes wait for each other through the busy timeout. Each
// process has one connection, shared by its threads under one lock; a
// process made by fork() opens its own and never touches the inherited one.
#include "registry_store.h"

#include <ctype.h>
#include <pthread.h>
#include <sqlite3.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>

#include "system_root.h"

namespace vk_posix {
namespace registry_store {

namespace {

constexpr int kBusyTimeoutMs = 60000;
constexpr uint64_t kFiletimeUnixEpoch = 116444736000000000ull;  // 1970 in FILETIME ticks

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"  // never reused: a stale handle finds nothing
    " parent INTEGER NOT NULL,"               // 0 for the roots
    " name TEXT NOT NULL, name_key TEXT NOT NULL, class TEXT NOT NULL DEFAULT '',"
    " last_write INTEGER NOT NULL,"
    // The store-wide change number of the last change of sub-key names and
    // of values, for change notification.
    " names_change INTEGER NOT NULL DEFAULT 0, values_change INTEGER NOT NULL DEFAULT 0,"
    " UNIQUE(parent, name_key));"
    "CREATE TABLE IF NOT EXISTS vals("
    " key_id INTEGER NOT NULL, name TEXT NOT NULL, name_key TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(key_id, name_key));"
    "CREATE TABLE IF NOT EXISTS changes(seq INTEGER NOT NULL);"
    "INSERT INTO changes(seq) SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM changes);";

// Names compare case-insensitively, as ANSI text.
std::string Fold(const char* name) {
  std::string folded = name ? name : "";
  for (char& c : folded) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return folded;
}

uint64_t NowFiletime() {
  struct timeval now;
  gettimeofday(&now, nullptr);
  return kFiletimeUnixEpoch + static_cast<uint64_t>(now.tv_sec) * 10000000u + static_cast<uint64_t>(now.tv_usec) * 10u;
}

LONG ErrorFromSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW: return ERROR_SUCCESS;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return ERROR_REGISTRY_CORRUPT;
    case SQLITE_CANTOPEN: return ERROR_CANTOPEN;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    case SQLITE_FULL: return ERROR_DISK_FULL;
    case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_REGISTRY_IO_FAILED;
  }
}

// One process's connection with its prepared statements.
class Connection {
 public:
  // Deliberately never closed: a connection may be inherited by a forked
  // child, which must not touch it, and the process's end closes it.

  std::mutex& lock() { return m_lock; }

  LONG EnsureOpen() {
    if (m_db) return ERROR_SUCCESS;
    std::string path = SystemRoot() + "/registry.db";
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
      sqlite3_close(db);
      return ErrorFromSqlite(rc);
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      sqlite3_close(db);
      return ErrorFromSqlite(rc);
    }
    m_db = db;
    return ERROR_SUCCESS;
  }

  sqlite3* db() { return m_db; }
  // Predefined keys are never deleted: their ids are remembered.
  std::map<std::string, KeyId>& known() { return m_known; }

  // A cached statement, reset and with its bindings cleared.
  sqlite3_stmt* Statement(const char* sql) {
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

 private:
  std::mutex m_lock;
  sqlite3* m_db = nullptr;
  std::map<const char*, sqlite3_stmt*> m_statements;
  std::map<std::string, KeyId> m_known;
};

std::mutex g_creationLock;
std::atomic<Connection*> g_connection{nullptr};

Connection& ThisProcessConnection() {
  Connection* connection = g_connection.load(std::memory_order_acquire);
  if (connection) return *connection;
  static bool registered = [] {
    // A forked child abandons the inherited connection (never closing it)
    // and opens its own on first use.
    pthread_atfork([] { g_creationLock.lock(); }, [] { g_creationLock.unlock(); },
                   [] {
                     new (&g_creationLock) std::mutex();
                     g_connection.store(nullptr, std::memory_order_relaxed);
                   });
    return true;
  }();
  (void)registered;
  std::lock_guard<std::mutex> guard(g_creationLock);
  connection = g_connection.load(std::memory_order_acquire);
  if (!connection) {
    connection = new Connection;
    g_connection.store(connection, std::memory_order_release);
  }
  return *connection;
}

// Steps a cached statement that returns no rows.
int Run(Connection& connection, const char* sql) {
  sqlite3_stmt* statement = connection.Statement(sql);
  if (!statement) return SQLITE_ERROR;
  int rc = sqlite3_step(statement);
  sqlite3_reset(statement);
  return rc;
}

// Runs body inside one transaction on this process's connection. Writers
// take the write lock at once (BEGIN IMMEDIATE), so two writers never
// deadlock upgrading their read locks.
template <typename Body>
LONG Transaction(bool write, Body body) {
  Connection& connection = ThisProcessConnection();
  std::lock_guard<std::mutex> guard(connection.lock());
  LONG error = connection.EnsureOpen();
  if (error != ERROR_SUCCESS) return error;
  int rc = Run(connection, write ? "BEGIN IMMEDIATE" : "BEGIN");
  if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  LONG result = body(connection);
  rc = Run(connection, result == ERROR_SUCCESS ? "COMMIT" : "ROLLBACK");
  if (rc != SQLITE_DONE && result == ERROR_SUCCESS) {
    Run(connection, "ROLLBACK");
    result = ErrorFromSqlite(rc);
  }
  return result;
}

// Runs body on this process's connection without a transaction of its own:
// for reads whose statements each see a consistent store. A key found by one
// statement and deleted before the next is reported as deleted or missing,
// as it would be a moment later anyway.
template <typename Body>
LONG Statements(Body body) {
  Connection& connection = ThisProcessConnection();
  std::lock_guard<std::mutex> guard(connection.lock());
  LONG error = connection.EnsureOpen();
  return error != ERROR_SUCCESS ? error : body(connection);
}

// A statement with its parameters bound, stepped by the caller.
class Query {
 public:
  Query(Connection& connection, const char* sql) : m_statement(connection.Statement(sql)) {}
  ~Query() {
    if (m_statement) sqlite3_reset(m_statement);
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  bool ok() const { return m_statement != nullptr; }
  Query& Bind(int index, int64_t value) {
    if (m_statement) sqlite3_bind_int64(m_statement, index, value);
    return *this;
  }
  Query& Bind(int index, const std::string& text) {
    if (m_statement) sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Query& BindBlob(int index, const BYTE* data, DWORD size) {
    if (m_statement) sqlite3_bind_blob(m_statement, index, size ? data : reinterpret_cast<const BYTE*>(""), static_cast<int>(size), SQLITE_TRANSIENT);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return m_statement ? sqlite3_step(m_statement) : SQLITE_ERROR; }
  int64_t Int(int column) { return sqlite3_column_int64(m_statement, column); }
  std::string Text(int column) {
    const void* bytes = sqlite3_column_blob(m_statement, column);
    int size = sqlite3_column_bytes(m_statement, column);
    return bytes ? std::string(static_cast<const char*>(bytes), static_cast<size_t>(size)) : std::string();
  }

 private:
  sqlite3_stmt* m_statement;
};

LONG Done(int rc) { return rc == SQLITE_DONE || rc == SQLITE_ROW ? ERROR_SUCCESS : ErrorFromSqlite(rc); }

LONG Exists(Connection& c, KeyId key) {
  Query query(c, "SELECT 1 FROM keys WHERE id=?1");
  int rc = query.Bind(1, key).Step();
  if (rc == SQLITE_ROW) return ERROR_SUCCESS;
  return rc == SQLITE_DONE ? ERROR_KEY_DELETED : ErrorFromSqlite(rc);
}

LONG FindChild(Connection& c, KeyId parent, const std::string& name, KeyId* child) {
  Query query(c, "SELECT id FROM keys WHERE parent=?1 AND name_key=?2");
  int rc = query.Bind(1, parent).Bind(2, Fold(name.c_str())).Step();
  if (rc == SQLITE_ROW) {
    *child = query.Int(0);
    return ERROR_SUCCESS;
  }
  return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : ErrorFromSqlite(rc);
}

// Records a change of the key's sub-key names or values under a new
// store-wide change number; ERROR_KEY_DELETED when the key is gone.
LONG Touch(Connection& c, KeyId key, bool names) {
  Query next(c, "UPDATE changes SET seq=seq+1 RETURNING seq");
  int rc = next.Step();
  if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
  int64_t change = next.Int(0);
  Query self(c, names ? "UPDATE keys SET names_change=?2, last_write=?3 WHERE id=?1"
                      : "UPDATE keys SET values_change=?2, last_write=?3 WHERE id=?1");
  rc = self.Bind(1, key).Bind(2, change).Bind(3, static_cast<int64_t>(NowFiletime())).Step();
  if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  return sqlite3_changes(c.db()) == 0 ? static_cast<LONG>(ERROR_KEY_DELETED) : static_cast<LONG>(ERROR_SUCCESS);
}

// A missing row found below a key means a missing item, unless the key
// itself is gone.
LONG MissingUnlessDeleted(Connection& c, KeyId key, LONG missing) {
  LONG exists = Exists(c, key);
  return exists == ERROR_SUCCESS ? missing : exists;
}

LONG InsertKey(Connection& c, KeyId parent, const std::string& name, const char* className, KeyId* id) {
  Query insert(c, "INSERT INTO keys(parent, name, name_key, class, last_write) VALUES(?1, ?2, ?3, ?4, ?5)");
  int rc = insert.Bind(1, parent)
               .Bind(2, name)
               .Bind(3, Fold(name.c_str()))
               .Bind(4, std::string(className ? className : ""))
               .Bind(5, static_cast<int64_t>(NowFiletime()))
               .Step();
  if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
  *id = sqlite3_last_insert_rowid(c.db());
  return parent == 0 ? ERROR_SUCCESS : Touch(c, parent, true);
}

LONG ParentOf(Connection& c, KeyId key, KeyId* parent) {
  Query query(c, "SELECT parent FROM keys WHERE id=?1");
  int rc = query.Bind(1, key).Step();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? ERROR_KEY_DELETED : ErrorFromSqlite(rc);
  *parent = query.Int(0);
  return ERROR_SUCCESS;
}

}  // namespace

LONG Predefined(const std::vector<std::string>& path, KeyId* id) {
  std::string slot;
  for (const std::string& name : path) slot += Fold(name.c_str()) + "\\";
  LONG result = Statements([&](Connection& c) {
    auto it = c.known().find(slot);
    if (it == c.known().end()) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    *id = it->second;
    return static_cast<LONG>(ERROR_SUCCESS);
  });
  if (result != ERROR_FILE_NOT_FOUND) return result;
  return Transaction(true, [&](Connection& c) {
    KeyId current = 0;
    for (const std::string& name : path) {
      KeyId child = 0;
      LONG error = FindChild(c, current, name, &child);
      if (error == ERROR_FILE_NOT_FOUND) error = InsertKey(c, current, name, nullptr, &child);
      if (error != ERROR_SUCCESS) return error;
      current = child;
    }
    c.known()[slot] = current;
    *id = current;
    return static_cast<LONG>(ERROR_SUCCESS);
  });
}

LONG OpenPath(KeyId parent, const std::vector<std::string>& path, KeyId* id) {
  // One read transaction: a single snapshot, and one round of locking.
  return Transaction(false, [&](Connection& c) {
    KeyId current = parent;
    for (const std::string& name : path) {
      LONG error = FindChild(c, current, name, &current);
      if (error == ERROR_FILE_NOT_FOUND && current == parent) return MissingUnlessDeleted(c, parent, error);
      if (error != ERROR_SUCCESS) return error;
    }
    if (path.empty()) {
      LONG error = Exists(c, parent);
      if (error != ERROR_SUCCESS) return error;
    }
    *id = current;
    return static_cast<LONG>(ERROR_SUCCESS);
  });
}

LONG CreatePath(KeyId parent, const std::vector<std::string>& path, const char* className, KeyId* id,
                bool* created) {
  *created = false;
  return Transaction(true, [&](Connection& c) {
    LONG error = Exists(c, parent);
    KeyId current = parent;
    for (size_t i = 0; error == ERROR_SUCCESS && i < path.size(); ++i) {
      KeyId child = 0;
      error = FindChild(c, current, path[i], &child);
      if (error == ERROR_FILE_NOT_FOUND) {
        bool last = i + 1 == path.size();
        error = InsertKey(c, current, path[i], last ? className : nullptr, &child);
        *created = last;
      }
      current = child;
    }
    if (error == ERROR_SUCCESS) *id = current;
    return error;
  });
}

LONG KeyExists(KeyId key) {
  return Statements([&](Connection& c) { return Exists(c, key); });
}

LONG QueryValue(KeyId key, const char* name, DWORD* type, std::string* data) {
  return Statements([&](Connection& c) {
    Query query(c, "SELECT type, data FROM vals WHERE key_id=?1 AND name_key=?2");
    int rc = query.Bind(1, key).Bind(2, Fold(name)).Step();
    if (rc == SQLITE_ROW) {
      *type = static_cast<DWORD>(query.Int(0));
      *data = query.Text(1);
      return static_cast<LONG>(ERROR_SUCCESS);
    }
    if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
    return MissingUnlessDeleted(c, key, ERROR_FILE_NOT_FOUND);
  });
}

LONG SetValue(KeyId key, const char* name, DWORD type, const BYTE* data, DWORD size) {
  return Transaction(true, [&](Connection& c) {
    LONG error = Touch(c, key, false);
    if (error != ERROR_SUCCESS) return error;
    // An existing value keeps its name as first written and its place in
    // the enumeration order.
    Query upsert(c,
                 "INSERT INTO vals(key_id, name, name_key, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                 " ON CONFLICT(key_id, name_key) DO UPDATE SET type=excluded.type, data=excluded.data");
    int rc = upsert.Bind(1, key)
                 .Bind(2, std::string(name ? name : ""))
                 .Bind(3, Fold(name))
                 .Bind(4, static_cast<int64_t>(type))
                 .BindBlob(5, data, size)
                 .Step();
    return Done(rc);
  });
}

LONG DeleteValue(KeyId key, const char* name) {
  return Transaction(true, [&](Connection& c) {
    Query remove(c, "DELETE FROM vals WHERE key_id=?1 AND name_key=?2");
    int rc = remove.Bind(1, key).Bind(2, Fold(name)).Step();
    if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
    if (sqlite3_changes(c.db()) == 0) return MissingUnlessDeleted(c, key, ERROR_FILE_NOT_FOUND);
    return Touch(c, key, false);
  });
}

LONG EnumKey(KeyId key, DWORD index, std::string* name, std::string* className, uint64_t* lastWrite) {
  return Statements([&](Connection& c) {
    Query query(c, "SELECT name, class, last_write FROM keys WHERE parent=?1 ORDER BY name_key LIMIT 1 OFFSET ?2");
    int rc = query.Bind(1, key).Bind(2, static_cast<int64_t>(index)).Step();
    if (rc == SQLITE_DONE) return MissingUnlessDeleted(c, key, ERROR_NO_MORE_ITEMS);
    if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
    *name = query.Text(0);
    *className = query.Text(1);
    *lastWrite = static_cast<uint64_t>(query.Int(2));
    return static_cast<LONG>(ERROR_SUCCESS);
  });
}

LONG EnumValue(KeyId key, DWORD index, std::string* name, DWORD* type, std::string* data) {
  return Statements([&](Connection& c) {
    Query query(c, "SELECT name, type, data FROM vals WHERE key_id=?1 ORDER BY rowid LIMIT 1 OFFSET ?2");
    int rc = query.Bind(1, key).Bind(2, static_cast<int64_t>(index)).Step();
    if (rc == SQLITE_DONE) return MissingUnlessDeleted(c, key, ERROR_NO_MORE_ITEMS);
    if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
    *name = query.Text(0);
    *type = static_cast<DWORD>(query.Int(1));
    *data = query.Text(2);
    return static_cast<LONG>(ERROR_SUCCESS);
  });
}

LONG QueryInfo(KeyId key, KeyInfo* info) {
  return Transaction(false, [&](Connection& c) {
    Query self(c, "SELECT class, last_write FROM keys WHERE id=?1");  // within one read transaction
    int rc = self.Bind(1, key).Step();
    if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? static_cast<LONG>(ERROR_KEY_DELETED) : ErrorFromSqlite(rc);
    info->className = self.Text(0);
    info->lastWrite = static_cast<uint64_t>(self.Int(1));
    Query keys(c, "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))),0), coalesce(max(length(CAST(class AS BLOB))),0)"
                  " FROM keys WHERE parent=?1");
    rc = keys.Bind(1, key).Step();
    if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
    info->subKeys = static_cast<DWORD>(keys.Int(0));
    info->maxSubKeyLen = static_cast<DWORD>(keys.Int(1));
    info->maxClassLen = static_cast<DWORD>(keys.Int(2));
    Query values(c, "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))),0), coalesce(max(length(data)),0)"
                    " FROM vals WHERE key_id=?1");
    rc = values.Bind(1, key).Step();
    if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
    info->values = static_cast<DWORD>(values.Int(0));
    info->maxValueNameLen = static_cast<DWORD>(values.Int(1));
    info->maxValueLen = static_cast<DWORD>(values.Int(2));
    return static_cast<LONG>(ERROR_SUCCESS);
  });
}

LONG DeleteKey(KeyId key) {
  return Transaction(true, [&](Connection& c) {
    KeyId parent = 0;
    LONG error = ParentOf(c, key, &parent);
    if (error != ERROR_SUCCESS) return error;
    if (parent == 0) return static_cast<LONG>(ERROR_ACCESS_DENIED);  // roots stay
    Query children(c, "SELECT 1 FROM keys WHERE parent=?1 LIMIT 1");
    int rc = children.Bind(1, key).Step();
    if (rc == SQLITE_ROW) return static_cast<LONG>(ERROR_ACCESS_DENIED);
    if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
    Query values(c, "DELETE FROM vals WHERE key_id=?1");
    if ((rc = values.Bind(1, key).Step()) != SQLITE_DONE) return ErrorFromSqlite(rc);
    Query self(c, "DELETE FROM keys WHERE id=?1");
    if ((rc = self.Bind(1, key).Step()) != SQLITE_DONE) return ErrorFromSqlite(rc);
    return Touch(c, parent, true);
  });
}

LONG DeleteTree(KeyId key) {
  return Transaction(true, [&](Connection& c) {
    KeyId parent = 0;
    LONG error = ParentOf(c, key, &parent);
    if (error != ERROR_SUCCESS) return error;
    if (parent == 0) return static_cast<LONG>(ERROR_ACCESS_DENIED);
    Query values(c, "WITH RECURSIVE down(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN down ON k.parent=down.id)"
                    " DELETE FROM vals WHERE key_id IN down");
    int rc = values.Bind(1, key).Step();
    if (rc != SQLITE_DONE) return ErrorFromSqlite(rc);
    Query keys(c, "WITH RECURSIVE down(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN down ON k.parent=down.id)"
                  " DELETE FROM keys WHERE id IN down");
    if ((rc = keys.Bind(1, key).Step()) != SQLITE_DONE) return ErrorFromSqlite(rc);
    return Touch(c, parent, true);
  });
}

LONG Flush() {
  Connection& connection = ThisProcessConnection();
  std::lock_guard<std::mutex> guard(connection.lock());
  LONG error = connection.EnsureOpen();
  if (error != ERROR_SUCCESS) return error;
  // A checkpoint with synchronous=FULL syncs the WAL and the database file.
  int rc = sqlite3_exec(connection.db(), "PRAGMA synchronous=FULL; PRAGMA wal_checkpoint(FULL); PRAGMA synchronous=NORMAL;",
                        nullptr, nullptr, nullptr);
  return ErrorFromSqlite(rc);
}

LONG ChangeStamp(KeyId key, bool subtree, DWORD filter, uint64_t* stamp) {
  return Transaction(false, [&](Connection& c) {
    Query query(c, subtree ? "WITH RECURSIVE down(id) AS (SELECT ?1 UNION ALL"
                             " SELECT k.id FROM keys k JOIN down ON k.parent=down.id)"
                             " SELECT max(names_change), max(values_change), count(*) FROM keys WHERE id IN down"
                           : "SELECT names_change, values_change, 1 FROM keys WHERE id=?1");
    int rc = query.Bind(1, key).Step();
    if (rc == SQLITE_DONE || (rc == SQLITE_ROW && query.Int(2) == 0)) return static_cast<LONG>(ERROR_KEY_DELETED);
    if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
    uint64_t names = (filter & REG_NOTIFY_CHANGE_NAME) ? static_cast<uint64_t>(query.Int(0)) : 0;
    uint64_t values = (filter & REG_NOTIFY_CHANGE_LAST_SET) ? static_cast<uint64_t>(query.Int(1)) : 0;
    *stamp = names > values ? names : values;
    return static_cast<LONG>(ERROR_SUCCESS);
  });
}

}  // namespace registry_store
}  // namespace vk_posix
