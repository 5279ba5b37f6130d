// Enumeration of sub-keys and values, and key information.
#include <vk/registry.h>

#include <string.h>

#include <vector>

namespace Vk {

namespace {

constexpr DWORD kFallbackLength = 1000;  // when the key information cannot be had
constexpr DWORD kBufferSlack = 10;

}  // namespace

bool VkRegistry::EnumKey(DWORD index, char* name, DWORD* nameLength, char* className, DWORD* classLength,
                         FILETIME* lastWriteTime) {
  if (!OpenKeyGuard()) return false;
  if (!name || !nameLength || (className && !classLength)) {
    m_lLastError = ERROR_INVALID_DATA;
    return false;
  }
  FILETIME ownTime = {0, 0};
  m_lLastError = RegEnumKeyExA(m_hKey, index, name, nameLength, nullptr, className, classLength,
                               lastWriteTime ? lastWriteTime : &ownTime);
  return Succeeded();
}

bool VkRegistry::EnumValue(DWORD index, char* name, DWORD* nameLength, DWORD* type, BYTE* data, DWORD* dataSize) {
  if (!OpenKeyGuard()) return false;
  if (!name || !nameLength || (data && !dataSize)) {
    m_lLastError = ERROR_INVALID_DATA;
    return false;
  }
  m_lLastError = RegEnumValueA(m_hKey, index, name, nameLength, nullptr, type, data, dataSize);
  return Succeeded();
}

// True when the walk ended normally: no more sub-keys (last error 259) or
// the callback stopped it (0). False when no key is held or an enumeration
// failed. A sub-key whose name or class does not fit is skipped. A failed
// key information query leaves its code in the last error, which ends the
// walk before the first entry unless it is ERROR_MORE_DATA. Without a
// callback there is no walk: false with ERROR_INVALID_DATA.
bool VkRegistry::EnumKeys(KeyEntryProc proc, LONG_PTR userValue) {
  if (!OpenKeyGuard()) return false;
  if (!proc) {
    m_lLastError = ERROR_INVALID_DATA;
    return false;
  }
  DWORD maxName = 0;
  DWORD maxClass = 0;
  if (!QueryInfo(nullptr, &maxName, nullptr, nullptr, nullptr, &maxClass, nullptr, nullptr, nullptr, nullptr)) {
    maxName = maxClass = kFallbackLength;
  }
  std::vector<char> name(maxName + kBufferSlack);
  std::vector<char> className(maxClass + kBufferSlack);
  bool stopped = false;
  for (DWORD index = 0; !stopped && (m_lLastError == ERROR_SUCCESS || m_lLastError == ERROR_MORE_DATA); ++index) {
    KeyEntry entry = {};
    entry.dwIndex = index;
    std::fill(name.begin(), name.end(), '\0');
    std::fill(className.begin(), className.end(), '\0');
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD classLength = static_cast<DWORD>(className.size());
    if (EnumKey(index, name.data(), &nameLength, className.data(), &classLength, &entry.ftLastWriteTime)) {
      entry.pszName = name.data();
      entry.pszClass = className.data();
      stopped = !proc(&entry, userValue);
    }
  }
  return m_lLastError == ERROR_SUCCESS || m_lLastError == ERROR_NO_MORE_ITEMS;
}

// As EnumKeys, but a value whose name or data does not fit ends the walk.
bool VkRegistry::EnumValues(ValueEntryProc proc, LONG_PTR userValue) {
  if (!OpenKeyGuard()) return false;
  if (!proc) {
    m_lLastError = ERROR_INVALID_DATA;
    return false;
  }
  DWORD maxName = 0;
  DWORD maxData = 0;
  if (!QueryInfo(nullptr, nullptr, nullptr, &maxName, &maxData, nullptr, nullptr, nullptr, nullptr, nullptr)) {
    maxName = maxData = kFallbackLength;
  }
  std::vector<char> name(maxName + kBufferSlack);
  std::vector<BYTE> data(maxData + kBufferSlack);
  bool stopped = false;
  for (DWORD index = 0; !stopped && m_lLastError == ERROR_SUCCESS; ++index) {
    ValueEntry entry = {};
    entry.dwIndex = index;
    std::fill(name.begin(), name.end(), '\0');
    std::fill(data.begin(), data.end(), BYTE{0});
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    if (EnumValue(index, name.data(), &nameLength, &entry.dwType, data.data(), &dataSize)) {
      entry.pszName = name.data();
      entry.pData = data.data();
      entry.dwDataSize = dataSize;
      stopped = !proc(&entry, userValue);
    }
  }
  return m_lLastError == ERROR_SUCCESS || m_lLastError == ERROR_NO_MORE_ITEMS;
}

bool VkRegistry::QueryInfoKey(char* className, DWORD* classLength, DWORD* subKeys, DWORD* maxSubKeyLen,
                              DWORD* maxClassLen, DWORD* values, DWORD* maxValueNameLen, DWORD* maxValueLen,
                              DWORD* securityDescriptorSize, FILETIME* lastWriteTime) {
  if (!OpenKeyGuard()) return false;
  if (className && !classLength) {
    m_lLastError = ERROR_INVALID_DATA;
    return false;
  }
  m_lLastError = RegQueryInfoKeyA(m_hKey, className, classLength, nullptr, subKeys, maxSubKeyLen, maxClassLen, values,
                                  maxValueNameLen, maxValueLen, securityDescriptorSize, lastWriteTime);
  return Succeeded();
}

bool VkRegistry::QueryInfo(DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values, DWORD* maxValueNameLen,
                           DWORD* maxValueLen, DWORD* maxClassLen, char* className, DWORD* classLength,
                           FILETIME* lastWriteTime, DWORD* securityDescriptorSize) {
  return QueryInfoKey(className, classLength, subKeys, maxSubKeyLen, maxClassLen, values, maxValueNameLen,
                      maxValueLen, securityDescriptorSize, lastWriteTime);
}

DWORD VkRegistry::GetSubKeyCount() {
  DWORD count = 0;
  return QueryInfo(&count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) ? count : 0;
}

bool VkRegistry::HasSubKeys() { return GetSubKeyCount() > 0; }

DWORD VkRegistry::GetMaxSubKeyLen() {
  DWORD length = 0;
  return QueryInfo(nullptr, &length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) ? length : 0;
}

DWORD VkRegistry::GetMaxClassLen() {
  DWORD length = 0;
  return QueryInfo(nullptr, nullptr, nullptr, nullptr, nullptr, &length, nullptr, nullptr, nullptr, nullptr) ? length : 0;
}

DWORD VkRegistry::GetValueCount() {
  DWORD count = 0;
  return QueryInfo(nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) ? count : 0;
}

DWORD VkRegistry::GetMaxValueNameLen() {
  DWORD length = 0;
  return QueryInfo(nullptr, nullptr, nullptr, &length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) ? length : 0;
}

DWORD VkRegistry::GetMaxValueLen() {
  DWORD size = 0;
  return QueryInfo(nullptr, nullptr, nullptr, nullptr, &size, nullptr, nullptr, nullptr, nullptr, nullptr) ? size : 0;
}

}  // namespace Vk
