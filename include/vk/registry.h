/// \file
/// Vk::VkRegistry: one open registry key, its values, sub-keys and changes.

#ifndef VK_REGISTRY_H
#define VK_REGISTRY_H

#include <vk/platform.h>

namespace Vk {

/// Wraps one open registry key: opens or creates it below a root key (such
/// as HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER) or another open key, reads and
/// writes its typed values, walks its sub-keys and values, deletes keys and
/// trees, and waits for changes. The destructor closes the key.
///
/// **Errors.** Every operation reports success as its result (true, a
/// pointer, a count) and keeps the Windows error code of its last step,
/// read with GetLastErrorCode(): 0 after a success. Besides the codes of the
/// registry calls (2 not found, 5 access denied, 234 more data, 259 no more
/// items), the wrapper sets its own: 1 (ERROR_INVALID_FUNCTION) when no key
/// is held, 13 (ERROR_INVALID_DATA) for a null or empty path or a null
/// pointer it needs, 1020 (ERROR_KEY_HAS_CHILDREN), 1630
/// (ERROR_UNSUPPORTED_TYPE) and 1804 (ERROR_INVALID_DATATYPE) when a value
/// has another type than the read expects, a missing value included.
/// GetLastError() is not the channel here.
///
/// **Blocking.** Each operation makes registry calls on the calling thread.
/// On Linux a write waits its turn behind other processes' writes, with a
/// deadline; a value read is answered from the process's cache while the
/// store is unchanged. NotifyChange() without an event blocks until the key
/// changes.
///
/// **Threads.** One object is for one thread at a time; separate objects
/// may be used on separate threads, also on the same key.
class VkRegistry {
 public:
  /// One sub-key, handed to a KeyEntryProc during EnumKeys(). The entry and
  /// its texts are valid only during the callback.
  struct KeyEntry {
    DWORD dwIndex;            ///< Enumeration index of the sub-key.
    const char* pszName;      ///< The sub-key's name.
    const char* pszClass;     ///< The sub-key's class name (usually empty).
    FILETIME ftLastWriteTime; ///< When the sub-key last changed.
  };
  /// One value, handed to a ValueEntryProc during EnumValues(). The entry and
  /// the data it points to are valid only during the callback.
  struct ValueEntry {
    DWORD dwIndex;     ///< Enumeration index of the value.
    const char* pszName; ///< The value's name; empty for the default (unnamed) value.
    const BYTE* pData; ///< The data as stored (a text includes its terminator).
    DWORD dwDataSize;  ///< Number of data bytes.
    DWORD dwType;      ///< REG_SZ, REG_DWORD, ...
  };
  /// Callback of EnumKeys(), with the caller's user value: true to go on,
  /// false to stop the walk.
  typedef bool (*KeyEntryProc)(const KeyEntry* entry, LONG_PTR userValue);
  /// Callback of EnumValues(), with the caller's user value: true to go on,
  /// false to stop the walk.
  typedef bool (*ValueEntryProc)(const ValueEntry* entry, LONG_PTR userValue);

  /// The access that OpenSubKey(), Open() from another wrapper and the
  /// deletions use: KEY_ALL_ACCESS.
  static constexpr REGSAM kFullAccess = KEY_ALL_ACCESS;

  /// A closed wrapper: no key, last error 0.
  VkRegistry();
  /// A wrapper that opens at once, as Open(); read the outcome with
  /// IsOpen() and GetLastErrorCode().
  VkRegistry(HKEY parent, const char* path, bool create, REGSAM access);
  /// Closes the key and frees the text of the last ReadString(name).
  virtual ~VkRegistry();

  VkRegistry(const VkRegistry&) = delete;
  VkRegistry& operator=(const VkRegistry&) = delete;

