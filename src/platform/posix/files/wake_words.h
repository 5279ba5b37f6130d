// Wake-ups between processes that share nothing but a file.
//
// A process waiting for a lock that another process holds on a file sleeps
// on a futex, and the process that lets the lock go wakes it: one wake-up
// on the way from the release to the waiter, with the waiter's deadline as
// the futex's own timeout. The kernel knows a futex in a shared mapping of
// a file by the file and the offset, so the first word of each process's
// own read-only mapping of the file's first page is one futex for all of
// them. The layer never writes there, and the word's value does not
// matter. A sleeper names the byte it waits for as one of 32 bits and a
// waker wakes the bits of the bytes it let go, so a close wakes the writers
// waiting for what it held rather than the whole line.
#ifndef VK_PLATFORM_POSIX_WAKE_WORDS_H
#define VK_PLATFORM_POSIX_WAKE_WORDS_H

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

namespace vk_posix {

// The bit that sleepers for a byte's lock wait on and wakers wake.
uint32_t WakeBit(off_t byte);

// The wake word of the file behind a descriptor, for as long as the object
// lives; it outlives the descriptor if need be, and holds none of its
// locks. Not usable where the page cannot be mapped (no /proc, a file the
// caller may not read, an empty file, a file system without shared
// mappings): waiters then wait another way.
class FileWakeWord {
 public:
  // fd may be -1, for an object that is not usable.
  explicit FileWakeWord(int fd);
  ~FileWakeWord();
  FileWakeWord(const FileWakeWord&) = delete;
  FileWakeWord& operator=(const FileWakeWord&) = delete;

  bool usable() const { return m_word != nullptr; }

  // Sleeps until a waker wakes the bit of byte, or until untilNs
  // (CLOCK_MONOTONIC nanoseconds), or for no reason at all: the caller
  // looks at the lock again either way. False when the word failed (the
  // file was cut to nothing, say); the caller then waits another way.
  bool SleepFor(off_t byte, int64_t untilNs);

  // Wakes every sleeper whose bit is in bits, in any process.
  void Wake(uint32_t bits);

 private:
  int m_fd = -1;  // the mapping's own description; reads the word's value
  void* m_page = nullptr;
  size_t m_pageBytes = 0;
  uint32_t* m_word = nullptr;
};

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_WAKE_WORDS_H
