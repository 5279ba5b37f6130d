// Copies and appends into fixed text buffers that never overflow.
#ifndef VK_COMMON_BOUNDED_TEXT_H
#define VK_COMMON_BOUNDED_TEXT_H

#include <stddef.h>

namespace Vk {

// Appends text to the NUL-terminated string in dest, as many characters as
// fit in front of the buffer's last byte, and always terminates the result.
// A text that does not fit is cut without a report. Returns dest.
char* AppendBounded(char* dest, const char* text, size_t destSize);

// Copies text into dest, cut at destSize - 1 characters, always terminated.
// A null text copies as the empty text. Returns dest.
char* CopyBounded(char* dest, const char* text, size_t destSize);

}  // namespace Vk

#endif  // VK_COMMON_BOUNDED_TEXT_H
