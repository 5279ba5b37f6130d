// The line of writers waiting for a file that another handle holds.
#ifndef VK_PLATFORM_POSIX_WRITER_QUEUE_H
#define VK_PLATFORM_POSIX_WRITER_QUEUE_H

#include <stdint.h>
#include <sys/types.h>

#include <utility>

namespace vk_posix {

class FileWakeWord;

using FileId = std::pair<dev_t, ino_t>;

// How long a writer waits in line, from its first refusal.
constexpr int64_t kTurnWaitNs = 500 * 1000000LL;

// Whether the calling thread was refused writing the file a moment ago and
// now asks again, so that it waits in line; *sinceNs says when its wait
// began (CLOCK_MONOTONIC).
bool IsRefusedWriterAskingAgain(const FileId& file, int64_t* sinceNs);

// After a refusal of the calling thread's write open.
void RememberRefusedWriter(const FileId& file);

// After the calling thread's wait ended, with the file or without it.
void ForgetRefusedWriter();

// A place in line: an exclusive lock (writers only) on the byte for the
// time it was taken. False when no place could be taken (then the writer
// waits for the file without one).
bool TakePlaceInLine(int fd, off_t* place);
// Letting a place go wakes the writer behind it, through word (the file's
// wake word the wait slept on, or null).
void LeavePlaceInLine(int fd, off_t place, FileWakeWord* word);

// Whether another writer holds a place in line (a newcomer steps back).
bool WritersInLine(int fd);

// Waits until no writer who took its place before this one is left in
// line, sleeping on word (the file's wake word, or null) until the one just
// ahead of it lets its place go; false with errno ETIMEDOUT when deadlineNs
// passed first.
bool WaitForWritersAhead(int fd, off_t place, int64_t deadlineNs, FileWakeWord* word);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_WRITER_QUEUE_H
