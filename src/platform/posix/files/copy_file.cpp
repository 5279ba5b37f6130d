// Copying a file, holes and all.
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/files.h"
#include "kernel/errors.h"

using vk_posix::Fail;

namespace {

// Copies the bytes [begin, end) of one descriptor to the same offsets of
// another; stops early at the source's end. ERROR_SUCCESS or the failure.
DWORD CopyRange(int from, int to, off_t begin, off_t end) {
  char buffer[64 * 1024];
  if (lseek(from, begin, SEEK_SET) < 0 || lseek(to, begin, SEEK_SET) < 0)
    return vk_posix::Win32ErrorFromErrno(errno);
  for (off_t position = begin; position < end;) {
    size_t wanted = static_cast<size_t>(end - position) < sizeof buffer ? static_cast<size_t>(end - position)
                                                                         : sizeof buffer;
    ssize_t n = vk_posix::ReadSome(from, buffer, wanted);
    if (n < 0) return vk_posix::Win32ErrorFromErrno(errno);
    if (n == 0) break;
    size_t written = 0;
    if (!vk_posix::WriteAll(to, buffer, static_cast<size_t>(n), &written)) return vk_posix::Win32ErrorFromErrno(errno);
    position += n;
  }
  return ERROR_SUCCESS;
}

}  // namespace

// Copies a file's content. The source is opened for reading with full
// sharing, so a file held by a writer can be copied, as on Windows; the
// destination is created or, unless bFailIfExists, replaced. The source is
// copied as it is when the copy starts. Only its data regions are read and
// written and its holes stay holes in the copy (as cp makes them), so a
// sparse file costs its data, not its size.
BOOL Vk::Win32::CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
  if (!lpExistingFileName || !lpNewFileName) return Fail(ERROR_INVALID_PARAMETER);
  HANDLE source = CreateFileA(lpExistingFileName, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  if (source == INVALID_HANDLE_VALUE) return FALSE;
  HANDLE target = CreateFileA(lpNewFileName, GENERIC_WRITE, 0, nullptr, bFailIfExists ? CREATE_NEW : CREATE_ALWAYS,
                              0, nullptr);
  if (target == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    CloseHandle(source);
    return Fail(error);
  }
  auto sourceFile = vk_posix::LookupHandleAs<vk_posix::FileObject>(source);
  auto targetFile = vk_posix::LookupHandleAs<vk_posix::FileObject>(target);
  int from = sourceFile->fd();
  int to = targetFile->fd();
  DWORD error = ERROR_SUCCESS;
  struct stat info;
  off_t size = fstat(from, &info) == 0 ? info.st_size : -1;
  if (size < 0) error = vk_posix::Win32ErrorFromErrno(errno);
  for (off_t position = 0; error == ERROR_SUCCESS && position < size;) {
    off_t data = lseek(from, position, SEEK_DATA);
    off_t hole = data < 0 ? -1 : lseek(from, data, SEEK_HOLE);
    if (data < 0 && errno == ENXIO) break;  // only a hole up to the end
    if (data < 0 || hole < 0) {
      // Without hole search (EINVAL) the rest counts as data.
      if (errno != EINVAL) error = vk_posix::Win32ErrorFromErrno(errno);
      data = position;
      hole = size;
    }
    if (hole > size) hole = size;
    if (error == ERROR_SUCCESS) error = CopyRange(from, to, data, hole);
    position = hole;
  }
  if (error == ERROR_SUCCESS && ftruncate(to, size) != 0) error = vk_posix::Win32ErrorFromErrno(errno);
  CloseHandle(target);
  CloseHandle(source);
  if (error != ERROR_SUCCESS) {
    DeleteFileA(lpNewFileName);  // no half copy is left behind
    return Fail(error);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
