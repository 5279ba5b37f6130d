// CreateFileA and the calls on file handles.
#include "files/files.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "files/share_modes.h"
#include "kernel/errors.h"

namespace vk_posix {

FileObject::~FileObject() { CloseClaimedFile(m_fd, &m_release); }

bool WriteAll(int fd, const void* data, size_t size, size_t* written) {
  const char* cursor = static_cast<const char*>(data);
  *written = 0;
  while (*written < size) {
    ssize_t n = write(fd, cursor + *written, size - *written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    *written += static_cast<size_t>(n);
  }
  return true;
}

ssize_t ReadSome(int fd, void* data, size_t size) {
  ssize_t n;
  do n = read(fd, data, size);
  while (n < 0 && errno == EINTR);
  return n;
}

namespace {

constexpr int kMaxReopenAttempts = 100;

int OpenRetrying(const char* path, int flags, mode_t mode) {
  int fd;
  do fd = open(path, flags | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// Whether a name ends in a separator, as a directory's name may.
bool EndsInSeparator(const char* path) {
  size_t length = strlen(path);
  return length > 0 && path[length - 1] == '/';
}

// ENOENT means a missing file when the directory exists and a missing
// directory (ERROR_PATH_NOT_FOUND) when it does not, as Windows tells them.
// A file's name with a separator after it is no valid name
// (ERROR_INVALID_NAME), while a component that is a file is a missing path.
DWORD ErrorForOpenFailure(const char* path, int err) {
  std::string named(path);
  while (named.size() > 1 && named.back() == '/') named.pop_back();
  if ((err == ENOTDIR || err == EISDIR) && EndsInSeparator(path)) {
    struct stat info;
    bool exists = stat(named.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) return ERROR_ACCESS_DENIED;
    if (exists || err == EISDIR) return ERROR_INVALID_NAME;
  }
  if (err != ENOENT) return Win32ErrorFromErrno(err);
  std::string directory = named;
  size_t slash = directory.find_last_of('/');
  if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;
  directory.resize(slash == 0 ? 1 : slash);
  struct stat info;
  if (stat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return ERROR_FILE_NOT_FOUND;
  return ERROR_PATH_NOT_FOUND;
}

// Opens an existing file or creates one, telling which happened; the open
// does not truncate, so that truncation waits until the share check passed.
int OpenOrCreate(const char* path, int accessFlags, DWORD disposition, bool* created) {
  *created = false;
  const mode_t mode = 0666;  // narrowed by the umask, as for any new file
  for (;;) {
    if (disposition != CREATE_NEW) {
      int fd = OpenRetrying(path, accessFlags, 0);
      if (fd >= 0 || errno != ENOENT) return fd;
      if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) return -1;
    }
    int fd = OpenRetrying(path, accessFlags | O_CREAT | O_EXCL, mode);
    if (fd >= 0) {
      *created = true;
      return fd;
    }
    // Someone else created it between our two opens: open theirs.
    if (errno != EEXIST || disposition == CREATE_NEW) return -1;
  }
}

// Flags that only tune caching or name pipes' security, which this layer
// may take and ignore; FILE_FLAG_WRITE_THROUGH is honoured with O_DSYNC.
constexpr DWORD kAcceptedFlags = FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING | FILE_FLAG_RANDOM_ACCESS |
                                 FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_POSIX_SEMANTICS | 0x00800000u /* session aware */ |
                                 0x001F0000u /* security quality of service, open without recall */;

}  // namespace

}  // namespace vk_posix

using vk_posix::Fail;
using vk_posix::FailFromErrno;
using vk_posix::FileObject;

// Opens or creates a file with Win32 access, sharing and disposition.
// Generic rights are mapped to the specific file rights, which decide what
// the handle may do: FILE_READ_DATA reads, FILE_WRITE_DATA writes, and
// FILE_APPEND_DATA without FILE_WRITE_DATA writes at the end of the file
// whatever the file pointer says. Sharing is enforced against every handle
// opened through this layer, in this and other processes
// (share_modes.cpp), and counts only data access. As under Wine,
// CREATE_ALWAYS and TRUNCATE_EXISTING truncate whatever the access; the
// file must then be writable by the caller. A name that ends in a separator
// is refused with ERROR_INVALID_NAME. Differences from Windows: a handle
// with write access needs read permission on the file too (the share
// markers are read locks), and FILE_FLAG_OVERLAPPED, _DELETE_ON_CLOSE,
// _BACKUP_SEMANTICS and _OPEN_REPARSE_POINT are refused with
// ERROR_INVALID_PARAMETER, since their promises are not kept here.
// Descriptors are close-on-exec.
HANDLE Vk::Win32::CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  if (!lpFileName || hTemplateFile) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (!*lpFileName) {
    Fail(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING ||
      (dwFlagsAndAttributes & 0xFFFF0000u & ~vk_posix::kAcceptedFlags) != 0) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const DWORD access = vk_posix::MapGenericFileAccess(dwDesiredAccess);
  const bool write = (access & (FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
  const bool truncating = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == TRUNCATE_EXISTING;
  int openFlags = write || truncating ? O_RDWR : O_RDONLY;
  if ((access & FILE_APPEND_DATA) && !(access & FILE_WRITE_DATA)) openFlags |= O_APPEND;
  if (dwFlagsAndAttributes & FILE_FLAG_WRITE_THROUGH) openFlags |= O_DSYNC;

  // The name may be deleted or replaced between open() and the share claim;
  // a handle must never end up on a file that no longer has the name, so the
  // open is repeated until the claimed file is the one the name points to.
  bool created = false;
  std::shared_ptr<FileObject> file;
  for (int attempt = 0;; ++attempt) {
    int fd = vk_posix::OpenOrCreate(lpFileName, openFlags, dwCreationDisposition, &created);
    if (fd < 0) {
      Fail(vk_posix::ErrorForOpenFailure(lpFileName, errno));
      return INVALID_HANDLE_VALUE;
    }
    file = std::make_shared<FileObject>(fd, access);
    struct stat info;
    if (fstat(fd, &info) != 0) {
      FailFromErrno();
      return INVALID_HANDLE_VALUE;
    }
    if (S_ISDIR(info.st_mode)) {
      Fail(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    DWORD shareResult =
        vk_posix::ClaimShareAccess(fd, info, vk_posix::MakeShareRequest(dwDesiredAccess, dwShareMode), file->release());
    if (shareResult != ERROR_SUCCESS) {
      // A file created here a moment ago stays: the handle that won the race
      // may already be writing to it.
      Fail(shareResult);
      return INVALID_HANDLE_VALUE;
    }
    struct stat named;
    bool stillNamed = stat(lpFileName, &named) == 0 && named.st_dev == info.st_dev && named.st_ino == info.st_ino;
    if (stillNamed) break;
    if (attempt == vk_posix::kMaxReopenAttempts) {
      Fail(ERROR_SHARING_VIOLATION);
      return INVALID_HANDLE_VALUE;
    }
  }
  if (truncating && !created && ftruncate(file->fd(), 0) != 0) {
    FailFromErrno();
    return INVALID_HANDLE_VALUE;
  }
  // Like Windows, report whether an existing file was opened where the
  // disposition could have created one.
  bool couldCreate = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
  SetLastError(couldCreate && !created ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return vk_posix::InsertHandle(std::move(file));
}

// Writes at the file pointer. A write that could not place every byte fails
// with the system's reason (ERROR_DISK_FULL for a full disk); the count
// written so far is still returned.
BOOL Vk::Win32::WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  if (lpOverlapped) return Fail(ERROR_INVALID_PARAMETER);
  auto file = vk_posix::LookupHandleAs<FileObject>(hFile);
  if (!file) return FALSE;
  if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
  if (!lpBuffer && nNumberOfBytesToWrite) return Fail(ERROR_NOACCESS);
  size_t written = 0;
  bool ok = vk_posix::WriteAll(file->fd(), lpBuffer, nNumberOfBytesToWrite, &written);
  if (written) file->set_unflushed(true);
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = static_cast<DWORD>(written);
  return ok ? TRUE : FailFromErrno();
}

// Reads at the file pointer; at the end of the file it succeeds with 0 bytes.
BOOL Vk::Win32::ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  if (lpOverlapped) return Fail(ERROR_INVALID_PARAMETER);
  auto file = vk_posix::LookupHandleAs<FileObject>(hFile);
  if (!file) return FALSE;
  if (!file->CanRead()) return Fail(ERROR_ACCESS_DENIED);
  if (!lpBuffer && nNumberOfBytesToRead) return Fail(ERROR_NOACCESS);
  ssize_t n = vk_posix::ReadSome(file->fd(), lpBuffer, nNumberOfBytesToRead);
  if (n < 0) return FailFromErrno();
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = static_cast<DWORD>(n);
  return TRUE;
}

// Moves the file pointer. Without a high part the distance is a signed
// 32-bit value; with one, the two form a signed 64-bit distance, and the
// high part of the new position is returned through it.
DWORD Vk::Win32::SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
  auto file = vk_posix::LookupHandleAs<FileObject>(hFile);
  if (!file) return INVALID_SET_FILE_POINTER;
  static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (dwMoveMethod > FILE_END) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t distance = lDistanceToMove;
  if (lpDistanceToMoveHigh)
    distance = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                                    static_cast<uint32_t>(lDistanceToMove));
  off_t base = dwMoveMethod == FILE_BEGIN ? 0 : lseek(file->fd(), 0, kWhence[dwMoveMethod]);
  if (base < 0 || base + distance < 0) {
    Fail(base < 0 ? vk_posix::Win32ErrorFromErrno(errno) : ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  off_t position = lseek(file->fd(), static_cast<off_t>(base + distance), SEEK_SET);
  if (position < 0) {
    FailFromErrno();
    return INVALID_SET_FILE_POINTER;
  }
  if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(position);
}

// Makes the current file pointer the end of the file.
BOOL Vk::Win32::SetEndOfFile(HANDLE hFile) {
  auto file = vk_posix::LookupHandleAs<FileObject>(hFile);
  if (!file) return FALSE;
  if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
  off_t position = lseek(file->fd(), 0, SEEK_CUR);
  if (position < 0) return FailFromErrno();
  int rc;
  do rc = ftruncate(file->fd(), position);
  while (rc != 0 && errno == EINTR);
  file->set_unflushed(true);
  return rc == 0 ? TRUE : FailFromErrno();
}

// The file size; the high 32 bits go through lpFileSizeHigh when given. On
// failure INVALID_FILE_SIZE with the reason in the last error; a file whose
// low 32 bits happen to be 0xFFFFFFFF sets the last error to NO_ERROR, so
// that the caller can tell the two apart, as Windows documents.
DWORD Vk::Win32::GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  auto file = vk_posix::LookupHandleAs<FileObject>(hFile);
  if (!file) return INVALID_FILE_SIZE;
  struct stat info;
  if (fstat(file->fd(), &info) != 0) {
    FailFromErrno();
    return INVALID_FILE_SIZE;
  }
  uint64_t size = static_cast<uint64_t>(info.st_size);
  if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  if (static_cast<DWORD>(size) == INVALID_FILE_SIZE) SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

// Writes the file's data and metadata through to the device (fsync). Like
// Windows, it needs a handle with write access. A handle that changed
// nothing since its last successful flush returns at once: an fsync of a
// clean file still costs a device cache flush on most file systems. Data
// written through other handles is flushed by their own flushes.
BOOL Vk::Win32::FlushFileBuffers(HANDLE hFile) {
  auto file = vk_posix::LookupHandleAs<FileObject>(hFile);
  if (!file) return FALSE;
  if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
  if (!file->unflushed()) return TRUE;
  int rc;
  do rc = fsync(file->fd());
  while (rc != 0 && errno == EINTR);
  if (rc != 0) return FailFromErrno();
  file->set_unflushed(false);
  return TRUE;
}

// Deletes a file. As on Windows it fails with ERROR_SHARING_VIOLATION while
// a handle is open on it whose share mode lacks FILE_SHARE_DELETE; a handle
// that shares delete keeps reading the file after its name is gone.
BOOL Vk::Win32::DeleteFileA(LPCSTR lpFileName) {
  if (!lpFileName) return Fail(ERROR_INVALID_PARAMETER);
  int fd = vk_posix::OpenRetrying(lpFileName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK, 0);
  if (fd >= 0) {
    struct stat info;
    DWORD shareResult = ERROR_ACCESS_DENIED;  // for a directory
    vk_posix::ClaimRelease release;
    if (fstat(fd, &info) != 0)
      shareResult = vk_posix::Win32ErrorFromErrno(errno);
    else if (!S_ISDIR(info.st_mode))
      shareResult = vk_posix::ClaimShareAccess(
          fd, info, vk_posix::MakeShareRequest(DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE),
          &release);
    if (shareResult != ERROR_SUCCESS) {
      close(fd);
      return Fail(shareResult);
    }
    // The claim is held across the unlink, so no conflicting open slips in.
    int rc = unlink(lpFileName);
    int savedErrno = errno;
    vk_posix::CloseClaimedFile(fd, &release);
    if (rc != 0) return Fail(vk_posix::ErrorForOpenFailure(lpFileName, savedErrno));
    return TRUE;
  }
  // Unreadable files and links: no handle of ours can hold them; unlink alone.
  if (errno != EACCES && errno != ELOOP) return Fail(vk_posix::ErrorForOpenFailure(lpFileName, errno));
  if (unlink(lpFileName) != 0) return Fail(vk_posix::ErrorForOpenFailure(lpFileName, errno));
  return TRUE;
}
