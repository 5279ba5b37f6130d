// Module file names.
#include <dlfcn.h>
#include <link.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "kernel/errors.h"

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
DWORD Vk::Win32::GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
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
