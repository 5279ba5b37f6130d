// Opening, creating, closing, connecting, deleting and flushing keys.
#include "registry/registry_keys.h"

#include <ctype.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "kernel/errors.h"
#include "machine/system_root.h"
#include "text/wide_text.h"

namespace vk_posix {

namespace {

constexpr size_t kMaxKeyNameLength = 255;
constexpr REGSAM kKnownAccessBits = KEY_ALL_ACCESS | KEY_WOW64_64KEY | KEY_WOW64_32KEY | SYNCHRONIZE | WRITE_DAC |
                                    WRITE_OWNER | GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL;

// Generic rights map onto key rights as Windows maps them.
REGSAM MapGenericAccess(REGSAM access) {
  if (access & GENERIC_READ) access |= KEY_READ;
  if (access & GENERIC_WRITE) access |= KEY_WRITE;
  if (access & GENERIC_EXECUTE) access |= KEY_EXECUTE;
  if (access & GENERIC_ALL) access |= KEY_ALL_ACCESS;
  return access;
}

// The predefined roots: HKEY_LOCAL_MACHINE and HKEY_USERS are stored roots
// of the machine store; HKEY_CURRENT_USER is the calling user's key below
// HKEY_USERS, in the user store (system_root.h), and HKEY_CLASSES_ROOT the
// machine's SOFTWARE\Classes.
LONG FindPredefinedKey(HKEY handle, KeyId* id) {
  const Store machine = Store::kMachine;
  if (handle == HKEY_LOCAL_MACHINE) return registry_store::Predefined(machine, {"HKEY_LOCAL_MACHINE"}, id);
  if (handle == HKEY_USERS) return registry_store::Predefined(machine, {"HKEY_USERS"}, id);
  if (handle == HKEY_CURRENT_USER) {
    Store store = StoresApart() ? Store::kUser : machine;
    return registry_store::Predefined(store, {"HKEY_USERS", CurrentUserKeyName()}, id);
  }
  if (handle == HKEY_CLASSES_ROOT)
    return registry_store::Predefined(machine, {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Classes"}, id);
  return ERROR_INVALID_HANDLE;
}

// Once found, the key behind a predefined handle stays the same for the
// process: such keys are never deleted, and ids are never reused.
LONG PredefinedKey(HKEY handle, KeyId* id) {
  static std::atomic<KeyId> known[4];
  std::atomic<KeyId>* slot = handle == HKEY_LOCAL_MACHINE ? &known[0]
                             : handle == HKEY_USERS       ? &known[1]
                             : handle == HKEY_CURRENT_USER ? &known[2]
                             : handle == HKEY_CLASSES_ROOT ? &known[3]
                                                           : nullptr;
  if (!slot) return ERROR_INVALID_HANDLE;
  *id = slot->load(std::memory_order_relaxed);
  if (*id != 0) return ERROR_SUCCESS;
  LONG error = FindPredefinedKey(handle, id);
  if (error == ERROR_SUCCESS) slot->store(*id, std::memory_order_relaxed);
  return error;
}

bool IsPredefined(HKEY handle) {
  return handle == HKEY_LOCAL_MACHINE || handle == HKEY_USERS || handle == HKEY_CURRENT_USER ||
         handle == HKEY_CLASSES_ROOT;
}

// Splits a sub-key path at backslashes. As on Windows, empty names inside
// or at the end of the path are skipped ("A\\\\B\\" names A\B), a path
// that starts with a backslash is refused with ERROR_BAD_PATHNAME, and a
// name over 255 characters with ERROR_INVALID_PARAMETER.
LONG SplitPath(const char* subKey, std::vector<std::string>* path) {
  path->clear();
  if (!subKey || !*subKey) return ERROR_SUCCESS;
  if (*subKey == '\\') return ERROR_BAD_PATHNAME;
  for (const char* p = subKey; *p;) {
    const char* end = strchr(p, '\\');
    size_t length = end ? static_cast<size_t>(end - p) : strlen(p);
    // Characters as Windows counts them, in UTF-16; only a name of more
    // bytes than that can have too many.
    if (length > kMaxKeyNameLength && Utf16Length(std::string(p, length)) > kMaxKeyNameLength)
      return ERROR_INVALID_PARAMETER;
    if (length > 0) path->emplace_back(p, length);
    p += length;
    while (*p == '\\') ++p;
  }
  return ERROR_SUCCESS;
}

// Access that changes the key or its store: asked of a store this process
// may not change, it is refused when the key is opened, as Windows checks a
// key's access list at the open.
constexpr REGSAM kWriteAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

LONG OpenHandle(KeyId id, REGSAM access, PHKEY result) {
  if ((MapGenericAccess(access) & kWriteAccess) && !registry_store::MayWrite(id)) return ERROR_ACCESS_DENIED;
  *result = reinterpret_cast<HKEY>(InsertHandle(std::make_shared<KeyObject>(id, MapGenericAccess(access))));
  return ERROR_SUCCESS;
}

bool IsLocalMachineName(const char* name) {
  if (!name) return true;
  while (*name == '\\') ++name;
  if (!*name || strcmp(name, ".") == 0 || strcasecmp(name, "localhost") == 0) return true;
  char host[256] = "";
  if (gethostname(host, sizeof host - 1) != 0) return false;
  if (strcasecmp(name, host) == 0) return true;
  char* dot = strchr(host, '.');  // the short form of a qualified host name
  if (dot) *dot = '\0';
  return strcasecmp(name, host) == 0;
}

// The existing key that a handle and a sub-key path name.
LONG ResolveSubKey(HKEY hKey, LPCSTR lpSubKey, KeyId* id) {
  KeyId parent = 0;
  REGSAM access = 0;
  LONG error = ResolveKey(hKey, &parent, &access);
  if (error != ERROR_SUCCESS) return error;
  std::vector<std::string> path;
  error = SplitPath(lpSubKey, &path);
  return error == ERROR_SUCCESS ? registry_store::OpenPath(parent, path, id) : error;
}

}  // namespace

LONG ResolveKey(HKEY handle, KeyId* id, REGSAM* access) {
  if (IsPredefined(handle)) {
    *access = KEY_ALL_ACCESS;
    return PredefinedKey(handle, id);
  }
  std::shared_ptr<KeyObject> key = OpenKeyObject(handle);
  if (!key) return ERROR_INVALID_HANDLE;
  *id = key->id();
  *access = key->access();
  return ERROR_SUCCESS;
}

std::shared_ptr<KeyObject> OpenKeyObject(HKEY handle) {
  DWORD saved = GetLastError();
  std::shared_ptr<KeyObject> key = LookupHandleAs<KeyObject>(reinterpret_cast<HANDLE>(handle));
  SetLastError(saved);  // registry calls report through their result only
  return key;
}

}  // namespace vk_posix

using vk_posix::KeyId;

// Opens a sub-key. An empty or null sub-key opens a new handle to the key
// itself. Write access to a store this process may not change is refused
// here; the rest is checked by the operations that use the handle.
LONG Vk::Win32::RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (samDesired & ~vk_posix::kKnownAccessBits) return ERROR_ACCESS_DENIED;
  KeyId id = 0;
  LONG error = vk_posix::ResolveSubKey(hKey, lpSubKey, &id);
  if (error != ERROR_SUCCESS) return error;
  return vk_posix::OpenHandle(id, samDesired, phkResult);
}

// Opens a sub-key, creating it and any missing keys on the way. As on
// Windows, the parent handle's access does not matter: a key opened only
// for reading can have sub-keys made below it. Keys made with
// REG_OPTION_VOLATILE, those on the way too, are gone after the system
// restarts; an existing key keeps what it is.
LONG Vk::Win32::RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR lpClass, DWORD dwOptions,
                            REGSAM samDesired, const LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (dwOptions & ~(REG_OPTION_VOLATILE | 0x2 /* create link */ | 0x4 /* backup/restore */)) return ERROR_INVALID_PARAMETER;
  if (samDesired & ~vk_posix::kKnownAccessBits) return ERROR_ACCESS_DENIED;
  KeyId parent = 0;
  REGSAM parentAccess = 0;
  LONG error = vk_posix::ResolveKey(hKey, &parent, &parentAccess);
  if (error != ERROR_SUCCESS) return error;
  std::vector<std::string> path;
  error = vk_posix::SplitPath(lpSubKey, &path);
  if (error != ERROR_SUCCESS) return error;
  KeyId id = 0;
  error = vk_posix::registry_store::OpenPath(parent, path, &id);
  bool created = false;
  if (error == ERROR_FILE_NOT_FOUND)
    error = vk_posix::registry_store::CreatePath(parent, path, lpClass, (dwOptions & REG_OPTION_VOLATILE) != 0, &id,
                                                 &created);
  if (error != ERROR_SUCCESS) return error;
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return vk_posix::OpenHandle(id, samDesired, phkResult);
}

