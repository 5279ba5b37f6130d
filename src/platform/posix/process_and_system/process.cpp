// Module file names, sleeping and the tick count.
#include <dlfcn.h>
#include <errno.h>
#include <link.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "process_and_system/errors.h"

namespace {

std::string ReadExecutablePath() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return std::string();
  return std::string(path, static_cast<size_t>(n));
}

// Read once: a process's executable is the one it was started from, as on
// Windows, even if that file is renamed later.
const std::string& ExecutablePath() {
  static const std::string path = ReadExecutablePath();
  return path;
}

}  // namespace

// The file of a module: null names the process's executable; otherwise the
// handle is one from LoadLibraryA (a dlopen handle). A name that does not fit
// is cut to nSize - 1 characters and ERROR_INSUFFICIENT_BUFFER is set, and
// nSize is returned, as Windows does since XP.
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  std::string path;
  if (!hModule) {
    path = ExecutablePath();
  } else {
    struct link_map* map = nullptr;
    if (dlinfo(hModule, RTLD_DI_LINKMAP, &map) != 0 || !map) return vk_posix::Fail(ERROR_MOD_NOT_FOUND);
    path = map->l_name && *map->l_name ? map->l_name : ExecutablePath();
  }
  if (path.empty()) return vk_posix::FailFromErrno();
  if (nSize == 0 || !lpFilename) return vk_posix::Fail(ERROR_INSUFFICIENT_BUFFER);
  if (path.size() >= nSize) {
    memcpy(lpFilename, path.data(), nSize - 1);
    lpFilename[nSize - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  memcpy(lpFilename, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

// Suspends the thread for at least the given milliseconds.
void WINAPI Sleep(DWORD dwMilliseconds) {
  struct timespec remaining = {static_cast<time_t>(dwMilliseconds / 1000),
                               static_cast<long>(dwMilliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

// Milliseconds since an arbitrary start, wrapping at 2^32 like Windows'.
DWORD WINAPI GetTickCount(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<DWORD>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                            static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}
