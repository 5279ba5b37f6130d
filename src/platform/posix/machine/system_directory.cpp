// Where the installed layout keeps the platform's own modules.
#include <string.h>

#include "kernel/win32.h"

// The installed layout's directory of shared modules (<libdir>/vkdiag), where
// the message module lives, as Windows keeps such files in System32. Fixed
// when the library is built. Returns the length without the terminator, or
// the size needed with it when the buffer is too small.
UINT Vk::Win32::GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
  static const char kSystemDirectory[] = VK_SYSTEM_DIRECTORY;
  constexpr UINT kLength = sizeof kSystemDirectory - 1;
  if (!lpBuffer || uSize <= kLength) return kLength + 1;
  memcpy(lpBuffer, kSystemDirectory, kLength + 1);
  return kLength;
}
