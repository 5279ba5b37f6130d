// Wide characters from a caller's formats, in the layer's ANSI code page.
#ifndef VK_PLATFORM_POSIX_TEXT_WIDE_TEXT_H
#define VK_PLATFORM_POSIX_TEXT_WIDE_TEXT_H

#include <wchar.h>

#include <string>

namespace vk_posix {

// Appends one wide character (a wchar_t, UTF-32 here, as L"" literals and
// the compiler's format checks know it) in UTF-8; what no code point is
// becomes U+FFFD, as WideCharToMultiByte turns a lone surrogate into it.
void AppendWideChar(std::string* out, wchar_t c);

// How many UTF-16 units the UTF-8 text takes: what Windows counts for a
// text that an A function converted.
size_t Utf16Length(const std::string& text);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_TEXT_WIDE_TEXT_H