  /// \name Opening and closing
  //@{
  /// Opens (create false) or creates with its missing parents (create true)
  /// the key at the path below the parent, with the access mask (KEY_READ to
  /// read, KEY_ALL_ACCESS to change). Leading backslashes and one trailing
  /// backslash of the path are dropped. A held key is closed, unless it is
  /// the parent itself: then the sub-key replaces it. A null or empty path
  /// fails with 13 (a held parent stays held). On failure no key is held
  /// and the last error is the registry's code, such as 2 for a missing key
  /// or 5 for a write access the user lacks.
  bool Open(HKEY parent, const char* path, bool create, REGSAM access);
  /// Open() with create true.
  bool Create(HKEY parent, const char* path, REGSAM access);
  /// Open() below another wrapper's key with kFullAccess; false when that
  /// wrapper is null or closed. Both then hold handles of their own.
  bool Open(VkRegistry* parent, const char* path, bool create);
  /// A new wrapper on the heap, opened below this one's key with
  /// kFullAccess, or null (this object's last error tells why). The caller
  /// deletes it.
  VkRegistry* OpenSubKey(const char* path, bool create);
  /// Opens a root key (HKEY_LOCAL_MACHINE, HKEY_USERS) of a machine. On
  /// Linux only this machine's names are accepted (empty, `.`, `localhost`,
  /// the host name); another fails with ERROR_BAD_NETPATH (53).
  bool Connect(const char* machineName, HKEY rootKey);
  /// Connect(), then Open() below the machine's root key. An empty path
  /// fails with 13 and leaves the root key held.
  bool OpenRemote(const char* machineName, HKEY rootKey, const char* path, bool create, REGSAM access);
  /// Closes a held key and takes over the handle, which the wrapper then
  /// closes. Always true.
  bool Attach(HKEY key);
  /// Closes the key. False with 1 when none is held.
  bool Close();
  //@}

  /// \name State
  //@{
  /// Whether a key is held.
  bool IsOpen() const { return m_hKey != nullptr; }
  /// The same as IsOpen().
  bool IsValid() const { return IsOpen(); }
  /// The held key handle, null when none; it stays the wrapper's to close.
  HKEY GetKey() const { return m_hKey; }
  /// The same as GetKey(), for calling the registry functions directly.
  operator HKEY() const { return m_hKey; }
  /// The normalised path of the last successful open, relative to its
  /// parent; null after Attach(), Connect() or Close(). Valid until the next
  /// open or close.
  const char* GetPath() const { return m_pszPath; }
  /// The Windows error code of the last operation's last step; 0 after a success.
  LONG GetLastErrorCode() const { return m_lLastError; }
  /// Whether the key came from Connect() or OpenRemote().
  bool IsRemote() const { return m_bRemote; }
  //@}

  /// \name Values of the held key
  /// A null name addresses the key's default (unnamed) value. A read that
  /// fails leaves the caller's variable as it was, so its initial value acts
  /// as the default.
  //@{
  /// Reads a REG_DWORD. A value of another type, and a missing value too,
  /// fails with 1804 (ERROR_INVALID_DATATYPE), not 2.
  bool ReadDword(const char* name, DWORD* value);
  /// ReadDword() into a long, the 32 bits taken as signed. A null pointer
  /// fails with 13, even on a closed wrapper.
  bool ReadLong(const char* name, long* value);
  /// ReadDword() into an int, the 32 bits taken as signed.
  bool ReadInt(const char* name, int* value);
  /// Reads a REG_DWORD as a flag: only a stored 1 is true; 0, 2 or any other
  /// number reads as false with the result true. Fails as ReadDword() does;
  /// a null pointer fails with 13, even on a closed wrapper.
  bool ReadBool(const char* name, bool* value);
  /// Reads a REG_SZ or REG_EXPAND_SZ (not expanded) into the caller's
  /// buffer. *size is its capacity in bytes; afterwards the bytes stored,
  /// terminator included, or, with 234 (ERROR_MORE_DATA), the bytes needed.
  /// Adds no terminator of its own. Another type fails with 1804.
  bool ReadString(const char* name, char* buffer, DWORD* size);
  /// Reads a REG_SZ or REG_EXPAND_SZ and returns the text, or null (last
  /// error 2 for a missing value, 234 for a REG_DWORD, 0 for a non-text
  /// value of at most one byte). The text lives in a buffer of this object,
  /// always terminated, valid until the next call of this form on the
  /// object or the object's destruction (Close() keeps it).
  const char* ReadString(const char* name);
  /// Writes a REG_DWORD.
  bool WriteDword(const char* name, DWORD value);
  /// Writes a REG_SZ, its terminator included.
  bool WriteString(const char* name, const char* text);
  /// Writes a REG_SZ or REG_EXPAND_SZ; another type fails with 1630 and
  /// writes nothing. A null text fails with 13.
  bool WriteString(const char* name, const char* text, DWORD type);
  /// Deletes a value (2 when it is missing).
  bool DeleteValue(const char* name);
  /// Makes the key's changes durable (RegFlushKey); blocks until they are on disk.
  bool Flush();
  //@}

