// CVemraLog: the application event log. Each event goes to the system event
// log and, as a line with an optional hex dump, to "Events.log" in the
// "Diagnose" directory below the installation path.
#ifndef VK_VEMRA_LOG_H
#define VK_VEMRA_LOG_H

#include <vk/generic_event_logger.h>
#include <vk/log_file.h>

#include <string>

class CVemraLog {
 public:
  explicit CVemraLog(const char* source);
  virtual ~CVemraLog();

  CVemraLog(const CVemraLog&) = delete;
  CVemraLog& operator=(const CVemraLog&) = delete;

  // True when the system event log accepted the event; the events file is
  // written either way.
  VK_PRINTF_FORMAT(2, 3) bool LogInfo(const char* format, ...);
  VK_PRINTF_FORMAT(2, 3) bool LogWarning(const char* format, ...);
  VK_PRINTF_FORMAT(2, 3) bool LogError(const char* format, ...);
  VK_PRINTF_FORMAT(4, 5) bool LogInfoData(const Vk::BYTE* data, Vk::DWORD dataSize, const char* format, ...);
  VK_PRINTF_FORMAT(4, 5) bool LogWarningData(const Vk::BYTE* data, Vk::DWORD dataSize, const char* format, ...);
  VK_PRINTF_FORMAT(4, 5) bool LogErrorData(const Vk::BYTE* data, Vk::DWORD dataSize, const char* format, ...);

  const char* GetEventsFilePath() const { return m_logFile.GetFullPath(); }

  static std::string FormatEventHeader(const char* source, int severity);
  static std::string FormatHexDump(const Vk::BYTE* data, Vk::DWORD size);

 private:
  bool WriteEventText(int severity, const char* format, va_list args, const Vk::BYTE* data, Vk::DWORD size);

  Vk::VkLogFile m_logFile;
  Vk::VkGenericEventLogger m_eventLogger;
};

#endif  // VK_VEMRA_LOG_H
