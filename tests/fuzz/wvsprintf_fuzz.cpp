// wvsprintfA with fuzzed formats: the result always fits its 1024-byte
// buffer and is terminated; the call returns its length, or 1024 when it
// filled the 1023 characters there is room for.
#include <vk/platform.h>

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"

namespace {

int Format(char* buffer, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int length = wvsprintfA(buffer, format, args);
  va_end(args);
  return length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::string format = vk_fuzz::MakeFormat(input, true);
  // The guard bytes behind the documented 1024 must stay untouched.
  char buffer[1024 + 16];
  memset(buffer, 0x5A, sizeof buffer);
  vk_fuzz::FormatSlots slots;
  int length = Format(buffer, format.c_str(), slots.number, slots.text, slots.number, slots.count);
  if (length < 0 || length > 1024 || length == 1023) abort();
  size_t stored = length == 1024 ? 1023 : static_cast<size_t>(length);
  if (buffer[stored] != '\0') abort();
  for (size_t i = 1024; i < sizeof buffer; ++i)
    if (buffer[i] != 0x5A) abort();
  return 0;
}
