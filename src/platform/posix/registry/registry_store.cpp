// The registry in SQLite databases, registry.db in each store (system_root.h
// tells where they lie, sqlite_database.h how processes share them). RegFlushKey
// checkpoints with a sync for durability against power loss. Opening a key
// and reading a value are answered from this process's cache while no
// process has written since (registry_cache.h).
#include "registry/registry_store.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "machine/sqlite_database.h"
#include "machine/state_files.h"
#include "registry/registry_cache.h"
#include "registry/store_routing.h"
#include "text/name_fold.h"
#include "text/wide_text.h"

namespace vk_posix {
namespace registry_store {

namespace {

constexpr uint64_t kFiletimeUnixEpoch = 116444736000000000ull;  // 1970 in FILETIME ticks

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"  // never reused: a stale handle finds nothing
    " parent INTEGER NOT NULL,"               // 0 for the roots
    " name TEXT NOT NULL, name_key TEXT NOT NULL, class TEXT NOT NULL DEFAULT '',"
    // The last change of the key itself; the key's last write time is the
    // latest of this and its values' write times.
    " last_write INTEGER NOT NULL,"
    // How often the key's sub-key names changed and how often one of its
    // values was deleted, for change notification.
    " names_change INTEGER NOT NULL DEFAULT 0, values_change INTEGER NOT NULL DEFAULT 0,"
    " UNIQUE(parent, name_key));"
    // A value keeps its own write time and change count, and without a rowid
    // it lives in one b-tree: setting a value rewrites a single page. Values
    // are listed in the order they were created.
    "CREATE TABLE IF NOT EXISTS vals("
    " key_id INTEGER NOT NULL, name TEXT NOT NULL, name_key TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, created INTEGER NOT NULL,"
    " written INTEGER NOT NULL, change INTEGER NOT NULL,"
    " PRIMARY KEY(key_id, name_key)) WITHOUT ROWID;"
    // Listing order; a rewrite keeps `created`, so it leaves this untouched.
    "CREATE INDEX IF NOT EXISTS vals_order ON vals(key_id, created, name_key);"
    // Keys made with REG_OPTION_VOLATILE and the boot they were made in.
    // A table of its own, so that a store made before it keeps every key:
    // the first writer to open it adds the table.
    "CREATE TABLE IF NOT EXISTS volatile_keys(id INTEGER PRIMARY KEY, boot TEXT NOT NULL);";

// A key's last write time: its own or its latest value's.
#define VK_LAST_WRITE(k) "max(" k ".last_write, coalesce((SELECT max(written) FROM vals WHERE key_id=" k ".id), 0))"

// Names compare without case, the same way in every process.
std::string Fold(const char* name) { return FoldName(name); }

uint64_t NowFiletime() {
  struct timeval now;
  gettimeofday(&now, nullptr);
  return kFiletimeUnixEpoch + static_cast<uint64_t>(now.tv_sec) * 10000000u + static_cast<uint64_t>(now.tv_usec) * 10u;
}


// What the copy of the machine store that everyone may read leaves out:
// the keys of users below HKEY_USERS, with their subtrees and values. Only
// a store that earlier versions kept in one directory holds any, and
// nobody but their users may reach them (store_routing.h).
const char* UsersKeysLeftOutOfTheCopy() {
  // Never destroyed: the checkpointer thread may make the last copy after
  // static destructors ran.
  static const std::string* sql = new std::string(
      "CREATE TEMP TABLE users_keys AS WITH RECURSIVE doomed(id) AS ("
      " SELECT k.id FROM keys k JOIN keys root ON k.parent=root.id WHERE root.parent=0 AND root.name_key='" +
      Fold("HKEY_USERS") + "' AND k.name_key GLOB '" + kFoldedSidPrefix +
      "*'"
      " UNION SELECT keys.id FROM keys JOIN doomed ON keys.parent=doomed.id)"
      " SELECT id FROM doomed;"
      "DELETE FROM vals WHERE key_id IN (SELECT id FROM users_keys);"
      "DELETE FROM volatile_keys WHERE id IN (SELECT id FROM users_keys);"
      "DELETE FROM keys WHERE id IN (SELECT id FROM users_keys);"
      "DROP TABLE users_keys;");
  return sql->c_str();
}

// The user store's database is used only while the stores are apart; in
// the one-directory layouts every key lies in the machine store's.
ProcessDatabase& Registry(Store store) {
  static ProcessDatabase* machine = new ProcessDatabase(
      {"registry.db", kSchema, ERROR_REGISTRY_CORRUPT, kStorePageSize, Store::kMachine, true, UsersKeysLeftOutOfTheCopy()});
  static ProcessDatabase* user = new ProcessDatabase(
      {"registry.db", kSchema, ERROR_REGISTRY_CORRUPT, kStorePageSize, Store::kUser, false, nullptr});
  return store == Store::kUser ? *user : *machine;
}

// Where the last walk of a key by index stopped: the next index of the same
// key continues after that row instead of counting rows from the first, so
// a whole walk costs O(n log n), not O(n^2). It holds only while the shared
// change counter shows no write since.
struct WalkPosition {
  KeyId key = 0;
  DWORD index = 0;
  uint64_t mark = 0;
  int64_t created = 0;
  std::string nameKey;
  bool valid = false;

