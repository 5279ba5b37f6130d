// SearchPathA: finding a file by name the way Windows' loader would.
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "kernel/errors.h"

namespace {

bool IsFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Looks for name in each directory of the search order, stopping at the
// first match. Without a search path: the executable's directory, the
// system directory, the current directory, then each directory of $PATH
// (Windows' safe search order, without its 16-bit and Windows directories). A given search path is a
// ':'-separated list, as $PATH is here.
std::string Search(LPCSTR searchPath, const std::string& name) {
  auto lookIn = [&](std::string directory) {
    if (directory.empty()) return std::string();
    if (directory.back() != '/') directory += '/';
    directory += name;
    return IsFile(directory) ? directory : std::string();
  };
  std::string found;
  const char* list = searchPath;
  if (!searchPath) {
    char executable[PATH_MAX] = "";
    if (GetModuleFileNameA(nullptr, executable, sizeof executable) > 0)
      found = lookIn(std::string(executable, static_cast<size_t>(PathFindFileNameA(executable) - executable)));
    char current[PATH_MAX] = "";
    char system[PATH_MAX] = "";
    if (found.empty() && GetSystemDirectoryA(system, sizeof system) > 0) found = lookIn(system);
    // A set-user-ID program's current directory and $PATH are its caller's
    // choice: it looks in neither.
    bool secure = getauxval(AT_SECURE) != 0;
    if (found.empty() && !secure && getcwd(current, sizeof current)) found = lookIn(current);
    list = secure_getenv("PATH");
  }
  for (const char* start = list; found.empty() && start && *start;) {
    const char* end = strchr(start, ':');
    if (!end) end = start + strlen(start);
    found = lookIn(std::string(start, static_cast<size_t>(end - start)));
    start = *end ? end + 1 : end;
  }
  return found;
}

}  // namespace

// The extension is appended only to a name that has none. Returns the
// length of the full path found, or, when the buffer is too small, the size
// needed including the terminator; 0 with ERROR_FILE_NOT_FOUND otherwise.
DWORD Vk::Win32::SearchPathA(LPCSTR lpPath, LPCSTR lpFileName, LPCSTR lpExtension, DWORD nBufferLength, LPSTR lpBuffer,
                         LPSTR* lpFilePart) {
  if (!lpFileName || !*lpFileName) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  std::string name = lpFileName;
  if (lpExtension && !*PathFindExtensionA(lpFileName)) name += lpExtension;
  std::string found;
  if (name.find('/') != std::string::npos) {
    if (IsFile(name)) found = name;
  } else {
    found = Search(lpPath, name);
  }
  if (found.empty()) return vk_posix::Fail(ERROR_FILE_NOT_FOUND);
  char absolute[PATH_MAX];
  if (found[0] != '/' && realpath(found.c_str(), absolute)) found = absolute;
  if (found.size() + 1 > nBufferLength || !lpBuffer) return static_cast<DWORD>(found.size() + 1);
  memcpy(lpBuffer, found.c_str(), found.size() + 1);
  if (lpFilePart) *lpFilePart = PathFindFileNameA(lpBuffer);
  return static_cast<DWORD>(found.size());
}