  /// \name Enumeration and key information
  //@{
  /// The name (and optionally class and last write time) of the sub-key at
  /// the index. *nameLength is the buffer's capacity in characters, then
  /// the length stored; 259 (ERROR_NO_MORE_ITEMS) past the last sub-key,
  /// 234 when a buffer is too small. A class buffer needs its length pointer (13).
  bool EnumKey(DWORD index, char* name, DWORD* nameLength, char* className = nullptr,
               DWORD* classLength = nullptr, FILETIME* lastWriteTime = nullptr);
  /// The name (and optionally type and data) of the value at the index,
  /// as EnumKey(). A data buffer needs its size pointer (13).
  bool EnumValue(DWORD index, char* name, DWORD* nameLength, DWORD* type = nullptr, BYTE* data = nullptr,
                 DWORD* dataSize = nullptr);
  /// Calls proc for each sub-key, in index order, on the calling thread,
  /// until it returns false. A sub-key whose name does not fit is skipped.
  /// True when the walk ended normally: last error 259 after the last
  /// sub-key, 0 when the callback stopped it. False on a closed wrapper (1),
  /// without a callback (13) or when an enumeration failed.
  bool EnumKeys(KeyEntryProc proc, LONG_PTR userValue);
  /// As EnumKeys() for the values; a value whose name or data does not fit
  /// ends the walk (false, 234).
  bool EnumValues(ValueEntryProc proc, LONG_PTR userValue);
  /// RegQueryInfoKeyA on the held key: each pointer may be null; a class
  /// buffer needs its length pointer. Lengths are in characters without the
  /// terminator, the data size in bytes.
  bool QueryInfoKey(char* className, DWORD* classLength, DWORD* subKeys, DWORD* maxSubKeyLen,
                    DWORD* maxClassLen, DWORD* values, DWORD* maxValueNameLen, DWORD* maxValueLen,
                    DWORD* securityDescriptorSize, FILETIME* lastWriteTime);
  /// QueryInfoKey() with its arguments in another order.
  bool QueryInfo(DWORD* subKeys, DWORD* maxSubKeyLen, DWORD* values, DWORD* maxValueNameLen,
                 DWORD* maxValueLen, DWORD* maxClassLen, char* className, DWORD* classLength,
                 FILETIME* lastWriteTime, DWORD* securityDescriptorSize);
  /// Number of sub-keys; 0 when the query fails (the last error tells).
  DWORD GetSubKeyCount();
  /// Whether the key has sub-keys; false when the query fails.
  bool HasSubKeys();
  /// Length of the longest sub-key name; 0 when the query fails.
  DWORD GetMaxSubKeyLen();
  /// Length of the longest class name; 0 when the query fails.
  DWORD GetMaxClassLen();
  /// Number of values; 0 when the query fails.
  DWORD GetValueCount();
  /// Length of the longest value name; 0 when the query fails.
  DWORD GetMaxValueNameLen();
  /// Size of the largest value's data in bytes; 0 when the query fails.
  DWORD GetMaxValueLen();
  //@}

  /// \name Deletion
  //@{
  /// Deletes a sub-key of the held key that has no sub-keys of its own
  /// (RegDeleteKeyA: 5 when it has some). With onlyIfEmpty, a sub-key with
  /// values or sub-keys fails with 1020 and one that cannot be opened with
  /// 1, not 2. A null path fails with 87.
  bool DeleteSubKey(const char* path, bool onlyIfEmpty);
  /// Deletes the held key itself and, on success, closes the wrapper. With
  /// onlyIfEmpty, a key with values or sub-keys fails with 1020.
  bool DeleteKey(bool onlyIfEmpty);
  /// Deletes the key at the path below root with everything below it,
  /// deepest keys first. The wrapper it is called on need not hold a key;
  /// it only receives the last error (2 for a missing path). What was
  /// deleted before a failure stays deleted.
  bool DeleteTree(HKEY root, const char* path);
  /// As DeleteTree(), opening each level from root by its full path; with
  /// onlyIfEmpty a key with values stops it (1020). A missing path fails with 1.
  bool DeleteTreeByPath(HKEY root, const char* path, bool onlyIfEmpty);
  //@}

  /// \name Change notification
  /// The filter is the registry's REG_NOTIFY_CHANGE_ mask
  /// (REG_NOTIFY_CHANGE_NAME for sub-keys added or deleted,
  /// REG_NOTIFY_CHANGE_LAST_SET for values). Each call reports one change:
  /// register again to hear of the next. False, with the code in the last
  /// error, when no key is held (1) or the registry refuses (87 for a filter
  /// of 0, 5 for a key opened without KEY_NOTIFY).
  //@{
  /// Returns at once; the event (CreateEventA) is signalled at the next
  /// change of the key (or below it with watchSubtree), when the key is
  /// deleted, or when the key is closed. On Linux a thread of the platform
  /// layer watches meanwhile.
  bool NotifyChange(bool watchSubtree, DWORD filter, HANDLE event);
  /// Blocks the calling thread until the key changes.
  bool NotifyChange(bool watchSubtree, DWORD filter);
  //@}

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