// Closes a key handle; closing a predefined root succeeds and does nothing.
LONG Vk::Win32::RegCloseKey(HKEY hKey) {
  if (vk_posix::IsPredefined(hKey)) return ERROR_SUCCESS;
  std::shared_ptr<vk_posix::KeyObject> key = vk_posix::OpenKeyObject(hKey);
  if (!key) return ERROR_INVALID_HANDLE;
  key->MarkClosed();
  vk_posix::RemoveHandle(reinterpret_cast<HANDLE>(hKey));
  return ERROR_SUCCESS;
}

// Connects to a machine's HKEY_LOCAL_MACHINE or HKEY_USERS. Only the local
// machine is reachable: a null or empty name, ".", "localhost" or this
// host's name, with or without leading backslashes. Other names fail with
// ERROR_BAD_NETPATH.
LONG Vk::Win32::RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (hKey != HKEY_LOCAL_MACHINE && hKey != HKEY_USERS) return ERROR_INVALID_HANDLE;
  if (!vk_posix::IsLocalMachineName(lpMachineName)) return ERROR_BAD_NETPATH;
  KeyId id = 0;
  LONG error = vk_posix::PredefinedKey(hKey, &id);
  if (error != ERROR_SUCCESS) return error;
  // What the caller may have, as a predefined handle has it.
  return vk_posix::OpenHandle(id, vk_posix::registry_store::MayWrite(id) ? KEY_ALL_ACCESS : KEY_READ, phkResult);
}

