// The event log API: event sources that report, readers that read back.
// Every reported event is also sent to the system log (syslog_client.h),
// with its record number once the store has kept it.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "eventlog/eventlog_store.h"
#include "eventlog/syslog_client.h"
#include "kernel/errors.h"
#include "kernel/handles.h"

namespace {

using vk_posix::eventlog_store::Event;

const char kEventlogKey[] = "SYSTEM\\CurrentControlSet\\Services\\Eventlog";
const char kDefaultLog[] = "Application";

class EventSourceObject : public vk_posix::KernelObject {
 public:
  EventSourceObject(std::string log, std::string source) : m_log(std::move(log)), m_source(std::move(source)) {}
  const std::string& log() const { return m_log; }
  const std::string& source() const { return m_source; }

 private:
  const std::string m_log;
  const std::string m_source;
};

class OpenEventLogObject : public vk_posix::KernelObject {
 public:
  explicit OpenEventLogObject(std::string log, std::shared_ptr<vk_posix::eventlog_store::BackupLog> backup = nullptr)
      : m_log(std::move(log)), m_backup(std::move(backup)) {}
  const std::string& log() const { return m_log; }
  // The records, from the store or from a backup file.
  LONG Next(DWORD first, bool forwards, Event* event) const {
    return m_backup ? m_backup->Next(first, forwards, event)
                    : vk_posix::eventlog_store::Next(m_log, first, forwards, event);
  }
  LONG Count(DWORD* count) const {
    return m_backup ? m_backup->Count(count) : vk_posix::eventlog_store::Count(m_log, count);
  }
  LONG Oldest(DWORD* oldest) const {
    return m_backup ? m_backup->Oldest(oldest) : vk_posix::eventlog_store::Oldest(m_log, oldest);
  }
  LONG Newest(DWORD* newest) const {
    return m_backup ? m_backup->Newest(newest) : vk_posix::eventlog_store::Newest(m_log, newest);
  }
  bool backup() const { return m_backup != nullptr; }
  // The record to read next; 0 once a backwards read passed record 1.
  DWORD position = 0;
  bool started = false;

 private:
  const std::string m_log;
  const std::shared_ptr<vk_posix::eventlog_store::BackupLog> m_backup;
};

bool IsLocalServer(LPCSTR server) {
  if (!server) return true;
  while (*server == '\\') ++server;
  if (!*server || strcmp(server, ".") == 0 || strcasecmp(server, "localhost") == 0) return true;
  char host[256] = "";
  return gethostname(host, sizeof host - 1) == 0 && strcasecmp(server, host) == 0;
}

std::string ComputerName() {
  char host[256] = "";
  gethostname(host, sizeof host - 1);
  char* dot = strchr(host, '.');
  if (dot) *dot = '\0';
  return host;
}

// Whether a registry answer means the key or value is not there, rather
// than that the registry could not be read (a full disk, a damaged store).
bool IsAbsent(LONG result) { return result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND; }

// The log under which the registry lists the source, else "Application".
// A registry that cannot be read gives its error: guessing "Application"
// would file the events under the wrong log.
LONG LogOfSource(const char* source, std::string* found) {
  *found = kDefaultLog;
  HKEY logs = nullptr;
  LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEventlogKey, 0, KEY_READ, &logs);
  if (result != ERROR_SUCCESS) return IsAbsent(result) ? ERROR_SUCCESS : result;
  char log[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof log;
    result = RegEnumKeyExA(logs, index, log, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) {
      result = ERROR_SUCCESS;
      break;
    }
    if (result == ERROR_MORE_DATA) continue;  // a name too long for a log of ours
    if (result != ERROR_SUCCESS) break;
    HKEY sourceKey = nullptr;
    std::string path = std::string(log) + "\\" + source;
    result = RegOpenKeyExA(logs, path.c_str(), 0, KEY_READ, &sourceKey);
    if (result == ERROR_SUCCESS) {
      RegCloseKey(sourceKey);
      *found = log;
      break;
    }
    if (!IsAbsent(result)) break;
    result = ERROR_SUCCESS;
  }
  RegCloseKey(logs);
  return result;
}

