#include "scoped_key.h"

#include "tool_error.h"

namespace vkdiag {

LONG ScopedKey::Open(const KeyPath& path, REGSAM access) {
  Close();
  return RegOpenKeyExA(path.root, path.subKey.empty() ? nullptr : path.subKey.c_str(), 0, access, &m_hKey);
}

LONG ScopedKey::Create(const KeyPath& path, REGSAM access) {
  Close();
  if (path.subKey.empty()) return Open(path, access);
  return RegCreateKeyExA(path.root, path.subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                         &m_hKey, nullptr);
}

void ScopedKey::Close() {
  if (m_hKey) RegCloseKey(m_hKey);
  m_hKey = nullptr;
}

void OpenOrThrow(ScopedKey& key, const KeyPath& path, REGSAM access) {
  LONG rc = key.Open(path, access);
  if (rc != ERROR_SUCCESS) throw SystemError("cannot open " + EscapeControls(path.FullName()), static_cast<DWORD>(rc));
}

}  // namespace vkdiag
