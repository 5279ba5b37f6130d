// Vk::VkGenericEventLogger: an event log writer bound to the shared message
// module "VkGenericEventLogx.dll", with one report per severity.
#ifndef VK_GENERIC_EVENT_LOGGER_H
#define VK_GENERIC_EVENT_LOGGER_H

#include <vk/event_log.h>

namespace Vk {

class VkGenericEventLogger : public VkEventLog {
 public:
  static constexpr DWORD kInfoEventId = 0x40020000;
  static constexpr DWORD kWarningEventId = 0x80020000;
  static constexpr DWORD kErrorEventId = 0xC0020000;

  VkGenericEventLogger(const char* source, const char* log, DWORD typesSupported, WORD categoryCount);
  ~VkGenericEventLogger() override;

  // Registers the source with the message module as message and category
  // file; true when all four values were written.
  bool RegisterGenericSource(const char* log, const char* source, DWORD typesSupported, WORD categoryCount);
  bool RenewRegistration();

  VK_PRINTF_FORMAT(2, 3) bool ReportInfo(const char* format, ...);
  VK_PRINTF_FORMAT(2, 3) bool ReportWarning(const char* format, ...);
  VK_PRINTF_FORMAT(2, 3) bool ReportError(const char* format, ...);
  VK_PRINTF_FORMAT(2, 0) bool ReportInfoV(const char* format, va_list args);
  VK_PRINTF_FORMAT(2, 0) bool ReportWarningV(const char* format, va_list args);
  VK_PRINTF_FORMAT(2, 0) bool ReportErrorV(const char* format, va_list args);
  VK_PRINTF_FORMAT(4, 5) bool ReportInfoData(const BYTE* data, DWORD dataSize, const char* format, ...);
  VK_PRINTF_FORMAT(4, 5) bool ReportWarningData(const BYTE* data, DWORD dataSize, const char* format, ...);
  VK_PRINTF_FORMAT(4, 5) bool ReportErrorData(const BYTE* data, DWORD dataSize, const char* format, ...);
  VK_PRINTF_FORMAT(4, 0) bool ReportInfoDataV(const BYTE* data, DWORD dataSize, const char* format, va_list args);
  VK_PRINTF_FORMAT(4, 0) bool ReportWarningDataV(const BYTE* data, DWORD dataSize, const char* format, va_list args);
  VK_PRINTF_FORMAT(4, 0) bool ReportErrorDataV(const BYTE* data, DWORD dataSize, const char* format, va_list args);
};

}  // namespace Vk

#endif  // VK_GENERIC_EVENT_LOGGER_H
