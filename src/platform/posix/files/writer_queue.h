// A place in line for writers refused by another handle's share mode.
#ifndef VK_PLATFORM_POSIX_WRITER_QUEUE_H
#define VK_PLATFORM_POSIX_WRITER_QUEUE_H

#include <sys/types.h>

#include <utility>

namespace vk_posix {

using FileId = std::pair<dev_t, ino_t>;

// Whether a writer about to open the file (through fd) must step back
// because a writer that has waited longer is still trying.
bool MustYieldToEarlierWaiter(int fd, const FileId& file);

// After a refusal: this process waits for the file from now on, unless it
// already does.
void JoinWriterQueue(int refusedFd, const FileId& file);

// After the file was opened: this process no longer waits for it.
void LeaveWriterQueue(const FileId& file);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_WRITER_QUEUE_H
