// Open-file-description byte-range locks, the building block of share modes.
//
// OFD locks belong to the open file description, not the process: two opens
// in one process conflict as two processes do, and the locks vanish when the
// description's last descriptor closes or the process dies.
#ifndef VK_PLATFORM_POSIX_OFD_LOCKS_H
#define VK_PLATFORM_POSIX_OFD_LOCKS_H

#include <fcntl.h>
#include <sys/types.h>

namespace vk_posix {

// The lock request for [start, start + length) of type F_RDLCK, F_WRLCK or
// F_UNLCK.
struct flock Range(short type, off_t start, off_t length);

// Takes a shared lock on [start, start + length); fd must be open for
// reading. On a range this description holds exclusively, the lock becomes
// shared in one step, so no one else gets in between. False with errno set
// on failure (EAGAIN while another description holds it exclusively).
bool LockShared(int fd, off_t start, off_t length);

// Takes an exclusive lock without waiting; fd must be open for writing, so
// a user who may only read the file can never hold one. False with errno
// set on failure (EAGAIN while another description holds any lock there).
bool LockExclusive(int fd, off_t start, off_t length);

void Unlock(int fd, off_t start, off_t length);

// True when another open file description holds a lock that overlaps
// [start, start + length); a length of 0 reaches to the end of all offsets.
bool HeldByOthers(int fd, off_t start, off_t length);

// True when another description holds an exclusive lock overlapping the
// range, with the start of one such lock in *lockStart. Shared locks, which
// any reader may take, are not seen.
bool ExclusivelyHeldByOthers(int fd, off_t start, off_t length, off_t* lockStart);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_OFD_LOCKS_H