// The log's maximum size: its registry key's "MaxSize" value, as on
// Windows, else the default. A registry that cannot be read gives its
// error: the default may be smaller and overwrite events the log keeps.
LONG MaxLogSize(const std::string& log, uint64_t* size) {
  *size = vk_posix::eventlog_store::kDefaultMaxLogSize;
  std::string path = std::string(kEventlogKey) + "\\" + log;
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key);
  if (result != ERROR_SUCCESS) return IsAbsent(result) ? ERROR_SUCCESS : result;
  DWORD maxSize = 0;
  DWORD type = 0;
  DWORD length = sizeof maxSize;
  result = RegQueryValueExA(key, "MaxSize", nullptr, &type, reinterpret_cast<BYTE*>(&maxSize), &length);
  RegCloseKey(key);
  if (result == ERROR_SUCCESS && type == REG_DWORD && maxSize) *size = maxSize;
  return result == ERROR_SUCCESS || result == ERROR_MORE_DATA || IsAbsent(result) ? ERROR_SUCCESS : result;
}

// The log to read: one the registry lists under the event log key, or one
// of the system's own; any other name opens the Application log, as on
// Windows. A registry that cannot be read gives its error, so that a
// reader is not shown an empty log in place of the one it named.
LONG ReadableLog(const char* name, std::string* log) {
  *log = kDefaultLog;
  for (const char* standard : {"Application", "System", "Security"})
    if (strcasecmp(name, standard) == 0) {
      *log = name;
      return ERROR_SUCCESS;
    }
  if (strchr(name, '\\')) return ERROR_SUCCESS;  // a source's key, not a log's
  std::string path = std::string(kEventlogKey) + "\\" + name;
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key);
  if (result != ERROR_SUCCESS) return IsAbsent(result) ? ERROR_SUCCESS : result;
  RegCloseKey(key);
  *log = name;
  return ERROR_SUCCESS;
}

// The log that a source or log name leads to on the server named, which
// must be this machine.
LONG LocalLog(LPCSTR server, LPCSTR name, LONG (*find)(const char*, std::string*), std::string* log) {
  if (!name) return ERROR_INVALID_PARAMETER;
  if (!IsLocalServer(server)) return RPC_S_SERVER_UNAVAILABLE;
  return find(name, log);
}

}  // namespace

// Opens a source on the local machine; other machines fail with
// RPC_S_SERVER_UNAVAILABLE.
HANDLE Vk::Win32::RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName) {
  std::string log;
  LONG error = LocalLog(lpUNCServerName, lpSourceName, LogOfSource, &log);
  if (error != ERROR_SUCCESS) {
    vk_posix::Fail(static_cast<DWORD>(error));
    return nullptr;
  }
  return vk_posix::InsertHandle(std::make_shared<EventSourceObject>(log, lpSourceName));
}

BOOL Vk::Win32::DeregisterEventSource(HANDLE hEventLog) {
  if (!vk_posix::LookupHandleAs<EventSourceObject>(hEventLog)) return FALSE;
  return CloseHandle(hEventLog);
}

