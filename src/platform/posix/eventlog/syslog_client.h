// Events on their way to the system log (syslog), where Linux
// administrators look: RFC 3164 datagrams to /dev/log, or to the socket
// $VK_SYSLOG_SOCKET names; nothing leaves the process with
// VK_EVENTLOG_SYSLOG=0.
#ifndef VK_PLATFORM_POSIX_EVENTLOG_SYSLOG_CLIENT_H
#define VK_PLATFORM_POSIX_EVENTLOG_SYSLOG_CLIENT_H

#include "kernel/win32.h"

#include "eventlog/eventlog_store.h"

namespace vk_posix {

// Sends the event's strings, with the source as the program name, so the
// host's own openlog() settings stay untouched. A long message goes as
// several lines that each fit a datagram the daemon takes. Returns the
// reason a line was not taken; a machine without a system log is no
// failure.
DWORD ForwardToSyslog(const eventlog_store::Event& event);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_EVENTLOG_SYSLOG_CLIENT_H
