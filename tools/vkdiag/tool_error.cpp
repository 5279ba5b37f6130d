#include "tool_error.h"

#include <stdio.h>

#include "terminal.h"

namespace vkdiag {

ToolError UsageError(const std::string& message) { return ToolError(kExitUsage, message); }

ToolError SystemError(const std::string& what, DWORD code) {
  return ToolError(kExitFailed, what + ": " + SystemMessage(code) + " (" + std::to_string(code) + ")");
}

ToolError Failure(const std::string& message) { return ToolError(kExitFailed, message); }

std::string SystemMessage(DWORD code) {
  char text[512] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  if (message.empty()) message = "system error " + std::to_string(code);
  return EscapeControls(message);
}

std::string EscapeControls(const std::string& text) {
  // In UTF-8 the C1 controls (U+0080 to U+009F, some terminals act on them
  // too) are C2 80 to C2 9F; in Windows' other ANSI code pages those bytes
  // are printable characters, but a terminal in an ISO 8859 set obeys any
  // byte 0x80 to 0x9F, also inside a UTF-8 character.
  static const bool kUtf8 = GetACP() == CP_UTF8;
  std::string shown;
  shown.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    unsigned char byte = static_cast<unsigned char>(c);
    unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (kUtf8 && byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      char escaped[12];
      snprintf(escaped, sizeof escaped, "\\u%04X", next);
      shown += escaped;
      ++i;
    } else if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte <= 0x9F && HighBytesAreControls())) {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace vkdiag
