// Temporary files.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "files/files.h"
#include "kernel/errors.h"

using vk_posix::Fail;
using vk_posix::FailFromErrno;

// The directory for temporary files: $TMPDIR when set, else /tmp, always
// with a trailing separator. Returns the length without the terminator, or,
// when the buffer is too small, the size needed including it.
DWORD Vk::Win32::GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
  const char* directory = secure_getenv("TMPDIR");
  std::string path = directory && *directory ? directory : "/tmp";
  if (path.back() != '/') path += '/';
  if (path.size() + 1 > nBufferLength) return static_cast<DWORD>(path.size() + 1);
  if (!lpBuffer) return Fail(ERROR_INVALID_PARAMETER);
  memcpy(lpBuffer, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

// Forms "<path>/<prefix, 3 chars><hex unique>.tmp". With uUnique 0 it picks
// a free number and creates the file exclusively (O_EXCL, mode 0600), which
// never follows a link planted under that name; otherwise it only forms the
// name. lpTempFileName must hold MAX_PATH bytes. Returns the number used.
UINT Vk::Win32::GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique, LPSTR lpTempFileName) {
  if (!lpPathName || !lpTempFileName) return Fail(ERROR_INVALID_PARAMETER);
  std::string base = lpPathName;
  if (!base.empty() && base.back() != '/') base += '/';
  base.append(lpPrefixString ? lpPrefixString : "", 0, 3);

  auto formName = [&](UINT number) {
    char suffix[16];
    snprintf(suffix, sizeof suffix, "%x.tmp", number & 0xFFFFu);
    return base + suffix;
  };
  if (uUnique != 0) {
    std::string name = formName(uUnique);
    if (name.size() >= MAX_PATH) return Fail(ERROR_BUFFER_OVERFLOW);
    memcpy(lpTempFileName, name.c_str(), name.size() + 1);
    return uUnique & 0xFFFFu;
  }
  UINT start = (static_cast<UINT>(getpid()) ^ GetTickCount()) & 0xFFFFu;
  for (UINT step = 0; step < 0x10000u; ++step) {
    UINT number = ((start + step) & 0xFFFFu) ? (start + step) & 0xFFFFu : 1;
    std::string name = formName(number);
    if (name.size() >= MAX_PATH) return Fail(ERROR_BUFFER_OVERFLOW);
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      close(fd);
      memcpy(lpTempFileName, name.c_str(), name.size() + 1);
      return number;
    }
    if (errno != EEXIST) return FailFromErrno();
  }
  return Fail(ERROR_FILE_EXISTS);
}
