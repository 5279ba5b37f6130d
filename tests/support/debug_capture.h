// Captures what processes send to the debugger output channel: on POSIX by
// binding the platform layer's socket, on Windows through the system's
// DBWIN_BUFFER protocol.
#ifndef VK_TESTS_SUPPORT_DEBUG_CAPTURE_H
#define VK_TESTS_SUPPORT_DEBUG_CAPTURE_H

#include <string>
#include <vector>

namespace vktest {

class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  // Whether this machine lets us listen at all.
  bool listening() const { return m_listening; }
  // Texts received from the given process until timeoutMs passes with
  // nothing new (and at least until minimumMs).
  std::vector<std::string> Collect(unsigned long pid, int timeoutMs);

 private:
  bool m_listening = false;
  struct State;
  State* m_state = nullptr;
};

}  // namespace vktest

#endif  // VK_TESTS_SUPPORT_DEBUG_CAPTURE_H
