// Events on their way to the system log, where Linux operators look for
// them, with the event's own fields:
// - where journald listens, the journal through its native protocol
//   (journal_client.h);
// - else the syslog socket (/dev/log) in RFC 5424, the fields as
//   structured data under the SD-ID vkdiag@<enterprise number>, which
//   rsyslog keeps and forwards to a collector;
// - VK_EVENTLOG_SYSLOG=rfc3164: the old RFC 3164 lines to the syslog
//   socket, for daemons that read no other form;
// - VK_EVENTLOG_SYSLOG=0: nothing leaves the process.
// VK_JOURNAL_SOCKET and VK_SYSLOG_SOCKET name other sockets; a syslog
// socket named alone is used instead of the journal's. Set-user-ID
// programs read none of these variables.
#ifndef VK_PLATFORM_POSIX_EVENTLOG_SYSLOG_CLIENT_H
#define VK_PLATFORM_POSIX_EVENTLOG_SYSLOG_CLIENT_H

#include "kernel/win32.h"

#include <string>

#include "eventlog/eventlog_store.h"

namespace vk_posix {

// Sends an event reported under a source of the log, with the source as
// the program's name, so the host's own openlog() settings stay untouched.
// A long message goes to syslog as several lines that each fit a datagram
// the daemon takes. Returns the reason the event was not taken; a machine
// without a system log is no failure.
DWORD ForwardToSystemLog(const std::string& log, const eventlog_store::Event& event);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_EVENTLOG_SYSLOG_CLIENT_H
