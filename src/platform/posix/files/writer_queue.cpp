// Writers that reopen a file for every text would starve one that waits:
// the file is free only for the microseconds between one writer's close and
// its next open, and Windows gives a refused opener no place in a queue. So
// a refused writer that asks again waits in line (share_modes.cpp): it
// takes a place, an exclusive lock on the byte at kLineBase + the time it
// came (monotonic microseconds, the same clock in every process), and waits
// for the place just ahead of it to be let go before it waits for the file
// itself. Each release so wakes the waiter behind it, and the longest
// waiter gets the file when it is next free; a writer that was not in line
// steps back while anyone is. A writer that got the file and denies writing
// to others keeps its place until it closes the file, so for the one behind
// it the place and the file come free together. Only a description open for
// writing can take an exclusive lock, and places are looked for with a
// shared probe that sees exclusive locks alone, so a user who may only read
// the file can neither join the line nor fake a place in it, nor hold up a
// wait for a place.
// Places older than the longest wait are ignored by everyone: a writer
// stopped in the middle of its wait holds up no one for longer than that.
#include "files/writer_queue.h"

#include <errno.h>

#include "files/lock_waits.h"
#include "files/ofd_locks.h"
#include "files/wake_words.h"

namespace vk_posix {

namespace {

constexpr off_t kLineBase = off_t{1} << 62;  // far from data and share markers
constexpr int64_t kAskAgainNs = 100 * 1000000LL;
constexpr int64_t kLineSlackNs = 100 * 1000000LL;
constexpr int kPlaceAttempts = 8;
// The search for the place ahead: its first window (microseconds, about
// one writer's turn) and how many steps it takes before it halves.
constexpr off_t kFirstWindow = 256;
constexpr int kSteps = 4;

off_t Microseconds(int64_t nanoseconds) { return static_cast<off_t>(nanoseconds / 1000); }

// The calling thread's last refusal to write a file.
struct Refusal {
  bool known = false;
  FileId file;
  int64_t sinceNs = 0;
  int64_t lastNs = 0;
};

thread_local Refusal t_refusal;

// The range of places that still count: from the oldest a waiter may hold
// to a little past now, for clocks read a moment apart.
void LiveRange(off_t* start, off_t* end) {
  int64_t now = MonotonicNanoseconds();
  *start = kLineBase + Microseconds(now - kTurnWaitNs - kLineSlackNs);
  *end = kLineBase + Microseconds(now + kLineSlackNs);
}

}  // namespace

bool IsRefusedWriterAskingAgain(const FileId& file, int64_t* sinceNs) {
  const Refusal& refusal = t_refusal;
  if (!refusal.known || refusal.file != file) return false;
  if (MonotonicNanoseconds() - refusal.lastNs > kAskAgainNs) return false;
  *sinceNs = refusal.sinceNs;
  return true;
}

void RememberRefusedWriter(const FileId& file) {
  Refusal& refusal = t_refusal;
  int64_t now = MonotonicNanoseconds();
  bool waiting = refusal.known && refusal.file == file && now - refusal.lastNs <= kAskAgainNs;
  if (!waiting) {
    refusal.file = file;
    refusal.sinceNs = now;
    refusal.known = true;
  }
  refusal.lastNs = now;
}

void ForgetRefusedWriter() { t_refusal.known = false; }

bool TakePlaceInLine(int fd, off_t* place) {
  off_t now = kLineBase + Microseconds(MonotonicNanoseconds());
  // Two writers that come in the same microsecond take neighbouring bytes.
  for (int attempt = 0; attempt < kPlaceAttempts; ++attempt) {
    if (LockExclusive(fd, now + attempt, 1)) {
      *place = now + attempt;
      return true;
    }
  }
  return false;
}

void LeavePlaceInLine(int fd, off_t place, FileWakeWord* word) {
  Unlock(fd, place, 1);
  // The writer behind this place sleeps until it is let go; a word of its
  // own is mapped only where the wait had none.
  if (word && word->usable()) {
    word->Wake(place);
    return;
  }
  FileWakeWord own(WritersInLine(fd) ? fd : -1);
  own.Wake(place);
}

bool WritersInLine(int fd) {
  off_t start, end;
  LiveRange(&start, &end);
  return ExclusivelyHeldByOthers(fd, start, end - start, nullptr);
}

// The place just ahead of this one: the last held in [start, place). A
// probe names one held byte of a range, in practice the oldest, so after
// the first probe the search looks in a window just below this place,
// where the writer that came last before it is, widening it until it finds
// one; then it steps to later places from there, and halves the rest of
// the range when the steps do not end soon.
bool PlaceAhead(int fd, off_t place, off_t* ahead) {
  off_t start, end;
  LiveRange(&start, &end);
  off_t low;  // held
  if (place <= start || !ExclusivelyHeldByOthers(fd, start, place - start, &low)) return false;
  // A lock over several bytes may begin below the range; start is held then.
  if (low < start) low = start;
  for (off_t span = kFirstWindow; place - span > low; span *= 4) {
    off_t found;
    if (ExclusivelyHeldByOthers(fd, place - span, span, &found)) {
      low = found > place - span ? found : place - span;
      break;
    }
  }
  off_t high = place;  // nothing held in [high, place)
  for (int step = 0; high - low > 1; ++step) {
    off_t from = step < kSteps ? low + 1 : low + (high - low) / 2;
    off_t found;
    if (ExclusivelyHeldByOthers(fd, from, high - from, &found))
      low = found > from ? found : from;
    else
      high = from;
  }
  *ahead = low;
  return true;
}

bool WaitForWritersAhead(int fd, off_t place, int64_t deadlineNs, FileWakeWord* word) {
  off_t ahead;
  while (PlaceAhead(fd, place, &ahead)) {
    // Granted only once that writer let its place go.
    if (!LockSharedBefore(fd, ahead, 1, deadlineNs, word)) return false;
    Unlock(fd, ahead, 1);
    if (MonotonicNanoseconds() >= deadlineNs) {
      errno = ETIMEDOUT;
      return false;
    }
  }
  return true;
}

}  // namespace vk_posix
