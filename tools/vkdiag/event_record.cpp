#include "event_record.h"

#include <string.h>

#include "event_text.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

constexpr DWORD kReadBufferSize = 64 * 1024;

// A NUL-terminated text starting at offset and ending before limit.
bool TextAt(const BYTE* bytes, size_t offset, size_t limit, std::string* text, size_t* next) {
  if (offset >= limit) return false;
  const void* end = memchr(bytes + offset, 0, limit - offset);
  if (!end) return false;
  size_t length = static_cast<size_t>(static_cast<const BYTE*>(end) - (bytes + offset));
  text->assign(reinterpret_cast<const char*>(bytes + offset), length);
  *next = offset + length + 1;
  return true;
}

bool RangeFits(DWORD offset, DWORD length, size_t size) {
  return offset <= size && length <= size - offset;
}

}  // namespace

bool ParseEventRecord(const BYTE* bytes, size_t size, EventRecord* record) {
  EVENTLOGRECORD header;
  if (size < sizeof header) return false;
  memcpy(&header, bytes, sizeof header);
  if (header.Length < sizeof header || header.Length > size) return false;
  size_t limit = header.Length;
  record->number = header.RecordNumber;
  record->timeGenerated = header.TimeGenerated;
  record->timeWritten = header.TimeWritten;
  record->eventId = header.EventID;
  record->type = header.EventType;
  record->category = header.EventCategory;
  size_t next = 0;
  if (!TextAt(bytes, sizeof header, limit, &record->source, &next)) return false;
  if (!TextAt(bytes, next, limit, &record->computer, &next)) record->computer.clear();
  // Exactly the record's own count of strings, each inside the record.
  record->strings.clear();
  size_t offset = header.StringOffset;
  for (WORD i = 0; i < header.NumStrings; ++i) {
    std::string text;
    if (!TextAt(bytes, offset, limit, &text, &offset)) return false;
    record->strings.push_back(text);
  }
  record->userSid.clear();
  if (header.UserSidLength && RangeFits(header.UserSidOffset, header.UserSidLength, limit))
    record->userSid = Vk::SidToText(bytes + header.UserSidOffset, header.UserSidLength);
  record->data.clear();
  if (!RangeFits(header.DataOffset, header.DataLength, limit)) return false;
  record->data.assign(bytes + header.DataOffset, bytes + header.DataOffset + header.DataLength);
  return true;
}

EventLogReader::EventLogReader(const std::string& log) : m_log(log), m_buffer(kReadBufferSize) {
  m_hLog = OpenEventLogA(nullptr, log.c_str());
  if (!m_hLog) throw SystemError("cannot open the event log " + EscapeControls(log), GetLastError());
}

EventLogReader::EventLogReader(FromBackup, const std::string& file) : m_log(file), m_buffer(kReadBufferSize) {
  m_hLog = OpenBackupEventLogA(nullptr, file.c_str());
  if (!m_hLog) throw SystemError("cannot open the backup " + EscapeControls(file), GetLastError());
}

EventLogReader::~EventLogReader() {
  if (m_hLog) CloseEventLog(m_hLog);
}

bool EventLogReader::Read(DWORD flags, DWORD number, EventRecord* record) {
  if (m_offset >= m_filled) {
    DWORD read = 0;
    DWORD needed = 0;
    m_offset = m_filled = 0;
    while (!ReadEventLogA(m_hLog, flags, number, m_buffer.data(), static_cast<DWORD>(m_buffer.size()), &read,
                          &needed)) {
      DWORD error = GetLastError();
      if (error == ERROR_INSUFFICIENT_BUFFER && needed > m_buffer.size()) {
        m_buffer.resize(needed);
        continue;
      }
      if (error == ERROR_HANDLE_EOF || ((flags & EVENTLOG_SEEK_READ) && error == ERROR_INVALID_PARAMETER)) return false;
      throw SystemError("cannot read the event log " + EscapeControls(m_log), error);
    }
    m_filled = read;
  }
  if (!ParseEventRecord(m_buffer.data() + m_offset, m_filled - m_offset, record))
    throw SystemError("cannot read the event log " + EscapeControls(m_log), ERROR_EVENTLOG_FILE_CORRUPT);
  DWORD length = 0;
  memcpy(&length, m_buffer.data() + m_offset, sizeof length);
  m_offset += length;
  return true;
}

bool EventLogReader::Next(bool backwards, EventRecord* record) {
  return Read(EVENTLOG_SEQUENTIAL_READ | (backwards ? EVENTLOG_BACKWARDS_READ : EVENTLOG_FORWARDS_READ), 0, record);
}

bool EventLogReader::Seek(DWORD number, EventRecord* record) {
  m_offset = m_filled = 0;  // a seek read returns one record
  bool found = Read(EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, number, record);
  m_offset = m_filled = 0;
  return found;
}

DWORD EventLogReader::NextNumber() {
  DWORD oldest = 0;
  DWORD count = 0;
  if (!GetOldestEventLogRecord(m_hLog, &oldest) || !GetNumberOfEventLogRecords(m_hLog, &count))
    throw SystemError("cannot read the event log " + EscapeControls(m_log), GetLastError());
  return count == 0 ? (oldest ? oldest : 1) : oldest + count;
}

}  // namespace vkdiag
