/// \file
/// CVemraLog: the application event log. Each event goes to the system event
/// log and, as a line with an optional hex dump, to "Events.log" in the
/// "Diagnose" directory below the installation path.

#ifndef VK_VEMRA_LOG_H
#define VK_VEMRA_LOG_H

#include <vk/generic_event_logger.h>
#include <vk/log_file.h>

#include <string>

/// The event log a component uses for its own events: each event goes to
/// the system event log through a Vk::VkGenericEventLogger (identifiers and
/// types as there) and, as a text line, to the installation's events file
/// through a Vk::VkLogFile.
///
/// The events file is `<Inst_Path>\Diagnose\Events.log`, where `Inst_Path`
/// is the string value of `HKEY_LOCAL_MACHINE\Software\Haldrex\Vemra\Setup`
/// (taken as stored, not expanded; an existing directory of at most 259
/// characters). Without it the events go to the executable's path with the
/// extension `Log` (`app.exe` gives `app.Log`). One event reads
///
///     app : 12/09/25 14:03:07 : Orders: Warning:<TAB>disk 95% full
///
/// with the words `Info   `, `Warning` and `Error  ` (seven characters), and
/// with raw data, dump rows of 16 bytes without prefix: two hexadecimal
/// digits and a blank per byte, two tabs, and the bytes as characters
/// (`.` for a byte that is not printable).
///
/// **Errors.** The Log operations return whether the system event log
/// accepted the event (GetLastError() tells why not); whether the events
/// file was written is not reported.
///
/// **Blocking.** Each event writes the system event log (renewing the
/// source's registration) and then opens, writes, flushes and closes the
/// events file once per piece (header, message, line end, dump, line end).
///
/// **Threads.** One object is for one thread at a time. Writers in other
/// processes may append to the same events file; their texts can fall
/// between the pieces of an event.
class CVemraLog {
 public:
  /// Registers the source under the Application log (types 7, one
  /// category), reads the installation path, makes its `Diagnose` directory
  /// when missing, and fixes the events file for the object's life. A null
  /// source registers nothing.
  explicit CVemraLog(const char* source);
  /// Closes the event source and the events file; writes no stop line and
  /// removes nothing from the registry.
  virtual ~CVemraLog();

  CVemraLog(const CVemraLog&) = delete;
  CVemraLog& operator=(const CVemraLog&) = delete;

  /// \name Events
  /// Each reports to the system event log first (the message cut at 1,023
  /// characters there) and then writes the events file (the message whole).
  /// True when the system event log accepted the event.
  //@{
  /// Information: event type 4, identifier 0x40020000, word `Info   `.
  VK_PRINTF_FORMAT(2, 3) bool LogInfo(const char* format, ...);
  /// Warning: event type 2, identifier 0x80020000, word `Warning`.
  VK_PRINTF_FORMAT(2, 3) bool LogWarning(const char* format, ...);
  /// Error: event type 1, identifier 0xC0020000, word `Error  `.
  VK_PRINTF_FORMAT(2, 3) bool LogError(const char* format, ...);
  /// Information with raw data: identifier 0x40020000, the data stored with
  /// the event and dumped into the events file.
  VK_PRINTF_FORMAT(4, 5) bool LogInfoData(const Vk::BYTE* data, Vk::DWORD dataSize, const char* format, ...);
  /// Warning with raw data: type 2, identifier 0x40020000 (the information identifier).
  VK_PRINTF_FORMAT(4, 5) bool LogWarningData(const Vk::BYTE* data, Vk::DWORD dataSize, const char* format, ...);
  /// Error with raw data: type 1, identifier 0x40020000 (the information identifier).
  VK_PRINTF_FORMAT(4, 5) bool LogErrorData(const Vk::BYTE* data, Vk::DWORD dataSize, const char* format, ...);
  //@}

  /// The events file's path; a pointer into the object, valid while it lives.
  const char* GetEventsFilePath() const { return m_logFile.GetFullPath(); }

  /// The events-file header of an event: `<source>: <word>:<TAB>`; severity
  /// 0 information, 1 warning, 2 error, another value no word.
  static std::string FormatEventHeader(const char* source, int severity);
  /// The dump rows of raw data as the events file shows them, CR LF between
  /// rows and none after the last.
  static std::string FormatHexDump(const Vk::BYTE* data, Vk::DWORD size);

 private:
  bool WriteEventText(int severity, const char* format, va_list args, const Vk::BYTE* data, Vk::DWORD size);

  Vk::VkLogFile m_logFile;
  Vk::VkGenericEventLogger m_eventLogger;
};

#endif  // VK_VEMRA_LOG_H
