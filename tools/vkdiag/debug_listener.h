// The receiving end of the debugger output channel: DBWIN_BUFFER on
// Windows, the platform layer's Unix socket on Linux. One listener per
// machine (or state directory) at a time, as with a debug-output viewer.
#ifndef VKDIAG_DEBUG_LISTENER_H
#define VKDIAG_DEBUG_LISTENER_H

#include <memory>
#include <string>

namespace vkdiag {

// Which channel to listen on. Windows has one; on Linux the default is the
// single root ($VK_SYSTEM_ROOT) when set, else the machine channel where
// this user may listen there, else the user's own.
enum class DebugChannel { kDefault, kUser, kMachine };

struct DebugText {
  unsigned long pid = 0;
  // The sending user as the kernel tells it, when it is not the viewer's
  // own user (a shared channel); empty otherwise.
  std::string otherUser;
  std::string text;
};

class DebugListener {
 public:
  // Throws a failure when the channel is taken or cannot be opened.
  explicit DebugListener(DebugChannel which = DebugChannel::kDefault);
  ~DebugListener();
  DebugListener(const DebugListener&) = delete;
  DebugListener& operator=(const DebugListener&) = delete;

  // Waits up to timeoutMs (negative: for ever); false when none came.
  bool Next(int timeoutMs, DebugText* received);
  // Where it listens, for the operator.
  std::string Where() const;

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace vkdiag

#endif  // VKDIAG_DEBUG_LISTENER_H
