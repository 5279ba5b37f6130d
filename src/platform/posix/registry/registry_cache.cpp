#include "registry/registry_cache.h"

namespace vk_posix {

namespace {

// Bounds on what one process keeps: answers past these are not cached.
constexpr size_t kMaxAnswers = 4096;
constexpr size_t kMaxBytes = 1 << 20;
constexpr size_t kMaxDataSize = 4096;

bool IsStoreAnswer(LONG result) {
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND || result == ERROR_KEY_DELETED ||
         result == ERROR_NO_MORE_ITEMS;
}

bool IsEven(uint64_t count) { return (count & 1) == 0; }

}  // namespace

RegistryCache::RegistryCache(Store store, const Connection& connection) : m_counter("registry.changes", store) {
  StoreLocation where = Locate(store);
  if (where.shared && !where.writable) m_followed = &connection;
}

bool RegistryCache::ReadSettled(uint64_t* value) {
  if (m_followed) {
    *value = m_followed->CopyIdentity();
    return true;
  }
  if (!m_counter.Read(value)) return false;
  // While this process writes, the odd count is its own.
  if (IsEven(*value) || m_writing || !m_counter.TryLock()) return true;
  m_counter.Read(value);
  if (!IsEven(*value)) {
    m_counter.Increment();
    m_counter.Read(value);
  }
  m_counter.Unlock();
  return true;
}

void RegistryCache::Clear() {
  m_answers.clear();
  m_bytes = 0;
}

void RegistryCache::Put(const std::string& question, Answer answer) {
  auto kept = m_answers.find(question);
  if (kept != m_answers.end()) {
    m_bytes -= kept->first.size() + kept->second.data.size();
    m_answers.erase(kept);
  }
  if (!IsStoreAnswer(answer.result) || answer.data.size() > kMaxDataSize) return;
  size_t bytes = question.size() + answer.data.size();
  if (m_answers.size() >= kMaxAnswers || m_bytes + bytes > kMaxBytes) Clear();
  m_bytes += bytes;
  m_answers.emplace(question, std::move(answer));
}

const RegistryCache::Answer* RegistryCache::Find(const std::string& question) {
  uint64_t now = 0;
  m_valid = ReadSettled(&now) && IsEven(now);
  if (!m_valid || now != m_generation) {
    Clear();
    m_generation = now;
    return nullptr;
  }
  auto it = m_answers.find(question);
  return it == m_answers.end() ? nullptr : &it->second;
}

void RegistryCache::Keep(const std::string& question, Answer answer) {
  if (m_valid) Put(question, std::move(answer));
}

bool RegistryCache::ChangeCount(uint64_t* count) { return ReadSettled(count); }

bool RegistryCache::StableCount(uint64_t* count) { return ReadSettled(count) && IsEven(*count); }

LONG RegistryCache::BeginWrite() {
  if (!m_counter.Lock()) return m_counter.Error() == ERROR_DISK_FULL ? ERROR_DISK_FULL : ERROR_REGISTRY_IO_FAILED;
  uint64_t now = 0;
  m_counter.Read(&now);
  // Odd under the lock: a writer died in the middle of its write, which
  // may have committed.
  if (!IsEven(now)) {
    m_counter.Increment();
    ++now;
  }
  m_writing = true;
  m_moved = false;
  m_writeFromCurrent = m_valid && now == m_generation;
  m_amendments.clear();
  return ERROR_SUCCESS;
}

void RegistryCache::Changing() {
  if (m_moved) return;
  m_counter.Increment();
  m_moved = true;
}

void RegistryCache::Amend(const std::string& question, Answer answer) {
  m_amendments.emplace_back(question, std::move(answer));
}

uint64_t RegistryCache::EndWrite(bool committed) {
  if (m_moved) m_counter.Increment();
  uint64_t now = 0;
  m_counter.Read(&now);
  uint64_t changed = m_moved && committed ? now : 0;
  // A write that changed something but amended nothing leaves the
  // generation behind, so the next look empties the cache.
  if (m_writeFromCurrent && committed && (!m_moved || !m_amendments.empty())) {
    m_generation = now;
    for (auto& amendment : m_amendments) Put(amendment.first, std::move(amendment.second));
  }
  m_amendments.clear();
  m_writing = false;
  m_moved = false;
  m_counter.Unlock();
  return changed;
}

}  // namespace vk_posix
