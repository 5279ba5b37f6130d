// Events into the systemd journal through its native protocol, with the
// event's own fields (VKDIAG_EVENT_ID=..., see event_fields.h), so that
// journalctl selects them. The protocol needs no library: a datagram of
// FIELD=value lines, a length-prefixed form for binary values, and a
// sealed memfd passed with SCM_RIGHTS for an entry larger than a datagram.
#ifndef VK_PLATFORM_POSIX_EVENTLOG_JOURNAL_CLIENT_H
#define VK_PLATFORM_POSIX_EVENTLOG_JOURNAL_CLIENT_H

#include "kernel/win32.h"

#include <string>

#include "eventlog/event_fields.h"

namespace vk_posix {

// Where journald listens on a machine it runs.
constexpr char kJournalSocket[] = "/run/systemd/journal/socket";

// Sends the entry to the journal's socket at path. *listening is false when
// no journal listens there (nothing was sent; the caller tries syslog);
// otherwise the result says whether the journal took the entry.
DWORD SendToJournal(const std::string& path, const EventFields& fields, bool* listening);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_EVENTLOG_JOURNAL_CLIENT_H
