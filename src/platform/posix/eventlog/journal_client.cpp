#include "eventlog/journal_client.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include "kernel/errors.h"

namespace vk_posix {

namespace {

constexpr time_t kJournalSendTimeoutSeconds = 2;

// NAME=value; a value with a line break, or binary data, as NAME, a line
// break, its length as 64-bit little-endian, the bytes and a line break.
void AppendField(std::string* entry, const char* name, const std::string& value, bool binary = false) {
  *entry += name;
  if (!binary && value.find('\n') == std::string::npos) {
    *entry += '=';
    *entry += value;
  } else {
    *entry += '\n';
    uint64_t length = value.size();
    for (int i = 0; i < 8; ++i) *entry += static_cast<char>((length >> (8 * i)) & 0xFF);
    *entry += value;
  }
  *entry += '\n';
}

// Whether nothing listens at the address: no socket, or one nobody reads.
bool NoListener(int err) { return err == ENOENT || err == ECONNREFUSED || err == ENOTDIR; }

// An entry larger than a datagram goes as a sealed memfd, which journald
// reads and then closes; sealing tells it that nobody changes it meanwhile.
DWORD SendAsMemfd(int socketFd, const std::string& entry) {
  int memfd = memfd_create("vkdiag-journal-entry", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (memfd < 0) return Win32ErrorFromErrno(errno);
  DWORD result = ERROR_SUCCESS;
  for (size_t written = 0; written < entry.size() && result == ERROR_SUCCESS;) {
    ssize_t n = write(memfd, entry.data() + written, entry.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) result = Win32ErrorFromErrno(n < 0 ? errno : ENOSPC);
    else written += static_cast<size_t>(n);
  }
  if (result == ERROR_SUCCESS &&
      fcntl(memfd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0)
    result = Win32ErrorFromErrno(errno);
  if (result == ERROR_SUCCESS) {
    union {
      struct cmsghdr header;
      char space[CMSG_SPACE(sizeof(int))];
    } control = {};
    struct msghdr message = {};
    message.msg_control = control.space;
    message.msg_controllen = sizeof control.space;
    struct cmsghdr* rights = CMSG_FIRSTHDR(&message);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int));
    memcpy(CMSG_DATA(rights), &memfd, sizeof(int));
    ssize_t sent;
    do sent = sendmsg(socketFd, &message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent < 0) result = Win32ErrorFromErrno(errno);
  }
  close(memfd);
  return result;
}

// The entry: the fields and their values as the journal takes them.
std::string JournalEntry(const EventFields& fields) {
  const eventlog_store::Event& event = fields.event;
  std::string source = EscapeControlCharacters(event.source);
  std::string entry;
  AppendField(&entry, "MESSAGE", EscapeControlCharacters(fields.message));
  AppendField(&entry, "PRIORITY", std::to_string(fields.severity));
  AppendField(&entry, "SYSLOG_IDENTIFIER", source);
  AppendField(&entry, "VKDIAG_SOURCE", source);
  AppendField(&entry, "VKDIAG_LOG", EscapeControlCharacters(fields.log));
  AppendField(&entry, "VKDIAG_EVENT_ID", std::to_string(event.eventId));
  AppendField(&entry, "VKDIAG_EVENT_CODE", std::to_string(event.eventId & 0xFFFF));
  AppendField(&entry, "VKDIAG_TYPE", fields.type);
  AppendField(&entry, "VKDIAG_CATEGORY", std::to_string(event.category));
  if (event.recordNumber) AppendField(&entry, "VKDIAG_RECORD", std::to_string(event.recordNumber));
  if (!fields.userSid.empty()) AppendField(&entry, "VKDIAG_USER_SID", fields.userSid);
  if (!event.data.empty()) AppendField(&entry, "VKDIAG_DATA", event.data, true);
  return entry;
}

}  // namespace

DWORD SendToJournal(const std::string& path, const EventFields& fields, bool* listening) {
  *listening = false;
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return ERROR_SUCCESS;  // no socket can be there
  memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Win32ErrorFromErrno(errno);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    int err = errno;
    close(fd);
    *listening = !NoListener(err);
    return *listening ? Win32ErrorFromErrno(err) : ERROR_SUCCESS;
  }
  *listening = true;
  // A journal that stopped reading holds a report up for a bounded time only.
  struct timeval timeout = {kJournalSendTimeoutSeconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  std::string entry = JournalEntry(fields);
  ssize_t sent;
  do sent = send(fd, entry.data(), entry.size(), MSG_NOSIGNAL);
  while (sent < 0 && errno == EINTR);
  DWORD result = ERROR_SUCCESS;
  if (sent < 0) result = errno == EMSGSIZE || errno == ENOBUFS ? SendAsMemfd(fd, entry) : Win32ErrorFromErrno(errno);
  close(fd);
  return result;
}

}  // namespace vk_posix
