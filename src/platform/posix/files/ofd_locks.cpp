#include "files/ofd_locks.h"

#include <errno.h>
#include <fcntl.h>

namespace vk_posix {

struct flock Range(short type, off_t start, off_t length) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = start;
  lock.l_len = length;
  return lock;
}

namespace {

bool SetLock(int fd, short type, off_t start, off_t length) {
  struct flock lock = Range(type, start, length);
  int rc;
  do rc = fcntl(fd, F_OFD_SETLK, &lock);
  while (rc == -1 && errno == EINTR);
  return rc == 0;
}

}  // namespace

bool LockShared(int fd, off_t start, off_t length) { return SetLock(fd, F_RDLCK, start, length); }

bool LockExclusive(int fd, off_t start, off_t length) { return SetLock(fd, F_WRLCK, start, length); }

void Unlock(int fd, off_t start, off_t length) { SetLock(fd, F_UNLCK, start, length); }

bool HeldByOthers(int fd, off_t start, off_t length) {
  // Asking for a write lock finds any lock of another description.
  struct flock probe = Range(F_WRLCK, start, length);
  if (fcntl(fd, F_OFD_GETLK, &probe) == -1) return false;
  return probe.l_type != F_UNLCK;
}

bool ExclusivelyHeldByOthers(int fd, off_t start, off_t length, off_t* lockStart) {
  // A read lock conflicts only with write locks.
  struct flock probe = Range(F_RDLCK, start, length);
  if (fcntl(fd, F_OFD_GETLK, &probe) == -1 || probe.l_type == F_UNLCK) return false;
  if (lockStart) *lockStart = probe.l_start;
  return true;
}

}  // namespace vk_posix
