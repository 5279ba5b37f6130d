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

  bool ReportInfo(const char* format, ...);
  bool ReportWarning(const char* format, ...);
  bool ReportError(const char* format, ...);
  bool ReportInfoV(const char* format, va_list args);
  bool ReportWarningV(const char* format, va_list args);
  bool ReportErrorV(const char* format, va_list args);
  bool ReportInfoData(const BYTE* data, DWORD dataSize, const char* format, ...);
  bool ReportWarningData(const BYTE* data, DWORD dataSize, const char* format, ...);
  bool ReportErrorData(const BYTE* data, DWORD dataSize, const char* format, ...);
  bool ReportInfoDataV(const BYTE* data, DWORD dataSize, const char* format, va_list args);
  bool ReportWarningDataV(const BYTE* data, DWORD dataSize, const char* format, va_list args);
  bool ReportErrorDataV(const BYTE* data, DWORD dataSize, const char* format, va_list args);
};

}  // namespace Vk

#endif  // VK_GENERIC_EVENT_LOGGER_H
