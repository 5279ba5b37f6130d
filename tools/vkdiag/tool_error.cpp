#include "tool_error.h"

#include <stdio.h>

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
  std::string shown;
  shown.reserve(text.size());
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
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
