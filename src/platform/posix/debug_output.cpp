// The debugger output channel: each text is one datagram to the Unix socket
// $VK_SYSTEM_ROOT/debug-output.sock, where a listener (vkdiag trace listen)
// may be bound. Without a listener the text is dropped, as on Windows, at
// the cost of one failed send.
//
// Datagram layout: the sender's process identifier (4 bytes, host order),
// then the text without its terminator.
#include <errno.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <vk/platform.h>

#include "system_root.h"

namespace {

constexpr size_t kMaxDatagramText = 64 * 1024;

struct Channel {
  int socket = -1;
  struct sockaddr_un address = {};
  socklen_t addressLength = 0;
};

// Made once per process; a forked child shares the unconnected socket.
const Channel& ThisProcessChannel() {
  static const Channel channel = [] {
    Channel made;
    made.socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    std::string path = vk_posix::SystemRoot() + "/debug-output.sock";
    made.address.sun_family = AF_UNIX;
    if (path.size() < sizeof made.address.sun_path) {
      memcpy(made.address.sun_path, path.c_str(), path.size() + 1);
      made.addressLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    }
    return made;
  }();
  return channel;
}

}  // namespace

void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
  const Channel& channel = ThisProcessChannel();
  if (!lpOutputString || channel.socket < 0 || channel.addressLength == 0) return;
  size_t length = strnlen(lpOutputString, kMaxDatagramText);
  DWORD pid = GetCurrentProcessId();
  struct iovec parts[2] = {{&pid, sizeof pid}, {const_cast<char*>(lpOutputString), length}};
  struct msghdr message = {};
  message.msg_name = const_cast<struct sockaddr_un*>(&channel.address);
  message.msg_namelen = channel.addressLength;
  message.msg_iov = parts;
  message.msg_iovlen = 2;
  int saved = errno;
  while (sendmsg(channel.socket, &message, MSG_NOSIGNAL) < 0 && errno == EINTR) {
  }
  errno = saved;
}

// printf-style formatting into at most 1,024 bytes, terminator included.
// Returns the characters stored.
int WINAPI wvsprintfA(LPSTR buffer, LPCSTR format, va_list arglist) {
  constexpr size_t kLimit = 1024;
  if (!buffer || !format) return 0;
  int length = vsnprintf(buffer, kLimit, format, arglist);
  if (length < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return static_cast<size_t>(length) >= kLimit ? static_cast<int>(kLimit - 1) : length;
}

DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

DWORD WINAPI GetCurrentThreadId(void) { return static_cast<DWORD>(syscall(SYS_gettid)); }
