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
//
// Windows gives a refused opener no place in a queue, and writers that
// reopen a file for every text starve one that polls: the file is free only
// for the microseconds between one writer's close and its next open. So a
// refused opener leaves a "waiting" marker for a short while, and a writer
// that has not been refused itself steps back (fails once with
// ERROR_SHARING_VIOLATION, becoming a waiter) while another process waits.
// Waiters do not step back for each other. A marker ends when its process
// gets the file or after kWaitingMarkMs, so a waiter that gave up delays
// others by one refused attempt at most.
#include "share_modes.h"

#include "errors.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <utility>

namespace vk_posix {

namespace {

enum Marker : off_t {
  kHoldsRead = 0,
  kHoldsWrite,
  kHoldsDelete,
  kDeniesRead,
  kDeniesWrite,
  kDeniesDelete,
  kMarkerCount,
  kWaiting = kMarkerCount
};

constexpr long kWaitingMarkMs = 100;

constexpr off_t kMarkerBase = INT64_MAX - 64;

bool LockMarker(int fd, off_t marker) {
  struct flock lock = {};
  lock.l_type = F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kMarkerBase + marker;
  lock.l_len = 1;
  int rc;
  do rc = fcntl(fd, F_OFD_SETLK, &lock);
  while (rc == -1 && errno == EINTR);
  return rc == 0;
}

// True when another open file description holds the marker.
bool MarkerHeldByOthers(int fd, off_t marker) {
  struct flock probe = {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = kMarkerBase + marker;
  probe.l_len = 1;
  if (fcntl(fd, F_OFD_GETLK, &probe) == -1) return false;
  return probe.l_type != F_UNLCK;
}

void UnlockMarkers(int fd, off_t first, off_t count) {
  struct flock lock = {};
  lock.l_type = F_UNLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kMarkerBase + first;
  lock.l_len = count;
  fcntl(fd, F_OFD_SETLK, &lock);
}

long NowMs() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// This process's waiting markers, one per file: a duplicate of the refused
// descriptor (its own open file description) that holds only kWaiting.
class WaitingMarks {
 public:
  using FileId = std::pair<dev_t, ino_t>;

  bool Has(const FileId& file) {
    std::lock_guard<std::mutex> guard(m_lock);
    DropExpired();
    return m_marks.count(file) != 0;
  }

  void Mark(int refusedFd, const FileId& file) {
    std::lock_guard<std::mutex> guard(m_lock);
    DropExpired();
    auto it = m_marks.find(file);
    if (it != m_marks.end()) {
      it->second.second = NowMs() + kWaitingMarkMs;
      return;
    }
    int fd = fcntl(refusedFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return;
    UnlockMarkers(fd, 0, kMarkerCount);
    if (!LockMarker(fd, kWaiting)) {
      close(fd);
      return;
    }
    m_marks.emplace(file, std::make_pair(fd, NowMs() + kWaitingMarkMs));
  }

  void Clear(const FileId& file) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_marks.find(file);
    if (it == m_marks.end()) return;
    close(it->second.first);
    m_marks.erase(it);
  }

 private:
  void DropExpired() {
    long now = NowMs();
    for (auto it = m_marks.begin(); it != m_marks.end();) {
      if (it->second.second <= now) {
        close(it->second.first);
        it = m_marks.erase(it);
      } else {
        ++it;
      }
    }
  }

  std::mutex m_lock;
  std::map<FileId, std::pair<int, long>> m_marks;  // descriptor, expiry
};

WaitingMarks& Waiting() {
  static WaitingMarks* marks = new WaitingMarks;  // outlives static destructors
  return *marks;
}

}  // namespace

ShareRequest MakeShareRequest(DWORD desiredAccess, DWORD shareMode) {
  ShareRequest request;
  request.read = (desiredAccess & GENERIC_READ) != 0;
  request.write = (desiredAccess & GENERIC_WRITE) != 0;
  request.remove = (desiredAccess & DELETE) != 0;
  request.shareRead = (shareMode & FILE_SHARE_READ) != 0;
  request.shareWrite = (shareMode & FILE_SHARE_WRITE) != 0;
  request.shareDelete = (shareMode & FILE_SHARE_DELETE) != 0;
  return request;
}

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
  const WaitingMarks::FileId file(info.st_dev, info.st_ino);
  bool refused = false;
  for (off_t marker = 0; marker < kMarkerCount; ++marker) {
    if (claims[marker] && MarkerHeldByOthers(fd, opposite[marker])) refused = true;
  }
  if (!refused && request.write && !Waiting().Has(file) && MarkerHeldByOthers(fd, kWaiting)) refused = true;
  if (refused) {
    if (request.write) Waiting().Mark(fd, file);
    return ERROR_SHARING_VIOLATION;
  }
  if (request.write) Waiting().Clear(file);
  return ERROR_SUCCESS;
}

}  // namespace vk_posix
