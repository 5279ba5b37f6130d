// What this process last read from the registry store, trusted while the
// store has not changed since.
//
// Writers take turns through the lock of a counter shared by all processes
// and move the counter twice around each write that changes the store: to
// an odd value before it commits and to the next even value after. An even
// counter therefore means no write is under way. A reader notes an even
// counter before it asks the store, so whatever it keeps was read at that
// value; while the counter still has it, no write has committed since, and
// the kept answer is the store's. Nothing read while the counter is odd is
// kept.
//
// A writer that dies between its two moves leaves the counter odd and its
// lock free. The next process that finds it so, under the lock, moves it on
// to even: every cache then empties, and keeping resumes.
//
// A writer whose cache was current when it took the lock, so that no other
// write came between, brings its cache up to date with its own write
// instead of emptying it.
#ifndef VK_PLATFORM_POSIX_REGISTRY_CACHE_H
#define VK_PLATFORM_POSIX_REGISTRY_CACHE_H

#include "kernel/win32.h"

#include <stdint.h>

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "machine/shared_counter.h"
#include "machine/sqlite_database.h"

namespace vk_posix {

class RegistryCache {
 public:
  struct Answer {
    LONG result = ERROR_SUCCESS;
    int64_t id = 0;       // an opened key
    DWORD type = REG_NONE;  // a value
    std::string data;
  };

  // In the shared machine store, a process that may not write it follows
  // the published copy that `connection` has open instead of the counter:
  // the copy's identity is its count.
  RegistryCache(Store store, const Connection& connection);

  // Looks up a kept answer, after dropping everything when the store has
  // changed since the last look. Null when there is none.
  const Answer* Find(const std::string& question);
  // Keeps the store's answer to a question just looked up with Find.
  // Failures of the store itself are not kept.
  void Keep(const std::string& question, Answer answer);

  // The store-wide count that every change moves; false when this process
  // cannot read it.
  bool ChangeCount(uint64_t* count);
  // The same, but false also while a write is under way (the count is
  // odd): a count that stays the same from one true answer to the next
  // means the store did not change in between.
  bool StableCount(uint64_t* count);

  // A write: BeginWrite waits for the writers' lock; when this process
  // cannot take it, its writes would stay unseen, and it returns why
  // (ERROR_DISK_FULL, else ERROR_REGISTRY_IO_FAILED) holding nothing.
  // Changing moves the counter to odd just before a commit that changes the
  // store; EndWrite moves it on to even when it moved and lets the lock go.
  // A write that changes nothing moves nothing, and every cache stays.
  // Between them the writer tells with Amend the new answer to each
  // question its write changed; a change that amends nothing empties the
  // cache. Amendments count only when the write committed.
  LONG BeginWrite();
  void Changing();
  void Amend(const std::string& question, Answer answer);
  // The count after a write that committed a change, else 0.
  uint64_t EndWrite(bool committed);

 private:
  // The counter's value, moved on to even when a dead writer left it odd
  // and no writer holds the lock now.
  bool ReadSettled(uint64_t* value);
  void Clear();
  void Put(const std::string& question, Answer answer);

  SharedCounter m_counter;
  const Connection* m_followed = nullptr;
  bool m_valid = false;  // m_generation is an even value of the counter
  uint64_t m_generation = 0;
  std::unordered_map<std::string, Answer> m_answers;
  size_t m_bytes = 0;
  // The write under way: whether the cache was current when it began,
  // whether it moved the counter, and what it changed.
  bool m_writing = false;
  bool m_writeFromCurrent = false;
  bool m_moved = false;
  std::vector<std::pair<std::string, Answer>> m_amendments;
};

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_REGISTRY_CACHE_H
