#include "shared_counter.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "system_root.h"

namespace vk_posix {

SharedCounter::SharedCounter(const char* fileName) {
  std::string path = SystemRoot() + "/" + fileName;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // Made with the permissions SQLite gives the database files, so whoever
  // may write the store may bump the counter. A new file grows to the counter's size filled with zeros; growing an
  // existing one changes nothing, so racing creators agree.
  void* mapped = MAP_FAILED;
  if (ftruncate(fd, sizeof(uint64_t)) == 0)
    mapped = mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (mapped != MAP_FAILED) m_value = static_cast<uint64_t*>(mapped);
}

bool SharedCounter::Read(uint64_t* value) const {
  if (!m_value) return false;
  *value = __atomic_load_n(m_value, __ATOMIC_ACQUIRE);
  return true;
}

bool SharedCounter::Increment() {
  if (!m_value) return false;
  __atomic_fetch_add(m_value, 1, __ATOMIC_ACQ_REL);
  return true;
}

}  // namespace vk_posix
