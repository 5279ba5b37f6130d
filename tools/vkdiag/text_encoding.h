// Conversions between the ANSI code page of the A functions, UTF-16 and
// UTF-8, through the system's own MultiByteToWideChar/WideCharToMultiByte.
#ifndef VKDIAG_TEXT_ENCODING_H
#define VKDIAG_TEXT_ENCODING_H

#include "win32.h"

#include <string>

namespace vkdiag {

using WideText = std::basic_string<WCHAR>;

// Embedded NULs convert like any other character.
WideText AnsiToWide(const std::string& text);
std::string WideToAnsi(const WideText& text);
WideText Utf8ToWide(const std::string& text);
std::string WideToUtf8(const WideText& text);
// For JSON, which is UTF-8 whatever the ANSI code page is.
std::string AnsiToUtf8(const std::string& text);

}  // namespace vkdiag

#endif  // VKDIAG_TEXT_ENCODING_H
