#include "common/bounded_text.h"

#include <vk/platform.h>

#include <limits.h>

namespace Vk {

namespace {

int ClampToInt(size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

}  // namespace

char* AppendBounded(char* dest, const char* text, size_t destSize) {
  return StrCatBuffA(dest, text, ClampToInt(destSize));
}

char* CopyBounded(char* dest, const char* text, size_t destSize) {
  if (destSize == 0) return dest;
  lstrcpynA(dest, text ? text : "", ClampToInt(destSize));
  return dest;
}

}  // namespace Vk
