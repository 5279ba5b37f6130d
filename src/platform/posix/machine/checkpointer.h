// Checkpoints of one database on a thread of its own.
//
// In WAL mode a commit appends to the WAL and syncs nothing (synchronous=
// NORMAL); a checkpoint copies the WAL into the database file, syncing the
// WAL before and the file after. SQLite runs one in the committing call
// each time the WAL has grown by 1000 pages, so every thousandth or so
// page written made its writer wait for two syncs. Here such a commit only
// asks this process's checkpointer thread, which runs the same checkpoint
// with the same syncs, as often, on a connection of its own while writers
// go on appending.
//
// The WAL starts again from its beginning only when a writer finds it all
// copied, which writers that never pause would never let happen. So once
// it holds four times as many pages, the committing call runs the
// checkpoint itself, as SQLite would: one writer in four thousand pages
// still waits for the syncs, and the WAL stays bounded.
//
// The same thread publishes the copies of the shared machine store's
// registry that its other readers read (sqlite_database.h): a burst of
// writes makes one copy, kPublishDelayMs after its first write, and a
// process that ends with a copy due makes it before it goes.
#ifndef VK_PLATFORM_POSIX_MACHINE_CHECKPOINTER_H
#define VK_PLATFORM_POSIX_MACHINE_CHECKPOINTER_H

#include <sqlite3.h>
#include <stdint.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace vk_posix {

class Checkpointer {
 public:
  // `unpublished`: SQL (static, or null) that takes out of each published
  // copy what its readers must not find.
  explicit Checkpointer(const char* unpublished) : m_unpublished(unpublished) {}
  Checkpointer(const Checkpointer&) = delete;
  Checkpointer& operator=(const Checkpointer&) = delete;

  // Makes the connection's commits ask for checkpoints instead of running
  // them.
  void Serve(sqlite3* db);
  // Asks for a copy of the database at `path`, made whole and renamed into
  // place at `copy`, stamped with `generation` (the highest asked for),
  // without what `unpublished` takes out of it.
  static constexpr int kPublishDelayMs = 20;
  // The form of the copies made here, stamped on each beside its
  // generation. A copy of an earlier form counts as none and is made again:
  // form 2 leaves out what `unpublished` takes out, which earlier copies
  // held.
  static constexpr int kCopyForm = 2;
  void Publish(const std::string& path, const std::string& copy, uint64_t generation);
  // At a normal exit: waits for a checkpoint under way, closes the
  // thread's connection and lets the thread end.
  void Finish();
  // Around a fork, in the parent: waits for a checkpoint under way and
  // holds the next one back, so that the thread is not inside SQLite.
  void PauseForFork();
  void ResumeAfterFork();
  // In a forked child, which has no such thread: forgets the parent's.
  void Abandon();

 private:
  static int OnCommit(void* self, sqlite3* db, const char* schema, int pages);
  // False when no thread can take the request.
  bool Request(const char* path, int pages);
  // Starts the thread unless it runs; called with m_lock held.
  bool StartThread();
  void Run();

  const char* const m_unpublished;
  std::mutex m_lock;
  std::mutex m_gate;  // held by the thread while it uses SQLite
  std::condition_variable m_wake;  // a request or the end
  std::condition_variable m_idle;  // the thread has ended
  std::string m_path;              // the database to checkpoint
  int m_askedAt = 0;               // WAL pages at the last request
  bool m_started = false;
  bool m_requested = false;
  bool m_finishing = false;
  // The copy due: from where to where, its stamp, and when to make it.
  bool m_publishDue = false;
  std::string m_publishFrom;
  std::string m_publishTo;
  uint64_t m_generation = 0;
  std::chrono::steady_clock::time_point m_publishAt;
};

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_MACHINE_CHECKPOINTER_H
