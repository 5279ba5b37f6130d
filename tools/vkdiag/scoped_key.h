// An open registry key that closes itself at the end of its block.
#ifndef VKDIAG_SCOPED_KEY_H
#define VKDIAG_SCOPED_KEY_H

#include "win32.h"

#include "key_path.h"

namespace vkdiag {

class ScopedKey {
 public:
  ScopedKey() = default;
  ~ScopedKey() { Close(); }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  // Win32 result codes; the key stays closed on failure.
  LONG Open(const KeyPath& path, REGSAM access);
  LONG Create(const KeyPath& path, REGSAM access);
  void Close();
  HKEY Get() const { return m_hKey; }

 private:
  HKEY m_hKey = nullptr;
};

// Opens or throws a SystemError naming the key.
void OpenOrThrow(ScopedKey& key, const KeyPath& path, REGSAM access);

}  // namespace vkdiag

#endif  // VKDIAG_SCOPED_KEY_H