// Deletes a key that has no sub-keys (ERROR_ACCESS_DENIED otherwise), with
// its values. An empty sub-key names the key of the handle itself. The keys
// behind the predefined handles are never deleted (ERROR_ACCESS_DENIED), as
// on Windows.
LONG Vk::Win32::RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  KeyId id = 0;
  LONG error = vk_posix::ResolveSubKey(hKey, lpSubKey, &id);
  return error == ERROR_SUCCESS ? vk_posix::registry_store::DeleteKey(id) : error;
}

// Deletes a key with all its sub-keys and values, all or nothing: a tree
// whose top is never deleted (see RegDeleteKeyA) is left whole, with
// ERROR_ACCESS_DENIED.
LONG Vk::Win32::SHDeleteKeyA(HKEY hKey, LPCSTR pszSubKey) {
  KeyId id = 0;
  LONG error = vk_posix::ResolveSubKey(hKey, pszSubKey, &id);
  return error == ERROR_SUCCESS ? vk_posix::registry_store::DeleteTree(id) : error;
}

// Makes every change written so far durable, not just the key's.
LONG Vk::Win32::RegFlushKey(HKEY hKey) {
  KeyId id = 0;
  REGSAM access = 0;
  LONG error = vk_posix::ResolveKey(hKey, &id, &access);
  if (error == ERROR_SUCCESS) error = vk_posix::registry_store::KeyExists(id);
  return error == ERROR_SUCCESS ? vk_posix::registry_store::Flush(id) : error;
}
