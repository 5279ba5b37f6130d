// GetLastError/SetLastError and the translation of errno into Win32 codes.
#include "kernel/errors.h"

#include <errno.h>

namespace {

// Each thread has its own last error, as on Windows.
thread_local DWORD t_lastError = ERROR_SUCCESS;

}  // namespace

// The calling thread's last error code.
DWORD Vk::Win32::GetLastError(void) { return t_lastError; }

// Sets the calling thread's last error code.
void Vk::Win32::SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

namespace vk_posix {

DWORD Win32ErrorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EBUSY: return ERROR_BUSY;
    case EAGAIN: return ERROR_LOCK_VIOLATION;
    case ELOOP: return ERROR_INVALID_NAME;
    case ENOSYS:
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    case EPIPE: return ERROR_BROKEN_PIPE;
    default: return ERROR_GEN_FAILURE;
  }
}

BOOL FailFromErrno() { return Fail(Win32ErrorFromErrno(errno)); }

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

}  // namespace vk_posix
