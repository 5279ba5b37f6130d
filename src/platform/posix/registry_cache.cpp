#include "registry_cache.h"

namespace vk_posix {

namespace {

// Bounds on what one process keeps: answers past these are not cached.
constexpr size_t kMaxAnswers = 4096;
constexpr size_t kMaxBytes = 1 << 20;
constexpr size_t kMaxDataSize = 4096;

bool IsStoreAnswer(LONG result) {
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND || result == ERROR_KEY_DELETED;
}

}  // namespace

RegistryCache::RegistryCache() : m_counter("registry.changes") {}

const RegistryCache::Answer* RegistryCache::Find(const std::string& question) {
  uint64_t now = 0;
  m_valid = m_counter.Read(&now);
  if (!m_valid || now != m_generation) {
    m_answers.clear();
    m_bytes = 0;
    m_generation = now;
    return nullptr;
  }
  auto it = m_answers.find(question);
  return it == m_answers.end() ? nullptr : &it->second;
}

void RegistryCache::Keep(const std::string& question, Answer answer) {
  if (!m_valid || !IsStoreAnswer(answer.result) || answer.data.size() > kMaxDataSize) return;
  size_t bytes = question.size() + answer.data.size();
  if (m_answers.size() >= kMaxAnswers || m_bytes + bytes > kMaxBytes) {
    m_answers.clear();
    m_bytes = 0;
  }
  m_bytes += bytes;
  m_answers[question] = std::move(answer);
}

}  // namespace vk_posix
