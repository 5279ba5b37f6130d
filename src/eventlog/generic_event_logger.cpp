// Reports bound to the shared message module "VkGenericEventLogx.dll".
#include <vk/generic_event_logger.h>

namespace Vk {

namespace {

const char kMessageModule[] = "VkGenericEventLogx.dll";
constexpr DWORD kRenewedTypes = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
constexpr WORD kRenewedCategoryCount = 1;
constexpr size_t kPathSize = 260;

}  // namespace

VkGenericEventLogger::VkGenericEventLogger(const char* source, const char* log, DWORD typesSupported,
                                           WORD categoryCount)
    : VkEventLog(source, nullptr) {
  if (source) RegisterGenericSource(log, source, typesSupported, categoryCount);
}

VkGenericEventLogger::~VkGenericEventLogger() {}

// The module is looked for in the standard search order, then beside the
// process's executable.
bool VkGenericEventLogger::RegisterGenericSource(const char* log, const char* source, DWORD typesSupported,
                                                 WORD categoryCount) {
  char module[kPathSize] = {};
  DWORD length = SearchPathA(nullptr, kMessageModule, nullptr, kPathSize, module, nullptr);
  if (length == 0 || length >= kPathSize) module[0] = '\0';
  if (!module[0]) {
    char directory[kPathSize] = "";
    GetModuleFileNameA(nullptr, directory, kPathSize);
    directory[kPathSize - 1] = '\0';
    *PathFindFileNameA(directory) = '\0';
    length = SearchPathA(directory, kMessageModule, nullptr, kPathSize, module, nullptr);
    if (length == 0 || length >= kPathSize) module[0] = '\0';
  }
  bool registered = RegisterSource(log, source, module, module, typesSupported, categoryCount);
  SetSourceName(source);
  return registered;
}

bool VkGenericEventLogger::RenewRegistration() {
  return RegisterGenericSource(GetLogName(), GetSourceName(), kRenewedTypes, kRenewedCategoryCount);
}

bool VkGenericEventLogger::ReportInfoV(const char* format, va_list args) {
  RenewRegistration();
  return ReportV(EVENTLOG_INFORMATION_TYPE, kInfoEventId, m_wCategory, format, args);
}

bool VkGenericEventLogger::ReportWarningV(const char* format, va_list args) {
  RenewRegistration();
  return ReportV(EVENTLOG_WARNING_TYPE, kWarningEventId, m_wCategory, format, args);
}

bool VkGenericEventLogger::ReportErrorV(const char* format, va_list args) {
  RenewRegistration();
  return ReportV(EVENTLOG_ERROR_TYPE, kErrorEventId, m_wCategory, format, args);
}

// The forms with data carry the informational identifier for every type.
bool VkGenericEventLogger::ReportInfoDataV(const BYTE* data, DWORD dataSize, const char* format, va_list args) {
  RenewRegistration();
  return ReportDataV(EVENTLOG_INFORMATION_TYPE, kInfoEventId, m_wCategory, data, dataSize, format, args);
}

bool VkGenericEventLogger::ReportWarningDataV(const BYTE* data, DWORD dataSize, const char* format, va_list args) {
  RenewRegistration();
  return ReportDataV(EVENTLOG_WARNING_TYPE, kInfoEventId, m_wCategory, data, dataSize, format, args);
}

bool VkGenericEventLogger::ReportErrorDataV(const BYTE* data, DWORD dataSize, const char* format, va_list args) {
  RenewRegistration();
  return ReportDataV(EVENTLOG_ERROR_TYPE, kInfoEventId, m_wCategory, data, dataSize, format, args);
}

#define VK_FORWARD_VARIADIC(call) \
  va_list args;                   \
  va_start(args, format);         \
  bool reported = call;           \
  va_end(args);                   \
  return reported

bool VkGenericEventLogger::ReportInfo(const char* format, ...) { VK_FORWARD_VARIADIC(ReportInfoV(format, args)); }
bool VkGenericEventLogger::ReportWarning(const char* format, ...) {
  VK_FORWARD_VARIADIC(ReportWarningV(format, args));
}
bool VkGenericEventLogger::ReportError(const char* format, ...) { VK_FORWARD_VARIADIC(ReportErrorV(format, args)); }
bool VkGenericEventLogger::ReportInfoData(const BYTE* data, DWORD dataSize, const char* format, ...) {
  VK_FORWARD_VARIADIC(ReportInfoDataV(data, dataSize, format, args));
}
bool VkGenericEventLogger::ReportWarningData(const BYTE* data, DWORD dataSize, const char* format, ...) {
  VK_FORWARD_VARIADIC(ReportWarningDataV(data, dataSize, format, args));
}
bool VkGenericEventLogger::ReportErrorData(const BYTE* data, DWORD dataSize, const char* format, ...) {
  VK_FORWARD_VARIADIC(ReportErrorDataV(data, dataSize, format, args));
}

}  // namespace Vk
