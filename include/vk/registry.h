// Vk::VkRegistry: one open registry key, its values, sub-keys and changes.
#ifndef VK_REGISTRY_H
#define VK_REGISTRY_H

#include <vk/platform.h>

namespace Vk {

class VkRegistry {
 public:
  // One sub-key, handed to a KeyEntryProc during EnumKeys.
  struct KeyEntry {
    DWORD dwIndex;
    const char* pszName;
    const char* pszClass;
    FILETIME ftLastWriteTime;
  };
  // One value, handed to a ValueEntryProc during EnumValues.
  struct ValueEntry {
    DWORD dwIndex;
    const char* pszName;
    const BYTE* pData;
    DWORD dwDataSize;
    DWORD dwType;
  };
  // Return true to go on, false to stop the walk.
  typedef bool (*KeyEntryProc)(const KeyEntry* entry, LONG_PTR userValue);
  typedef bool (*ValueEntryProc)(const ValueEntry* entry, LONG_PTR userValue);

  static constexpr REGSAM kFullAccess = KEY_ALL_ACCESS;

  VkRegistry();
  VkRegistry(HKEY parent, const char* path, bool create, REGSAM access);
  virtual ~VkRegistry();

  VkRegistry(const VkRegistry&) = delete;
  VkRegistry& operator=(const VkRegistry&) = delete;

  // Opening and closing.
  bool Open(HKEY parent, const char* path, bool create, REGSAM access);
  bool Create(HKEY parent, const char* path, REGSAM access);
  bool Open(VkRegistry* parent, const char* path, bool create);
  VkRegistry* OpenSubKey(const char* path, bool create);
  bool Connect(const char* machineName, HKEY rootKey);
  bool OpenRemote(const char* machineName, HKEY rootKey, const char* path, bool create, REGSAM access);
  bool Attach(HKEY key);
  bool Close();

  // State.
  bool IsOpen() const { return m_hKey != nullptr; }
  bool IsValid() const { return IsOpen(); }
  HKEY GetKey() const { return m_hKey; }
  operator HKEY() const { return m_hKey; }
  const char* GetPath() const { return m_pszPath; }
  LONG GetLastErrorCode() const { return m_lLastError; }
  bool IsRemote() const { return m_bRemote; }

  // Values of the held key.
  bool ReadDword(const char* name, DWORD* value);
  bool ReadLong(const char* name, long* value);  // rejects a null pointer before the open-key guard
  bool ReadInt(const char* name, int* value);
  bool ReadBool(const char* name, bool* value);
  bool ReadString(const char* name, char* buffer, DWORD* size);
  const char* ReadString(const char* name);
  bool WriteDword(const char* name, DWORD value);
  bool WriteString(const char* name, const char* text);
  bool WriteString(const char* name, const char* text, DWORD type);
  bool DeleteValue(const char* name);
  bool Flush();

  // Enumeration and key information.
  bool EnumKey(DWORD index, char* name, DWORD* nameLength, char* className = nullptr,
               DWORD* classLength = nullptr, FILETIME* lastWriteTime = nullptr);
  bool EnumValue(DWORD index, char* name, DWORD* nameLength, DWORD* type = nullptr, BYTE* data = nullptr,
                 DWORD* dataSize = nullptr);
  bool EnumKeys(KeyEntryProc proc, LONG_PTR userValue);
  bool EnumValues(ValueEntryProc proc, LONG_PTR userValue);
  bool QueryInfoKey(char* className, DWORD* classLength, DWORD* subKeys, DWORD* maxSubKeyLen,
                    DWORD* maxClassLen, DWORD* values, DWORD* maxValueNameLen, DWORD* maxValueLen,
                    DWORD* securityDescriptorSize, FILETIME* lastWriteTime);
  bool QueryInfo(DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values, DWORD* maxValueNameLen,
                 DWORD* maxValueLen, DWORD* maxClassLen, char* className, DWORD* classLength,
                 FILETIME* lastWriteTime, DWORD* securityDescriptorSize);
  DWORD GetSubKeyCount();
  bool HasSubKeys();
  DWORD GetMaxSubKeyLen();
  DWORD GetMaxClassLen();
  DWORD GetValueCount();
  DWORD GetMaxValueNameLen();
  DWORD GetMaxValueLen();

  // Deletion.
  bool DeleteSubKey(const char* path, bool onlyIfEmpty);
  bool DeleteKey(bool onlyIfEmpty);
  bool DeleteTree(HKEY root, const char* path);
  bool DeleteTreeByPath(HKEY root, const char* path, bool onlyIfEmpty);

  // Change notification. False, with the code in the last error, when no
  // key is held or the platform refuses the registration.
  bool NotifyChange(bool watchSubtree, DWORD filter, HANDLE event);
  bool NotifyChange(bool watchSubtree, DWORD filter);

 private:
  bool OpenKeyGuard();
  bool Succeeded() const { return m_lLastError == ERROR_SUCCESS; }
  bool ReadValue32(const char* name, DWORD* value);
  bool IsEmptyKey();

  HKEY m_hKey;
  char* m_pszPath;
  LONG m_lLastError;
  bool m_bRemote;
  char* m_pszValue;
};

}  // namespace Vk

#endif  // VK_REGISTRY_H
