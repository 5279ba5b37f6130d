// Share modes on open-file-description locks.
//
// flock() offers one shared/exclusive lock per file, too little to say
// "I write, others may read but not write". Open-file-description (OFD)
// locks have flock's ownership rules -- they belong to the open file
// description, so two opens in one process conflict just as two processes
// do, and they vanish when the last descriptor closes or the process dies --
// but lock byte ranges. Each handle takes shared locks on marker bytes far
// beyond any real data: one byte per access it holds and one per access it
// denies. An open then asks (F_OFD_GETLK) whether another description holds
// the opposing marker. Claim and check run under the file's flock(), held
// for those few calls only, so two racing opens are decided one after the
// other instead of both failing. flock and OFD locks do not interact.
// The locks are advisory and leave the file's data and size alone.
// Refused writers get a place in line (writer_queue.cpp).
#include "files/share_modes.h"

#include "files/ofd_locks.h"
#include "files/writer_queue.h"
#include "kernel/errors.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <sys/file.h>
#include <sys/stat.h>


namespace vk_posix {

namespace {

enum Marker : off_t {
  kHoldsRead = 0,
  kHoldsWrite,
  kHoldsDelete,
  kDeniesRead,
  kDeniesWrite,
  kDeniesDelete,
  kMarkerCount
};

constexpr off_t kMarkerBase = INT64_MAX - 64;

bool LockMarker(int fd, off_t marker) { return LockShared(fd, kMarkerBase + marker, 1); }

bool MarkerHeldByOthers(int fd, off_t marker) { return HeldByOthers(fd, kMarkerBase + marker, 1); }

}  // namespace

DWORD MapGenericFileAccess(DWORD access) {
  constexpr DWORD kStandard = READ_CONTROL | SYNCHRONIZE;
  if (access & GENERIC_READ) access |= kStandard | FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_READ_EA;
  if (access & GENERIC_WRITE)
    access |= kStandard | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA;
  if (access & GENERIC_EXECUTE) access |= kStandard | FILE_EXECUTE | FILE_READ_ATTRIBUTES;
  if (access & GENERIC_ALL)
    access |= kStandard | DELETE | WRITE_DAC | WRITE_OWNER | FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA |
              FILE_READ_EA | FILE_WRITE_EA | FILE_EXECUTE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
  return access & static_cast<DWORD>(~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL));
}

ShareRequest MakeShareRequest(DWORD desiredAccess, DWORD shareMode) {
  DWORD access = MapGenericFileAccess(desiredAccess);
  ShareRequest request;
  request.read = (access & (FILE_READ_DATA | FILE_EXECUTE)) != 0;
  request.write = (access & (FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
  request.remove = (access & DELETE) != 0;
  // Without data access the share mode is ignored: it denies nothing.
  bool counts = request.read || request.write || request.remove;
  request.shareRead = !counts || (shareMode & FILE_SHARE_READ) != 0;
  request.shareWrite = !counts || (shareMode & FILE_SHARE_WRITE) != 0;
  request.shareDelete = !counts || (shareMode & FILE_SHARE_DELETE) != 0;
  return request;
}

bool ClaimsAnything(const ShareRequest& request) { return request.read || request.write || request.remove; }

// Serialises the claim-and-check of all opens of one file.
class OpenGate {
 public:
  explicit OpenGate(int fd) : m_fd(fd) {
    int rc;
    do rc = flock(m_fd, LOCK_EX);
    while (rc != 0 && errno == EINTR);
    m_locked = rc == 0;
  }
  ~OpenGate() {
    if (m_locked) flock(m_fd, LOCK_UN);
  }
  OpenGate(const OpenGate&) = delete;
  OpenGate& operator=(const OpenGate&) = delete;

 private:
  int m_fd;
  bool m_locked;
};

DWORD ClaimShareAccess(int fd, const ShareRequest& request) {
  if (!ClaimsAnything(request)) return ERROR_SUCCESS;
  OpenGate gate(fd);
  const bool claims[kMarkerCount] = {request.read,        request.write,        request.remove,
                                     !request.shareRead, !request.shareWrite, !request.shareDelete};
  // Each claimed marker conflicts with the marker of the opposite meaning.
  const off_t opposite[kMarkerCount] = {kDeniesRead, kDeniesWrite, kDeniesDelete,
                                        kHoldsRead,  kHoldsWrite,  kHoldsDelete};
  for (off_t marker = 0; marker < kMarkerCount; ++marker) {
    if (claims[marker] && !LockMarker(fd, marker)) {
      // File systems without OFD locks (some network mounts) get no share
      // enforcement rather than no files at all.
      if (errno == EINVAL || errno == ENOLCK || errno == EOPNOTSUPP) return ERROR_SUCCESS;
      return Win32ErrorFromErrno(errno);
    }
  }
  struct stat info;
  if (fstat(fd, &info) != 0) return Win32ErrorFromErrno(errno);
  const FileId file(info.st_dev, info.st_ino);
  bool refused = false;
  for (off_t marker = 0; marker < kMarkerCount; ++marker) {
    if (claims[marker] && MarkerHeldByOthers(fd, opposite[marker])) refused = true;
  }
  if (!refused && request.write && MustYieldToEarlierWaiter(fd, file)) refused = true;
  if (refused) {
    if (request.write) JoinWriterQueue(fd, file);
    return ERROR_SHARING_VIOLATION;
  }
  if (request.write) LeaveWriterQueue(file);
  return ERROR_SUCCESS;
}

}  // namespace vk_posix
