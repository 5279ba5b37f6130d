// The word's value is read with pread(), never through the mapping: a load
// from a page the file no longer reaches (it was cut to nothing meanwhile)
// raises SIGBUS, while the kernel's own look at it fails with EFAULT.
// Any user who may read the file can wake its sleepers, which costs them
// one more look at the lock and nothing else.
#include "files/wake_words.h"

#include <errno.h>
#include <limits.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace vk_posix {

namespace {

constexpr size_t kPageBytes = 4096;  // what is mapped; the word is its first four bytes

long Futex(uint32_t* word, int operation, uint32_t value, const struct timespec* until, uint32_t bits) {
  return syscall(SYS_futex, word, operation, value, until, nullptr, bits);
}

}  // namespace

uint32_t WakeBit(off_t byte) { return uint32_t{1} << (static_cast<uint64_t>(byte) % 32); }

FileWakeWord::FileWakeWord(int fd) {
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) return;
  void* page = mmap(nullptr, kPageBytes, PROT_READ, MAP_SHARED, fd, 0);
  if (page == MAP_FAILED) return;
  m_fd = fd;
  m_page = page;
  m_word = static_cast<uint32_t*>(page);
}

FileWakeWord::~FileWakeWord() {
  if (m_page) munmap(m_page, kPageBytes);
}

bool FileWakeWord::SleepFor(off_t byte, int64_t untilNs) {
  uint32_t value;
  ssize_t got;
  do got = pread(m_fd, &value, sizeof value, 0);
  while (got < 0 && errno == EINTR);
  if (got != static_cast<ssize_t>(sizeof value)) return false;
  // An absolute time on CLOCK_MONOTONIC, the clock of the deadlines.
  const struct timespec until = {static_cast<time_t>(untilNs / 1000000000), static_cast<long>(untilNs % 1000000000)};
  if (Futex(m_word, FUTEX_WAIT_BITSET, value, &until, WakeBit(byte)) == 0) return true;
  // Woken, timed out, interrupted, or the value changed before the sleep.
  return errno == ETIMEDOUT || errno == EINTR || errno == EAGAIN;
}

void FileWakeWord::Wake(uint32_t bits) {
  if (m_word && bits != 0) Futex(m_word, FUTEX_WAKE_BITSET, INT_MAX, nullptr, bits);
}

}  // namespace vk_posix
