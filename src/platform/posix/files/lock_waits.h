// Waiting for an open-file-description lock with a deadline.
//
// F_OFD_SETLKW blocks until the lock is granted, with no deadline, and a
// lock that another process holds may be held for ever, also by a user who
// may only read the file; so a blocking request runs on a thread of the
// layer's own, which is cancelled when the deadline passes. The kernel
// keeps blocked requests for one range in the order they came and wakes
// only the next one when the range comes free.
#ifndef VK_PLATFORM_POSIX_LOCK_WAITS_H
#define VK_PLATFORM_POSIX_LOCK_WAITS_H

#include <stdint.h>
#include <sys/types.h>

namespace vk_posix {

// An exclusive or shared lock on [start, start + length), granted before
// deadlineNs (CLOCK_MONOTONIC nanoseconds) or not at all. False with errno
// ETIMEDOUT when the deadline passed first, or the error of the request.
bool LockExclusiveBefore(int fd, off_t start, off_t length, int64_t deadlineNs);
bool LockSharedBefore(int fd, off_t start, off_t length, int64_t deadlineNs);

// Nanoseconds on CLOCK_MONOTONIC, the same clock in every process.
int64_t MonotonicNanoseconds();

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_LOCK_WAITS_H
