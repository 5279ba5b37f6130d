// The process's and the thread's identifiers.
#include <sys/syscall.h>
#include <unistd.h>

#include "kernel/win32.h"

DWORD Vk::Win32::GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

DWORD Vk::Win32::GetCurrentThreadId(void) { return static_cast<DWORD>(syscall(SYS_gettid)); }