BOOL Vk::Win32::ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID lpUserSid,
                         WORD wNumStrings, DWORD dwDataSize, LPCSTR* lpStrings, LPVOID lpRawData) {
  auto source = vk_posix::LookupHandleAs<EventSourceObject>(hEventLog);
  if (!source) return FALSE;
  if ((wNumStrings && !lpStrings) || (dwDataSize && !lpRawData)) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  if (lpUserSid && !IsValidSid(lpUserSid)) return vk_posix::Fail(ERROR_INVALID_SID);
  Event event;
  event.timeGenerated = event.timeWritten = static_cast<DWORD>(time(nullptr));
  event.eventId = dwEventID;
  event.type = wType;
  event.category = wCategory;
  if (lpUserSid) event.userSid.assign(static_cast<const char*>(lpUserSid), GetLengthSid(lpUserSid));
  event.source = source->source();
  event.computer = ComputerName();
  for (WORD i = 0; i < wNumStrings; ++i) event.strings.emplace_back(lpStrings[i] ? lpStrings[i] : "");
  event.data.assign(static_cast<const char*>(lpRawData), lpRawData ? dwDataSize : 0);
  uint64_t maxSize = 0;
  LONG error = MaxLogSize(source->log(), &maxSize);
  if (error == ERROR_SUCCESS) error = vk_posix::eventlog_store::Append(source->log(), maxSize, &event);
  // Also when the store failed: the event is not lost in both places.
  DWORD forwarded = vk_posix::ForwardToSystemLog(source->log(), event);
  if (error != ERROR_SUCCESS) return vk_posix::Fail(static_cast<DWORD>(error));
  if (forwarded != ERROR_SUCCESS) return vk_posix::Fail(forwarded);
  return TRUE;
}

HANDLE Vk::Win32::OpenEventLogA(LPCSTR lpUNCServerName, LPCSTR lpSourceName) {
  std::string log;
  LONG error = lpSourceName && !*lpSourceName ? ERROR_INVALID_PARAMETER
                                              : LocalLog(lpUNCServerName, lpSourceName, ReadableLog, &log);
  // The logs are the machine's, read by root and the store's group as
  // Linux's own logs are by theirs.
  if (error == ERROR_SUCCESS && !vk_posix::eventlog_store::Readable()) error = ERROR_ACCESS_DENIED;
  if (error != ERROR_SUCCESS) {
    vk_posix::Fail(static_cast<DWORD>(error));
    return nullptr;
  }
  return vk_posix::InsertHandle(std::make_shared<OpenEventLogObject>(log));
}

// A backup file that ClearEventLogA made, opened for reading as a log: the
// records it saved, numbered as they were. Windows opens .evt files here;
// the layer's backups are its own SQLite files. The server must be this
// machine.
HANDLE Vk::Win32::OpenBackupEventLogA(LPCSTR lpUNCServerName, LPCSTR lpFileName) {
  LONG error = !lpFileName || !*lpFileName ? ERROR_INVALID_PARAMETER
               : !IsLocalServer(lpUNCServerName) ? RPC_S_SERVER_UNAVAILABLE
                                                 : ERROR_SUCCESS;
  std::shared_ptr<vk_posix::eventlog_store::BackupLog> backup;
  if (error == ERROR_SUCCESS) backup = vk_posix::eventlog_store::BackupLog::Open(lpFileName, &error);
  if (error != ERROR_SUCCESS) {
    vk_posix::Fail(static_cast<DWORD>(error));
    return nullptr;
  }
  return vk_posix::InsertHandle(std::make_shared<OpenEventLogObject>(lpFileName, std::move(backup)));
}