  // Whether index follows this position on an unchanged store; `mark` is
  // the counter as read before the question.
  bool Continues(KeyId askedKey, DWORD askedIndex, bool counted, uint64_t now) const {
    return valid && counted && key == askedKey && index + 1 == askedIndex && mark == now;
  }
  void Remember(KeyId walkedKey, DWORD walkedIndex, bool counted, uint64_t now, int64_t rowCreated,
                std::string rowNameKey) {
    valid = counted;
    key = walkedKey;
    index = walkedIndex;
    mark = now;
    created = rowCreated;
    nameKey = std::move(rowNameKey);
  }
};

// What a process keeps with its connection to one store, used under the
// connection's lock: the cache, the walks, and the rows of the predefined
// keys, which are never deleted.
struct StoreState {
  // A process that writes the shared machine store first brings the copy
  // its other readers read up to date, in case the last writer died before
  // it could publish.
  StoreState(Connection& c, Store store) : cache(store, c) {
    uint64_t now = 0;
    StoreLocation where = Locate(store);
    if (where.shared && where.writable && cache.StableCount(&now) && now > PublishedGeneration(where, "registry.db"))
      c.Publish(now);
  }
  RegistryCache cache;
  WalkPosition keyWalk;
  WalkPosition valueWalk;
  std::map<std::string, KeyId> knownKeys;
  bool bootChecked = false;  // the keys of earlier boots are gone
};

StoreState& StateOf(Connection& c) { return c.Attached<StoreState>(c, c.store()); }
RegistryCache& CacheOf(Connection& c) { return StateOf(c).cache; }

// The cache's question for a value of a key.
std::string ValueQuestion(KeyId key, const char* name) { return "value " + std::to_string(key) + "\\" + Fold(name); }

// The answer to a question, from this process's cache or else loaded from
// the store and kept.
template <typename Load>
RegistryCache::Answer Ask(Connection& c, const std::string& question, Load load) {
  RegistryCache& cache = CacheOf(c);
  if (const RegistryCache::Answer* kept = cache.Find(question)) return *kept;
  RegistryCache::Answer answer;
  answer.result = load(&answer);
  cache.Keep(question, answer);
  return answer;
}

// The boot this system is in, as the kernel names it; empty where it does
// not, and then volatile keys stay until they are deleted.
const std::string& BootId() {
  static const std::string boot = [] {
    std::string id;
    int fd = open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return id;
    char text[64];
    ssize_t n;
    do n = read(fd, text, sizeof text);
    while (n < 0 && errno == EINTR);
    close(fd);
    if (n > 0) id.assign(text, static_cast<size_t>(n));
    while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
    return id;
  }();
  return boot;
}

// Writers take turns and move the shared change counter around each commit
// that changes the store (registry_cache.h), so that no process keeps
// trusting what it read before. A write that cannot take its turn is
// refused: other processes would never see it.
template <typename Body>
LONG WriteOn(Connection& c, Body body) {
  RegistryCache& cache = CacheOf(c);
  LONG refused = cache.BeginWrite();
  if (refused != ERROR_SUCCESS) return refused;
  int changesBefore = sqlite3_total_changes(c.db());
  LONG result = InTransaction(c, true, [&](Connection&) -> LONG {
    LONG done = body(c);
    if (done == ERROR_SUCCESS && sqlite3_total_changes(c.db()) != changesBefore) cache.Changing();
    return done;
  });
  uint64_t changed = cache.EndWrite(result == ERROR_SUCCESS);
  // The shared machine store's other readers read a published copy.
  if (changed) c.Publish(changed);
  return result;
}

// Volatile keys end with the boot they were made in, as on Windows, where
// a restart empties their hive: the first process after a restart that may
// write a store deletes those of earlier boots, with their subtrees, before
// it reads or writes anything there. A process that may only read sees
// them until then. Nothing is kept from a store that cannot be changed now;
// the next process tries again.
LONG ForgetEarlierBoots(Connection& c) {
  StoreState& state = StateOf(c);
  if (state.bootChecked || c.readOnly() || BootId().empty()) return ERROR_SUCCESS;
  state.bootChecked = true;
  {
    Query stale(c, "SELECT 1 FROM volatile_keys WHERE boot<>?1 LIMIT 1");
    if (stale.Bind(1, BootId()).Step() != SQLITE_ROW) return ERROR_SUCCESS;
  }
  WriteOn(c, [&](Connection&) -> LONG {
    const char* const kSteps[] = {
        "UPDATE keys SET names_change=names_change+1"
        " WHERE id IN (SELECT k.parent FROM keys k JOIN volatile_keys v ON v.id=k.id WHERE v.boot<>?1)",
        "WITH RECURSIVE down(id) AS (SELECT id FROM volatile_keys WHERE boot<>?1"
        " UNION SELECT k.id FROM keys k JOIN down ON k.parent=down.id) DELETE FROM vals WHERE key_id IN down",
        "WITH RECURSIVE down(id) AS (SELECT id FROM volatile_keys WHERE boot<>?1"
        " UNION SELECT k.id FROM keys k JOIN down ON k.parent=down.id) DELETE FROM keys WHERE id IN down",
        "DELETE FROM volatile_keys WHERE boot<>?1 OR id NOT IN (SELECT id FROM keys)",
    };
    for (const char* sql : kSteps) {
      Query step(c, sql);
      int rc = step.Bind(1, BootId()).Step();
      if (rc != SQLITE_DONE) return c.Error(rc);
    }
    return ERROR_SUCCESS;
  });
  return ERROR_SUCCESS;
}

// Runs body on this process's connection to the store, once the volatile
// keys of earlier boots are gone.
template <typename Body>
LONG Statements(Store store, Body body) {
  return vk_posix::Statements(Registry(store), [&](Connection& c) -> LONG {
    ForgetEarlierBoots(c);
    return body(c);
  });
}

template <typename Body>
LONG Transaction(Store store, bool write, Body body) {
  if (!write) return Statements(store, [&](Connection& c) -> LONG { return InTransaction(c, false, body); });
  // Only root and the machine store's group write it, as only
  // administrators write HKEY_LOCAL_MACHINE on Windows.
  if (!Registry(store).Writable()) return ERROR_ACCESS_DENIED;
  return Statements(store, [&](Connection& c) -> LONG { return WriteOn(c, body); });
}

LONG Exists(Connection& c, KeyId key) {
  Query query(c, "SELECT 1 FROM keys WHERE id=?1");
  int rc = query.Bind(1, key).Step();
  if (rc == SQLITE_ROW) return ERROR_SUCCESS;
  return rc == SQLITE_DONE ? ERROR_KEY_DELETED : c.Error(rc);
}

LONG FindChild(Connection& c, KeyId parent, const std::string& name, KeyId* child) {
  Query query(c, "SELECT id FROM keys WHERE parent=?1 AND name_key=?2");
  int rc = query.Bind(1, parent).Bind(2, Fold(name.c_str())).Step();
  if (rc == SQLITE_ROW) {
    *child = query.Int(0);
    return ERROR_SUCCESS;
  }
  return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : c.Error(rc);
}

// Records a change of the key's sub-key names or a deleted value;
// ERROR_KEY_DELETED when the key is gone.
LONG Touch(Connection& c, KeyId key, bool names) {
  Query self(c, names ? "UPDATE keys SET names_change=names_change+1, last_write=?2 WHERE id=?1"
                      : "UPDATE keys SET values_change=values_change+1, last_write=?2 WHERE id=?1");
  int rc = self.Bind(1, key).Bind(2, static_cast<int64_t>(NowFiletime())).Step();
  if (rc != SQLITE_DONE) return c.Error(rc);
  return sqlite3_changes(c.db()) == 0 ? ERROR_KEY_DELETED : ERROR_SUCCESS;
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
  if (rc != SQLITE_DONE) return c.Error(rc);
  *id = sqlite3_last_insert_rowid(c.db());
  return parent == 0 ? ERROR_SUCCESS : Touch(c, parent, true);
}

LONG FindPath(Connection& c, KeyId parent, const std::vector<std::string>& path, KeyId* id) {
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
  return ERROR_SUCCESS;
}

LONG ReadValue(Connection& c, KeyId key, const char* name, DWORD* type, std::string* data) {
  Query query(c, "SELECT type, data FROM vals WHERE key_id=?1 AND name_key=?2");
  int rc = query.Bind(1, key).Bind(2, Fold(name)).Step();
  if (rc == SQLITE_ROW) {
    *type = static_cast<DWORD>(query.Int(0));
    *data = query.Text(1);
    return ERROR_SUCCESS;
  }
  if (rc != SQLITE_DONE) return c.Error(rc);
  return MissingUnlessDeleted(c, key, ERROR_FILE_NOT_FOUND);
}

// The level of a key: Windows keeps a key at most 512 levels below the top
// of the registry, which lies above the roots, so the roots are the second
// level and the current user's key the third. Deeper keys are refused, so
// that a walk down a tree, one call per level, stays bounded.
constexpr int64_t kRootLevel = 2;
constexpr int64_t kDeepestLevel = 512;

LONG LevelOf(Connection& c, KeyId key, int64_t* level) {
  Query query(c, "WITH RECURSIVE up(id, n) AS (SELECT ?1, 0 UNION ALL"
                 " SELECT k.parent, up.n+1 FROM keys k JOIN up ON k.id=up.id WHERE k.parent<>0)"
                 " SELECT max(n) FROM up");
  int rc = query.Bind(1, key).Step();
  if (rc != SQLITE_ROW) return c.Error(rc);
  *level = kRootLevel + query.Int(0);
  return ERROR_SUCCESS;
}

// Whether a key right below a root is one of Windows' hives (the current
// user's key among them), which Windows never deletes. Other keys made
// there by a program may go again.
bool IsHive(const std::string& root, const std::string& name) {
  if (root == "hkey_local_machine")
    return name == "software" || name == "system" || name == "hardware" || name == "sam" || name == "security";
  if (root == "hkey_users") return name == ".default" || IsUserSidName(name);
  return true;
}

// The parent of a key that may be deleted. Windows never deletes the roots,
// its hives and HKEY_LOCAL_MACHINE\SOFTWARE\Classes, the key of
// HKEY_CLASSES_ROOT: ERROR_ACCESS_DENIED. Processes remember the ids of the
// keys behind their predefined handles, so deleting one would break those
// handles until the processes restart. No tree of another key holds one of
// these keys.
LONG DeletableParent(Connection& c, KeyId key, KeyId* parent) {
  Query query(c, "SELECT k.parent, p.parent, g.parent, g.name_key, p.name_key, k.name_key FROM keys k"
                 " LEFT JOIN keys p ON p.id=k.parent LEFT JOIN keys g ON g.id=p.parent WHERE k.id=?1");
  int rc = query.Bind(1, key).Step();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? ERROR_KEY_DELETED : c.Error(rc);
  bool root = query.Int(0) == 0;
  bool hive = !root && query.Int(1) == 0 && IsHive(query.Text(4), query.Text(5));
  bool classes = !root && query.Int(1) != 0 && query.Int(2) == 0 && query.Text(3) == "hkey_local_machine" &&
                 query.Text(4) == "software" && query.Text(5) == "classes";
  if (root || hive || classes) return ERROR_ACCESS_DENIED;
  *parent = query.Int(0);
  return ERROR_SUCCESS;
}

}  // namespace

namespace {

// The store-local form of a predefined key's path, for remembering it.
std::string SlotOf(const std::vector<std::string>& path) {
  std::string slot;
  for (const std::string& name : path) slot += Fold(name.c_str()) + "\\";
  return slot;
}

// A key that lasts across restarts cannot lie below one that does not:
// ERROR_CHILD_MUST_BE_VOLATILE below a volatile key, as on Windows.
LONG RefuseBelowVolatile(Connection& c, KeyId parent) {
  Query query(c, "SELECT 1 FROM volatile_keys WHERE id=?1");
  int rc = query.Bind(1, parent).Step();
  if (rc == SQLITE_ROW) return ERROR_CHILD_MUST_BE_VOLATILE;
  return rc == SQLITE_DONE ? ERROR_SUCCESS : c.Error(rc);
}

LONG MarkVolatile(Connection& c, KeyId key) {
  Query insert(c, "INSERT INTO volatile_keys(id, boot) VALUES(?1, ?2)");
  int rc = insert.Bind(1, key).Bind(2, BootId()).Step();
  return rc == SQLITE_DONE ? ERROR_SUCCESS : c.Error(rc);
}

// The user store's HKEY_USERS, from which a path through the user's SID
// continues.
LONG UserStoreUsers(KeyId* id) { return Predefined(Store::kUser, {"HKEY_USERS"}, id); }

}  // namespace

LONG Predefined(Store store, const std::vector<std::string>& path, KeyId* id) {
  std::string slot = SlotOf(path);
  KeyId row = 0;
  // Walks the path from the top of the store, creating what is missing
  // when asked to.
  auto walk = [&](Connection& c, bool create) -> LONG {
    KeyId current = 0;
    if (create && store == Store::kMachine && StoresApart()) {
      for (const std::string& name : DefaultUserPath()) {
        KeyId child = 0;
        LONG error = FindChild(c, current, name, &child);
        if (error == ERROR_FILE_NOT_FOUND) error = InsertKey(c, current, name, nullptr, &child);
        if (error != ERROR_SUCCESS) return error;
        current = child;
      }
      current = 0;
    }
    for (const std::string& name : path) {
      KeyId child = 0;
      LONG error = FindChild(c, current, name, &child);
      if (error == ERROR_FILE_NOT_FOUND && create) error = InsertKey(c, current, name, nullptr, &child);
      if (error != ERROR_SUCCESS) return error;
      current = child;
    }
    StateOf(c).knownKeys[slot] = current;
    row = current;
    return ERROR_SUCCESS;
  };
  // Known, or else looked up without writing: a process whose writes are
  // refused still reaches the roots that exist.
  LONG result = Statements(store, [&](Connection& c) -> LONG {
    std::map<std::string, KeyId>& known = StateOf(c).knownKeys;
    auto it = known.find(slot);
    if (it == known.end()) return InTransaction(c, false, [&](Connection&) -> LONG { return walk(c, false); });
    row = it->second;
    return ERROR_SUCCESS;
  });
  // A store this process may not write has what it has.
  if (result == ERROR_FILE_NOT_FOUND && Registry(store).Writable())
    result = Transaction(store, true, [&](Connection& c) -> LONG { return walk(c, true); });
  if (result != ERROR_SUCCESS) return result;
  *id = IdOf(store, row);
  if (store == Store::kMachine && slot == "hkey_users\\") RememberMachineUsers(*id);
  return ERROR_SUCCESS;
}

LONG OpenPath(KeyId parent, const std::vector<std::string>& path, KeyId* id) {
  Route route = RouteOf(parent, path);
  if (route == Route::kOtherUser) return ERROR_FILE_NOT_FOUND;
  if (route == Route::kOwnKey) {
    LONG error = UserStoreUsers(&parent);
    if (error != ERROR_SUCCESS) return error;
  }
  Store store = StoreOf(parent);
  KeyId row = RowOf(parent);
  return Statements(store, [&](Connection& c) -> LONG {
    std::string question = "key " + std::to_string(row);
    for (const std::string& name : path) question += "\\" + Fold(name.c_str());
    RegistryCache::Answer answer = Ask(c, question, [&](RegistryCache::Answer* loaded) {
      // One read transaction: a single snapshot, and one round of locking.
      return InTransaction(c, false, [&](Connection&) -> LONG { return FindPath(c, row, path, &loaded->id); });
    });
    if (answer.result == ERROR_SUCCESS) *id = IdOf(store, answer.id);
    return answer.result;
  });
}

LONG CreatePath(KeyId parent, const std::vector<std::string>& path, const char* className, bool isVolatile,
                KeyId* id, bool* created) {
  *created = false;
  // Another user's key cannot be made here: only loading that user's
  // store would bring it, as only a logon loads a hive on Windows.
  Route route = RouteOf(parent, path);
  if (route == Route::kOtherUser) return ERROR_ACCESS_DENIED;
  if (route == Route::kOwnKey) {
    LONG error = UserStoreUsers(&parent);
    if (error != ERROR_SUCCESS) return error;
  }
  Store store = StoreOf(parent);
  KeyId top = RowOf(parent);
  return Transaction(store, true, [&](Connection& c) -> LONG {
    LONG error = Exists(c, top);
    KeyId current = top;
    int64_t parentLevel = -1;  // looked up when the first key is to be made
    for (size_t i = 0; error == ERROR_SUCCESS && i < path.size(); ++i) {
      KeyId child = 0;
      error = FindChild(c, current, path[i], &child);
      if (error == ERROR_FILE_NOT_FOUND) {
        // Below the key that exists, every key is new: its level, and
        // whether it is volatile, are asked once.
        error = ERROR_SUCCESS;
        if (parentLevel < 0) {
          error = LevelOf(c, top, &parentLevel);
          if (error == ERROR_SUCCESS && !isVolatile) error = RefuseBelowVolatile(c, current);
        }
        // Too deep: the transaction keeps none of the keys made before.
        if (error == ERROR_SUCCESS && parentLevel + static_cast<int64_t>(i) + 1 > kDeepestLevel)
          error = ERROR_INVALID_PARAMETER;
        bool last = i + 1 == path.size();
        if (error == ERROR_SUCCESS) error = InsertKey(c, current, path[i], last ? className : nullptr, &child);
        if (error == ERROR_SUCCESS && isVolatile) error = MarkVolatile(c, child);
        *created = last;
      }
      current = child;
    }
    if (error == ERROR_SUCCESS) *id = IdOf(store, current);
    return error;
  });
}

bool MayWrite(KeyId key) { return Registry(StoreOf(key)).Writable(); }

LONG KeyExists(KeyId key) {
  return Statements(StoreOf(key), [&](Connection& c) -> LONG { return Exists(c, RowOf(key)); });
}

LONG QueryValue(KeyId key, const char* name, DWORD* type, std::string* data) {
  KeyId row = RowOf(key);
  return Statements(StoreOf(key), [&](Connection& c) -> LONG {
    RegistryCache::Answer answer = Ask(c, ValueQuestion(row, name), [&](RegistryCache::Answer* loaded) {
      return ReadValue(c, row, name, &loaded->type, &loaded->data);
    });
    if (answer.result != ERROR_SUCCESS) return answer.result;
    *type = answer.type;
    *data = std::move(answer.data);
    return ERROR_SUCCESS;
  });
}

LONG SetValue(KeyId key, const char* name, DWORD type, const BYTE* data, DWORD size) {
  Store store = StoreOf(key);
  KeyId row = RowOf(key);
  if (!Registry(store).Writable()) return ERROR_ACCESS_DENIED;
  std::string question = ValueQuestion(row, name);
  RegistryCache::Answer written;
  written.type = type;
  written.data.assign(reinterpret_cast<const char*>(data), data ? size : 0);
  // The same type and data as this process knows stored: nothing to do,
  // not even a turn among the writers.
  bool stored = false;
  Statements(store, [&](Connection& c) -> LONG {
    const RegistryCache::Answer* kept = CacheOf(c).Find(question);
    stored = kept && kept->result == ERROR_SUCCESS && kept->type == type && kept->data == written.data;
    return ERROR_SUCCESS;
  });
  if (stored) return ERROR_SUCCESS;
  return Transaction(store, true, [&](Connection& c) -> LONG {
    // An existing value with other type or data is rewritten in place: it
    // keeps its name as first written and its creation time. Otherwise a
    // new one is made, unless the key is gone or the value already has
    // this type and data. Neither statement can stop half done (OR
    // ROLLBACK), so SQLite keeps no statement journal for them.
    std::string nameKey = Fold(name);
    int64_t now = static_cast<int64_t>(NowFiletime());
    Query update(c, "UPDATE OR ROLLBACK vals SET type=?3, data=?4, written=?5, change=change+1"
                    " WHERE key_id=?1 AND name_key=?2 AND (type IS NOT ?3 OR data IS NOT ?4)");
    int rc = update.Bind(1, row).Bind(2, nameKey).Bind(3, static_cast<int64_t>(type)).BindBlob(4, data, size).Bind(5, now).Step();
    if (rc != SQLITE_DONE) return c.Error(rc);
    if (sqlite3_changes(c.db()) == 0) {
      Query insert(c, "INSERT OR ROLLBACK INTO vals(key_id, name, name_key, type, data, created, written, change)"
                      " SELECT ?1, ?2, ?3, ?4, ?5, ?6, ?6, 1 WHERE EXISTS(SELECT 1 FROM keys WHERE id=?1)"
                      " AND NOT EXISTS(SELECT 1 FROM vals WHERE key_id=?1 AND name_key=?3)");
      rc = insert.Bind(1, row)
               .Bind(2, std::string(name ? name : ""))
               .Bind(3, nameKey)
               .Bind(4, static_cast<int64_t>(type))
               .BindBlob(5, data, size)
               .Bind(6, now)
               .Step();
      if (rc != SQLITE_DONE) return c.Error(rc);
      if (sqlite3_changes(c.db()) == 0) {
        LONG exists = Exists(c, row);
        if (exists != ERROR_SUCCESS) return exists;
      }
    }
    CacheOf(c).Amend(question, std::move(written));
    return ERROR_SUCCESS;
  });
}

LONG DeleteValue(KeyId key, const char* name) {
  KeyId row = RowOf(key);
  return Transaction(StoreOf(key), true, [&](Connection& c) -> LONG {
    Query remove(c, "DELETE FROM vals WHERE key_id=?1 AND name_key=?2");
    int rc = remove.Bind(1, row).Bind(2, Fold(name)).Step();
    if (rc != SQLITE_DONE) return c.Error(rc);
    if (sqlite3_changes(c.db()) == 0) return MissingUnlessDeleted(c, row, ERROR_FILE_NOT_FOUND);
    RegistryCache::Answer gone;
    gone.result = ERROR_FILE_NOT_FOUND;
    CacheOf(c).Amend(ValueQuestion(row, name), std::move(gone));
    return Touch(c, row, false);
  });
}

namespace {

LONG FindSubKey(Connection& c, KeyId key, DWORD index, std::string* name, std::string* className,
                uint64_t* lastWrite) {
  uint64_t mark = 0;
  bool counted = CacheOf(c).StableCount(&mark);
  WalkPosition& walk = StateOf(c).keyWalk;
  bool next = walk.Continues(key, index, counted, mark);
  Query query(c, next ? "SELECT name, class, " VK_LAST_WRITE("k") ", name_key FROM keys k"
                        " WHERE parent=?1 AND name_key>?2 ORDER BY name_key LIMIT 1"
                      : "SELECT name, class, " VK_LAST_WRITE("k") ", name_key FROM keys k"
                        " WHERE parent=?1 ORDER BY name_key LIMIT 1 OFFSET ?3");
  query.Bind(1, key);
  if (next) query.Bind(2, walk.nameKey);
  else query.Bind(3, static_cast<int64_t>(index));
  int rc = query.Step();
  if (rc == SQLITE_DONE) return MissingUnlessDeleted(c, key, ERROR_NO_MORE_ITEMS);
  if (rc != SQLITE_ROW) return c.Error(rc);
  *name = query.Text(0);
  *className = query.Text(1);
  *lastWrite = static_cast<uint64_t>(query.Int(2));
  walk.Remember(key, index, counted, mark, 0, query.Text(3));
  return ERROR_SUCCESS;
}

// The sub-keys of the machine store's HKEY_USERS as listed while the
// stores are apart (store_routing.h).
LONG UsersSubKeys(KeyId users, std::vector<SubKey>* keys) {
  const char* sql = "SELECT name, class, " VK_LAST_WRITE("k") ", name_key FROM keys k WHERE parent=?1 OR id=?2";
  constexpr KeyId kNone = -1;  // matches no row
  auto collect = [&](Connection& c, KeyId parent, KeyId self, std::vector<SubKey>* found) -> LONG {
    Query query(c, sql);
    query.Bind(1, parent).Bind(2, self);
    int rc;
    while ((rc = query.Step()) == SQLITE_ROW)
      found->push_back({query.Text(0), query.Text(1), static_cast<uint64_t>(query.Int(2)), query.Text(3)});
    return rc == SQLITE_DONE ? ERROR_SUCCESS : c.Error(rc);
  };
  std::vector<SubKey> machine, own;
  LONG error = Transaction(Store::kMachine, false,
                           [&](Connection& c) -> LONG { return collect(c, RowOf(users), kNone, &machine); });
  KeyId ownKey = 0;
  if (error == ERROR_SUCCESS) error = Predefined(Store::kUser, {"HKEY_USERS", CurrentUserKeyName()}, &ownKey);
  if (error == ERROR_SUCCESS)
    error = Transaction(Store::kUser, false,
                        [&](Connection& c) -> LONG { return collect(c, kNone, RowOf(ownKey), &own); });
  *keys = SpliceUsers(std::move(machine), std::move(own));
  return error;
}

LONG UsersSubKey(KeyId users, DWORD index, std::string* name, std::string* className, uint64_t* lastWrite) {
  std::vector<SubKey> keys;
  LONG error = UsersSubKeys(users, &keys);
  if (error != ERROR_SUCCESS) return error;
  if (index >= keys.size()) return ERROR_NO_MORE_ITEMS;
  *name = keys[index].name;
  *className = keys[index].className;
  *lastWrite = keys[index].lastWrite;
  return ERROR_SUCCESS;
}

}  // namespace

LONG EnumKey(KeyId key, DWORD index, std::string* name, std::string* className, uint64_t* lastWrite) {
  if (IsMachineUsers(key)) return UsersSubKey(key, index, name, className, lastWrite);
  return Statements(StoreOf(key),
                    [&](Connection& c) -> LONG {
                      return FindSubKey(c, RowOf(key), index, name, className, lastWrite);
                    });
}

LONG EnumKeyName(KeyId key, DWORD index, std::string* name) {
  std::string className;
  uint64_t lastWrite = 0;
  if (IsMachineUsers(key)) return UsersSubKey(key, index, name, &className, &lastWrite);
  KeyId row = RowOf(key);
  return Statements(StoreOf(key), [&](Connection& c) -> LONG {
    std::string question = "subkey " + std::to_string(row) + " " + std::to_string(index);
    RegistryCache::Answer answer = Ask(c, question, [&](RegistryCache::Answer* loaded) {
      return FindSubKey(c, row, index, &loaded->data, &className, &lastWrite);
    });
    if (answer.result == ERROR_SUCCESS) *name = std::move(answer.data);
    return answer.result;
  });
}

LONG EnumValue(KeyId key, DWORD index, std::string* name, DWORD* type, std::string* data) {
  KeyId row = RowOf(key);
  return Statements(StoreOf(key), [&](Connection& c) -> LONG {
    uint64_t mark = 0;
    bool counted = CacheOf(c).StableCount(&mark);
    WalkPosition& walk = StateOf(c).valueWalk;
    bool next = walk.Continues(row, index, counted, mark);
    Query query(c, next ? "SELECT name, type, data, created, name_key FROM vals"
                          " WHERE key_id=?1 AND (created, name_key)>(?2, ?3) ORDER BY created, name_key LIMIT 1"
                        : "SELECT name, type, data, created, name_key FROM vals"
                          " WHERE key_id=?1 ORDER BY created, name_key LIMIT 1 OFFSET ?4");
    query.Bind(1, row);
    if (next) query.Bind(2, walk.created).Bind(3, walk.nameKey);
    else query.Bind(4, static_cast<int64_t>(index));
    int rc = query.Step();
    if (rc == SQLITE_DONE) return MissingUnlessDeleted(c, row, ERROR_NO_MORE_ITEMS);
    if (rc != SQLITE_ROW) return c.Error(rc);
    *name = query.Text(0);
    *type = static_cast<DWORD>(query.Int(1));
    *data = query.Text(2);
    walk.Remember(row, index, counted, mark, query.Int(3), query.Text(4));
    return ERROR_SUCCESS;
  });
}

LONG QueryInfo(KeyId key, KeyInfo* info) {
  KeyId row = RowOf(key);
  LONG result = Transaction(StoreOf(key), false, [&](Connection& c) -> LONG {
    Query self(c, "SELECT class, " VK_LAST_WRITE("k") " FROM keys k WHERE id=?1");  // within one read transaction
    int rc = self.Bind(1, row).Step();
    if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? ERROR_KEY_DELETED : c.Error(rc);
    info->className = self.Text(0);
    info->lastWrite = static_cast<uint64_t>(self.Int(1));
    Query keys(c, "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))),0), coalesce(max(length(CAST(class AS BLOB))),0)"
                  " FROM keys WHERE parent=?1");
    rc = keys.Bind(1, row).Step();
    if (rc != SQLITE_ROW) return c.Error(rc);
    info->subKeys = static_cast<DWORD>(keys.Int(0));
    info->maxSubKeyLen = static_cast<DWORD>(keys.Int(1));
    info->maxClassLen = static_cast<DWORD>(keys.Int(2));
    Query values(c, "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))),0), coalesce(max(length(data)),0)"
                    " FROM vals WHERE key_id=?1");
    rc = values.Bind(1, row).Step();
    if (rc != SQLITE_ROW) return c.Error(rc);
    info->values = static_cast<DWORD>(values.Int(0));
    info->maxValueNameLen = static_cast<DWORD>(values.Int(1));
    info->maxValueLen = static_cast<DWORD>(values.Int(2));
    // Windows keeps texts in UTF-16 and counts them so, which for an ANSI
    // caller's text is some twice the bytes it reads back.
    Query texts(c, "SELECT data FROM vals WHERE key_id=?1 AND type IN (1, 2, 7)");
    texts.Bind(1, row);
    while ((rc = texts.Step()) == SQLITE_ROW) {
      DWORD wide = static_cast<DWORD>(2 * Utf16Length(texts.Text(0)));
      info->maxValueLen = std::max(info->maxValueLen, wide);
    }
    if (rc != SQLITE_DONE) return c.Error(rc);
    return ERROR_SUCCESS;
  });
  if (result != ERROR_SUCCESS || !IsMachineUsers(key)) return result;
  // HKEY_USERS counts the sub-keys that listing it shows.
  std::vector<SubKey> keys;
  result = UsersSubKeys(key, &keys);
  info->subKeys = static_cast<DWORD>(keys.size());
  info->maxSubKeyLen = info->maxClassLen = 0;
  for (const SubKey& sub : keys) {
    info->maxSubKeyLen = std::max(info->maxSubKeyLen, static_cast<DWORD>(sub.name.size()));
    info->maxClassLen = std::max(info->maxClassLen, static_cast<DWORD>(sub.className.size()));
  }
  return result;
}

LONG DeleteKey(KeyId key) {
  KeyId row = RowOf(key);
  return Transaction(StoreOf(key), true, [&](Connection& c) -> LONG {
    KeyId parent = 0;
    LONG error = DeletableParent(c, row, &parent);
    if (error != ERROR_SUCCESS) return error;
    Query children(c, "SELECT 1 FROM keys WHERE parent=?1 LIMIT 1");
    int rc = children.Bind(1, row).Step();
    if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;
    if (rc != SQLITE_DONE) return c.Error(rc);
    Query values(c, "DELETE FROM vals WHERE key_id=?1");
    if ((rc = values.Bind(1, row).Step()) != SQLITE_DONE) return c.Error(rc);
    Query self(c, "DELETE FROM keys WHERE id=?1");
    if ((rc = self.Bind(1, row).Step()) != SQLITE_DONE) return c.Error(rc);
    Query mark(c, "DELETE FROM volatile_keys WHERE id=?1");
    if ((rc = mark.Bind(1, row).Step()) != SQLITE_DONE) return c.Error(rc);
    return Touch(c, parent, true);
  });
}

LONG DeleteTree(KeyId key) {
  KeyId row = RowOf(key);
  return Transaction(StoreOf(key), true, [&](Connection& c) -> LONG {
    KeyId parent = 0;
    LONG error = DeletableParent(c, row, &parent);
    if (error != ERROR_SUCCESS) return error;
    Query values(c, "WITH RECURSIVE down(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN down ON k.parent=down.id)"
                    " DELETE FROM vals WHERE key_id IN down");
    int rc = values.Bind(1, row).Step();
    if (rc != SQLITE_DONE) return c.Error(rc);
    Query marks(c, "WITH RECURSIVE down(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN down ON k.parent=down.id)"
                   " DELETE FROM volatile_keys WHERE id IN down");
    if ((rc = marks.Bind(1, row).Step()) != SQLITE_DONE) return c.Error(rc);
    Query keys(c, "WITH RECURSIVE down(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN down ON k.parent=down.id)"
                  " DELETE FROM keys WHERE id IN down");
    if ((rc = keys.Bind(1, row).Step()) != SQLITE_DONE) return c.Error(rc);
    return Touch(c, parent, true);
  });
}

LONG Flush(KeyId key) {
  return Statements(StoreOf(key), [](Connection& c) -> LONG {
    if (c.readOnly()) return ERROR_SUCCESS;  // holds no write of this process
    // A full checkpoint with synchronous=FULL syncs the WAL, copies every
    // frame into the database file and syncs that: the file alone then
    // holds every committed write.
    int rc = sqlite3_exec(c.db(), "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    int frames = 0, copied = 0;
    if (rc == SQLITE_OK) rc = sqlite3_wal_checkpoint_v2(c.db(), nullptr, SQLITE_CHECKPOINT_FULL, &frames, &copied);
    if (rc == SQLITE_OK && copied < frames) rc = SQLITE_BUSY;
    sqlite3_exec(c.db(), "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    return c.Error(rc);
  });
}

LONG ChangeMark(KeyId key, bool subtree, DWORD filter, std::vector<int64_t>* mark) {
  bool names = (filter & REG_NOTIFY_CHANGE_NAME) != 0;
  bool values = (filter & REG_NOTIFY_CHANGE_LAST_SET) != 0;
  KeyId row = RowOf(key);
  return Transaction(StoreOf(key), false, [&](Connection& c) -> LONG {
    // Rows of (key id, 0 for the key or a value's creation time, names
    // count, values count). Without the name filter, a key's own row is left out until a
    // value of it is deleted, so creating an empty sub-key is not a change
    // of values.
    Query query(c, subtree ? "WITH RECURSIVE down(id) AS (SELECT ?1 UNION ALL"
                             " SELECT k.id FROM keys k JOIN down ON k.parent=down.id)"
                             " SELECT id, 0, names_change, values_change FROM keys WHERE id IN down UNION ALL"
                             " SELECT key_id, created, 0, change FROM vals WHERE ?2 AND key_id IN down ORDER BY 1, 2"
                           : "SELECT id, 0, names_change, values_change FROM keys WHERE id=?1 UNION ALL"
                             " SELECT key_id, created, 0, change FROM vals WHERE ?2 AND key_id=?1 ORDER BY 1, 2");
    query.Bind(1, row).Bind(2, values ? 1 : 0);
    mark->clear();
    int rc;
    while ((rc = query.Step()) == SQLITE_ROW) {
      int64_t namesCount = names ? query.Int(2) : 0;
      int64_t valuesCount = values ? query.Int(3) : 0;
      if (!names && valuesCount == 0) continue;
      mark->insert(mark->end(), {query.Int(0), query.Int(1), namesCount, valuesCount});
    }
    if (rc != SQLITE_DONE) return c.Error(rc);
    return Exists(c, row);
  });
}

bool ChangeCount(KeyId key, uint64_t* count) {
  bool known = false;
  Statements(StoreOf(key), [&](Connection& c) -> LONG {
    known = CacheOf(c).ChangeCount(count);
    return ERROR_SUCCESS;
  });
  return known;
}

}  // namespace registry_store

long PublishMachineRegistryRoots(const std::string& directory, const std::string& groupName, bool* published) {
  *published = false;
  PinMachineStore(directory, groupName);
  StoreLocation where = Locate(Store::kMachine);
  if (!where.shared || !where.writable || !where.problem.empty()) return ERROR_ACCESS_DENIED;
  const std::vector<std::string> roots[] = {
      {"HKEY_LOCAL_MACHINE"}, {"HKEY_USERS"}, {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Classes"}};
  for (const std::vector<std::string>& root : roots) {
    KeyId id = 0;
    LONG error = registry_store::Predefined(Store::kMachine, root, &id);
    if (error != ERROR_SUCCESS) return error;
  }
  // A copy that readers would refuse counts as none (generation 0); one
  // older than the store, or of a store whose count cannot be read, is
  // made again.
  uint64_t before = PublishedGeneration(where, "registry.db");
  uint64_t now = 0;
  bool counted = false;  // false while a member is in the middle of a write
  registry_store::Statements(Store::kMachine, [&](Connection& c) -> LONG {
    counted = registry_store::CacheOf(c).StableCount(&now);
    *published = before == 0 || !counted || now > before;
    if (*published) c.Publish(counted ? now : 0);
    return ERROR_SUCCESS;
  });
  // Closing the connection waits for the copy asked for.
  registry_store::Registry(Store::kMachine).CloseConnection();
  DWORD error = ERROR_SUCCESS;
  int fd = OpenPublishedCopy(where, "registry.db", &error);
  if (fd < 0) return ERROR_WRITE_FAULT;
  close(fd);
  if (*published && counted && PublishedGeneration(where, "registry.db") < now) return ERROR_WRITE_FAULT;
  return ERROR_SUCCESS;
}
}  // namespace vk_posix
