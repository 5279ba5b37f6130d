// Waiting for an open-file-description lock with a deadline.
//
// F_OFD_SETLKW blocks until the lock is granted, with no deadline, and a
// lock that another process holds may be held for ever, also by a user who
// may only read the file; so a waiting request sleeps on the file's wake
// word with the deadline as its timeout, and is woken by the process that
// lets the lock go (wake_words.h). Without a wake word, it runs on a thread
// of the layer's own, which is cancelled when the deadline passes.
#ifndef VK_PLATFORM_POSIX_LOCK_WAITS_H
#define VK_PLATFORM_POSIX_LOCK_WAITS_H

#include <stdint.h>
#include <sys/types.h>

namespace vk_posix {

class FileWakeWord;

// An exclusive or shared lock on [start, start + length), granted before
// deadlineNs (CLOCK_MONOTONIC nanoseconds) or not at all. False with errno
// ETIMEDOUT when the deadline passed first, or the error of the request.
// Blocks the calling thread, which cannot be cancelled meanwhile. The wait
// sleeps on word, the wake word of fd's file, where it is usable (null for
// none): whoever lets such a lock go wakes start there (FileWakeWord::Wake),
// and a waiter that is not woken looks again within 10 ms.
bool LockExclusiveBefore(int fd, off_t start, off_t length, int64_t deadlineNs, FileWakeWord* word);
bool LockSharedBefore(int fd, off_t start, off_t length, int64_t deadlineNs, FileWakeWord* word);

// Nanoseconds on CLOCK_MONOTONIC, the same clock in every process.
int64_t MonotonicNanoseconds();

// Offers the calling thread's CPU to another runnable thread once, as
// threads under the fair policies (SCHED_OTHER, SCHED_BATCH, SCHED_IDLE)
// yield: the thread goes on at the latest when its turn comes round
// again. A real-time or deadline thread does not yield: it would pass its
// CPU only to threads of its own priority, or give up its whole period.
void YieldCpu();

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_LOCK_WAITS_H