// Reads whole records into the buffer, as many as fit, from the reader's
// position or, with EVENTLOG_SEEK_READ, from the record numbered
// dwRecordOffset (ERROR_INVALID_PARAMETER when the log does not hold it, as
// on Windows). When not even the first one fits, ERROR_INSUFFICIENT_BUFFER
// with its size in *pnMinNumberOfBytesNeeded; past the last record,
// ERROR_HANDLE_EOF.
BOOL Vk::Win32::ReadEventLogA(HANDLE hEventLog, DWORD dwReadFlags, DWORD dwRecordOffset, LPVOID lpBuffer,
                          DWORD nNumberOfBytesToRead, DWORD* pnBytesRead, DWORD* pnMinNumberOfBytesNeeded) {
  auto reader = vk_posix::LookupHandleAs<OpenEventLogObject>(hEventLog);
  if (!reader) return FALSE;
  if (!pnBytesRead || !pnMinNumberOfBytesNeeded) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  *pnBytesRead = *pnMinNumberOfBytesNeeded = 0;
  bool sequential = (dwReadFlags & EVENTLOG_SEQUENTIAL_READ) != 0;
  bool seek = (dwReadFlags & EVENTLOG_SEEK_READ) != 0;
  bool forwards = (dwReadFlags & EVENTLOG_FORWARDS_READ) != 0;
  bool backwards = (dwReadFlags & EVENTLOG_BACKWARDS_READ) != 0;
  if (sequential == seek || forwards == backwards) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  DWORD position = seek ? dwRecordOffset : reader->position;
  if (!seek && !reader->started) {
    LONG error = forwards ? reader->Oldest(&position) : reader->Newest(&position);
    if (error != ERROR_SUCCESS) return vk_posix::Fail(static_cast<DWORD>(error));
    if (position == 0) return vk_posix::Fail(ERROR_HANDLE_EOF);
  }
  BYTE* out = static_cast<BYTE*>(lpBuffer);
  DWORD written = 0;
  for (;;) {
    Event event;
    LONG error = position == 0 ? ERROR_HANDLE_EOF : reader->Next(position, forwards, &event);
    bool sought = seek && written == 0;
    if (sought && (error == ERROR_HANDLE_EOF || (error == ERROR_SUCCESS && event.recordNumber != position)))
      return vk_posix::Fail(ERROR_INVALID_PARAMETER);
    if (error == ERROR_HANDLE_EOF && written > 0) break;
    if (error != ERROR_SUCCESS) return vk_posix::Fail(static_cast<DWORD>(error));
    size_t length = vk_posix::eventlog_store::RecordLength(event);
    if (length > nNumberOfBytesToRead - written || !out) {
      if (written > 0) break;
      *pnMinNumberOfBytesNeeded = static_cast<DWORD>(length);
      return vk_posix::Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::vector<BYTE> record = vk_posix::eventlog_store::ToRecord(event);
    memcpy(out + written, record.data(), record.size());
    written += static_cast<DWORD>(record.size());
    position = forwards ? event.recordNumber + 1 : event.recordNumber - 1;
    reader->position = position;
    reader->started = true;
  }
  *pnBytesRead = written;
  return TRUE;
}

namespace {

// One number about the reader's log.
BOOL ReadLogNumber(HANDLE hEventLog, PDWORD number, LONG (OpenEventLogObject::*query)(DWORD*) const) {
  auto reader = vk_posix::LookupHandleAs<OpenEventLogObject>(hEventLog);
  if (!reader) return FALSE;
  if (!number) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  LONG error = ((*reader).*query)(number);
  return error == ERROR_SUCCESS ? TRUE : vk_posix::Fail(static_cast<DWORD>(error));
}

}  // namespace

BOOL Vk::Win32::GetNumberOfEventLogRecords(HANDLE hEventLog, PDWORD NumberOfRecords) {
  return ReadLogNumber(hEventLog, NumberOfRecords, &OpenEventLogObject::Count);
}

BOOL Vk::Win32::GetOldestEventLogRecord(HANDLE hEventLog, PDWORD OldestRecord) {
  return ReadLogNumber(hEventLog, OldestRecord, &OpenEventLogObject::Oldest);
}

// With a backup name, the log first goes into a new SQLite file of that
// name (ERROR_ALREADY_EXISTS when there is one); only then is it cleared.
BOOL Vk::Win32::ClearEventLogA(HANDLE hEventLog, LPCSTR lpBackupFileName) {
  auto reader = vk_posix::LookupHandleAs<OpenEventLogObject>(hEventLog);
  if (!reader) return FALSE;
  if (reader->backup()) return vk_posix::Fail(ERROR_INVALID_HANDLE);  // a backup is read, never cleared
  LONG error = vk_posix::eventlog_store::Clear(reader->log(), lpBackupFileName);
  if (error != ERROR_SUCCESS) return vk_posix::Fail(static_cast<DWORD>(error));
  reader->position = 0;
  reader->started = false;
  return TRUE;
}

BOOL Vk::Win32::CloseEventLog(HANDLE hEventLog) {
  if (!vk_posix::LookupHandleAs<OpenEventLogObject>(hEventLog)) return FALSE;
  return CloseHandle(hEventLog);
}
