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

#include <vector>

#include "eventlog/event_fields.h"
#include "eventlog/journal_client.h"
#include "kernel/errors.h"

namespace vk_posix {

namespace {

constexpr char kSyslogSocket[] = "/dev/log";
constexpr int kSyslogUser = 1 << 3;  // LOG_USER
// RFC 3164's tag and RFC 5424's APP-NAME and HOSTNAME.
constexpr size_t kSyslogTagLength = 32, kAppNameLength = 48, kHostNameLength = 255;
// What every system log daemon takes in one datagram (rsyslog's default
// message size), header included.
constexpr size_t kSyslogDatagramLength = 8192;
// The event's strings and data ride along only while the structured data
// leaves at least half of a datagram to the message.
constexpr size_t kStructuredDataBudget = kSyslogDatagramLength / 2;
constexpr time_t kSyslogSendTimeoutSeconds = 2;
const char kNamelessTag[] = "eventlog";
const char* const kEnglishMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

enum class SyslogForm { kRfc5424, kRfc3164 };

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

// The RFC 5424 time, local with its offset, as vkdiag events query shows
// it: 2024-05-01T13:45:00+02:00.
std::string IsoTimestamp(time_t when) {
  struct tm local;
  localtime_r(&when, &local);
  char stamp[32];
  strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
  long offset = local.tm_gmtoff;
  int minutes = static_cast<int>((offset < 0 ? -offset : offset) / 60 % (24 * 60));
  char zone[16];
  snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return std::string(stamp) + zone;
}

// A name for a header field: at most `limit` characters, with blanks, the
// tag's delimiters and unprintable bytes replaced, so that collectors find
// the fields where they expect them.
std::string HeaderName(const std::string& name, size_t limit, const char* nameless) {
  std::string field = name.substr(0, limit);
  for (char& c : field) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || c == ':' || c == '[' || c == ']') c = '_';
  }
  return field.empty() ? nameless : field;
}

// A PARAM-VALUE: '"', '\' and ']' are escaped with a backslash (RFC 5424).
void AddParam(std::string* data, const char* name, const std::string& value) {
  *data += ' ';
  *data += name;
  *data += "=\"";
  for (char c : value) {
    if (c == '"' || c == '\\' || c == ']') *data += '\\';
    *data += c;
  }
  *data += '"';
}

// The length of a valid UTF-8 sequence at text[i], or 0.
size_t Utf8SequenceLength(const std::string& text, size_t i) {
  unsigned char lead = static_cast<unsigned char>(text[i]);
  size_t length = 0;
  if (lead < 0x80)
    length = 1;
  else if (lead >= 0xC2 && lead <= 0xDF)
    length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4;
  if (length == 0 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k)
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  return length;
}

// The strings as a JSON array, as vkdiag events query --format json shows
// them, so a collector passes them on as they are; a byte that is no UTF-8
// becomes U+FFFD.
std::string JsonArray(const std::vector<std::string>& strings) {
  std::string json = "[";
  for (const std::string& text : strings) {
    json += json.size() > 1 ? ",\"" : "\"";
    for (size_t i = 0; i < text.size();) {
      unsigned char byte = static_cast<unsigned char>(text[i]);
      size_t length = Utf8SequenceLength(text, i);
      if (byte == '"' || byte == '\\') {
        json += '\\';
        json += text[i];
      } else if (byte < 0x20 || byte == 0x7F) {
        char code[8];
        snprintf(code, sizeof code, "\\u%04x", byte);
        json += code;
      } else if (length == 0) {
        json += "\\ufffd";
        length = 1;
      } else {
        json.append(text, i, length);
      }
      i += length;
    }
    json += '"';
  }
  return json + "]";
}

