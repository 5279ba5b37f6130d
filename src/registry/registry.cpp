// Opening, closing and the values of one registry key.
#include <vk/registry.h>

#include <string.h>

namespace Vk {

namespace {

constexpr size_t kPathSlack = 10;   // a stored path's buffer: its length plus this
constexpr DWORD kValueSlack = 10;   // a string value's buffer: its size plus this

char* CopyToHeap(const char* text, size_t length) {
  char* copy = new char[length + kPathSlack];
  memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

}  // namespace

VkRegistry::VkRegistry() : m_hKey(nullptr), m_pszPath(nullptr), m_lLastError(ERROR_SUCCESS), m_bRemote(false), m_pszValue(nullptr) {}

VkRegistry::VkRegistry(HKEY parent, const char* path, bool create, REGSAM access) : VkRegistry() {
  Open(parent, path, create, access);
}

VkRegistry::~VkRegistry() {
  Close();
  delete[] m_pszValue;
}

bool VkRegistry::OpenKeyGuard() {
  m_lLastError = ERROR_SUCCESS;
  if (m_hKey) return true;
  m_lLastError = ERROR_INVALID_FUNCTION;
  return false;
}

bool VkRegistry::Open(HKEY parent, const char* path, bool create, REGSAM access) {
  if (parent != m_hKey) Close();
  HKEY previous = m_hKey;
  if (!path || !*path) {
    m_lLastError = ERROR_INVALID_DATA;
    return false;
  }
  // Leading backslashes go; of trailing ones, exactly one.
  while (*path == '\\') ++path;
  size_t length = strlen(path);
  if (length > 0 && path[length - 1] == '\\') --length;
  char* normalised = CopyToHeap(path, length);

  HKEY opened = nullptr;
  if (create)
    m_lLastError = RegCreateKeyExA(parent, normalised, 0, const_cast<char*>(""), REG_OPTION_NON_VOLATILE, access,
                                   nullptr, &opened, nullptr);
  else
    m_lLastError = RegOpenKeyExA(parent, normalised, 0, access, &opened);
  if (previous) RegCloseKey(previous);
  m_hKey = nullptr;
  if (m_lLastError == ERROR_SUCCESS && opened) {
    m_hKey = opened;
    delete[] m_pszPath;
    m_pszPath = normalised;
    return true;
  }
  delete[] normalised;
  delete[] m_pszPath;
  m_pszPath = nullptr;
  m_bRemote = false;
  return false;
}

bool VkRegistry::Create(HKEY parent, const char* path, REGSAM access) { return Open(parent, path, true, access); }

bool VkRegistry::Open(VkRegistry* parent, const char* path, bool create) {
  Close();
  if (!parent || !parent->IsOpen()) return false;
  return Open(parent->GetKey(), path, create, kFullAccess);
}

VkRegistry* VkRegistry::OpenSubKey(const char* path, bool create) {
  if (!OpenKeyGuard()) return nullptr;
  VkRegistry* child = new VkRegistry(m_hKey, path, create, kFullAccess);
  if (child->IsOpen()) return child;
  m_lLastError = child->GetLastErrorCode() != ERROR_SUCCESS ? child->GetLastErrorCode() : ERROR_INVALID_FUNCTION;
  delete child;
  return nullptr;
}

bool VkRegistry::Connect(const char* machineName, HKEY rootKey) {
  Close();
  if (!machineName) return false;
  size_t length = strlen(machineName);
  char* name = new char[length + kPathSlack];
  if (machineName[0] == '\\' && machineName[1] == '\\')
    strcpy(name, machineName);
  else if (machineName[0] == '\\')
    strcpy(name, "\\"), strcat(name, machineName);
  else
    strcpy(name, "\\\\"), strcat(name, machineName);
  HKEY root = nullptr;
  m_lLastError = RegConnectRegistryA(name, rootKey, &root);
  delete[] name;
  if (m_lLastError != ERROR_SUCCESS) return false;
  m_hKey = root;
  m_bRemote = true;
  return true;
}

bool VkRegistry::OpenRemote(const char* machineName, HKEY rootKey, const char* path, bool create, REGSAM access) {
  Close();
  if (!Connect(machineName, rootKey)) return false;
  bool remote = m_bRemote;
  bool opened = Open(m_hKey, path, create, access);
  if (opened) m_bRemote = remote;
  return opened;
}

bool VkRegistry::Attach(HKEY key) {
  Close();
  if (key) m_hKey = key;
  return true;
}

bool VkRegistry::Close() {
  if (!OpenKeyGuard()) return false;
  m_lLastError = RegCloseKey(m_hKey);
  m_hKey = nullptr;
  m_bRemote = false;
  delete[] m_pszPath;
  m_pszPath = nullptr;
  return Succeeded();
}

bool VkRegistry::ReadValue32(const char* name, DWORD* value) {
  if (!OpenKeyGuard()) return false;
  if (!value) {
    m_lLastError = ERROR_INVALID_DATA;
    return false;
  }
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof data;
  m_lLastError = RegQueryValueExA(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  if (type != REG_DWORD) m_lLastError = ERROR_INVALID_DATATYPE;
  if (!Succeeded()) return false;
  *value = data;
  return true;
}

bool VkRegistry::ReadDword(const char* name, DWORD* value) { return ReadValue32(name, value); }

bool VkRegistry::ReadLong(const char* name, long* value) {
  if (!value) {
    m_lLastError = ERROR_INVALID_DATA;
    return false;
  }
  DWORD data = static_cast<DWORD>(*value);
  if (!ReadValue32(name, &data)) return false;
  *value = static_cast<long>(static_cast<LONG>(data));
  return true;
}

// The guard comes first here; ReadValue32 then rejects the null pointer.
bool VkRegistry::ReadInt(const char* name, int* value) {
  DWORD data = value ? static_cast<DWORD>(*value) : 0;
  if (!ReadValue32(name, value ? &data : nullptr)) return false;
  *value = static_cast<int>(data);
  return true;
}

bool VkRegistry::ReadBool(const char* name, bool* value) {
  if (!value) {
    m_lLastError = ERROR_INVALID_DATA;
    return false;
  }
  DWORD data = *value ? 1 : 0;
  if (!ReadValue32(name, &data)) return false;
  *value = data == 1;
  return true;
}

bool VkRegistry::ReadString(const char* name, char* buffer, DWORD* size) {
  if (!OpenKeyGuard()) return false;
  if (!buffer || !size) {
    m_lLastError = ERROR_INVALID_DATA;
    return false;
  }
  DWORD type = 0;
  m_lLastError = RegQueryValueExA(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), size);
  if (!IsTextType(type)) m_lLastError = ERROR_INVALID_DATATYPE;
  return Succeeded();
}

// The text lives in this object's own buffer, always terminated, until the
// next call of this form or the object's end: no buffer is shared between
// objects or threads, and a stored empty text reads as "".
const char* VkRegistry::ReadString(const char* name) {
  if (!OpenKeyGuard()) return nullptr;
  delete[] m_pszValue;
  m_pszValue = nullptr;
  DWORD type = 0;
  char probe[1] = {'\0'};
  DWORD size = sizeof probe;
  m_lLastError = RegQueryValueExA(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(probe), &size);
  if (!IsTextType(type)) return nullptr;
  if (m_lLastError != ERROR_MORE_DATA) {
    // At most one byte is stored: the empty text, or one character stored
    // without a terminator.
    m_pszValue = new char[kValueSlack]();
    if (size == 1) m_pszValue[0] = probe[0];
    return m_pszValue;
  }
  DWORD capacity = size + kValueSlack;
  m_pszValue = new char[capacity]();
  size = capacity - 1;  // the last byte stays the terminator
  m_lLastError = RegQueryValueExA(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(m_pszValue), &size);
  if (m_lLastError != ERROR_SUCCESS) m_pszValue[0] = '\0';
  return m_pszValue;
}

bool VkRegistry::WriteDword(const char* name, DWORD value) {
  if (!OpenKeyGuard()) return false;
  m_lLastError = RegSetValueExA(m_hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  return Succeeded();
}

bool VkRegistry::WriteString(const char* name, const char* text) { return WriteString(name, text, REG_SZ); }

bool VkRegistry::WriteString(const char* name, const char* text, DWORD type) {
  if (!OpenKeyGuard()) return false;
  if (!text) {
    m_lLastError = ERROR_INVALID_DATA;
    return false;
  }
  if (!IsTextType(type)) {
    m_lLastError = ERROR_UNSUPPORTED_TYPE;
    return false;
  }
  m_lLastError = RegSetValueExA(m_hKey, name, 0, type, reinterpret_cast<const BYTE*>(text),
                                static_cast<DWORD>(strlen(text) + 1));
  return Succeeded();
}

bool VkRegistry::DeleteValue(const char* name) {
  if (!OpenKeyGuard()) return false;
  m_lLastError = RegDeleteValueA(m_hKey, name);
  return Succeeded();
}

bool VkRegistry::Flush() {
  if (!OpenKeyGuard()) return false;
  m_lLastError = RegFlushKey(m_hKey);
  return Succeeded();
}

}  // namespace Vk
