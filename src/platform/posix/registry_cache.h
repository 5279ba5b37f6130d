// What this process last read from the registry store, trusted while the
// store has not changed since.
//
// Every write to the store bumps a counter shared by all processes before it
// commits and again after. A reader notes the counter before it asks the
// store, so whatever it keeps was read while the counter had that value;
// while the counter still has it, no write has finished since, and the kept
// answer is the store's. A writer that dies between its two bumps leaves the
// counter moved, which only drops the caches.
#ifndef VK_PLATFORM_POSIX_REGISTRY_CACHE_H
#define VK_PLATFORM_POSIX_REGISTRY_CACHE_H

#include <vk/platform.h>

#include <stdint.h>

#include <string>
#include <unordered_map>

#include "shared_counter.h"

namespace vk_posix {

class RegistryCache {
 public:
  struct Answer {
    LONG result = ERROR_SUCCESS;
    int64_t id = 0;       // an opened key
    DWORD type = REG_NONE;  // a value
    std::string data;
  };

  RegistryCache();

  // The counter writers bump around each write.
  SharedCounter& counter() { return m_counter; }

  // Looks up a kept answer, after dropping everything when the store has
  // changed since the last look. Null when there is none.
  const Answer* Find(const std::string& question);
  // Keeps the store's answer to a question just looked up with Find.
  // Failures of the store itself are not kept.
  void Keep(const std::string& question, Answer answer);

 private:
  SharedCounter m_counter;
  bool m_valid = false;  // m_generation holds the counter's value
  uint64_t m_generation = 0;
  std::unordered_map<std::string, Answer> m_answers;
  size_t m_bytes = 0;
};

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_REGISTRY_CACHE_H