std::string HexDigits(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (char c : bytes) {
    hex += kDigits[static_cast<unsigned char>(c) >> 4];
    hex += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return hex;
}

// The event's fields as one SD-ELEMENT. The strings and the data go along
// while they fit the budget; data_size tells that there was data even where
// it did not fit (the journal and the event store keep it whole).
std::string StructuredData(const EventFields& fields) {
  const eventlog_store::Event& event = fields.event;
  std::string data = "[" VK_SYSLOG_SD_ID;
  AddParam(&data, "source", EscapeControlCharacters(event.source));
  AddParam(&data, "log", EscapeControlCharacters(fields.log));
  AddParam(&data, "event_id", std::to_string(event.eventId));
  AddParam(&data, "event_code", std::to_string(event.eventId & 0xFFFF));
  AddParam(&data, "type", fields.type);
  AddParam(&data, "category", std::to_string(event.category));
  if (event.recordNumber) AddParam(&data, "record", std::to_string(event.recordNumber));
  if (!fields.userSid.empty()) AddParam(&data, "user_sid", fields.userSid);
  if (!event.data.empty()) AddParam(&data, "data_size", std::to_string(event.data.size()));
  std::string optional;
  AddParam(&optional, "strings", JsonArray(event.strings));
  if (data.size() + optional.size() < kStructuredDataBudget) data += optional;
  if (!event.data.empty() && data.size() + 2 * event.data.size() < kStructuredDataBudget) {
    optional.clear();
    AddParam(&optional, "data", HexDigits(event.data));
    if (data.size() + optional.size() < kStructuredDataBudget) data += optional;
  }
  return data + "]";
}

// What comes before the message on every line of the event.
std::string LinePrefix(const EventFields& fields, SyslogForm form) {
  std::string priority = "<" + std::to_string(kSyslogUser | fields.severity) + ">";
  std::string pid = std::to_string(getpid());
  if (form == SyslogForm::kRfc3164)
    return priority + SyslogTimestamp(time(nullptr)) + " " +
           HeaderName(fields.event.source, kSyslogTagLength, kNamelessTag) + "[" + pid + "]: ";
  return priority + "1 " + IsoTimestamp(static_cast<time_t>(fields.event.timeGenerated)) + " " +
         HeaderName(fields.event.computer, kHostNameLength, "-") + " " +
         HeaderName(fields.event.source, kAppNameLength, kNamelessTag) + " " + pid + " - " +
         StructuredData(fields) + " ";
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

// A long message goes as several lines of kSyslogDatagramLength bytes at
// most, each with the prefix, since a datagram larger than the socket or
// the daemon takes would be lost whole.
DWORD SendToSyslog(const std::string& path, const EventFields& fields, SyslogForm form) {
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return ERROR_SUCCESS;  // no socket can be there
  memcpy(address.sun_path, path.c_str(), path.size() + 1);
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
  std::string prefix = LinePrefix(fields, form);
  // A prefix that fills the datagram (a very long source name) still leaves
  // room for some of the message in each line.
  const size_t room = prefix.size() < kSyslogDatagramLength / 2 ? kSyslogDatagramLength - prefix.size()
                                                                 : kSyslogDatagramLength / 2;
  for (const std::string& piece : SplitEscapedMessage(fields.message, room)) {
    std::string line = prefix + piece;
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

// A variable's value, or null when it is not set or empty.
const char* Setting(const char* name) {
  const char* value = secure_getenv(name);
  return value && *value ? value : nullptr;
}

}  // namespace

DWORD ForwardToSystemLog(const std::string& log, const eventlog_store::Event& event) {
  const char* choice = Setting("VK_EVENTLOG_SYSLOG");
  if (choice && strcmp(choice, "0") == 0) return ERROR_SUCCESS;
  bool oldForm = choice && strcmp(choice, "rfc3164") == 0;
  const char* journal = Setting("VK_JOURNAL_SOCKET");
  const char* syslog = Setting("VK_SYSLOG_SOCKET");
  EventFields fields = DescribeEvent(log, event);
  if (!oldForm && (journal || !syslog)) {
    bool listening = false;
    DWORD result = SendToJournal(journal ? journal : kJournalSocket, fields, &listening);
    if (listening) return result;
  }
  return SendToSyslog(syslog ? syslog : kSyslogSocket, fields, oldForm ? SyslogForm::kRfc3164 : SyslogForm::kRfc5424);
}

}  // namespace vk_posix
