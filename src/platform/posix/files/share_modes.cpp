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
// Any user who can read the file can take its flock and lock any byte in
// shared mode, so no lock here is waited for without a deadline: a gate or
// marker held past it ends the open with ERROR_SHARING_VIOLATION.
//
// A writer refused a moment ago that asks again waits in line
// (writer_queue.cpp) instead of failing at once. First in line, it waits
// for an exclusive lock on the marker that refused it, which it takes when
// the last holder's close wakes it (wake_words.h), and turns it into its own
// shared marker in the same step, so no one slips in between.
#include "files/share_modes.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "files/lock_waits.h"
#include "files/ofd_locks.h"
#include "files/wake_words.h"
#include "files/writer_queue.h"
#include "kernel/errors.h"

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
constexpr off_t kNoMarker = -1;
// Honest holders keep the gate for a few system calls.
constexpr int64_t kGateWaitNs = 250 * 1000000LL;
constexpr long kLongestPauseNs = 1000000;

bool LockMarker(int fd, off_t marker) { return LockShared(fd, kMarkerBase + marker, 1); }

bool MarkerHeldByOthers(int fd, off_t marker) { return HeldByOthers(fd, kMarkerBase + marker, 1); }

void ReleaseMarkers(int fd) { Unlock(fd, kMarkerBase, kMarkerCount); }

bool NoLocksHere(int error) { return error == EINVAL || error == ENOLCK || error == EOPNOTSUPP; }

// A short wait between two tries at something another process holds for
// microseconds: a yield first, then sleeps that grow to a millisecond.
void Pause(int round) {
  if (round < 3) {
    YieldCpu();
    return;
  }
  long ns = 50000L << (round < 8 ? round - 3 : 5);
  struct timespec pause = {0, ns < kLongestPauseNs ? ns : kLongestPauseNs};
  nanosleep(&pause, nullptr);
}

// The markers a request takes, and the marker of the opposite meaning that
// each one conflicts with.
struct Claims {
  explicit Claims(const ShareRequest& request)
      : take{request.read,       request.write,       request.remove,
             !request.shareRead, !request.shareWrite, !request.shareDelete} {}
  bool take[kMarkerCount];
  static constexpr off_t kOpposite[kMarkerCount] = {kDeniesRead, kDeniesWrite, kDeniesDelete,
                                                     kHoldsRead,  kHoldsWrite,  kHoldsDelete};
};

// The markers a request takes, which its close lets go, with its place.
static_assert(WakeBytes::kMost >= 1 + kMarkerCount, "a close wakes its place and every marker");
void AddMarkerWakes(const Claims& claims, WakeBytes* wake) {
  for (off_t marker = 0; marker < kMarkerCount; ++marker)
    if (claims.take[marker]) wake->Add(kMarkerBase + marker);
}

