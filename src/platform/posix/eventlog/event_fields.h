// An event as the system log receives it: the fields an operator selects
// by in the journal or on a collector, worked out once for every transport
// (journal_client.h, syslog_client.h).
#ifndef VK_PLATFORM_POSIX_EVENTLOG_EVENT_FIELDS_H
#define VK_PLATFORM_POSIX_EVENTLOG_EVENT_FIELDS_H

#include "kernel/win32.h"

#include <string>

#include "eventlog/eventlog_store.h"

namespace vk_posix {

struct EventFields {
  const eventlog_store::Event& event;  // its record number is 0 when the store did not keep it
  std::string log;
  int severity;         // syslog's: error 3, warning 4, audit failure 5, the others 6
  std::string type;     // the type's name, as vkdiag events query shows it
  std::string userSid;  // S-1-..., empty without a user
  std::string message;  // rendered as vkdiag events query renders it, not yet escaped
};

// The fields of an event reported under a source of the log. Renders the
// message from the source's registered message file.
EventFields DescribeEvent(const std::string& log, const eventlog_store::Event& event);

// Event texts come from any caller: control characters are written as '#'
// and three octal digits, as rsyslog shows them, so that a text cannot
// forge further lines or drive a terminal.
std::string EscapeControlCharacters(const std::string& text);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_EVENTLOG_EVENT_FIELDS_H
