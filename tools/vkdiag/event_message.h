// The message of an event rendered as an event viewer does: the text for
// its identifier from the source's EventMessageFile, with the record's
// insertion strings put in.
#ifndef VKDIAG_EVENT_MESSAGE_H
#define VKDIAG_EVENT_MESSAGE_H

#include <string>
#include <vector>

#include "event_record.h"

namespace vkdiag {

const char kEventlogKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Eventlog";

// Puts the strings into %1 to %99 of a message template. An insert beyond
// the strings the record has stays as it is written: the record's count
// is never passed.
std::string InsertEventStrings(const std::string& text, const std::vector<std::string>& strings);

// The rendered message; without a message file or a text for the
// identifier, a note saying so followed by the strings.
std::string RenderEventMessage(const std::string& log, const EventRecord& record);

// The logs there are: those with a source registered under the Eventlog
// key, and the system's own (Application, Security, System), in name
// order.
std::vector<std::string> ExistingLogs();
// Throws a failure naming the logs there are when `log` is none of them:
// an operator's mistyped name is never taken for another log.
void RequireExistingLog(const std::string& log);

// The EventMessageFile of a source, as registered (unexpanded); empty
// without one.
std::string EventMessageFileOf(const std::string& log, const std::string& source);

}  // namespace vkdiag

#endif  // VKDIAG_EVENT_MESSAGE_H
