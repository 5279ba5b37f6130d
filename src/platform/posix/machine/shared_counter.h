// A 64-bit counter in a small file of a store, mapped into every process
// that uses it, so reading or bumping it is a memory access; and a lock on
// that file that one process at a time holds. A process that may not write
// the store maps it for reading only: it follows the count, never moves it.
#ifndef VK_PLATFORM_POSIX_MACHINE_SHARED_COUNTER_H
#define VK_PLATFORM_POSIX_MACHINE_SHARED_COUNTER_H

#include "kernel/win32.h"

#include <stdint.h>

#include "machine/system_root.h"

namespace vk_posix {

class SharedCounter {
 public:
  // Maps the named file of the store, creating it when missing and this
  // process may write the store. The mapping and the descriptor last as
  // long as the process (a forked child shares the mapping and makes its
  // own counter for locking).
  SharedCounter(const char* fileName, Store store);
  SharedCounter(const SharedCounter&) = delete;
  SharedCounter& operator=(const SharedCounter&) = delete;

  // All false when the file could not be mapped; Increment and the locks
  // also when it is mapped for reading only.
  bool Read(uint64_t* value) const;
  bool Increment();
  // Why the file could not be mapped (ERROR_DISK_FULL, ERROR_ACCESS_DENIED
  // for a planted link or foreign file, ...); ERROR_SUCCESS when it was.
  DWORD Error() const { return m_error; }

  // The lock is a POSIX record lock: it belongs to the process, so it is
  // released when the process dies, however it dies, and a forked child
  // does not inherit it. It does not exclude threads of one process from
  // each other; callers serialise those. Lock waits for another process
  // that holds it; TryLock does not.
  bool Lock();
  bool TryLock();
  void Unlock();

 private:
  bool SetLock(short type, bool wait);

  int m_fd = -1;
  uint64_t* m_value = nullptr;
  bool m_writable = false;
  DWORD m_error = ERROR_SUCCESS;
};

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_MACHINE_SHARED_COUNTER_H
