// The word is mapped through a description of the file's own, opened again
// through /proc: a mapping keeps its description alive, and a description
// keeps its locks, so a mapping through the caller's own descriptor would
// hold the caller's locks past its close. The word's value is read with
// pread(), never through the mapping: a load from a page the file no longer
// reaches (it was cut to nothing meanwhile) raises SIGBUS, while the
// kernel's own look at it fails with EFAULT.
// Any user who may read the file can wake its sleepers or take their
// wake-ups away; either way a sleeper looks at the lock again within its
// slice, and its deadline stands.
#include "files/wake_words.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/futex.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace vk_posix {

namespace {

long Futex(uint32_t* word, int operation, uint32_t value, const struct timespec* until, uint32_t bits) {
  return syscall(SYS_futex, word, operation, value, until, nullptr, bits);
}

// A second description of the regular, non-empty file behind fd, for
// reading, or -1.
int ReopenForReading(int fd) {
  struct stat wanted;
  if (fstat(fd, &wanted) != 0 || !S_ISREG(wanted.st_mode) || wanted.st_size == 0) return -1;
  char name[32];
  snprintf(name, sizeof name, "/proc/self/fd/%d", fd);
  int own;
  do own = open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  while (own < 0 && errno == EINTR);
  if (own < 0) return -1;
  struct stat got;
  if (fstat(own, &got) != 0 || !S_ISREG(got.st_mode) || got.st_dev != wanted.st_dev || got.st_ino != wanted.st_ino ||
      got.st_size == 0) {
    close(own);
    return -1;
  }
  return own;
}

}  // namespace

uint32_t WakeBit(off_t byte) { return uint32_t{1} << (static_cast<uint64_t>(byte) % 32); }

FileWakeWord::FileWakeWord(int fd) {
  if (fd < 0) return;
  int own = ReopenForReading(fd);
  if (own < 0) return;
  const long pageBytes = sysconf(_SC_PAGESIZE);
  void* page = pageBytes > 0 ? mmap(nullptr, static_cast<size_t>(pageBytes), PROT_READ, MAP_SHARED, own, 0) : MAP_FAILED;
  if (page == MAP_FAILED) {
    close(own);
    return;
  }
  m_fd = own;
  m_page = page;
  m_pageBytes = static_cast<size_t>(pageBytes);
  m_word = static_cast<uint32_t*>(page);
}

FileWakeWord::~FileWakeWord() {
  if (!m_word) return;
  munmap(m_page, m_pageBytes);
  close(m_fd);
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
