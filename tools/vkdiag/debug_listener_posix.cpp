// Listens on debug-output.sock in one of the channel directories (see
// machine_layout.h), where the platform layer's OutputDebugStringA sends one
// datagram per text: the sender's process identifier (4 bytes, host order),
// then the text. Any process that may write the socket could claim any
// identifier, so the one shown is the kernel's (SO_PASSCRED), never the
// datagram's.
#include "debug_listener.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "machine_layout.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

constexpr size_t kMaxDatagram = 70 * 1024;
// The owner's and the group's programs may send, whatever the umask; on
// the user's own channel only the owner's.
constexpr mode_t kSharedSocketMode = 0660;
constexpr mode_t kUserSocketMode = 0600;

struct Place {
  std::string directory;
  mode_t mode = kSharedSocketMode;
};

// The machine channel when it is set up and this user may listen there
// (root or a member of vkdiag), else the user's own.
Place ChoosePlace(DebugChannel which) {
  std::string single = vk_posix::SingleRootDirectory();
  if (which == DebugChannel::kDefault && !single.empty()) {
    std::string problem = vk_posix::PrepareSingleRootDirectory(single);
    if (!problem.empty()) throw Failure(EscapeControls(problem));
    return {single, kSharedSocketMode};
  }
  if (which == DebugChannel::kDefault)
    which = access(vk_posix::kMachineRuntimeDirectory, W_OK) == 0 ? DebugChannel::kMachine : DebugChannel::kUser;
  if (which == DebugChannel::kMachine) {
    std::string problem = vk_posix::PrepareMachineChannelDirectory();
    if (!problem.empty()) throw Failure(EscapeControls(problem));
    return {vk_posix::kMachineRuntimeDirectory, kSharedSocketMode};
  }
  std::string directory = vk_posix::UserChannelDirectory();
  std::string problem = vk_posix::PrepareUserChannelDirectory(directory);
  if (!problem.empty()) throw Failure(EscapeControls(problem));
  return {directory, kUserSocketMode};
}

// Binds with a umask that leaves no wider mode for a moment, then sets the
// mode explicitly. The socket takes the directory's group (set-group-ID
// directory), so the group may send to the machine channel.
bool BindSocket(int socket, const sockaddr_un& address, const std::string& path, mode_t mode) {
  mode_t previous = umask(0777 & ~mode);
  bool bound = bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  umask(previous);
  // Never through a link that another writer of the directory swapped in
  // after the bind.
  return bound && fchmodat(AT_FDCWD, path.c_str(), mode, AT_SYMLINK_NOFOLLOW) == 0;
}

// A socket file nobody is bound to any more is left by a listener that
// was killed; a live one belongs to another listener and is not taken.
bool SomeoneListens(const sockaddr_un& address) {
  int probe = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  bool live = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(probe);
  return live;
}

}  // namespace

struct DebugListener::State {
  int socket = -1;
  std::string path;
  std::vector<char> datagram = std::vector<char>(kMaxDatagram);
};

DebugListener::DebugListener(DebugChannel which) : m_state(new State) {
  Place place = ChoosePlace(which);
  m_state->path = place.directory + "/" + vk_posix::kDebugSocketName;
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (m_state->path.size() >= sizeof address.sun_path)
    throw Failure("the socket path is too long: " + EscapeControls(m_state->path));
  memcpy(address.sun_path, m_state->path.c_str(), m_state->path.size() + 1);
  if (SomeoneListens(address)) throw Failure("another listener is bound to " + EscapeControls(m_state->path));
  unlink(m_state->path.c_str());
  m_state->socket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int on = 1;
  if (m_state->socket < 0 || setsockopt(m_state->socket, SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0 ||
      !BindSocket(m_state->socket, address, m_state->path, place.mode)) {
    int error = errno;
    if (m_state->socket >= 0) close(m_state->socket);
    throw Failure("cannot listen on " + EscapeControls(m_state->path) + ": " + strerror(error));
  }
}

DebugListener::~DebugListener() {
  close(m_state->socket);
  unlink(m_state->path.c_str());
}

namespace {

// A user's name from the password database, else the number.
std::string UserName(uid_t uid) {
  struct passwd entry;
  struct passwd* found = nullptr;
  std::vector<char> buffer(4096);
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
    return found->pw_name;
  return std::to_string(uid);
}

}  // namespace

bool DebugListener::Next(int timeoutMs, DebugText* received) {
  pollfd ready = {m_state->socket, POLLIN, 0};
  for (;;) {
    int rc = poll(&ready, 1, timeoutMs);
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) return false;
    iovec data = {m_state->datagram.data(), m_state->datagram.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
    msghdr message = {};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n = recvmsg(m_state->socket, &message, 0);
    if (n < static_cast<ssize_t>(sizeof(uint32_t))) continue;  // not one of ours
    const cmsghdr* header = CMSG_FIRSTHDR(&message);
    if (!header || header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_CREDENTIALS) continue;
    ucred sender;
    memcpy(&sender, CMSG_DATA(header), sizeof sender);
    received->pid = static_cast<uint32_t>(sender.pid);
    received->otherUser = sender.uid == geteuid() ? std::string() : UserName(sender.uid);
    constexpr size_t kClaimedPid = sizeof(uint32_t);  // what the text says; not trusted
    received->text.assign(m_state->datagram.data() + kClaimedPid, static_cast<size_t>(n) - kClaimedPid);
    return true;
  }
}

std::string DebugListener::Where() const { return m_state->path; }

}  // namespace vkdiag
