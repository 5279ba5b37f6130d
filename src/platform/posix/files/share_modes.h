// Windows share modes between handles, in this process and across processes.
#ifndef VK_PLATFORM_POSIX_SHARE_MODES_H
#define VK_PLATFORM_POSIX_SHARE_MODES_H

#include <stdint.h>
#include <sys/stat.h>

#include <optional>

#include "files/wake_words.h"
#include "kernel/win32.h"

namespace vk_posix {

// The specific file rights that generic rights stand for, as Windows maps
// them for files (GENERIC_READ to FILE_GENERIC_READ and so on).
DWORD MapGenericFileAccess(DWORD access);

// What a handle does with a file's data (read, write, delete) and what it
// lets others do (FILE_SHARE_*). As on Windows, only data access counts:
// reading (FILE_READ_DATA, FILE_EXECUTE), writing (FILE_WRITE_DATA,
// FILE_APPEND_DATA) and DELETE. A handle with none of them, such as one
// opened for FILE_READ_ATTRIBUTES or with access 0, is never refused and
// its share mode restricts no one.
struct ShareRequest {
  bool read;
  bool write;
  bool remove;
  bool shareRead;
  bool shareWrite;
  bool shareDelete;
};

ShareRequest MakeShareRequest(DWORD desiredAccess, DWORD shareMode);

// Whom a handle's close wakes: the bits of the locks it lets go that
// writers in line may wait for, and the file's wake word when the handle
// kept one from its own wait.
struct ClaimRelease {
  WakeBytes wake;  // what the close lets go
  std::optional<FileWakeWord> word;
};

// Whether the request takes part in share checks at all.
bool ClaimsAnything(const ShareRequest& request);

// Claims the request's access and sharing on the file behind fd, which must
// be open for reading; info is fd's fstat(). Returns ERROR_SUCCESS, or ERROR_SHARING_VIOLATION when
// a handle opened through this layer, in any process, conflicts (its access
// is denied by the request's sharing, or the request's access by its).
// The claim lasts as long as fd's open file description; closing fd ends it.
// *release says what the close must do for the writers that wait in line
// meanwhile: pass it to CloseClaimedFile.
DWORD ClaimShareAccess(int fd, const struct stat& info, const ShareRequest& request, ClaimRelease* release);

// Closes fd, whose claim ClaimShareAccess made, and wakes the writers in
// line that wait for what it held.
void CloseClaimedFile(int fd, ClaimRelease* release);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_SHARE_MODES_H
