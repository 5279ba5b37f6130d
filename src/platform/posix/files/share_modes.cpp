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
//
// Any user who can read the file can take its flock, so the gate is waited
// for with a deadline: a gate held past it ends the open with
// ERROR_SHARING_VIOLATION, as a handle that shares too little would.
#include "files/share_modes.h"

#include "files/ofd_locks.h"
#include "files/writer_queue.h"
#include "kernel/errors.h"

#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <stdint.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>


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
// Honest holders keep the gate for a few system calls.
constexpr int64_t kGateWaitNs = 250 * 1000000LL;
constexpr long kLongestPauseNs = 1000000;

bool LockMarker(int fd, off_t marker) { return LockShared(fd, kMarkerBase + marker, 1); }

bool MarkerHeldByOthers(int fd, off_t marker) { return HeldByOthers(fd, kMarkerBase + marker, 1); }

int64_t MonotonicNanoseconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// A short wait between two tries at something another process holds for
// microseconds: a yield first, then sleeps that grow to a millisecond.
void Pause(int round) {
  if (round < 3) {
    sched_yield();
    return;
  }
  long ns = 50000L << (round < 8 ? round - 3 : 5);
  struct timespec pause = {0, ns < kLongestPauseNs ? ns : kLongestPauseNs};
  nanosleep(&pause, nullptr);
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
    const int64_t deadline = MonotonicNanoseconds() + kGateWaitNs;
    for (int round = 0;; ++round) {
      if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_state = kLocked;
        return;
      }
      if (errno == EINTR) continue;
      // A file system without flock decides opens without the gate.
      if (errno != EWOULDBLOCK) return;
      if (MonotonicNanoseconds() >= deadline) {
        m_state = kBusy;
        return;
      }
      Pause(round);
    }
  }
  ~OpenGate() {
    if (m_state == kLocked) flock(m_fd, LOCK_UN);
  }
  OpenGate(const OpenGate&) = delete;
  OpenGate& operator=(const OpenGate&) = delete;

  bool busy() const { return m_state == kBusy; }

 private:
  enum State { kUnsupported, kLocked, kBusy };
  int m_fd;
  State m_state = kUnsupported;
};

DWORD ClaimShareAccess(int fd, const ShareRequest& request) {
  OpenGate gate(fd);
  if (gate.busy()) return ERROR_SHARING_VIOLATION;
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
