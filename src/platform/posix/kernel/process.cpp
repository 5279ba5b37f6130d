// The process's and the thread's identifiers.
#include <sys/syscall.h>
#include <unistd.h>

#include <vk/platform.h>

DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

DWORD WINAPI GetCurrentThreadId(void) { return static_cast<DWORD>(syscall(SYS_gettid)); }
