// SearchPathA: finding a file by name the way Windows' loader would.
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "errors.h"

namespace {

bool IsFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Without a search path: the executable's directory, the current
// directory, then each directory of $PATH. A given search path is a
// ':'-separated list, as $PATH is here.
std::vector<std::string> SearchDirectories(LPCSTR searchPath) {
  std::vector<std::string> directories;
  std::string list;
  if (searchPath) {
    list = searchPath;
  } else {
    char executable[PATH_MAX] = "";
    if (GetModuleFileNameA(nullptr, executable, sizeof executable) > 0)
      directories.emplace_back(executable, static_cast<size_t>(PathFindFileNameA(executable) - executable));
    char current[PATH_MAX] = "";
    if (getcwd(current, sizeof current)) directories.emplace_back(current);
    const char* path = getenv("PATH");
    list = path ? path : "";
  }
  for (size_t start = 0; start <= list.size();) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) directories.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return directories;
}

}  // namespace

// The extension is appended only to a name that has none. Returns the
// length of the full path found, or, when the buffer is too small, the size
// needed including the terminator; 0 with ERROR_FILE_NOT_FOUND otherwise.
DWORD WINAPI SearchPathA(LPCSTR lpPath, LPCSTR lpFileName, LPCSTR lpExtension, DWORD nBufferLength, LPSTR lpBuffer,
                         LPSTR* lpFilePart) {
  if (!lpFileName || !*lpFileName) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  std::string name = lpFileName;
  if (lpExtension && !*PathFindExtensionA(lpFileName)) name += lpExtension;
  std::string found;
  if (name.find('/') != std::string::npos) {
    if (IsFile(name)) found = name;
  } else {
    for (std::string directory : SearchDirectories(lpPath)) {
      if (directory.back() != '/') directory += '/';
      if (IsFile(directory + name)) {
        found = directory + name;
        break;
      }
    }
  }
  if (found.empty()) return vk_posix::Fail(ERROR_FILE_NOT_FOUND);
  char absolute[PATH_MAX];
  if (found[0] != '/' && realpath(found.c_str(), absolute)) found = absolute;
  if (found.size() + 1 > nBufferLength || !lpBuffer) return static_cast<DWORD>(found.size() + 1);
  memcpy(lpBuffer, found.c_str(), found.size() + 1);
  if (lpFilePart) *lpFilePart = PathFindFileNameA(lpBuffer);
  return static_cast<DWORD>(found.size());
}
