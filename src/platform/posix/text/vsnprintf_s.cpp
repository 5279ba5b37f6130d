// The Microsoft C runtime's bounded formatter.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "kernel/win32.h"

// Formats at most `count` characters (or as many as fit with _TRUNCATE)
// into a buffer of sizeOfBuffer bytes and always terminates it. Returns the
// length, or -1 when the output was cut. When count does not leave room for
// the terminator and the output does not fit, the buffer is emptied and -1
// returned with errno ERANGE (the runtime's invalid-parameter outcome).
int Vk::Win32::_vsnprintf_s(char* buffer, size_t sizeOfBuffer, size_t count, const char* format, va_list argptr) {
  if (!buffer || sizeOfBuffer == 0 || !format) {
    if (buffer && sizeOfBuffer) buffer[0] = '\0';
    errno = EINVAL;
    return -1;
  }
  int length = vsnprintf(buffer, sizeOfBuffer, format, argptr);
  if (length < 0) {
    buffer[0] = '\0';
    return -1;
  }
  size_t produced = static_cast<size_t>(length);
  size_t limit = count == _TRUNCATE ? sizeOfBuffer - 1 : count;
  if (produced <= limit && produced < sizeOfBuffer) return length;
  if (limit < sizeOfBuffer) {
    buffer[limit] = '\0';
    return -1;
  }
  buffer[0] = '\0';
  errno = ERANGE;
  return -1;
}
