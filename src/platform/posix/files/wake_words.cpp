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

// Where the bytes at the top of the range begin, which share the first word.
constexpr uint64_t kTopBytes = uint64_t{INT64_MAX} - 1023;
// The words used, in the smallest page Linux has.
constexpr size_t kWords = 1024;
// A futex that twice in a row refuses to sleep because its word holds
// another value than the file reads there has a value kept past the file's
// end by a writer's mapping: it would never sleep.
constexpr int kMostRefusedSleeps = 2;

// The word (index into the page) and the bit a sleeper for byte uses.
size_t WordOf(off_t byte) {
  const uint64_t value = static_cast<uint64_t>(byte);
  return value >= kTopBytes ? 0 : 1 + (value / 32) % (kWords - 1);
}
uint32_t BitOf(off_t byte) { return uint32_t{1} << (static_cast<uint64_t>(byte) % 32); }

}  // namespace

FileWakeWord::FileWakeWord(int fd) {
  if (fd < 0) return;
  int own = ReopenForReading(fd);
  if (own < 0) return;
  const long pageBytes = sysconf(_SC_PAGESIZE);
  const bool roomy = pageBytes >= static_cast<long>(kWords * sizeof(uint32_t));
  void* page = roomy ? mmap(nullptr, static_cast<size_t>(pageBytes), PROT_READ, MAP_SHARED, own, 0) : MAP_FAILED;
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
  const size_t word = WordOf(byte);
  // A word past the file's end reads as nothing: the page holds zeros
  // there unless a writer's mapping stored something (see below).
  uint32_t value = 0;
  ssize_t got;
  do got = pread(m_fd, &value, sizeof value, static_cast<off_t>(word * sizeof value));
  while (got < 0 && errno == EINTR);
  if (got < 0 || (got == 0 && word == 0)) return false;  // a file cut to nothing has no page
  // An absolute time on CLOCK_MONOTONIC, the clock of the deadlines.
  const struct timespec until = {static_cast<time_t>(untilNs / 1000000000), static_cast<long>(untilNs % 1000000000)};
  if (Futex(m_word + word, FUTEX_WAIT_BITSET, value, &until, BitOf(byte)) == 0) {
    m_refusedSleeps = 0;
    return true;
  }
  // Timed out, interrupted, or the value changed before the sleep.
  if (errno == EAGAIN) return ++m_refusedSleeps < kMostRefusedSleeps;
  m_refusedSleeps = 0;
  return errno == ETIMEDOUT || errno == EINTR;
}

bool FileWakeWord::Wake(const WakeBytes& bytes) {
  if (!m_word) return false;
  bool woke = false;
  bool done[WakeBytes::kMost] = {};
  for (size_t i = 0; i < bytes.count; ++i) {
    if (done[i]) continue;
    const size_t word = WordOf(bytes.bytes[i]);
    uint32_t bits = 0;
    for (size_t j = i; j < bytes.count; ++j) {
      if (!done[j] && WordOf(bytes.bytes[j]) == word) {
        bits |= BitOf(bytes.bytes[j]);
        done[j] = true;
      }
    }
    if (Futex(m_word + word, FUTEX_WAKE_BITSET, INT_MAX, nullptr, bits) > 0) woke = true;
  }
  return woke;
}

bool FileWakeWord::Wake(off_t byte) {
  WakeBytes bytes;
  bytes.Add(byte);
  return Wake(bytes);
}

}  // namespace vk_posix
