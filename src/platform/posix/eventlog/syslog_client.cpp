#include "eventlog/syslog_client.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "kernel/errors.h"

namespace vk_posix {

namespace {

constexpr int kSyslogUser = 1 << 3;  // LOG_USER
constexpr int kSyslogError = 3, kSyslogWarning = 4, kSyslogInfo = 6;
constexpr size_t kSyslogTagLength = 32;  // RFC 3164's limit
// What every system log daemon takes in one datagram (rsyslog's default
// message size), header included.
constexpr size_t kSyslogDatagramLength = 8192;
constexpr time_t kSyslogSendTimeoutSeconds = 2;
const char kNamelessTag[] = "eventlog";
const char* const kEnglishMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The RFC 3164 header time, "Mmm dd hh:mm:ss" in local time. The month is
// English whatever the process's locale: collectors parse only that.
std::string SyslogTimestamp(time_t now) {
  struct tm local;
  localtime_r(&now, &local);
  char stamp[32];
  snprintf(stamp, sizeof stamp, "%s %2d %02d:%02d:%02d", kEnglishMonths[local.tm_mon % 12], local.tm_mday,
           local.tm_hour, local.tm_min, local.tm_sec);
  return stamp;
}

// The source name as an RFC 3164 tag: at most 32 characters, with blanks,
// the header's delimiters and unprintable bytes replaced, so that
// collectors find the tag and the message where they expect them.
std::string SyslogTag(const std::string& source) {
  std::string tag = source.substr(0, kSyslogTagLength);
  for (char& c : tag) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || c == ':' || c == '[' || c == ']') c = '_';
  }
  return tag.empty() ? kNamelessTag : tag;
}

// Event strings come from any caller: control characters are written as
// '#' and three octal digits, as rsyslog shows them, so that a message
// cannot forge further lines or drive a terminal.
std::string EscapeControlCharacters(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char code[8];
      snprintf(code, sizeof code, "#%03o", byte);
      escaped += code;
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// Splits the message into escaped pieces of at most `budget` bytes, never
// inside an escape or a UTF-8 sequence.
std::vector<std::string> SplitEscapedMessage(const std::string& message, size_t budget) {
  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < message.size();) {
    size_t end = i + 1;
    while (end < message.size() && end - i < 4 && (static_cast<unsigned char>(message[end]) & 0xC0) == 0x80) ++end;
    std::string unit = EscapeControlCharacters(message.substr(i, end - i));
    if (!pieces.back().empty() && pieces.back().size() + unit.size() > budget) pieces.emplace_back();
    pieces.back() += unit;
    i = end;
  }
  return pieces;
}

// Where no system log listens, there is nothing to deliver to.
bool NoSystemLog(int err) { return err == ENOENT || err == ECONNREFUSED || err == ENOTDIR; }

}  // namespace

// A long message goes as several lines of kSyslogDatagramLength bytes at
// most, each with the header, since a datagram larger than the socket or
// the daemon takes would be lost whole.
DWORD ForwardToSyslog(const eventlog_store::Event& event) {
  const char* enabled = secure_getenv("VK_EVENTLOG_SYSLOG");
  if (enabled && strcmp(enabled, "0") == 0) return ERROR_SUCCESS;
  int severity = event.type == EVENTLOG_ERROR_TYPE     ? kSyslogError
                 : event.type == EVENTLOG_WARNING_TYPE ? kSyslogWarning
                                                       : kSyslogInfo;
  std::string message;
  for (const std::string& text : event.strings) message += (message.empty() ? "" : " ") + text;
  std::string header = "<" + std::to_string(kSyslogUser | severity) + ">" + SyslogTimestamp(time(nullptr)) + " " +
                       SyslogTag(event.source) + "[" + std::to_string(getpid()) + "]: ";
  const char* path = secure_getenv("VK_SYSLOG_SOCKET");
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, path && *path ? path : "/dev/log", sizeof address.sun_path - 1);
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Win32ErrorFromErrno(errno);
  // A daemon that stopped reading holds a report up for a bounded time only.
  struct timeval timeout = {kSyslogSendTimeoutSeconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  DWORD result = ERROR_SUCCESS;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (!NoSystemLog(errno)) result = Win32ErrorFromErrno(errno);
    close(fd);
    return result;
  }
  for (const std::string& piece : SplitEscapedMessage(message, kSyslogDatagramLength - header.size())) {
    std::string line = header + piece;
    ssize_t sent;
    do sent = send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent < 0) {
      result = NoSystemLog(errno) ? ERROR_SUCCESS : Win32ErrorFromErrno(errno);
      break;
    }
  }
  close(fd);
  return result;
}

}  // namespace vk_posix
