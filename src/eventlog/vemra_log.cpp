// The application event log: the system event log plus the events file.
#include <vk/registry.h>
#include <vk/vemra_log.h>

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "common/bounded_text.h"

using namespace Vk::Win32;

namespace {

using Vk::VkLogFile;

const char kSetupKey[] = "Software\\Haldrex\\Vemra\\Setup";
const char kInstallPathValue[] = "Inst_Path";
const char kEventsDirectory[] = "Diagnose";
const char kEventsFile[] = "Events.log";
constexpr size_t kPathSize = 260;
constexpr DWORD kTypesSupported = 7;
constexpr WORD kCategoryCount = 1;
constexpr DWORD kBytesPerRow = 16;

enum Severity { kInfo = 0, kWarning = 1, kError = 2 };
const char* const kSeverityWords[] = {"Info   ", "Warning", "Error  "};

}  // namespace

CVemraLog::CVemraLog(const char* source)
    : m_logFile(false), m_eventLogger(source, nullptr, kTypesSupported, kCategoryCount) {
  Vk::VkRegistry setup(HKEY_LOCAL_MACHINE, kSetupKey, false, KEY_READ);
  char path[kPathSize] = "";
  DWORD size = sizeof path;
  bool read = setup.IsOpen() && setup.ReadString(kInstallPathValue, path, &size);
  // Installers often store the path without its terminator; such a value
  // is used when it leaves room for one.
  if (read && size < sizeof path) path[size] = '\0';
  if (read && memchr(path, '\0', sizeof path) && PathFileExistsA(path)) {
    PathAddBackslashA(path);
    Vk::AppendBounded(path, kEventsDirectory, sizeof path);
    PathAddBackslashA(path);
    Vk::AppendBounded(path, kEventsFile, sizeof path);
    MakeSureDirectoryPathExists(path);
    m_logFile.SetFullPath(path);
  }
  m_logFile.ChangeOptions(VkLogFile::VKLF_BANNER | VkLogFile::VKLF_CRLF, 0);
  m_logFile.SetEnabled(true);
}

CVemraLog::~CVemraLog() {}

std::string CVemraLog::FormatEventHeader(const char* source, int severity) {
  std::string header = source ? source : "";
  header += ": ";
  if (severity >= kInfo && severity <= kError) header += kSeverityWords[severity];
  header += ":\t";
  return header;
}

std::string CVemraLog::FormatHexDump(const BYTE* data, DWORD size) {
  std::string dump;
  std::string column;
  for (DWORD index = 0; index < size; ++index) {
    if (index != 0 && index % kBytesPerRow == 0) {
      dump += "\t\t" + column + "\r\n";
      column.clear();
    }
    char hex[4];
    snprintf(hex, sizeof hex, "%02X ", data[index]);
    dump += hex;
    column += isprint(data[index]) ? static_cast<char>(data[index]) : '.';
  }
  if (!column.empty()) dump += "\t\t" + column;
  return dump;
}

bool CVemraLog::WriteEventText(int severity, const char* format, va_list args, const BYTE* data, DWORD size) {
  DWORD options = m_logFile.GetOptions();
  m_logFile.Write("%s", FormatEventHeader(m_eventLogger.GetSourceName(), severity).c_str());
  m_logFile.ChangeOptions(VkLogFile::VKLF_TIMESTAMP | VkLogFile::VKLF_MODULE, 0);
  bool written = m_logFile.WriteV(format, args);
  m_logFile.Write("\r\n");
  if (data) {
    m_logFile.Write("%s", FormatHexDump(data, size).c_str());
    m_logFile.Write("\r\n");
  }
  m_logFile.SetOptions(options);
  return written;
}

// Each operation reports to the system event log first, then writes the
// events file with a fresh copy of the arguments.
#define VK_LOG_EVENT(report, severity, data, size)                \
  va_list args;                                                   \
  va_start(args, format);                                         \
  va_list copy;                                                   \
  va_copy(copy, args);                                            \
  bool reported = m_eventLogger.report;                           \
  WriteEventText(severity, format, copy, data, size);             \
  va_end(copy);                                                   \
  va_end(args);                                                   \
  return reported

bool CVemraLog::LogInfo(const char* format, ...) { VK_LOG_EVENT(ReportInfoV(format, args), kInfo, nullptr, 0); }
bool CVemraLog::LogWarning(const char* format, ...) {
  VK_LOG_EVENT(ReportWarningV(format, args), kWarning, nullptr, 0);
}
bool CVemraLog::LogError(const char* format, ...) { VK_LOG_EVENT(ReportErrorV(format, args), kError, nullptr, 0); }
bool CVemraLog::LogInfoData(const BYTE* data, DWORD dataSize, const char* format, ...) {
  VK_LOG_EVENT(ReportInfoDataV(data, dataSize, format, args), kInfo, data, dataSize);
}
bool CVemraLog::LogWarningData(const BYTE* data, DWORD dataSize, const char* format, ...) {
  VK_LOG_EVENT(ReportWarningDataV(data, dataSize, format, args), kWarning, data, dataSize);
}
bool CVemraLog::LogErrorData(const BYTE* data, DWORD dataSize, const char* format, ...) {
  VK_LOG_EVENT(ReportErrorDataV(data, dataSize, format, args), kError, data, dataSize);
}
