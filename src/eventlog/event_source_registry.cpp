// Registering and removing event sources in the registry.
#include <vk/event_log.h>

#include <string.h>

#include "common/bounded_text.h"

namespace Vk {

namespace {

const char kEventlogPrefix[] = "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\";
constexpr size_t kPathSize = 260;

bool WriteRegString(HKEY root, const char* subKey, const char* valueName, const char* text) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  LONG result = RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                               static_cast<DWORD>(strlen(text) + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

bool WriteRegDword(HKEY root, const char* subKey, const char* valueName, DWORD value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  LONG result = RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

// A relative name is looked for in the standard search order (empty when
// not found); an absolute one is taken as it is.
void ResolveFile(const char* name, char* resolved) {
  resolved[0] = '\0';
  if (PathIsRelativeA(name)) {
    DWORD length = SearchPathA(nullptr, name, nullptr, kPathSize, resolved, nullptr);
    if (length == 0 || length >= kPathSize) resolved[0] = '\0';
  } else {
    CopyBounded(resolved, name, kPathSize);
  }
}

// "SYSTEM\...\Eventlog\" + log [+ "\" + source], cut at the buffer.
// Registry paths take backslashes on every target.
void BuildKeyPath(char* path, const char* log, const char* source) {
  path[0] = '\0';
  AppendBounded(path, kEventlogPrefix, kPathSize);
  AppendBounded(path, log, kPathSize);
  if (source) {
    size_t length = strlen(path);
    if (length == 0 || path[length - 1] != '\\') AppendBounded(path, "\\", kPathSize);
    AppendBounded(path, source, kPathSize);
  }
}

bool IsEmpty(const char* name) { return !name || !*name; }

}  // namespace

bool VkEventLog::RegisterSource(const char* log, const char* source, const char* messageFile,
                                const char* categoryFile, DWORD typesSupported, WORD categoryCount) {
  SetLogName(log);
  char message[kPathSize];
  char category[kPathSize];
  ResolveFile(messageFile ? messageFile : "", message);
  if (categoryFile)
    ResolveFile(categoryFile, category);
  else
    CopyBounded(category, message, sizeof category);
  char path[kPathSize];
  BuildKeyPath(path, GetLogName(), source ? source : "");
  bool written = WriteRegString(HKEY_LOCAL_MACHINE, path, "EventMessageFile", message);
  written = WriteRegString(HKEY_LOCAL_MACHINE, path, "CategoryMessageFile", category) && written;
  written = WriteRegDword(HKEY_LOCAL_MACHINE, path, "TypesSupported", typesSupported) && written;
  written = WriteRegDword(HKEY_LOCAL_MACHINE, path, "CategoryCount", categoryCount) && written;
  SetSourceName(source);
  return written;
}

bool VkEventLog::RegisterSource(const char* source, const char* messageFile, const char* categoryFile,
                                DWORD typesSupported, WORD categoryCount) {
  return RegisterSource(GetLogName(), source, messageFile, categoryFile, typesSupported, categoryCount);
}

bool VkEventLog::UnregisterSource(const char* log, const char* source) {
  if (IsEmpty(log) || IsEmpty(source)) return false;
  char path[kPathSize];
  BuildKeyPath(path, log, source);
  return SHDeleteKeyA(HKEY_LOCAL_MACHINE, path) == ERROR_SUCCESS;
}

bool VkEventLog::UnregisterSource(const char* source) { return UnregisterSource(GetLogName(), source); }

bool VkEventLog::DeleteLog(const char* log) {
  if (IsEmpty(log)) return false;
  char path[kPathSize];
  BuildKeyPath(path, log, nullptr);
  return SHDeleteKeyA(HKEY_LOCAL_MACHINE, path) == ERROR_SUCCESS;
}

}  // namespace Vk
