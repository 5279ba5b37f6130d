#include "eventlog/event_fields.h"

#include <stdio.h>
#include <stdlib.h>

#include "event_text.h"

namespace vk_posix {

namespace {

constexpr int kSeverityError = 3, kSeverityWarning = 4, kSeverityNotice = 5, kSeverityInformational = 6;

int SeverityOf(WORD type) {
  switch (type) {
    case EVENTLOG_ERROR_TYPE: return kSeverityError;
    case EVENTLOG_WARNING_TYPE: return kSeverityWarning;
    case EVENTLOG_AUDIT_FAILURE: return kSeverityNotice;
    default: return kSeverityInformational;
  }
}

}  // namespace

EventFields DescribeEvent(const std::string& log, const eventlog_store::Event& event) {
  const BYTE* sid = reinterpret_cast<const BYTE*>(event.userSid.data());
  // The message file's %NAME% are expanded from an environment that a
  // set-user-ID program's caller does not choose.
  std::string message = Vk::RenderEventMessage(log, event.source, event.eventId, event.strings, secure_getenv);
  return EventFields{event,   log, SeverityOf(event.type), Vk::EventTypeName(event.type),
                     Vk::SidToText(sid, event.userSid.size()), message};
}

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

}  // namespace vk_posix
