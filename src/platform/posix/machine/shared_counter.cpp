#include "machine/shared_counter.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "kernel/errors.h"
#include "machine/state_files.h"

namespace vk_posix {

namespace {

// The first and the longest pause between two tries for a lock another
// process holds.
constexpr long kFirstPauseNs = 20 * 1000;
constexpr long kLongestPauseNs = 2 * 1000 * 1000;

uint64_t NowMs() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

// The eight bytes at the start of the file; false when they cannot be read
// whole (a truncated file reads as 0).
bool ReadCount(int fd, uint64_t* value) {
  uint64_t read = 0;
  ssize_t n;
  do n = pread(fd, &read, sizeof read, 0);
  while (n < 0 && errno == EINTR);
  if (n < 0) return false;
  *value = static_cast<size_t>(n) == sizeof read ? read : 0;
  return true;
}

}  // namespace

SharedCounter::SharedCounter(const char* fileName, Store store) {
  StoreLocation where = Locate(store);
  // Never a descriptor on a live file for those who may not write it.
  if (!where.problem.empty() || (where.shared && !where.writable)) {
    m_error = ERROR_ACCESS_DENIED;
    return;
  }
  if (where.shared) {
    int fd = OpenLiveFile(where, fileName, O_RDWR, &m_error);
    if (fd < 0) return;
    m_fd = fd;
    m_kind = Kind::kLive;
    return;
  }
  if (!where.writable) {
    m_error = ERROR_ACCESS_DENIED;
    return;
  }
  int fd = OpenStateFile(where.directory, fileName, O_RDWR | O_CREAT, where.fileMode, &m_error, where.group);
  if (fd < 0) return;
  // The counter's bytes get disk blocks before they are mapped: a hole
  // that a full disk cannot fill would kill the process with SIGBUS at the
  // first access. A new file grows to the counter's size filled with
  // zeros; an existing one keeps its count, so racing creators agree.
  int rc;
  do rc = posix_fallocate(fd, 0, sizeof(uint64_t));
  while (rc == EINTR);
  void* mapped = MAP_FAILED;
  if (rc == 0) mapped = mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (rc != 0) m_error = Win32ErrorFromErrno(rc);
  else if (mapped == MAP_FAILED) m_error = Win32ErrorFromErrno(errno);
  if (mapped == MAP_FAILED) {
    close(fd);
    return;
  }
  // The descriptor stays open: closing any descriptor of the file would
  // drop this process's lock on it.
  m_fd = fd;
  m_value = static_cast<uint64_t*>(mapped);
  m_kind = Kind::kMapped;
}

bool SharedCounter::Read(uint64_t* value) const {
  switch (m_kind) {
    case Kind::kMapped:
      *value = __atomic_load_n(m_value, __ATOMIC_ACQUIRE);
      return true;
    case Kind::kLive: {
      // Read twice: eight bytes a writer stores meanwhile could come back
      // half old, half new, but not so twice alike.
      uint64_t first = 0, second = 0;
      do {
        if (!ReadCount(m_fd, &first) || !ReadCount(m_fd, &second)) return false;
      } while (first != second);
      *value = first;
      return true;
    }
    case Kind::kNone:
      break;
  }
  return false;
}

bool SharedCounter::Increment() {
  if (m_kind == Kind::kMapped) {
    __atomic_fetch_add(m_value, 1, __ATOMIC_ACQ_REL);
    return true;
  }
  if (m_kind != Kind::kLive) return false;
  // Only under the lock, so no other writer moves it meanwhile.
  uint64_t value = 0;
  if (!ReadCount(m_fd, &value)) return false;
  ++value;
  ssize_t n;
  do n = pwrite(m_fd, &value, sizeof value, 0);
  while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(sizeof value);
}

bool SharedCounter::SetLock(short type) {
  if (m_fd < 0 || (m_kind != Kind::kMapped && m_kind != Kind::kLive)) return false;
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = sizeof(uint64_t);
  int rc;
  do rc = fcntl(m_fd, F_SETLK, &lock);
  while (rc == -1 && errno == EINTR);
  return rc == 0;
}

// Tries again and again, with growing pauses, until the deadline: a
// blocking wait would last as long as another process liked.
bool SharedCounter::Lock() {
  if (m_fd < 0 || (m_kind != Kind::kMapped && m_kind != Kind::kLive)) return false;
  uint64_t deadline = NowMs() + kLockDeadlineMs;
  long pause = kFirstPauseNs;
  while (!SetLock(F_WRLCK)) {
    if ((errno != EACCES && errno != EAGAIN) || NowMs() >= deadline) return false;
    struct timespec wait = {0, pause};
    nanosleep(&wait, nullptr);
    pause = pause * 2 > kLongestPauseNs ? kLongestPauseNs : pause * 2;
  }
  return true;
}

bool SharedCounter::TryLock() { return SetLock(F_WRLCK); }

void SharedCounter::Unlock() { SetLock(F_UNLCK); }

}  // namespace vk_posix
