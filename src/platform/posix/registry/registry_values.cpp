// Values, enumeration and key information.
#include <string.h>

#include <string>

#include "kernel/errors.h"
#include "registry/registry_keys.h"
#include "text/wide_text.h"

namespace {

using vk_posix::KeyId;

// The key behind the handle, when the handle grants the rights.
LONG KeyFor(HKEY handle, REGSAM rights, KeyId* id) {
  REGSAM access = 0;
  LONG error = vk_posix::ResolveKey(handle, id, &access);
  if (error != ERROR_SUCCESS) return error;
  return (access & rights) == rights ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Windows' limit on a value's name, in characters.
constexpr size_t kMaxValueNameLength = 16383;

bool NameTooLong(const char* name) {
  if (!name) return false;
  std::string text(name);
  return text.size() > kMaxValueNameLength && vk_posix::Utf16Length(text) > kMaxValueNameLength;
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Copies a name into a buffer of *length characters. Too small a buffer
// fails with ERROR_MORE_DATA; on success *length is the name's length
// without the terminator.
LONG CopyName(const std::string& name, LPSTR buffer, LPDWORD length) {
  if (name.size() >= *length) return ERROR_MORE_DATA;
  memcpy(buffer, name.c_str(), name.size() + 1);
  *length = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// Copies what fits of a name that does not fit: as many characters as the
// buffer holds before its terminator. *length stays as it was.
void CopyNameStart(const std::string& name, LPSTR buffer, DWORD length) {
  if (length == 0) return;
  size_t count = length - 1 < name.size() ? length - 1 : name.size();
  memcpy(buffer, name.data(), count);
  buffer[count] = '\0';
}

// Hands value data out as RegQueryValueExA does: a null buffer asks for the
// size; too small a buffer fails with ERROR_MORE_DATA and the size needed.
// A text stored without its terminator gets one after the data when the
// buffer has room for it; the size stays that of the data.
LONG CopyData(DWORD type, const std::string& data, LPBYTE buffer, LPDWORD size) {
  if (!size) return ERROR_SUCCESS;
  DWORD capacity = *size;
  *size = static_cast<DWORD>(data.size());
  if (!buffer) return ERROR_SUCCESS;
  if (data.size() > capacity) return ERROR_MORE_DATA;
  memcpy(buffer, data.data(), data.size());
  if (IsText(type) && !data.empty() && data.back() != '\0' && capacity > data.size()) buffer[data.size()] = 0;
  return ERROR_SUCCESS;
}

}  // namespace

// A name longer than Windows allows names no value (ERROR_FILE_NOT_FOUND).
LONG Vk::Win32::RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  KeyId id = 0;
  LONG error = KeyFor(hKey, KEY_QUERY_VALUE, &id);
  if (error != ERROR_SUCCESS) return error;
  if (NameTooLong(lpValueName)) return ERROR_FILE_NOT_FOUND;
  DWORD type = REG_NONE;
  std::string data;
  error = vk_posix::registry_store::QueryValue(id, lpValueName, &type, &data);
  if (error != ERROR_SUCCESS) return error;
  if (lpType) *lpType = type;
  return CopyData(type, data, lpData, lpcbData);
}

// Writing a value with the type and data it already has changes nothing:
// the key's last write time stays and no watcher is signalled, as under
// Wine. Windows may count such a rewrite as a change. A text whose size
// leaves out its terminator (the strlen() slip) keeps it, as Windows keeps
// it: when the last byte given is no NUL and the byte after it is, that
// byte is stored too, so this reads one byte past the data, as Windows
// does. Names longer than 16,383 characters are refused
// (ERROR_INVALID_PARAMETER).
LONG Vk::Win32::RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
  if (!lpData && cbData) return ERROR_NOACCESS;
  KeyId id = 0;
  LONG error = KeyFor(hKey, KEY_SET_VALUE, &id);
  if (error != ERROR_SUCCESS) return error;
  if (NameTooLong(lpValueName)) return ERROR_INVALID_PARAMETER;
  if (IsText(dwType) && cbData > 0 && lpData[cbData - 1] != 0 && lpData[cbData] == 0) ++cbData;
  return vk_posix::registry_store::SetValue(id, lpValueName, dwType, lpData, cbData);
}

// A name longer than Windows allows names no value (ERROR_FILE_NOT_FOUND).
LONG Vk::Win32::RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  KeyId id = 0;
  LONG error = KeyFor(hKey, KEY_SET_VALUE, &id);
  if (error != ERROR_SUCCESS) return error;
  if (NameTooLong(lpValueName)) return ERROR_FILE_NOT_FOUND;
  return vk_posix::registry_store::DeleteValue(id, lpValueName);
}

