#include "eventlog/eventlog_store.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/files.h"
#include "kernel/errors.h"
#include "machine/sqlite_database.h"
#include "text/name_fold.h"

namespace vk_posix {
namespace eventlog_store {

namespace {

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS logs("
    " log_key TEXT PRIMARY KEY, next_record INTEGER NOT NULL, max_size INTEGER NOT NULL, total INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS records("
    " log_key TEXT NOT NULL, record_number INTEGER NOT NULL,"
    " time_generated INTEGER NOT NULL, time_written INTEGER NOT NULL, event_id INTEGER NOT NULL,"
    " type INTEGER NOT NULL, category INTEGER NOT NULL, user_sid BLOB NOT NULL, source TEXT NOT NULL,"
    " computer TEXT NOT NULL, strings BLOB NOT NULL, data BLOB NOT NULL, length INTEGER NOT NULL,"
    " PRIMARY KEY(log_key, record_number));";

constexpr DWORD kRecordSignature = 0x654c664c;  // "LfLe"


ProcessDatabase& EventLog() {
  static ProcessDatabase* database = new ProcessDatabase(
      {"eventlog.db", kSchema, ERROR_EVENTLOG_FILE_CORRUPT, kStorePageSize, Store::kMachine, false, nullptr});
  return *database;
}

// Log names compare without case, as the registry compares their keys.
std::string Fold(const std::string& name) { return FoldName(name.c_str()); }

std::string JoinStrings(const std::vector<std::string>& strings) {
  std::string joined;
  for (const std::string& text : strings) joined.append(text).push_back('\0');
  return joined;
}

// The strings of a row, each ended by its NUL; false when the last one
// lacks it or there are more than a record can count.
bool SplitStrings(const std::string& joined, std::vector<std::string>* strings) {
  strings->clear();
  if (!joined.empty() && joined.back() != '\0') return false;
  for (size_t start = 0; start < joined.size();) {
    size_t end = joined.find('\0', start);
    if (strings->size() == 0xFFFF) return false;
    strings->push_back(joined.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

size_t AlignToDword(size_t size) { return (size + 3) & ~size_t{3}; }

// Where the parts of a record start, and its whole length.
struct RecordLayout {
  size_t namesOffset;
  size_t sidOffset;
  size_t stringsOffset;
  size_t dataOffset;
  size_t length;
};

RecordLayout LayOut(const Event& event) {
  RecordLayout layout;
  layout.namesOffset = sizeof(EVENTLOGRECORD);
  layout.sidOffset = AlignToDword(layout.namesOffset + event.source.size() + 1 + event.computer.size() + 1);
  layout.stringsOffset = layout.sidOffset + event.userSid.size();
  size_t strings = 0;
  for (const std::string& text : event.strings) strings += text.size() + 1;
  layout.dataOffset = layout.stringsOffset + strings;
  layout.length = AlignToDword(layout.dataOffset + event.data.size()) + sizeof(DWORD);
  return layout;
}

void Put(std::vector<BYTE>& record, size_t offset, const void* bytes, size_t size) {
  memcpy(record.data() + offset, bytes, size);
}

// Whether a row's numbers are in their ranges and its parts small enough
// for a record a reader can take, looked at before anything is copied.
bool PlausibleRow(Query& query) {
  constexpr int64_t kDword = 0xFFFFFFFF, kWord = 0xFFFF;
  if (!query.IntIn(0, 1, kDword) || !query.IntIn(1, 0, kDword) || !query.IntIn(2, 0, kDword) ||
      !query.IntIn(3, 0, kDword) || !query.IntIn(4, 0, kWord) || !query.IntIn(5, 0, kWord))
    return false;
  size_t parts = sizeof(EVENTLOGRECORD);
  for (int column = 6; column <= 10; ++column) parts += query.Bytes(column);
  return parts <= kMaxRecordLength;
}

LONG ReadRow(Connection& c, Query& query, Event* event) {
  int rc = query.Step();
  if (rc == SQLITE_DONE) return ERROR_HANDLE_EOF;
  if (rc != SQLITE_ROW) return c.Error(rc);
  if (!PlausibleRow(query)) return ERROR_EVENTLOG_FILE_CORRUPT;
  event->recordNumber = static_cast<DWORD>(query.Int(0));
  event->timeGenerated = static_cast<DWORD>(query.Int(1));
  event->timeWritten = static_cast<DWORD>(query.Int(2));
  event->eventId = static_cast<DWORD>(query.Int(3));
  event->type = static_cast<WORD>(query.Int(4));
  event->category = static_cast<WORD>(query.Int(5));
  event->userSid = query.Text(6);
  event->source = query.Text(7);
  event->computer = query.Text(8);
  if (!SplitStrings(query.Text(9), &event->strings)) return ERROR_EVENTLOG_FILE_CORRUPT;
  event->data = query.Text(10);
  return RecordLength(*event) <= kMaxRecordLength ? ERROR_SUCCESS : ERROR_EVENTLOG_FILE_CORRUPT;
}

// Drops the oldest records until the log fits its maximum size again. The
// newest record stays even when it alone is larger: an event reported as
// written is never dropped in the same breath.
LONG Overwrite(Connection& c, const std::string& key, DWORD newest) {
  for (;;) {
    Query state(c, "SELECT total, max_size FROM logs WHERE log_key=?1");
    int rc = state.Bind(1, key).Step();
    if (rc != SQLITE_ROW) return c.Error(rc);
    if (state.Int(0) <= state.Int(1)) return ERROR_SUCCESS;
    Query drop(c, "DELETE FROM records WHERE log_key=?1 AND record_number="
                  "(SELECT min(record_number) FROM records WHERE log_key=?1 AND record_number<>?2) RETURNING length");
    rc = drop.Bind(1, key).Bind(2, newest).Step();
    if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? ERROR_SUCCESS : c.Error(rc);
    int64_t length = drop.Int(0);
    drop.Step();
    Query shrink(c, "UPDATE OR ROLLBACK logs SET total=total-?2 WHERE log_key=?1");
    rc = shrink.Bind(1, key).Bind(2, length).Step();
    if (rc != SQLITE_DONE) return c.Error(rc);
  }
}

}  // namespace

std::vector<BYTE> ToRecord(const Event& event) {
  RecordLayout layout = LayOut(event);
  std::string strings = JoinStrings(event.strings);
  std::vector<BYTE> record(layout.length, 0);

  EVENTLOGRECORD header = {};
  header.Length = static_cast<DWORD>(layout.length);
  header.Reserved = kRecordSignature;
  header.RecordNumber = event.recordNumber;
  header.TimeGenerated = event.timeGenerated;
  header.TimeWritten = event.timeWritten;
  header.EventID = event.eventId;
  header.EventType = event.type;
  header.NumStrings = static_cast<WORD>(event.strings.size());
  header.EventCategory = event.category;
  header.StringOffset = static_cast<DWORD>(layout.stringsOffset);
  header.UserSidLength = static_cast<DWORD>(event.userSid.size());
  header.UserSidOffset = static_cast<DWORD>(layout.sidOffset);
  header.DataLength = static_cast<DWORD>(event.data.size());
  header.DataOffset = static_cast<DWORD>(layout.dataOffset);
  Put(record, 0, &header, sizeof header);
  Put(record, layout.namesOffset, event.source.c_str(), event.source.size() + 1);
  Put(record, layout.namesOffset + event.source.size() + 1, event.computer.c_str(), event.computer.size() + 1);
  Put(record, layout.sidOffset, event.userSid.data(), event.userSid.size());
  Put(record, layout.stringsOffset, strings.data(), strings.size());
  Put(record, layout.dataOffset, event.data.data(), event.data.size());
  Put(record, layout.length - sizeof(DWORD), &header.Length, sizeof(DWORD));
  return record;
}

size_t RecordLength(const Event& event) { return LayOut(event).length; }

LONG Append(const std::string& log, uint64_t maxSize, Event* event) {
  std::string key = Fold(log);
  std::string strings = JoinStrings(event->strings);
  if (RecordLength(*event) > kMaxRecordLength) return ERROR_INVALID_PARAMETER;
  int64_t length = static_cast<int64_t>(RecordLength(*event));
  // Only root and the machine store's group write the event logs; the
  // caller still sends the event to the system log.
  if (!EventLog().Writable()) return ERROR_ACCESS_DENIED;
  return Transaction(EventLog(), true, [&](Connection& c) -> LONG {
    // One statement takes the log's next record number and counts the
    // record in its size; a new log starts at 1. No statement here may stop
    // half done (OR ROLLBACK: a failure ends the whole transaction), so
    // SQLite keeps no statement journal for them.
    Query claim(c, "UPDATE OR ROLLBACK logs SET next_record=next_record+1, max_size=?2, total=total+?3"
                   " WHERE log_key=?1 RETURNING next_record-1, total>max_size");
    int rc = claim.Bind(1, key).Bind(2, static_cast<int64_t>(maxSize)).Bind(3, length).Step();
    bool overfull = false;
    if (rc == SQLITE_ROW) {
      event->recordNumber = static_cast<DWORD>(claim.Int(0));
      overfull = claim.Int(1) != 0;
      claim.Step();
    } else if (rc == SQLITE_DONE) {
      Query create(c, "INSERT OR ROLLBACK INTO logs(log_key, next_record, max_size, total) VALUES(?1, 2, ?2, ?3)");
      rc = create.Bind(1, key).Bind(2, static_cast<int64_t>(maxSize)).Bind(3, length).Step();
      if (rc != SQLITE_DONE) return c.Error(rc);
      event->recordNumber = 1;
      overfull = static_cast<uint64_t>(length) > maxSize;
    } else {
      return c.Error(rc);
    }
    Query insert(c,
                 "INSERT OR ROLLBACK INTO records(log_key, record_number, time_generated, time_written, event_id, type, category,"
                 " user_sid, source, computer, strings, data, length)"
                 " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)");
    rc = insert.Bind(1, key)
             .Bind(2, event->recordNumber)
             .Bind(3, event->timeGenerated)
             .Bind(4, event->timeWritten)
             .Bind(5, event->eventId)
             .Bind(6, event->type)
             .Bind(7, event->category)
             .BindBlob(8, event->userSid.data(), event->userSid.size())
             .Bind(9, event->source)
             .Bind(10, event->computer)
             .BindBlob(11, strings.data(), strings.size())
             .BindBlob(12, event->data.data(), event->data.size())
             .Bind(13, length)
             .Step();
    if (rc != SQLITE_DONE) return c.Error(rc);
    return overfull ? Overwrite(c, key, event->recordNumber) : ERROR_SUCCESS;
  });
}

bool Readable() {
  StoreLocation where = Locate(Store::kMachine);
  return where.problem.empty() && (!where.shared || where.writable);
}

namespace {

LONG NextIn(Connection& c, const std::string& key, DWORD first, bool forwards, Event* event) {
  Query query(c, forwards
                     ? "SELECT record_number, time_generated, time_written, event_id, type, category, user_sid,"
                       " source, computer, strings, data FROM records WHERE log_key=?1 AND record_number>=?2"
                       " ORDER BY record_number LIMIT 1"
                     : "SELECT record_number, time_generated, time_written, event_id, type, category, user_sid,"
                       " source, computer, strings, data FROM records WHERE log_key=?1 AND record_number<=?2"
                       " ORDER BY record_number DESC LIMIT 1");
  query.Bind(1, key).Bind(2, first);
  return ReadRow(c, query, event);
}

// One number about a log, from a query that returns one row.
LONG NumberIn(Connection& c, const std::string& key, const char* sql, DWORD* number) {
  Query query(c, sql);
  int rc = query.Bind(1, key).Step();
  if (rc != SQLITE_ROW) return c.Error(rc);
  // A record number that no report could have given is no number of a log.
  if (!query.IntIn(0, 0, 0xFFFFFFFF)) return ERROR_EVENTLOG_FILE_CORRUPT;
  *number = static_cast<DWORD>(query.Int(0));
  return ERROR_SUCCESS;
}

const char kCountQuery[] = "SELECT count(*) FROM records WHERE log_key=?1";
const char kOldestQuery[] = "SELECT coalesce(min(record_number), 0) FROM records WHERE log_key=?1";
const char kNewestQuery[] = "SELECT coalesce(max(record_number), 0) FROM records WHERE log_key=?1";

LONG LogNumber(const std::string& log, const char* sql, DWORD* number) {
  LONG error = Statements(EventLog(), [&](Connection& c) -> LONG { return NumberIn(c, Fold(log), sql, number); });
  if (error != ERROR_FILE_NOT_FOUND) return error;
  *number = 0;  // a store nobody has written yet: no records
  return ERROR_SUCCESS;
}

}  // namespace

LONG Next(const std::string& log, DWORD first, bool forwards, Event* event) {
  LONG error =
      Statements(EventLog(), [&](Connection& c) -> LONG { return NextIn(c, Fold(log), first, forwards, event); });
  // A store nobody has written yet holds no records.
  return error == ERROR_FILE_NOT_FOUND ? ERROR_HANDLE_EOF : error;
}

LONG Count(const std::string& log, DWORD* count) { return LogNumber(log, kCountQuery, count); }

LONG Oldest(const std::string& log, DWORD* oldest) { return LogNumber(log, kOldestQuery, oldest); }

LONG Newest(const std::string& log, DWORD* newest) { return LogNumber(log, kNewestQuery, newest); }

BackupLog::BackupLog(sqlite3* db, std::string key)
    : m_connection(
          new Connection({"backup", kSchema, ERROR_EVENTLOG_FILE_CORRUPT, 0, Store::kMachine, false, nullptr}, nullptr)),
      m_key(std::move(key)) {
  m_connection->Adopt(db);
}

BackupLog::~BackupLog() {
  std::lock_guard<std::mutex> guard(m_connection->lock());
  m_connection->Close();
}

std::shared_ptr<BackupLog> BackupLog::Open(const std::string& path, LONG* error) {
  int fd;
  do fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    *error = fd < 0 && errno != ELOOP ? static_cast<LONG>(Win32ErrorFromErrno(errno)) : ERROR_ACCESS_DENIED;
    if (fd >= 0) close(fd);
    return nullptr;
  }
  // SQLite reads the very file checked, through this descriptor's name; a
  // backup does not change, so it is read without locks.
  std::string uri = "file:/proc/self/fd/" + std::to_string(fd) + "?mode=ro&immutable=1";
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
  close(fd);
  sqlite3_stmt* logs = nullptr;
  std::string key;
  // A backup holds one log: the one it was made of.
  if (rc == SQLITE_OK) rc = sqlite3_prepare_v2(db, "SELECT log_key FROM logs LIMIT 1", -1, &logs, nullptr);
  if (rc == SQLITE_OK && sqlite3_step(logs) == SQLITE_ROW && sqlite3_column_type(logs, 0) == SQLITE_TEXT)
    key = reinterpret_cast<const char*>(sqlite3_column_text(logs, 0));
  sqlite3_finalize(logs);
  if (rc != SQLITE_OK || key.empty()) {
    sqlite3_close(db);
    *error = ERROR_EVENTLOG_FILE_CORRUPT;
    return nullptr;
  }
  *error = ERROR_SUCCESS;
  return std::shared_ptr<BackupLog>(new BackupLog(db, std::move(key)));
}

LONG BackupLog::Next(DWORD first, bool forwards, Event* event) {
  std::lock_guard<std::mutex> guard(m_connection->lock());
  return NextIn(*m_connection, m_key, first, forwards, event);
}

LONG BackupLog::Count(DWORD* count) {
  std::lock_guard<std::mutex> guard(m_connection->lock());
  return NumberIn(*m_connection, m_key, kCountQuery, count);
}

LONG BackupLog::Oldest(DWORD* oldest) {
  std::lock_guard<std::mutex> guard(m_connection->lock());
  return NumberIn(*m_connection, m_key, kOldestQuery, oldest);
}

LONG BackupLog::Newest(DWORD* newest) {
  std::lock_guard<std::mutex> guard(m_connection->lock());
  return NumberIn(*m_connection, m_key, kNewestQuery, newest);
}

namespace {

// The backup's own file: made here, never one that was there, never through
// a link, readable by its maker alone (it holds the log's records, which
// not every user may read).
constexpr mode_t kBackupMode = 0600;

// Copies the log's state and records into a new database at `path`, with
// the store's own tables, inside the caller's transaction: what the backup
// holds is exactly what the clear removes. The database is built in memory
// and written through the descriptor of a file this call creates, so no
// name is ever opened twice; a file that exists already is refused, as
// Windows refuses it. On failure only the file this call made is removed.
LONG WriteBackup(Connection& c, const std::string& key, const std::string& path) {
  sqlite3* backup = nullptr;
  int rc = sqlite3_open_v2(":memory:", &backup, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(backup, "BEGIN;", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(backup, kSchema, nullptr, nullptr, nullptr);
  for (const char* table : {"logs", "records"}) {
    if (rc != SQLITE_OK) break;
    std::string select = std::string("SELECT * FROM ") + table + " WHERE log_key=?1";
    sqlite3_stmt* from = nullptr;
    sqlite3_stmt* into = nullptr;
    rc = sqlite3_prepare_v2(c.db(), select.c_str(), -1, &from, nullptr);
    if (rc == SQLITE_OK) {
      sqlite3_bind_text(from, 1, key.c_str(), -1, SQLITE_TRANSIENT);
      int columns = sqlite3_column_count(from);
      std::string insert = std::string("INSERT INTO ") + table + " VALUES(?";
      for (int i = 1; i < columns; ++i) insert += ",?";
      rc = sqlite3_prepare_v2(backup, (insert + ")").c_str(), -1, &into, nullptr);
      while (rc == SQLITE_OK && (rc = sqlite3_step(from)) == SQLITE_ROW) {
        for (int i = 0; i < columns; ++i) sqlite3_bind_value(into, i + 1, sqlite3_column_value(from, i));
        rc = sqlite3_step(into) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(backup);
        sqlite3_reset(into);
      }
      if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    sqlite3_finalize(from);
    sqlite3_finalize(into);
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(backup, "COMMIT", nullptr, nullptr, nullptr);
  LONG error = rc == SQLITE_OK ? ERROR_SUCCESS : ErrorFromSqlite(rc, ERROR_EVENTLOG_FILE_CORRUPT, backup);
  sqlite3_int64 size = 0;
  unsigned char* bytes = error == ERROR_SUCCESS ? sqlite3_serialize(backup, "main", &size, 0) : nullptr;
  if (error == ERROR_SUCCESS && !bytes) error = ERROR_NOT_ENOUGH_MEMORY;
  sqlite3_close(backup);
  if (error != ERROR_SUCCESS) return error;
  int fd;
  do fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, kBackupMode);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    sqlite3_free(bytes);
    return errno == EEXIST ? ERROR_ALREADY_EXISTS : static_cast<LONG>(Win32ErrorFromErrno(errno));
  }
  size_t written = 0;
  bool whole = fchmod(fd, kBackupMode) == 0 && WriteAll(fd, bytes, static_cast<size_t>(size), &written) &&
               fsync(fd) == 0;
  if (!whole) error = static_cast<LONG>(Win32ErrorFromErrno(errno));
  sqlite3_free(bytes);
  // A backup that failed halfway is no backup; the name is removed only
  // while it still names the file made here.
  struct stat made, named;
  if (!whole && fstat(fd, &made) == 0 && lstat(path.c_str(), &named) == 0 && made.st_dev == named.st_dev &&
      made.st_ino == named.st_ino)
    unlink(path.c_str());
  close(fd);
  return error;
}

}  // namespace

LONG Clear(const std::string& log, const char* backupPath) {
  std::string key = Fold(log);
  // As on Windows, only administrators (root and the group here) clear.
  if (!EventLog().Writable()) return ERROR_ACCESS_DENIED;
  return Transaction(EventLog(), true, [&](Connection& c) -> LONG {
    if (backupPath) {
      LONG error = WriteBackup(c, key, backupPath);
      if (error != ERROR_SUCCESS) return error;
    }
    Query records(c, "DELETE FROM records WHERE log_key=?1");
    int rc = records.Bind(1, key).Step();
    if (rc != SQLITE_DONE) return c.Error(rc);
    Query state(c, "UPDATE logs SET next_record=1, total=0 WHERE log_key=?1");
    rc = state.Bind(1, key).Step();
    return rc == SQLITE_DONE ? ERROR_SUCCESS : c.Error(rc);
  });
}

}  // namespace eventlog_store
}  // namespace vk_posix
