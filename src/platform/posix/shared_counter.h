// A 64-bit counter in a small file under $VK_SYSTEM_ROOT, mapped into every
// process that uses it, so reading or bumping it is a memory access.
#ifndef VK_PLATFORM_POSIX_SHARED_COUNTER_H
#define VK_PLATFORM_POSIX_SHARED_COUNTER_H

#include <vk/platform.h>

#include <stdint.h>

namespace vk_posix {

class SharedCounter {
 public:
  // Maps the named file, creating it when missing. The mapping lasts as
  // long as the process (a forked child shares it).
  explicit SharedCounter(const char* fileName);
  SharedCounter(const SharedCounter&) = delete;
  SharedCounter& operator=(const SharedCounter&) = delete;

  // Both false when the file could not be mapped.
  bool Read(uint64_t* value) const;
  bool Increment();
  // Why the file could not be mapped (ERROR_DISK_FULL, ERROR_ACCESS_DENIED
  // for a planted link or foreign file, ...); ERROR_SUCCESS when it was.
  DWORD Error() const { return m_error; }

 private:
  uint64_t* m_value = nullptr;
  DWORD m_error = ERROR_SUCCESS;
};

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_SHARED_COUNTER_H
