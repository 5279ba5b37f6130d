// File objects behind file handles.
#ifndef VK_PLATFORM_POSIX_FILES_H
#define VK_PLATFORM_POSIX_FILES_H

#include <sys/types.h>

#include "files/share_modes.h"
#include "kernel/handles.h"

namespace vk_posix {

// A handle's access is kept as specific file rights (MapGenericFileAccess):
// FILE_READ_DATA reads, FILE_WRITE_DATA or FILE_APPEND_DATA writes.
class FileObject : public KernelObject {
 public:
  FileObject(int fd, DWORD access) : m_fd(fd), m_access(access) {}
  // Closes the descriptor, waking those who wait for what its share claim
  // held.
  ~FileObject() override;
  FileObject(const FileObject&) = delete;
  FileObject& operator=(const FileObject&) = delete;

  int fd() const { return m_fd; }
  bool CanRead() const { return (m_access & FILE_READ_DATA) != 0; }
  bool CanWrite() const { return (m_access & (FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0; }
  // Whether this handle changed the file since its last flush.
  bool unflushed() const { return m_unflushed; }
  void set_unflushed(bool unflushed) { m_unflushed = unflushed; }
  // What the close does for writers waiting in line (ClaimShareAccess).
  ClaimRelease* release() { return &m_release; }

 private:
  int m_fd;
  DWORD m_access;
  bool m_unflushed = false;
  ClaimRelease m_release;
};

// Writes all bytes, retrying EINTR and short writes; false with errno set.
bool WriteAll(int fd, const void* data, size_t size, size_t* written);

// Reads up to size bytes, retrying EINTR; -1 with errno set.
ssize_t ReadSome(int fd, void* data, size_t size);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_FILES_H
