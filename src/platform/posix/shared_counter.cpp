#include "shared_counter.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "errors.h"
#include "state_files.h"
#include "system_root.h"

namespace vk_posix {

SharedCounter::SharedCounter(const char* fileName) {
  // Readable by every user of the state directory, written by its owner,
  // like the database files.
  int fd = OpenStateFile(SystemRoot(), fileName, O_RDWR | O_CREAT, 0644, &m_error);
  if (fd < 0) return;
  // The counter's bytes get disk blocks before they are mapped: a hole
  // that a full disk cannot fill would kill the process with SIGBUS at the
  // first access. A new file grows to the counter's size filled with
  // zeros; an existing one keeps its count, so racing creators agree.
  int rc;
  do rc = posix_fallocate(fd, 0, sizeof(uint64_t));
  while (rc == EINTR);
  void* mapped = MAP_FAILED;
  if (rc == 0) mapped = mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (rc != 0) m_error = Win32ErrorFromErrno(rc);
  else if (mapped == MAP_FAILED) m_error = Win32ErrorFromErrno(errno);
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
