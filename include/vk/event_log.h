// Vk::VkEventLog: reports events to the system event log under a named
// source, and keeps the registry entries through which event viewers find
// a source's message texts.
#ifndef VK_EVENT_LOG_H
#define VK_EVENT_LOG_H

#include <vk/platform.h>

namespace Vk {

class VkEventLog {
 public:
  static constexpr size_t kNameBufferSize = 260;
  static constexpr size_t kMessageBufferSize = 1024;

  VkEventLog();
  VkEventLog(const char* source, const char* log);
  virtual ~VkEventLog();

  VkEventLog(const VkEventLog&) = delete;
  VkEventLog& operator=(const VkEventLog&) = delete;

  void SetSourceName(const char* name);
  void SetLogName(const char* name);
  const char* GetSourceName() const { return m_szSourceName; }
  // The stored log name, or "Application" when it is empty.
  const char* GetLogName() const;
  void CloseEventSource();

  // One event with the formatted message (at most 1,023 characters) as its
  // single insertion string. True when the event was written.
  VK_PRINTF_FORMAT(5, 6) bool Report(WORD type, DWORD eventId, WORD category, const char* format, ...);
  VK_PRINTF_FORMAT(5, 0) bool ReportV(WORD type, DWORD eventId, WORD category, const char* format, va_list args);
  VK_PRINTF_FORMAT(7, 8)
  bool ReportData(WORD type, DWORD eventId, WORD category, const BYTE* data, DWORD dataSize, const char* format, ...);
  VK_PRINTF_FORMAT(7, 0)
  bool ReportDataV(WORD type, DWORD eventId, WORD category, const BYTE* data, DWORD dataSize, const char* format,
                   va_list args);
  bool ReportWithDefaults(WORD type, const char* format, DWORD argument);

  // Registers the source under the log: message file, category file (null:
  // the message file), supported types, category count. True when all four
  // values were written; the source name is set either way. An empty source
  // and a key path beyond 259 characters are refused: nothing is written.
  bool RegisterSource(const char* log, const char* source, const char* messageFile, const char* categoryFile,
                      DWORD typesSupported, WORD categoryCount);
  bool RegisterSource(const char* source, const char* messageFile, const char* categoryFile, DWORD typesSupported,
                      WORD categoryCount);
  // Removal; empty or null names and key paths beyond 259 characters are
  // refused, so a whole log, the prefix key or another source's key is
  // never deleted by mistake.
  bool UnregisterSource(const char* log, const char* source);
  bool UnregisterSource(const char* source);
  bool DeleteLog(const char* log);

  // The process's user SID, allocated with malloc; the caller frees it.
  static HRESULT GetProcessUserSid(PSID* sid);

 protected:
  char m_szLogName[kNameBufferSize];
  char m_szSourceName[kNameBufferSize];
  DWORD m_dwEventId;
  WORD m_wCategory;
  HANDLE m_hEventSource;

 private:
  bool ReportText(WORD type, DWORD eventId, WORD category, const BYTE* data, DWORD dataSize, const char* message);
};

}  // namespace Vk

#endif  // VK_EVENT_LOG_H
