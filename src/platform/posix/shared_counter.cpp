#include "shared_counter.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "system_root.h"

namespace vk_posix {

SharedCounter::SharedCounter(const char* fileName) {
  std::string path = SystemRoot() + "/" + fileName;
  int fd;
  do fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return;
  // Made with the permissions SQLite gives the database files, so whoever
  // may write the store may bump the counter. A new file grows to the
  // counter's size filled with zeros; growing an existing one changes
  // nothing, so racing creators agree.
  struct stat info;
  void* mapped = MAP_FAILED;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ftruncate(fd, sizeof(uint64_t)) == 0)
    mapped = mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (mapped == MAP_FAILED) {
    close(fd);
    return;
  }
  // The descriptor stays open: closing any descriptor of the file would
  // drop this process's lock on it.
  m_fd = fd;
  m_value = static_cast<uint64_t*>(mapped);
}

bool SharedCounter::Read(uint64_t* value) const {
  if (!m_value) return false;
  *value = __atomic_load_n(m_value, __ATOMIC_ACQUIRE);
  return true;
}

bool SharedCounter::Increment() {
  if (!m_value) return false;
  __atomic_fetch_add(m_value, 1, __ATOMIC_ACQ_REL);
  return true;
}

bool SharedCounter::SetLock(short type, bool wait) {
  if (m_fd < 0) return false;
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
