// A blocked request sleeps on the file's wake word (wake_words.h) between
// looks at the lock, woken by the process that lets the lock go; each sleep
// lasts kSliceNs at most, as a wake-up that came between the last look and
// the sleep is lost. Without a wake word (an empty file has none, say),
// the request runs on a waiter thread instead, which the caller cancels at
// its deadline; the C library ends a thread blocked in F_OFD_SETLKW on
// pthread_cancel without a signal handler of ours. A waiter that finished
// its request in time is kept for the next one, as a new thread for each
// wait would cost more than the wait's own work; idle waiters end after a
// while, and a cancelled one is never used again.
#include "files/lock_waits.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <time.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "files/ofd_locks.h"
#include "files/wake_words.h"

namespace vk_posix {

namespace {

constexpr int64_t kPollPauseNs = 1000000;  // without a waiter thread, a wait polls each millisecond
// The longest sleep on a wake word between two looks. Each waiter in a
// long line wakes once a slice for nothing, and a lost wake-up costs one
// slice; 10 ms let more texts through than 2 ms.
constexpr int64_t kSliceNs = 10000000;
constexpr std::chrono::seconds kIdleLife(2);
constexpr size_t kMostIdleWaiters = 4;

bool TryLock(int fd, struct flock lock) {
  int rc;
  do rc = fcntl(fd, F_OFD_SETLK, &lock);
  while (rc == -1 && errno == EINTR);
  return rc == 0;
}

std::chrono::steady_clock::time_point SteadyTime(int64_t nanoseconds) {
  return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(nanoseconds));
}

class LockWaiter;

// Waiters without a request. Never destroyed: a waiter may end after the
// host's static destructors.
struct IdleWaiters {
  std::mutex lock;
  std::vector<LockWaiter*> waiters;  // guarded by lock
};

IdleWaiters& Idle() {
  static IdleWaiters* idle = [] {
    auto* created = new IdleWaiters;
    // A child made by fork() has none of these threads, and must not
    // inherit the lock held by another thread.
    pthread_atfork([] { Idle().lock.lock(); }, [] { Idle().lock.unlock(); },
                   [] {
                     Idle().waiters.clear();  // their threads stayed behind
                     Idle().lock.unlock();
                   });
    return created;
  }();
  return *idle;
}

enum class Outcome { kGranted, kFailed, kTimedOut };

// One thread that blocks in F_OFD_SETLKW on behalf of a caller.
class LockWaiter {
 public:
  // Null when no thread can be made.
  static LockWaiter* Start() {
    LockWaiter* waiter = new LockWaiter;
    sigset_t all, previous;
    sigfillset(&all);
    // The program's own signals never run on the waiter.
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    int rc = pthread_create(&waiter->m_thread, nullptr, &LockWaiter::Main, waiter);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (rc != 0) {
      delete waiter;
      return nullptr;
    }
    return waiter;
  }

  // Runs one request until it ends or the deadline passes; false when the
  // thread had to be cancelled, after which the waiter is gone.
  bool Run(int fd, struct flock lock, int64_t deadlineNs, Outcome* outcome, int* error) {
    std::unique_lock<std::mutex> guard(m_mutex);
    m_fd = fd;
    m_lock = lock;
    m_state = kAsked;
    m_changed.notify_all();
    if (m_changed.wait_until(guard, SteadyTime(deadlineNs), [this] { return m_state == kDone; })) {
      m_state = kIdle;
      *outcome = m_granted ? Outcome::kGranted : Outcome::kFailed;
      *error = m_error;
      return true;
    }
    guard.unlock();
    pthread_cancel(m_thread);
    guard.lock();
    m_quit = true;  // for a thread that had finished just then
    m_changed.notify_all();
    guard.unlock();
    pthread_join(m_thread, nullptr);
    // A request granted just as the deadline passed is kept.
    *outcome = m_state == kDone && m_granted ? Outcome::kGranted : Outcome::kTimedOut;
    *error = ETIMEDOUT;
    delete this;
    return false;
  }

  // Ends an idle waiter that is not wanted.
  void Stop() {
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      m_quit = true;
      m_changed.notify_all();
    }
    pthread_join(m_thread, nullptr);
    delete this;
  }

  bool m_listed = false;  // guarded by Idle().lock: in the idle list

 private:
  enum State { kIdle, kAsked, kDone };

  static void* Main(void* self) {
    static_cast<LockWaiter*>(self)->Serve();
    return nullptr;
  }

