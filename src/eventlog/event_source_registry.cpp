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

// Appends the whole text, or nothing when it does not fit.
bool AppendWhole(char* path, const char* text) {
  if (strlen(path) + strlen(text) >= kPathSize) return false;
  AppendBounded(path, text, kPathSize);
  return true;
}

// Whether a name holds no empty key name: the registry skips those, so
// "\\" as a source would name the log's own key, and as a log the prefix's.
bool HasNoEmptyKeyName(const char* name) {
  size_t length = strlen(name);
  return length > 0 && name[0] != '\\' && name[length - 1] != '\\' && !strstr(name, "\\\\");
}

// "SYSTEM\...\Eventlog\" + log [+ "\" + source]. A path that does not fit
// is refused (false, empty path): cut, it could name another source's key.
// So is a name with an empty key name in it. Registry paths take
// backslashes on every target.
bool BuildKeyPath(char* path, const char* log, const char* source) {
  path[0] = '\0';
  bool fits = HasNoEmptyKeyName(log) && AppendWhole(path, kEventlogPrefix) && AppendWhole(path, log);
  if (fits && source) fits = HasNoEmptyKeyName(source) && AppendWhole(path, "\\") && AppendWhole(path, source);
  if (!fits) path[0] = '\0';
  return fits;
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
  // Without a source name the values would land in the log's own key.
  bool written = !IsEmpty(source) && BuildKeyPath(path, GetLogName(), source);
  if (written) {
    written = WriteRegString(HKEY_LOCAL_MACHINE, path, "EventMessageFile", message);
    written = WriteRegString(HKEY_LOCAL_MACHINE, path, "CategoryMessageFile", category) && written;
    written = WriteRegDword(HKEY_LOCAL_MACHINE, path, "TypesSupported", typesSupported) && written;
    written = WriteRegDword(HKEY_LOCAL_MACHINE, path, "CategoryCount", categoryCount) && written;
  }
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
  if (!BuildKeyPath(path, log, source)) return false;
  return SHDeleteKeyA(HKEY_LOCAL_MACHINE, path) == ERROR_SUCCESS;
}

bool VkEventLog::UnregisterSource(const char* source) { return UnregisterSource(GetLogName(), source); }

bool VkEventLog::DeleteLog(const char* log) {
  if (IsEmpty(log)) return false;
  char path[kPathSize];
  if (!BuildKeyPath(path, log, nullptr)) return false;
  return SHDeleteKeyA(HKEY_LOCAL_MACHINE, path) == ERROR_SUCCESS;
}

}  // namespace Vk
