// The message of an event as the tool shows it: rendered by the rendering
// the platform layer also sends to the system log (event_text.h).
#ifndef VKDIAG_EVENT_MESSAGE_H
#define VKDIAG_EVENT_MESSAGE_H

#include <stdlib.h>

#include <string>
#include <vector>

#include "event_record.h"
#include "event_text.h"

namespace vkdiag {

const char kEventlogKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Eventlog";

using Vk::EventMessageFileOf;

inline std::string RenderEventMessage(const std::string& log, const EventRecord& record) {
  return Vk::RenderEventMessage(log, record.source, record.eventId, record.strings, getenv);
}

// The logs there are: those with a source registered under the Eventlog
// key, and the system's own (Application, Security, System), in name
// order.
std::vector<std::string> ExistingLogs();
// Throws a failure naming the logs there are when `log` is none of them:
// an operator's mistyped name is never taken for another log.
void RequireExistingLog(const std::string& log);

}  // namespace vkdiag

#endif  // VKDIAG_EVENT_MESSAGE_H