// Sub-keys come in the order of their names, compared without case.
LONG Vk::Win32::RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                          LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
  KeyId id = 0;
  LONG error = KeyFor(hKey, KEY_ENUMERATE_SUB_KEYS, &id);
  if (error != ERROR_SUCCESS) return error;
  std::string name;
  std::string className;
  uint64_t lastWrite = 0;
  // A walk that asks for names alone, as the event log's search for a
  // source's log does, is answered from the process's cache.
  if (!lpClass && !lpftLastWriteTime)
    error = vk_posix::registry_store::EnumKeyName(id, dwIndex, &name);
  else
    error = vk_posix::registry_store::EnumKey(id, dwIndex, &name, &className, &lastWrite);
  if (error != ERROR_SUCCESS) return error;
  if (name.size() >= *lpcchName || (lpClass && className.size() >= *lpcchClass)) return ERROR_MORE_DATA;
  CopyName(name, lpName, lpcchName);
  if (lpClass) CopyName(className, lpClass, lpcchClass);
  if (lpftLastWriteTime) {
    lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(lastWrite);
    lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(lastWrite >> 32);
  }
  return ERROR_SUCCESS;
}

// Values come in the order they were first set. As on Windows, too small a
// data buffer fails with ERROR_MORE_DATA and the size needed before the name
// is touched; data that fits is delivered, and then too small a name buffer
// gets as much of the name as it holds, terminated, with ERROR_MORE_DATA and
// its length left as it was.
LONG Vk::Win32::RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                          LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  KeyId id = 0;
  LONG error = KeyFor(hKey, KEY_QUERY_VALUE, &id);
  if (error != ERROR_SUCCESS) return error;
  std::string name;
  DWORD type = REG_NONE;
  std::string data;
  error = vk_posix::registry_store::EnumValue(id, dwIndex, &name, &type, &data);
  if (error != ERROR_SUCCESS) return error;
  if (lpType) *lpType = type;
  error = CopyData(type, data, lpData, lpcbData);
  if (error != ERROR_SUCCESS) return error;
  if (CopyName(name, lpValueName, lpcchValueName) == ERROR_SUCCESS) return ERROR_SUCCESS;
  CopyNameStart(name, lpValueName, *lpcchValueName);
  return ERROR_MORE_DATA;
}

// Lengths are in characters without the terminator; data sizes in bytes,
// those of texts as Windows keeps them, in UTF-16 (registry_store.h). A
// class buffer too small gets as much of the class as it holds, terminated,
// and its length then, with ERROR_MORE_DATA; the other answers are given
// all the same. A class buffer of no size asks for nothing, as on Windows.
LONG Vk::Win32::RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                             LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                             LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
  if (lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
  KeyId id = 0;
  LONG error = KeyFor(hKey, KEY_QUERY_VALUE, &id);
  if (error != ERROR_SUCCESS) return error;
  vk_posix::KeyInfo info;
  error = vk_posix::registry_store::QueryInfo(id, &info);
  if (error != ERROR_SUCCESS) return error;
  LONG result = ERROR_SUCCESS;
  if (lpClass && *lpcchClass > 0) {
    if (CopyName(info.className, lpClass, lpcchClass) != ERROR_SUCCESS) {
      CopyNameStart(info.className, lpClass, *lpcchClass);
      *lpcchClass -= 1;
      result = ERROR_MORE_DATA;
    }
  } else if (lpcchClass) {
    *lpcchClass = lpClass ? 0 : static_cast<DWORD>(info.className.size());
  }
  if (lpcSubKeys) *lpcSubKeys = info.subKeys;
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = info.maxSubKeyLen;
  if (lpcbMaxClassLen) *lpcbMaxClassLen = info.maxClassLen;
  if (lpcValues) *lpcValues = info.values;
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = info.maxValueNameLen;
  if (lpcbMaxValueLen) *lpcbMaxValueLen = info.maxValueLen;
  if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;  // keys carry no security descriptor here
  if (lpftLastWriteTime) {
    lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(info.lastWrite);
    lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(info.lastWrite >> 32);
  }
  return result;
}
