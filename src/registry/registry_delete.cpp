// Deleting sub-keys, the held key and whole trees; change notification.
#include <vk/registry.h>

#include <string.h>

#include <vector>

namespace Vk {

namespace {

constexpr DWORD kNameBufferSize = 260;
constexpr size_t kPathSlack = 10;

}  // namespace

// A null path fails as RegDeleteKeyA fails it: read as "", it would name
// the held key itself.
bool VkRegistry::DeleteSubKey(const char* path, bool onlyIfEmpty) {
  if (!OpenKeyGuard()) return false;
  if (!path) {
    m_lLastError = ERROR_INVALID_PARAMETER;
    return false;
  }
  if (onlyIfEmpty) {
    VkRegistry subKey(m_hKey, path, false, kFullAccess);
    if (!subKey.IsOpen()) {
      m_lLastError = ERROR_INVALID_FUNCTION;
      return false;
    }
    if (!subKey.IsEmptyKey()) {
      m_lLastError = subKey.GetLastErrorCode() == ERROR_SUCCESS ? ERROR_KEY_HAS_CHILDREN : subKey.GetLastErrorCode();
      return false;
    }
  }
  m_lLastError = RegDeleteKeyA(m_hKey, path);
  return Succeeded();
}

// Whether the held key has neither values nor sub-keys. A failing query
// counts as not empty, with its code in the last error.
bool VkRegistry::IsEmptyKey() {
  DWORD subKeys = 0;
  DWORD values = 0;
  if (!QueryInfo(&subKeys, nullptr, &values, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
    return false;
  return subKeys == 0 && values == 0;
}

// With onlyIfEmpty, the held key's own values and sub-keys are counted.
bool VkRegistry::DeleteKey(bool onlyIfEmpty) {
  if (!OpenKeyGuard()) return false;
  if (onlyIfEmpty && !IsEmptyKey()) {
    if (m_lLastError == ERROR_SUCCESS) m_lLastError = ERROR_KEY_HAS_CHILDREN;
    return false;
  }
  if (DeleteSubKey("", false)) Close();
  return Succeeded();
}

bool VkRegistry::DeleteTree(HKEY root, const char* path) {
  VkRegistry key(root, path, false, kFullAccess);
  if (!key.IsOpen()) {
    m_lLastError = key.GetLastErrorCode();
    return false;
  }
  char name[kNameBufferSize] = {};
  DWORD length = kNameBufferSize;
  // Index 0 every time: each deletion moves the next sub-key there.
  while (key.EnumKey(0, name, &length)) {
    VkRegistry level;
    if (!level.DeleteTree(key.GetKey(), name)) {
      m_lLastError = level.GetLastErrorCode();
      return false;
    }
    length = kNameBufferSize;
    memset(name, 0, sizeof name);
  }
  if (key.GetLastErrorCode() != ERROR_NO_MORE_ITEMS) {
    m_lLastError = key.GetLastErrorCode();
    return false;
  }
  if (!key.DeleteKey(false)) {
    m_lLastError = key.GetLastErrorCode();
    return false;
  }
  m_lLastError = ERROR_SUCCESS;
  return true;
}

// Each level is opened from the root by its full path. A sub-key that
// cannot be deleted ends the operation with the code that stopped it.
bool VkRegistry::DeleteTreeByPath(HKEY root, const char* path, bool onlyIfEmpty) {
  VkRegistry key(root, path, false, kFullAccess);
  size_t pathLength = path ? strlen(path) : 0;
  std::vector<char> fullPath(key.GetMaxSubKeyLen() + kPathSlack + pathLength + kPathSlack);
  char name[kNameBufferSize] = {};
  DWORD length = kNameBufferSize;
  while (key.EnumKey(0, name, &length)) {
    fullPath[0] = '\0';
    strncat(fullPath.data(), path, fullPath.size() - 1);
    size_t used = strlen(fullPath.data());
    if (used == 0 || fullPath[used - 1] != '\\') strncat(fullPath.data(), "\\", fullPath.size() - 1 - used);
    strncat(fullPath.data(), name, fullPath.size() - 1 - strlen(fullPath.data()));
    VkRegistry level;
    if (!level.DeleteTreeByPath(root, fullPath.data(), onlyIfEmpty)) {
      m_lLastError = level.GetLastErrorCode();
      return false;
    }
    name[0] = '\0';
    length = kNameBufferSize;
  }
  bool deleted = key.DeleteKey(onlyIfEmpty);
  m_lLastError = key.GetLastErrorCode();
  return deleted;
}

bool VkRegistry::NotifyChange(bool watchSubtree, DWORD filter, HANDLE event) {
  if (!OpenKeyGuard()) return false;
  m_lLastError = RegNotifyChangeKeyValue(m_hKey, watchSubtree, filter, event, TRUE);
  return Succeeded();
}

bool VkRegistry::NotifyChange(bool watchSubtree, DWORD filter) {
  if (!OpenKeyGuard()) return false;
  m_lLastError = RegNotifyChangeKeyValue(m_hKey, watchSubtree, filter, nullptr, FALSE);
  return Succeeded();
}

}  // namespace Vk
