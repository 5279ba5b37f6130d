// Wake-ups between processes that share nothing but a file.
//
// A process waiting for a lock that another process holds on a file sleeps
// on a futex, and the process that lets the lock go wakes it: one wake-up
// on the way from the release to the waiter, with the waiter's deadline as
// the futex's own timeout. The kernel knows a futex in a shared mapping of
// a file by the file and the offset, so each word of each process's own
// read-only mapping of the file's first page is one futex for all of them.
// The layer never writes there, and the words' values do not matter. A
// sleeper waits for the byte it wants as one bit of one word, and a waker
// wakes the bits of the bytes it let go, so a close wakes the writers
// waiting for what it held rather than the whole line. The words are the
// first 1024 of the page whatever its size, so that every process agrees on
// them. The bytes at the top of the file's range (the share markers) share
// the first word; every other byte (a place in line, whose value is a time
// in microseconds) sleeps on one of the 1023 × 32 bits of the others, so
// places less than 32 ms apart never share one and writers in line are not
// woken for one another's places.
#ifndef VK_PLATFORM_POSIX_WAKE_WORDS_H
#define VK_PLATFORM_POSIX_WAKE_WORDS_H

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

namespace vk_posix {

// The bytes a close or a release lets go, to be woken together.
struct WakeBytes {
  static constexpr size_t kMost = 8;
  off_t bytes[kMost] = {};
  size_t count = 0;
  void Add(off_t byte) {
    if (count < kMost) bytes[count++] = byte;
  }
  bool empty() const { return count == 0; }
};

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

  // Sleeps until a waker wakes byte, or until untilNs
  // (CLOCK_MONOTONIC nanoseconds), or for no reason at all: the caller
  // looks at the lock again either way. False when the word failed (the
  // file was cut to nothing, say, or a writer keeps a value in the page
  // that the futex never sleeps on); the caller then waits another way.
  bool SleepFor(off_t byte, int64_t untilNs);

  // Wakes every sleeper for any of the bytes, in any process: one call for
  // each word they lie on. True when it woke someone.
  bool Wake(const WakeBytes& bytes);
  bool Wake(off_t byte);

 private:
  int m_fd = -1;  // the mapping's own description; reads the words' values
  void* m_page = nullptr;
  size_t m_pageBytes = 0;
  uint32_t* m_word = nullptr;  // the first
  int m_refusedSleeps = 0;     // in a row: the futex found another value
};

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_WAKE_WORDS_H