// Serialises the claim-and-check of all opens of one file.
class OpenGate {
 public:
  // Waits for the gate a few moments, and never past latestNs.
  OpenGate(int fd, int64_t latestNs) : m_fd(fd) {
    const int64_t moments = MonotonicNanoseconds() + kGateWaitNs;
    const int64_t deadline = moments < latestNs ? moments : latestNs;
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

// Takes the request's markers and checks them against every other handle.
// On a refusal nothing stays claimed, and *conflict names the marker that
// refused it when there is one. A newcomer writer steps back while writers
// wait in line (stepBackForLine). The gate is waited for until latestNs at
// most, a waiting writer's turn.
DWORD TryClaim(int fd, const ShareRequest& request, bool stepBackForLine, int64_t latestNs, off_t* conflict) {
  *conflict = kNoMarker;
  // Before anything is claimed, so that the writer first in line never
  // finds a newcomer's passing claim in its way.
  if (stepBackForLine && WritersInLine(fd)) return ERROR_SHARING_VIOLATION;
  OpenGate gate(fd, latestNs);
  if (gate.busy()) return ERROR_SHARING_VIOLATION;
  const Claims claims(request);
  for (off_t marker = 0; marker < kMarkerCount; ++marker) {
    if (!claims.take[marker] || LockMarker(fd, marker)) continue;
    int error = errno;
    // File systems without OFD locks (some network mounts) get no share
    // enforcement rather than no files at all.
    if (NoLocksHere(error)) return ERROR_SUCCESS;
    ReleaseMarkers(fd);
    if (error != EAGAIN && error != EACCES) return Win32ErrorFromErrno(error);
    *conflict = marker;  // a writer in line is taking it over
    return ERROR_SHARING_VIOLATION;
  }
  // Most claims meet no marker of another handle at all: one probe says so.
  if (!HeldByOthers(fd, kMarkerBase, kMarkerCount)) return ERROR_SUCCESS;
  for (off_t marker = 0; marker < kMarkerCount; ++marker) {
    if (claims.take[marker] && MarkerHeldByOthers(fd, Claims::kOpposite[marker])) {
      *conflict = Claims::kOpposite[marker];
      ReleaseMarkers(fd);
      return ERROR_SHARING_VIOLATION;
    }
  }
  return ERROR_SUCCESS;
}

// A refused writer that asked again: waits for the writers ahead of it,
// then for the file, at most until sinceNs + kTurnWaitNs. It sleeps on the
// file's wake word, made in *release; the word stays there only with a
// place kept until the close, whose close then wakes through it.
DWORD WaitInLine(int fd, const ShareRequest& request, int64_t sinceNs, ClaimRelease* release) {
  const int64_t deadline = sinceNs + kTurnWaitNs;
  const Claims claims(request);
  FileWakeWord* word = &release->word.emplace(fd);
  off_t place = 0;
  const bool placed = TakePlaceInLine(fd, &place);
  DWORD result = ERROR_SHARING_VIOLATION;
  for (int round = 0; MonotonicNanoseconds() < deadline; ++round) {
    if (placed && !WaitForWritersAhead(fd, place, deadline, word)) {
      if (errno == ETIMEDOUT) break;
      Pause(round);
      continue;
    }
    off_t conflict = kNoMarker;
    result = TryClaim(fd, request, false, deadline, &conflict);
    if (result != ERROR_SHARING_VIOLATION) break;
    if (conflict == kNoMarker) {
      Pause(round);
    } else if (LockExclusiveBefore(fd, kMarkerBase + conflict, 1, deadline, word)) {
      // The last holder let go. A marker this handle claims itself becomes
      // its own in place; any other is let go for the claim to check.
      if (claims.take[conflict])
        LockShared(fd, kMarkerBase + conflict, 1);
      else
        Unlock(fd, kMarkerBase + conflict, 1);
    } else if (errno == ETIMEDOUT) {
      break;
    } else {
      Pause(round);
    }
  }
  // A writer that denies writing to others keeps its place until it closes
  // the file, as no writer could open it meanwhile anyway: the one behind
  // it then waits for that place alone and is woken by the close.
  const bool keepPlace = result == ERROR_SUCCESS && !request.shareWrite;
  // Markers let go first: the writer that leaving the place wakes must not
  // meet one of them.
  if (result != ERROR_SUCCESS) ReleaseMarkers(fd);
  if (placed && !keepPlace) LeavePlaceInLine(fd, place, word);
  if (placed && keepPlace) {
    release->wake.Add(place);
    AddMarkerWakes(claims, &release->wake);
  } else {
    release->word.reset();
  }
  return result;
}

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

DWORD ClaimShareAccess(int fd, const struct stat& info, const ShareRequest& request, ClaimRelease* release) {
  release->wake = WakeBytes();
  release->word.reset();
  if (!ClaimsAnything(request)) return ERROR_SUCCESS;
  const FileId file(info.st_dev, info.st_ino);
  int64_t sinceNs = 0;
  DWORD result;
  if (request.write && IsRefusedWriterAskingAgain(file, &sinceNs)) {
    result = WaitInLine(fd, request, sinceNs, release);
    if (result == ERROR_SHARING_VIOLATION && MonotonicNanoseconds() - sinceNs < kTurnWaitNs)
      RememberRefusedWriter(file);
    else
      ForgetRefusedWriter();
  } else {
    off_t conflict = kNoMarker;
    result = TryClaim(fd, request, request.write, INT64_MAX, &conflict);
    if (request.write && result == ERROR_SHARING_VIOLATION) RememberRefusedWriter(file);
  }
  // A writer that kept its place in line knows what its close wakes already.
  if (result == ERROR_SUCCESS && release->wake.empty()) AddMarkerWakes(Claims(request), &release->wake);
  return result;
}

void CloseClaimedFile(int fd, ClaimRelease* release) {
  // A word not kept from a wait (or kept from a wait on a file that was
  // empty then) is reached through fd, so before the close, and only when
  // someone waits: a writer that never met another pays one look.
  if (!release->wake.empty() && !(release->word && release->word->usable()) && WritersInLine(fd))
    release->word.emplace(fd);
  // close() must not be retried on EINTR on Linux: the descriptor is gone.
  close(fd);
  // The woken writer may be queued on this CPU, where it could wait until
  // this thread's turn ends or it sleeps, while the caller usually goes on
  // to its next open of the same file at once: so the CPU is offered to it.
  // It costs the caller at most one turn, and only a close that woke
  // someone (a user who may only read the file can make that true, no more).
  if (release->word && release->word->Wake(release->wake)) YieldCpu();
  release->word.reset();
}

}  // namespace vk_posix
