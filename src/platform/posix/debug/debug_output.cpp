// The debugger output channel: each text is one datagram to a Unix socket
// named debug-output.sock, where a listener (vkdiag trace listen) may be
// bound. With $VK_SYSTEM_ROOT that is the one in it. Otherwise the text goes
// to the user's own channel when a listener is bound there, else to the
// machine channel in /run/vkdiag, which takes it from root and the group
// vkdiag only. Without a listener the text is dropped, as on Windows, at the
// cost of a failed send per channel.
//
// Datagram layout: the sender's process identifier (4 bytes, host order),
// then the text without its terminator.
#include <errno.h>
#include <stddef.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "kernel/win32.h"

#include "machine_layout.h"

namespace {

constexpr size_t kMaxDatagramText = 64 * 1024;

struct Address {
  struct sockaddr_un address = {};
  socklen_t length = 0;  // 0: no such channel

  void Set(const std::string& dir) {
    std::string path = dir + "/" + vk_posix::kDebugSocketName;
    address.sun_family = AF_UNIX;
    if (dir.empty() || path.size() >= sizeof address.sun_path) return;
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  }
};

struct Channel {
  int socket = -1;
  Address single;   // $VK_SYSTEM_ROOT's, the only one when set
  Address user;     // the user's own
  Address machine;  // /run/vkdiag's
};

// Made once per process from its environment at the first text; a forked
// child shares the unconnected socket.
const Channel& ThisProcessChannel() {
  static const Channel channel = [] {
    Channel made;
    made.socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    std::string single = vk_posix::SingleRootDirectory();
    if (!single.empty()) {
      made.single.Set(single);
    } else {
      made.user.Set(vk_posix::UserChannelDirectory());
      made.machine.Set(vk_posix::kMachineRuntimeDirectory);
    }
    return made;
  }();
  return channel;
}

// One datagram; false when nobody took it (no listener, no permission).
bool SendTo(const Channel& channel, const Address& to, struct iovec* parts) {
  if (to.length == 0) return false;
  struct msghdr message = {};
  message.msg_name = const_cast<struct sockaddr_un*>(&to.address);
  message.msg_namelen = to.length;
  message.msg_iov = parts;
  message.msg_iovlen = 2;
  ssize_t sent;
  do {
    sent = sendmsg(channel.socket, &message, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent >= 0;
}

}  // namespace

void Vk::Win32::OutputDebugStringA(LPCSTR lpOutputString) {
  const Channel& channel = ThisProcessChannel();
  if (!lpOutputString || channel.socket < 0) return;
  size_t length = strnlen(lpOutputString, kMaxDatagramText);
  DWORD pid = GetCurrentProcessId();
  struct iovec parts[2] = {{&pid, sizeof pid}, {const_cast<char*>(lpOutputString), length}};
  int saved = errno;
  if (channel.single.length != 0) {
    SendTo(channel, channel.single, parts);
  } else if (channel.user.length == 0 || !SendTo(channel, channel.user, parts)) {
    SendTo(channel, channel.machine, parts);
  }
  errno = saved;
}
