// Event log records read through OpenEventLogA/ReadEventLogA, taken apart
// within the bounds of each record.
#ifndef VKDIAG_EVENT_RECORD_H
#define VKDIAG_EVENT_RECORD_H

#include "win32.h"

#include <string>
#include <vector>

namespace vkdiag {

struct EventRecord {
  DWORD number = 0;
  DWORD timeGenerated = 0;
  DWORD timeWritten = 0;
  DWORD eventId = 0;
  WORD type = 0;
  WORD category = 0;
  std::string source;
  std::string computer;
  std::string userSid;  // S-1-..., empty without one
  std::vector<std::string> strings;
  std::vector<BYTE> data;
};

// A log opened for reading; closes itself.
class EventLogReader {
 public:
  // Throws a SystemError when the log cannot be opened.
  explicit EventLogReader(const std::string& log);
  // A backup file that `events clear --backup` wrote, read as the log it
  // saved (OpenBackupEventLogA).
  struct FromBackup {};
  EventLogReader(FromBackup, const std::string& file);
  ~EventLogReader();
  EventLogReader(const EventLogReader&) = delete;
  EventLogReader& operator=(const EventLogReader&) = delete;

  // The next record in the direction asked for by the first call; false at
  // the end. Throws when the read fails otherwise.
  bool Next(bool backwards, EventRecord* record);
  // The record with this number; false when there is none.
  bool Seek(DWORD number, EventRecord* record);
  // The number the next record written will get.
  DWORD NextNumber();
  HANDLE Handle() const { return m_hLog; }

 private:
  bool Read(DWORD flags, DWORD number, EventRecord* record);

  std::string m_log;
  HANDLE m_hLog = nullptr;
  std::vector<BYTE> m_buffer;
  size_t m_offset = 0;  // the next unread record in m_buffer
  size_t m_filled = 0;
};

// Takes one record apart; false when its lengths and offsets do not fit
// inside its own Length.
bool ParseEventRecord(const BYTE* bytes, size_t size, EventRecord* record);

}  // namespace vkdiag

#endif  // VKDIAG_EVENT_RECORD_H
