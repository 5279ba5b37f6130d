// Failures of a vkdiag command and the exit status each one ends with.
#ifndef VKDIAG_TOOL_ERROR_H
#define VKDIAG_TOOL_ERROR_H

#include "win32.h"

#include <stdexcept>
#include <string>

namespace vkdiag {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Thrown by a command; main prints the message as one line on stderr and
// exits with the status.
class ToolError : public std::runtime_error {
 public:
  ToolError(int exitStatus, const std::string& message) : std::runtime_error(message), m_exitStatus(exitStatus) {}
  int ExitStatus() const { return m_exitStatus; }

 private:
  int m_exitStatus;
};

// Bad input on the command line or in a file: nothing was changed.
ToolError UsageError(const std::string& message);
// An operation the system refused: the message ends with the system's own
// text for the code.
ToolError SystemError(const std::string& what, DWORD code);
// A failure that has no system code behind it.
ToolError Failure(const std::string& message);

// The system's text for an error code, without its line end.
std::string SystemMessage(DWORD code);

// Control characters (and DEL) as \xNN, so that data from the registry or
// from another process cannot steer the terminal; C1 controls as \u00NN in
// UTF-8, and as \xNN wherever the terminal's character set has them.
std::string EscapeControls(const std::string& text);

}  // namespace vkdiag

#endif  // VKDIAG_TOOL_ERROR_H
