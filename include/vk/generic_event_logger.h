/// \file
/// Vk::VkGenericEventLogger: an event log writer bound to the shared message
/// module "VkGenericEventLogx.dll", with one report per severity.

#ifndef VK_GENERIC_EVENT_LOGGER_H
#define VK_GENERIC_EVENT_LOGGER_H

#include <vk/event_log.h>

namespace Vk {

/// Reports free text under a source of the component's own, with the shared
/// message module `VkGenericEventLogx.dll` registered as the source's message
/// and category file; the module's text for each identifier is the one
/// insertion string, so a viewer shows the message as it was written.
///
/// | Report | Type | Identifier |
/// |---|---|---|
/// | ReportInfo() | EVENTLOG_INFORMATION_TYPE (4) | 0x40020000 |
/// | ReportWarning() | EVENTLOG_WARNING_TYPE (2) | 0x80020000 |
/// | ReportError() | EVENTLOG_ERROR_TYPE (1) | 0xC0020000 |
/// | ReportInfoData(), ReportWarningData(), ReportErrorData() | 4, 2, 1 | 0x40020000 for all three |
///
/// The forms with data store warnings and errors under the information
/// identifier 0x40020000; only their type tells them apart. Every report
/// uses category 0.
///
/// Each report first renews the registration (RegisterGenericSource() with
/// the log, the source, 7 and 1): it searches the module again, rewrites
/// the source's four registry values and closes the event source, so every
/// report opens it anew. Types and a category count given to the
/// constructor are replaced by 7 and 1 at the first report. Where the user
/// may not write HKEY_LOCAL_MACHINE the renewal fails silently and the
/// event is still reported.
///
/// Errors, blocking and threads as VkEventLog, plus the renewal's registry
/// writes and module search on every report.
class VkGenericEventLogger : public VkEventLog {
 public:
  static constexpr DWORD kInfoEventId = 0x40020000;     ///< Information, and every report with data.
  static constexpr DWORD kWarningEventId = 0x80020000;  ///< ReportWarning().
  static constexpr DWORD kErrorEventId = 0xC0020000;    ///< ReportError().

  /// Sets the source and, when it is not null, registers it under the log
  /// (null: Application) with the types and category count (usually 7 and 1).
  VkGenericEventLogger(const char* source, const char* log, DWORD typesSupported, WORD categoryCount);
  /// Closes the event source; the registration stays.
  ~VkGenericEventLogger() override;

  /// Registers the source under the log with the message module as message
  /// and category file: the module is searched with SearchPathA in the
  /// standard order, then in the directory of the process's executable;
  /// when it is found nowhere both values are written empty (viewers then
  /// show no text). True when all four values were written.
  bool RegisterGenericSource(const char* log, const char* source, DWORD typesSupported, WORD categoryCount);
  /// RegisterGenericSource() with GetLogName(), GetSourceName(), 7 and 1;
  /// every report calls it first.
  bool RenewRegistration();

  /// \name Reports
  /// Each renews the registration, then reports the formatted message (at
  /// most 1,023 characters) as VkEventLog::ReportV() or ReportDataV() do.
  /// True when the event was written; otherwise GetLastError() tells why.
  //@{
  /// Information, identifier 0x40020000.
  VK_PRINTF_FORMAT(2, 3) bool ReportInfo(const char* format, ...);
  /// Warning, identifier 0x80020000.
  VK_PRINTF_FORMAT(2, 3) bool ReportWarning(const char* format, ...);
  /// Error, identifier 0xC0020000.
  VK_PRINTF_FORMAT(2, 3) bool ReportError(const char* format, ...);
  /// ReportInfo() with an argument list.
  VK_PRINTF_FORMAT(2, 0) bool ReportInfoV(const char* format, va_list args);
  /// ReportWarning() with an argument list.
  VK_PRINTF_FORMAT(2, 0) bool ReportWarningV(const char* format, va_list args);
  /// ReportError() with an argument list.
  VK_PRINTF_FORMAT(2, 0) bool ReportErrorV(const char* format, va_list args);
  /// Information with raw data, identifier 0x40020000.
  VK_PRINTF_FORMAT(4, 5) bool ReportInfoData(const BYTE* data, DWORD dataSize, const char* format, ...);
  /// Warning with raw data, identifier 0x40020000 (not 0x80020000).
  VK_PRINTF_FORMAT(4, 5) bool ReportWarningData(const BYTE* data, DWORD dataSize, const char* format, ...);
  /// Error with raw data, identifier 0x40020000 (not 0xC0020000).
  VK_PRINTF_FORMAT(4, 5) bool ReportErrorData(const BYTE* data, DWORD dataSize, const char* format, ...);
  /// ReportInfoData() with an argument list.
  VK_PRINTF_FORMAT(4, 0) bool ReportInfoDataV(const BYTE* data, DWORD dataSize, const char* format, va_list args);
  /// ReportWarningData() with an argument list.
  VK_PRINTF_FORMAT(4, 0) bool ReportWarningDataV(const BYTE* data, DWORD dataSize, const char* format, va_list args);
  /// ReportErrorData() with an argument list.
  VK_PRINTF_FORMAT(4, 0) bool ReportErrorDataV(const BYTE* data, DWORD dataSize, const char* format, va_list args);
  //@}
};

}  // namespace Vk

#endif  // VK_GENERIC_EVENT_LOGGER_H
