// Win32 error state for the POSIX platform layer.
#ifndef VK_PLATFORM_POSIX_KERNEL_ERRORS_H
#define VK_PLATFORM_POSIX_KERNEL_ERRORS_H

#include "kernel/win32.h"

namespace vk_posix {

// Translates an errno value into the Win32 error code that the matching
// Windows call reports. The one place where errno meets Win32 codes.
DWORD Win32ErrorFromErrno(int err);

// Sets the thread's last error from errno (translated) and returns FALSE, so
// that a failing path reads `return FailFromErrno();`.
BOOL FailFromErrno();

// Sets the thread's last error to code and returns FALSE.
BOOL Fail(DWORD code);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_KERNEL_ERRORS_H
