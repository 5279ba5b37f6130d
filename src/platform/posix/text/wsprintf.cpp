// User32's wsprintf family: formatting into a buffer of at most 1,024 bytes.
#include <stdio.h>

#include "kernel/win32.h"

// printf-style formatting into at most 1,024 bytes, terminator included.
// Returns the characters stored.
int Vk::Win32::wvsprintfA(LPSTR buffer, LPCSTR format, va_list arglist) {
  constexpr size_t kLimit = 1024;
  if (!buffer || !format) return 0;
  int length = vsnprintf(buffer, kLimit, format, arglist);
  if (length < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return static_cast<size_t>(length) >= kLimit ? static_cast<int>(kLimit - 1) : length;
}
