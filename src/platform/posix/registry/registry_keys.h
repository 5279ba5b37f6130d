// Open registry keys behind HKEY handles.
#ifndef VK_PLATFORM_POSIX_REGISTRY_KEYS_H
#define VK_PLATFORM_POSIX_REGISTRY_KEYS_H

#include <atomic>

#include "kernel/handles.h"
#include "registry/registry_store.h"

namespace vk_posix {

class KeyObject : public KernelObject {
 public:
  KeyObject(KeyId id, REGSAM access) : m_id(id), m_access(access) {}
  KeyId id() const { return m_id; }
  REGSAM access() const { return m_access; }
  // Watchers of a closed key end (as RegCloseKey signals on Windows).
  bool closed() const { return m_closed; }
  void MarkClosed() { m_closed = true; }

 private:
  const KeyId m_id;
  const REGSAM m_access;
  std::atomic<bool> m_closed{false};
};

// The key behind an HKEY: an open handle or a predefined root (full
// access). ERROR_INVALID_HANDLE for anything else.
LONG ResolveKey(HKEY handle, KeyId* id, REGSAM* access);
// The open key object, for watchers that must notice its closing; null for
// predefined roots.
std::shared_ptr<KeyObject> OpenKeyObject(HKEY handle);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_REGISTRY_KEYS_H
