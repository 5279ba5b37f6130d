// The registry store: keys and values in SQLite, shared by all processes.
#ifndef VK_PLATFORM_POSIX_REGISTRY_STORE_H
#define VK_PLATFORM_POSIX_REGISTRY_STORE_H

#include "kernel/win32.h"

#include <stdint.h>

#include <string>
#include <vector>

#include "machine/system_root.h"

namespace vk_posix {

// A key of either store (system_root.h): the store is part of the id.
using KeyId = int64_t;

struct KeyInfo {
  std::string className;
  DWORD subKeys = 0;
  DWORD maxSubKeyLen = 0;
  DWORD maxClassLen = 0;
  DWORD values = 0;
  DWORD maxValueNameLen = 0;
  DWORD maxValueLen = 0;  // texts as Windows counts them, in UTF-16, never less than their bytes here
  uint64_t lastWrite = 0;  // FILETIME ticks
};

// Every call runs on this process's connection to the key's store (writes
// as one transaction) and returns a Win32 error code: ERROR_KEY_DELETED when
// the key is gone, 2 for a missing sub-key or value, ERROR_ACCESS_DENIED for
// a write to a store this process may not write, ERROR_REGISTRY_IO_FAILED
// when the store fails.
//
// With the stores apart, HKEY_USERS lies in the machine store with .DEFAULT
// and the user's own key in the user store: a path from HKEY_USERS through
// the user's SID leads there, and listing HKEY_USERS shows both. Another
// user's SID is not found, as on Windows the key of a user who is not
// logged on; making one is refused with ERROR_ACCESS_DENIED.
namespace registry_store {

// A predefined key of a store: a root (one name) or a fixed path from a
// root, created when missing (and the store writable) and remembered by
// this process's connection.
LONG Predefined(Store store, const std::vector<std::string>& path, KeyId* id);
LONG OpenPath(KeyId parent, const std::vector<std::string>& path, KeyId* id);
// Makes the keys of the path that are missing, all or none:
// ERROR_INVALID_PARAMETER when one would lie more than 512 levels deep.
// Volatile keys last until the system restarts (registry_store.cpp);
// ERROR_CHILD_MUST_BE_VOLATILE when a key that is not would lie below one.
LONG CreatePath(KeyId parent, const std::vector<std::string>& path, const char* className, bool isVolatile,
                KeyId* id, bool* created);
LONG KeyExists(KeyId key);
// Whether this process may change the key's store: root and the machine
// store's group may change HKEY_LOCAL_MACHINE, everyone their own key.
bool MayWrite(KeyId key);
LONG QueryValue(KeyId key, const char* name, DWORD* type, std::string* data);
LONG SetValue(KeyId key, const char* name, DWORD type, const BYTE* data, DWORD size);
LONG DeleteValue(KeyId key, const char* name);
LONG EnumKey(KeyId key, DWORD index, std::string* name, std::string* className, uint64_t* lastWrite);
// The name alone, answered from this process's cache while the store is
// unchanged: only creating and deleting keys changes it.
LONG EnumKeyName(KeyId key, DWORD index, std::string* name);
LONG EnumValue(KeyId key, DWORD index, std::string* name, DWORD* type, std::string* data);
LONG QueryInfo(KeyId key, KeyInfo* info);
// Deletes a key without sub-keys (ERROR_ACCESS_DENIED when it has some).
// The roots, the keys right below them and the key of HKEY_CLASSES_ROOT
// are never deleted: ERROR_ACCESS_DENIED.
LONG DeleteKey(KeyId key);
// Deletes a key and its tree, all or nothing; refused as DeleteKey refuses.
LONG DeleteTree(KeyId key);
// Makes every change to the key's store durable; nothing to do for a store
// this process only reads.
LONG Flush(KeyId key);
// A mark that differs after every change the filter selects, of the key or,
// with subtree, of any key below it. ERROR_KEY_DELETED once the key is gone.
LONG ChangeMark(KeyId key, bool subtree, DWORD filter, std::vector<int64_t>* mark);
// The count of the key's store that every change moves, before it commits and
// after: while it stands still, no mark can change. False when this process
// cannot read it.
bool ChangeCount(KeyId key, uint64_t* count);

}  // namespace registry_store

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_REGISTRY_STORE_H
