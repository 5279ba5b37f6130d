// Path helpers with '/' as the separator.
#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "kernel/errors.h"

// The last component of a path: the text after the last separator that is
// followed by more text, so "/a/b/" gives "b/" as Windows gives "b\".
LPSTR Vk::Win32::PathFindFileNameA(LPCSTR pszPath) {
  if (!pszPath) return nullptr;
  const char* name = pszPath;
  for (const char* p = pszPath; *p; ++p) {
    if (*p == '/' && p[1] && p[1] != '/') name = p + 1;
  }
  return const_cast<LPSTR>(name);
}

// The extension of the last component, dot included, or the terminator when
// there is none. As on Windows, a blank after the dot ends the extension.
LPSTR Vk::Win32::PathFindExtensionA(LPCSTR pszPath) {
  if (!pszPath) return nullptr;
  const char* dot = nullptr;
  const char* p = pszPath;
  for (; *p; ++p) {
    if (*p == '/' || *p == ' ') dot = nullptr;
    else if (*p == '.') dot = p;
  }
  return const_cast<LPSTR>(dot ? dot : p);
}

// Appends a separator unless the path is empty or already ends in one, and
// returns the terminator. As on Windows, a path of MAX_PATH characters or
// more is refused (null, left alone) even when it ends in a separator.
// Windows still appends to a path of MAX_PATH - 1 characters, writing one
// byte past a MAX_PATH buffer; here the result must fit the buffer, so
// that path is refused too.
LPSTR Vk::Win32::PathAddBackslashA(LPSTR pszPath) {
  if (!pszPath) return nullptr;
  size_t length = strlen(pszPath);
  if (length >= MAX_PATH) return nullptr;
  if (length == 0) return pszPath;
  if (pszPath[length - 1] == '/') return pszPath + length;
  if (length + 2 > MAX_PATH) return nullptr;
  pszPath[length] = '/';
  pszPath[length + 1] = '\0';
  return pszPath + length + 1;
}

// Whether a file or directory exists at the path.
BOOL Vk::Win32::PathFileExistsA(LPCSTR pszPath) {
  struct stat info;
  return pszPath && stat(pszPath, &info) == 0;
}

// A path is relative unless it starts at the root.
BOOL Vk::Win32::PathIsRelativeA(LPCSTR pszPath) { return !pszPath || pszPath[0] != '/'; }

// Creates every missing directory of the path up to its last separator;
// the text after it is taken as a file name and not created.
BOOL Vk::Win32::MakeSureDirectoryPathExists(LPCSTR DirPath) {
  if (!DirPath) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  std::string path = DirPath;
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    std::string directory = path.substr(0, slash);
    if (mkdir(directory.c_str(), 0777) != 0 && errno != EEXIST) return vk_posix::FailFromErrno();
  }
  return TRUE;
}
