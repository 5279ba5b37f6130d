// Windows share modes between handles, in this process and across processes.
#ifndef VK_PLATFORM_POSIX_SHARE_MODES_H
#define VK_PLATFORM_POSIX_SHARE_MODES_H

#include "kernel/win32.h"

namespace vk_posix {

// What a handle does with a file (GENERIC_READ, GENERIC_WRITE, DELETE) and
// what it lets others do (FILE_SHARE_*), reduced to three access bits.
struct ShareRequest {
  bool read;
  bool write;
  bool remove;
  bool shareRead;
  bool shareWrite;
  bool shareDelete;
};

ShareRequest MakeShareRequest(DWORD desiredAccess, DWORD shareMode);

// Claims the request's access and sharing on the file behind fd, which must
// be open for reading. Returns ERROR_SUCCESS, or ERROR_SHARING_VIOLATION when
// a handle opened through this layer, in any process, conflicts (its access
// is denied by the request's sharing, or the request's access by its).
// The claim lasts as long as fd's open file description; closing fd ends it.
DWORD ClaimShareAccess(int fd, const ShareRequest& request);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_SHARE_MODES_H
