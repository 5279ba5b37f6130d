/// \file
/// Vk::VkEventLog: reports events to the system event log under a named
/// source, and keeps the registry entries through which event viewers find
/// a source's message texts.

#ifndef VK_EVENT_LOG_H
#define VK_EVENT_LOG_H

#include <vk/platform.h>

namespace Vk {

/// Writes events to the system event log under an event source, each with
/// the caller's formatted message as its one insertion string, and
/// registers or removes sources below
/// `HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Eventlog\<log>\<source>`.
///
/// On Windows the events go to the Windows event log; on Linux to
/// `eventlog.db` in the machine store and to the system log (see the
/// guide's Linux page). An event names its source, type, identifier and
/// category; an event viewer shows it with the text that the source's
/// registered message file holds for the identifier.
///
/// **Errors.** Reports return whether the event was written; after false,
/// GetLastError() tells why (for instance 5 where the user may not write
/// the event log). Registration returns whether all four values were written.
///
/// **Blocking.** The first report opens the event source, which then stays
/// open. Each report writes one event through the system: on Linux a commit
/// to the store, waiting its turn behind other writers with a deadline, and
/// a datagram to the system log with a send timeout of 2 seconds.
///
/// **Threads.** One object is for one thread at a time (its source handle
/// is not guarded); separate objects may report on separate threads, also
/// under the same source.
class VkEventLog {
 public:
  /// Size of the name buffers: a log or source name holds at most 259 characters.
  static constexpr size_t kNameBufferSize = 260;
  /// Size of the message buffer: a message holds at most 1,023 characters.
  static constexpr size_t kMessageBufferSize = 1024;

  /// No source, no log (Application), no event source open.
  VkEventLog();
  /// SetSourceName() and SetLogName(); registers nothing.
  VkEventLog(const char* source, const char* log);
  /// Closes the event source. The registration stays in the registry.
  virtual ~VkEventLog();

  VkEventLog(const VkEventLog&) = delete;
  VkEventLog& operator=(const VkEventLog&) = delete;

  /// Closes the open event source and stores the name (null: empty; cut
  /// at 259 characters). The next report opens the source of that name.
  void SetSourceName(const char* name);
  /// Closes the open event source and stores the log name that
  /// registration and removal use (null or empty: Application).
  void SetLogName(const char* name);
  /// The source name, a pointer into the object, valid while it lives and
  /// until the next SetSourceName().
  const char* GetSourceName() const { return m_szSourceName; }
  /// The stored log name, or "Application" when it is empty; a pointer
  /// valid while the object lives and until the next SetLogName().
  const char* GetLogName() const;
  /// Closes the event source if one is open (DeregisterEventSource).
  void CloseEventSource();

  /// \name Reports
  /// Each opens the event source under the source name when none is open
  /// (false, nothing formatted, when that fails), formats the message
  /// (printf conventions; at most 1,023 characters, a longer one is cut),
  /// and writes one event of the type (EVENTLOG_ERROR_TYPE 1,
  /// EVENTLOG_WARNING_TYPE 2, EVENTLOG_INFORMATION_TYPE 4), identifier and
  /// category, with the process's user and the message as its one
  /// insertion string. A percent sign in the formatted message reaches the
  /// event unchanged. True when the event was written.
  //@{
  /// One event with the formatted message.
  VK_PRINTF_FORMAT(5, 6) bool Report(WORD type, DWORD eventId, WORD category, const char* format, ...);
  /// Report() with an argument list.
  VK_PRINTF_FORMAT(5, 0) bool ReportV(WORD type, DWORD eventId, WORD category, const char* format, va_list args);
  /// Report() with raw data stored as the event's data (dataSize bytes; none for null).
  VK_PRINTF_FORMAT(7, 8)
  bool ReportData(WORD type, DWORD eventId, WORD category, const BYTE* data, DWORD dataSize, const char* format, ...);
  /// ReportData() with an argument list.
  VK_PRINTF_FORMAT(7, 0)
  bool ReportDataV(WORD type, DWORD eventId, WORD category, const BYTE* data, DWORD dataSize, const char* format,
                   va_list args);
  /// Report() with the default identifier and category (m_dwEventId and
  /// m_wCategory, 0 unless a derived class sets them) and one 32-bit
  /// argument for the format.
  bool ReportWithDefaults(WORD type, const char* format, DWORD argument);
  //@}

  /// \name Registration
  //@{
  /// Registers the source under the log: writes EventMessageFile and
  /// CategoryMessageFile (REG_SZ) and TypesSupported and CategoryCount
  /// (REG_DWORD) below
  /// `HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Eventlog\<log>\<source>`,
  /// creating the key. A relative file name is looked up with SearchPathA
  /// in the standard search order (on Linux: the program's directory, the
  /// system directory `LIBDIR/vkdiag`, the current directory, PATH) and
  /// written as the full path found, or empty when not found; an
  /// absolute one is written as it is. A null category file is the message
  /// file. Stores the log and source names and closes the event source.
  /// True when all four values were written (false where the user may not
  /// write HKEY_LOCAL_MACHINE); the source name is set either way. An empty
  /// source, and a key path beyond 259 characters, are refused: nothing is written.
  bool RegisterSource(const char* log, const char* source, const char* messageFile, const char* categoryFile,
                      DWORD typesSupported, WORD categoryCount);
  /// The six-argument form with GetLogName() as the log.
  bool RegisterSource(const char* source, const char* messageFile, const char* categoryFile, DWORD typesSupported,
                      WORD categoryCount);
  /// Deletes the source's key with its values; true when it was deleted.
  /// Empty or null names and key paths beyond 259 characters are refused,
  /// so a whole log, the prefix key or another source's key is never
  /// deleted by mistake. The events stay in the log.
  bool UnregisterSource(const char* log, const char* source);
  /// The two-argument form with GetLogName() as the log.
  bool UnregisterSource(const char* source);
  /// Deletes the log's key with every source registered under it; true when
  /// it was deleted. An empty or null name is refused. The events stay.
  bool DeleteLog(const char* log);
  //@}

  /// The process's user SID, copied into memory from malloc; the caller
  /// frees it with free(). S_OK, E_POINTER for a null pointer,
  /// E_OUTOFMEMORY, or the failing call's error as a result code
  /// (0x8007xxxx); *sid is null on failure.
  static HRESULT GetProcessUserSid(PSID* sid);

 protected:
  char m_szLogName[kNameBufferSize];     ///< The log name; empty means Application.
  char m_szSourceName[kNameBufferSize];  ///< The source name events are reported under.
  DWORD m_dwEventId;                     ///< Identifier of ReportWithDefaults(); 0.
  WORD m_wCategory;                      ///< Category of ReportWithDefaults() and of VkGenericEventLogger's reports; 0.
  HANDLE m_hEventSource;                 ///< The open event source, or null.

 private:
  bool ReportText(WORD type, DWORD eventId, WORD category, const BYTE* data, DWORD dataSize, const char* message);
};

}  // namespace Vk

#endif  // VK_EVENT_LOG_H
