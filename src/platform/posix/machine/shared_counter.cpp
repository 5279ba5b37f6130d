#include "machine/shared_counter.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "kernel/errors.h"
#include "machine/state_files.h"

namespace vk_posix {

SharedCounter::SharedCounter(const char* fileName, Store store) {
  // Made with the store's mode and group, like its database files.
  StoreLocation where = Locate(store);
  if (!where.writable) {
    // A reader only follows the count; with no file yet, nothing is cached.
    int fd = OpenStateFile(where.directory, fileName, O_RDONLY, 0, &m_error);
    if (fd < 0) return;
    void* mapped = mmap(nullptr, sizeof(uint64_t), PROT_READ, MAP_SHARED, fd, 0);
    struct stat status;
    // Mapping past the end of a short file would raise SIGBUS when read.
    if (mapped != MAP_FAILED && (fstat(fd, &status) != 0 || status.st_size < static_cast<off_t>(sizeof(uint64_t)))) {
      munmap(mapped, sizeof(uint64_t));
      mapped = MAP_FAILED;
      errno = EINVAL;
    }
    if (mapped == MAP_FAILED) {
      m_error = Win32ErrorFromErrno(errno);
      close(fd);
      return;
    }
    m_fd = fd;
    m_value = static_cast<uint64_t*>(mapped);
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
  m_writable = true;
}

bool SharedCounter::Read(uint64_t* value) const {
  if (!m_value) return false;
  *value = __atomic_load_n(m_value, __ATOMIC_ACQUIRE);
  return true;
}

bool SharedCounter::Increment() {
  if (!m_value || !m_writable) return false;
  __atomic_fetch_add(m_value, 1, __ATOMIC_ACQ_REL);
  return true;
}

bool SharedCounter::SetLock(short type, bool wait) {
  if (m_fd < 0 || !m_writable) return false;
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = sizeof(uint64_t);
  int rc;
  do rc = fcntl(m_fd, wait ? F_SETLKW : F_SETLK, &lock);
  while (rc == -1 && errno == EINTR);
  return rc == 0;
}

bool SharedCounter::Lock() { return SetLock(F_WRLCK, true); }

bool SharedCounter::TryLock() { return SetLock(F_WRLCK, false); }

void SharedCounter::Unlock() { SetLock(F_UNLCK, false); }

}  // namespace vk_posix