  // Cancellation is let in only while the thread blocks in the request.
  void Serve() {
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
    std::unique_lock<std::mutex> guard(m_mutex);
    for (;;) {
      if (!m_changed.wait_for(guard, kIdleLife, [this] { return m_state == kAsked || m_quit; }) && LeaveIdle()) {
        guard.unlock();
        pthread_detach(pthread_self());
        delete this;
        return;
      }
      if (m_quit) return;
      if (m_state != kAsked) continue;
      int fd = m_fd;
      struct flock lock = m_lock;
      guard.unlock();
      pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, nullptr);
      int rc;
      do rc = fcntl(fd, F_OFD_SETLKW, &lock);  // a cancellation point
      while (rc == -1 && errno == EINTR);
      int error = errno;
      pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
      guard.lock();
      m_granted = rc == 0;
      m_error = rc == 0 ? 0 : error;
      m_state = kDone;
      m_changed.notify_all();
    }
  }

  // Whether this idle waiter left the idle list to end; false when a
  // caller has just taken it.
  bool LeaveIdle() {
    IdleWaiters& idle = Idle();
    std::lock_guard<std::mutex> guard(idle.lock);
    if (!m_listed) return false;
    for (auto it = idle.waiters.begin(); it != idle.waiters.end(); ++it) {
      if (*it == this) {
        idle.waiters.erase(it);
        break;
      }
    }
    m_listed = false;
    return true;
  }

  pthread_t m_thread;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  State m_state = kIdle;  // guarded by m_mutex
  bool m_quit = false;    // guarded by m_mutex
  int m_fd = -1;          // guarded by m_mutex
  struct flock m_lock {};  // guarded by m_mutex
  bool m_granted = false;  // guarded by m_mutex
  int m_error = 0;         // guarded by m_mutex
};

LockWaiter* TakeWaiter() {
  IdleWaiters& idle = Idle();
  {
    std::lock_guard<std::mutex> guard(idle.lock);
    if (!idle.waiters.empty()) {
      LockWaiter* waiter = idle.waiters.back();
      idle.waiters.pop_back();
      waiter->m_listed = false;
      return waiter;
    }
  }
  return LockWaiter::Start();
}

void GiveBack(LockWaiter* waiter) {
  IdleWaiters& idle = Idle();
  {
    std::lock_guard<std::mutex> guard(idle.lock);
    if (idle.waiters.size() < kMostIdleWaiters) {
      idle.waiters.push_back(waiter);
      waiter->m_listed = true;
      return;
    }
  }
  waiter->Stop();
}

bool PollUntil(int fd, struct flock lock, int64_t deadlineNs) {
  for (;;) {
    if (TryLock(fd, lock)) return true;
    if (errno != EAGAIN && errno != EACCES) return false;
    int64_t left = deadlineNs - MonotonicNanoseconds();
    if (left <= 0) break;
    struct timespec pause = {0, static_cast<long>(left < kPollPauseNs ? left : kPollPauseNs)};
    nanosleep(&pause, nullptr);
  }
  errno = ETIMEDOUT;
  return false;
}

enum class Slept { kGranted, kFailed, kNoWakeWord };

// Sleeps on the file's wake word between looks at the lock, until it is
// granted or the deadline passes (kFailed with errno ETIMEDOUT), or the
// word cannot be used (then the rest of the wait is another way's).
Slept SleepUntilGranted(int fd, struct flock lock, int64_t deadlineNs, FileWakeWord* word) {
  if (!word || !word->usable()) return Slept::kNoWakeWord;
  for (;;) {
    const int64_t now = MonotonicNanoseconds();
    if (now >= deadlineNs) {
      errno = ETIMEDOUT;
      return Slept::kFailed;
    }
    if (!word->SleepFor(lock.l_start, deadlineNs - now > kSliceNs ? now + kSliceNs : deadlineNs))
      return Slept::kNoWakeWord;
    if (TryLock(fd, lock)) return Slept::kGranted;
    if (errno != EAGAIN && errno != EACCES) return Slept::kFailed;
  }
}

// The rest of a wait on a waiter thread, or polling where no thread can be
// made.
bool WaitOnWaiter(int fd, struct flock lock, int64_t deadlineNs) {
  LockWaiter* waiter = TakeWaiter();
  if (!waiter) return PollUntil(fd, lock, deadlineNs);
  Outcome outcome = Outcome::kTimedOut;
  int error = 0;
  if (waiter->Run(fd, lock, deadlineNs, &outcome, &error)) GiveBack(waiter);
  if (outcome == Outcome::kGranted) return true;
  errno = error;
  return false;
}

bool LockBefore(int fd, struct flock lock, int64_t deadlineNs, FileWakeWord* word) {
  if (TryLock(fd, lock)) return true;
  if (errno != EAGAIN && errno != EACCES) return false;
  if (MonotonicNanoseconds() >= deadlineNs) {
    errno = ETIMEDOUT;
    return false;
  }
  // The caller's own thread must not be cancelled in the middle of a wait.
  int cancelState;
  pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancelState);
  const Slept slept = SleepUntilGranted(fd, lock, deadlineNs, word);
  const bool granted = slept == Slept::kGranted || (slept == Slept::kNoWakeWord && WaitOnWaiter(fd, lock, deadlineNs));
  int error = errno;
  pthread_setcancelstate(cancelState, nullptr);
  errno = error;
  return granted;
}

}  // namespace

bool LockExclusiveBefore(int fd, off_t start, off_t length, int64_t deadlineNs, FileWakeWord* word) {
  return LockBefore(fd, Range(F_WRLCK, start, length), deadlineNs, word);
}

bool LockSharedBefore(int fd, off_t start, off_t length, int64_t deadlineNs, FileWakeWord* word) {
  return LockBefore(fd, Range(F_RDLCK, start, length), deadlineNs, word);
}

int64_t MonotonicNanoseconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void YieldCpu() {
  const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
  if (policy == SCHED_OTHER || policy == SCHED_BATCH || policy == SCHED_IDLE) sched_yield();
}

}  // namespace vk_posix
