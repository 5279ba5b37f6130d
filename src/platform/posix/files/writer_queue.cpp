// Writers that reopen a file for every text starve one that polls: the file
// is free only for the microseconds between one writer's close and its next
// open, and Windows gives a refused opener no place in a queue. So a refused
// writer marks the time it started waiting, as a lock on the byte at
// kQueueBase + that time (monotonic milliseconds, the same clock in every
// process). A writer steps back (its open fails with a sharing violation)
// while an earlier waiter is in line, so the longest waiter gets the file
// when it is next free. Marks older than kQueueWindowMs are ignored by
// everyone -- the writer that left one has given up by then -- so a process
// that stops trying can hold up no one for longer than that.
#include "files/writer_queue.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <map>
#include <mutex>

#include "files/ofd_locks.h"

namespace vk_posix {

namespace {

constexpr off_t kQueueBase = off_t{1} << 62;  // far from data and share markers
constexpr off_t kQueueWindowMs = 60;          // longer than any writer's retries

off_t NowMs() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<off_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// This process's places in line: per file, a duplicate of a refused
// descriptor (an open file description of its own) holding the mark.
class WriterQueue {
 public:
  struct Place {
    int fd;
    off_t since;
  };

  // This process's place for the file, when it still counts.
  bool Find(const FileId& file, off_t* since) {
    std::lock_guard<std::mutex> guard(m_lock);
    DropStale();
    auto it = m_places.find(file);
    if (it == m_places.end()) return false;
    *since = it->second.since;
    return true;
  }

  void Join(int refusedFd, const FileId& file) {
    std::lock_guard<std::mutex> guard(m_lock);
    DropStale();
    if (m_places.count(file)) return;
    int fd = fcntl(refusedFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return;
    Unlock(fd, 0, 0);  // the refused open's share markers go
    off_t since = NowMs();
    if (!LockShared(fd, kQueueBase + since, 1)) {
      close(fd);
      return;
    }
    m_places.emplace(file, Place{fd, since});
  }

  void Leave(const FileId& file) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_places.find(file);
    if (it == m_places.end()) return;
    close(it->second.fd);
    m_places.erase(it);
  }

 private:
  void DropStale() {
    off_t oldest = NowMs() - kQueueWindowMs;
    for (auto it = m_places.begin(); it != m_places.end();) {
      if (it->second.since < oldest) {
        close(it->second.fd);
        it = m_places.erase(it);
      } else {
        ++it;
      }
    }
  }

  std::mutex m_lock;
  std::map<FileId, Place> m_places;
};

WriterQueue& Queue() {
  static WriterQueue* queue = new WriterQueue;  // outlives static destructors
  return *queue;
}

}  // namespace

bool MustYieldToEarlierWaiter(int fd, const FileId& file) {
  off_t windowStart = kQueueBase + NowMs() - kQueueWindowMs;
  off_t since = 0;
  if (!Queue().Find(file, &since)) return HeldByOthers(fd, windowStart, kQueueWindowMs + 1);
  off_t mine = kQueueBase + since;
  return mine > windowStart && HeldByOthers(fd, windowStart, mine - windowStart);
}

void JoinWriterQueue(int refusedFd, const FileId& file) { Queue().Join(refusedFd, file); }

void LeaveWriterQueue(const FileId& file) { Queue().Leave(file); }

}  // namespace vk_posix
