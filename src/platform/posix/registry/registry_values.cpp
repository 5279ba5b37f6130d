// Values, enumeration and key information.
#include <string.h>

#include <string>

#include "kernel/errors.h"
#include "registry/registry_keys.h"

namespace {

using vk_posix::KeyId;

// The key behind the handle, when the handle grants the rights.
LONG KeyFor(HKEY handle, REGSAM rights, KeyId* id) {
  REGSAM access = 0;
  LONG error = vk_posix::ResolveKey(handle, id, &access);
  if (error != ERROR_SUCCESS) return error;
  return (access & rights) == rights ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Copies a name into a buffer of *length characters. Too small a buffer
// fails with ERROR_MORE_DATA; on success *length is the name's length
// without the terminator.
LONG CopyName(const std::string& name, LPSTR buffer, LPDWORD length) {
  if (name.size() >= *length) return ERROR_MORE_DATA;
  memcpy(buffer, name.c_str(), name.size() + 1);
  *length = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// Hands value data out as RegQueryValueExA does: a null buffer asks for the
// size; too small a buffer fails with ERROR_MORE_DATA and the size needed.
LONG CopyData(const std::string& data, LPBYTE buffer, LPDWORD size) {
  if (!size) return ERROR_SUCCESS;
  DWORD capacity = *size;
  *size = static_cast<DWORD>(data.size());
  if (!buffer) return ERROR_SUCCESS;
  if (data.size() > capacity) return ERROR_MORE_DATA;
  memcpy(buffer, data.data(), data.size());
  return ERROR_SUCCESS;
}

}  // namespace

LONG Vk::Win32::RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  KeyId id = 0;
  LONG error = KeyFor(hKey, KEY_QUERY_VALUE, &id);
  if (error != ERROR_SUCCESS) return error;
  DWORD type = REG_NONE;
  std::string data;
  error = vk_posix::registry_store::QueryValue(id, lpValueName, &type, &data);
  if (error != ERROR_SUCCESS) return error;
  if (lpType) *lpType = type;
  return CopyData(data, lpData, lpcbData);
}

// Writing a value with the type and data it already has changes nothing:
// the key's last write time stays and no watcher is signalled, as under
// Wine. Windows may count such a rewrite as a change.
LONG Vk::Win32::RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
  if (!lpData && cbData) return ERROR_NOACCESS;
  KeyId id = 0;
  LONG error = KeyFor(hKey, KEY_SET_VALUE, &id);
  if (error != ERROR_SUCCESS) return error;
  return vk_posix::registry_store::SetValue(id, lpValueName, dwType, lpData, cbData);
}

LONG Vk::Win32::RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  KeyId id = 0;
  LONG error = KeyFor(hKey, KEY_SET_VALUE, &id);
  if (error != ERROR_SUCCESS) return error;
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

// Values come in the order they were first set.
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
  LONG nameResult = CopyName(name, lpValueName, lpcchValueName);
  LONG dataResult = CopyData(data, lpData, lpcbData);
  return nameResult != ERROR_SUCCESS ? nameResult : dataResult;
}

// Lengths are in characters without the terminator; data sizes in bytes.
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
  if (lpClass) {
    error = CopyName(info.className, lpClass, lpcchClass);
    if (error != ERROR_SUCCESS) return error;
  } else if (lpcchClass) {
    *lpcchClass = static_cast<DWORD>(info.className.size());
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
  return ERROR_SUCCESS;
}
