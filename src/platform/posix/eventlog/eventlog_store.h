// The event log store: the records of every log in one SQLite database,
// eventlog.db in the machine store (system_root.h). Only root and the
// store's group append, clear and, in the shared machine store, read
// (ERROR_ACCESS_DENIED for others, whose events still reach the system
// log); a store nobody has written yet reads as empty.
#ifndef VK_PLATFORM_POSIX_EVENTLOG_STORE_H
#define VK_PLATFORM_POSIX_EVENTLOG_STORE_H

#include "kernel/win32.h"

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "machine/sqlite_database.h"

namespace vk_posix {
namespace eventlog_store {

struct Event {
  DWORD recordNumber = 0;
  DWORD timeGenerated = 0;
  DWORD timeWritten = 0;
  DWORD eventId = 0;
  WORD type = 0;
  WORD category = 0;
  std::string userSid;  // binary SID, empty without a user
  std::string source;
  std::string computer;
  std::vector<std::string> strings;
  std::string data;
};

// The largest record a reader can take: Windows reads at most 0x7FFFF
// bytes in one ReadEventLogA, so a larger record could never be read back.
constexpr size_t kMaxRecordLength = 0x7FFFF;

// A log keeps at most this many bytes of records (EVENTLOGRECORD size)
// unless its registry key says otherwise; the oldest are overwritten
// beyond it, as Windows does by default.
constexpr uint64_t kDefaultMaxLogSize = 20u * 1024u * 1024u;

// Appends an event, gives it the log's next record number, and overwrites
// the oldest records while the log is larger than maxSize. The new record
// stays even when it alone is larger. One longer than kMaxRecordLength is
// refused with ERROR_INVALID_PARAMETER.
LONG Append(const std::string& log, uint64_t maxSize, Event* event);
// Whether this process may read the logs.
bool Readable();
// The record with the smallest number >= first (forwards) or the largest
// number <= first (backwards). ERROR_HANDLE_EOF when there is none. A row
// that no report could have stored (a number out of its range, strings
// without their last terminator, a record too long to read) is
// ERROR_EVENTLOG_FILE_CORRUPT: rows are data, whoever wrote them.
LONG Next(const std::string& log, DWORD first, bool forwards, Event* event);
LONG Count(const std::string& log, DWORD* count);
LONG Oldest(const std::string& log, DWORD* oldest);
LONG Newest(const std::string& log, DWORD* newest);
// Removes every record of the log; with a backup path, first copies the
// log into a new SQLite file there, in the same transaction.
LONG Clear(const std::string& log, const char* backupPath);

// A log saved by Clear into a backup file, read back as it was: its
// records keep their numbers. Each call locks the backup's own connection.
class BackupLog {
 public:
  // Null with the reason when the file is missing, is not a regular file
  // (never followed through a link), or holds no saved log
  // (ERROR_EVENTLOG_FILE_CORRUPT).
  static std::shared_ptr<BackupLog> Open(const std::string& path, LONG* error);
  ~BackupLog();
  BackupLog(const BackupLog&) = delete;
  BackupLog& operator=(const BackupLog&) = delete;

  // As Next, Count, Oldest and Newest of a log in the store.
  LONG Next(DWORD first, bool forwards, Event* event);
  LONG Count(DWORD* count);
  LONG Oldest(DWORD* oldest);
  LONG Newest(DWORD* newest);

 private:
  BackupLog(sqlite3* db, std::string key);
  std::unique_ptr<Connection> m_connection;
  const std::string m_key;
};

// The record in the EVENTLOGRECORD layout: header, source and computer
// names, the user SID, the insertion strings, the data, padding and the
// length again at the end.
std::vector<BYTE> ToRecord(const Event& event);
// Its length in bytes, without building it.
size_t RecordLength(const Event& event);

}  // namespace eventlog_store
}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_EVENTLOG_STORE_H
