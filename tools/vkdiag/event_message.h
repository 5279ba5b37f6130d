// The message of an event as the tool shows it: rendered by the rendering
// the platform layer also sends to the system log (event_text.h).
#ifndef VKDIAG_EVENT_MESSAGE_H
#define VKDIAG_EVENT_MESSAGE_H

#include <stdlib.h>

#include <string>

#include "event_record.h"
#include "event_text.h"

namespace vkdiag {

const char kEventlogKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Eventlog";

using Vk::EventMessageFileOf;

inline std::string RenderEventMessage(const std::string& log, const EventRecord& record) {
  return Vk::RenderEventMessage(log, record.source, record.eventId, record.strings, getenv);
}

}  // namespace vkdiag

#endif  // VKDIAG_EVENT_MESSAGE_H
