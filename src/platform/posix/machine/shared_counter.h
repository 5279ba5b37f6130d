// A 64-bit counter in a small file of a store, and a lock on that file
// that one process at a time holds.
//
// In a store of one user (a private store, or $VK_SYSTEM_ROOT's) the file
// is mapped into every process that uses it, so reading or bumping it is a
// memory access. In the shared machine store, whose live files the group's
// members may write and so truncate, it is read and written with pread and
// pwrite, which a truncated file cannot turn into SIGBUS; a process that
// may not write that store never opens it (it reads a published copy,
// sqlite_database.h).
#ifndef VK_PLATFORM_POSIX_MACHINE_SHARED_COUNTER_H
#define VK_PLATFORM_POSIX_MACHINE_SHARED_COUNTER_H

#include "kernel/win32.h"

#include <stdint.h>

#include "machine/system_root.h"

namespace vk_posix {

class SharedCounter {
 public:
  // The named file of the store, made when missing where this process may
  // make it. The descriptor lasts as long as the process (a forked child
  // shares it and makes its own counter for locking).
  SharedCounter(const char* fileName, Store store);
  SharedCounter(const SharedCounter&) = delete;
  SharedCounter& operator=(const SharedCounter&) = delete;

  // All false when the file could not be had. An even count means no write
  // is under way.
  bool Read(uint64_t* value) const;
  bool Increment();
  // Why the file could not be had (ERROR_DISK_FULL, ERROR_ACCESS_DENIED for
  // a planted link or foreign file, ...); ERROR_SUCCESS when it was.
  DWORD Error() const { return m_error; }

  // The lock is a POSIX record lock: it belongs to the process, so it is
  // released when the process dies, however it dies, and a forked child
  // does not inherit it. It does not exclude threads of one process from
  // each other; callers serialise those. Lock waits for another process
  // that holds it, for kLockDeadlineMs at most (false then); TryLock does
  // not wait.
  static constexpr DWORD kLockDeadlineMs = 10000;
  bool Lock();
  bool TryLock();
  void Unlock();

 private:
  enum class Kind { kNone, kMapped, kLive };
  bool SetLock(short type);

  Kind m_kind = Kind::kNone;
  int m_fd = -1;
  uint64_t* m_value = nullptr;  // kMapped
  DWORD m_error = ERROR_SUCCESS;
};

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_MACHINE_SHARED_COUNTER_H
