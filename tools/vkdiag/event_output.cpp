#include "event_output.h"

#include <stdio.h>
#include <string.h>

#include <nlohmann/json.hpp>

#include "event_message.h"
#include "json_text.h"
#include "reg_value.h"
#include "text_encoding.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

// The types a filter names, by the names the records show (event_text.h).
const WORD kEventTypes[] = {EVENTLOG_ERROR_TYPE, EVENTLOG_WARNING_TYPE,  EVENTLOG_INFORMATION_TYPE,
                            EVENTLOG_SUCCESS,    EVENTLOG_AUDIT_SUCCESS, EVENTLOG_AUDIT_FAILURE};

// Seconds east of UTC at that moment, daylight saving included.
long UtcOffset(time_t when) {
  struct tm local = *localtime(&when);
  struct tm utc = *gmtime(&when);
  utc.tm_isdst = local.tm_isdst;
  return static_cast<long>(difftime(when, mktime(&utc)));
}

// YYYY-MM-DD, YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH:MM:SS (a blank for the
// T too), in local time.
bool ParseLocalTime(const std::string& text, time_t* when) {
  struct tm parts = {};
  char separator = 'T';
  int consumed = 0;
  int fields = sscanf(text.c_str(), "%4d-%2d-%2d%n%c%2d:%2d%n:%2d%n", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                      &consumed, &separator, &parts.tm_hour, &parts.tm_min, &consumed, &parts.tm_sec, &consumed);
  if (fields < 3 || static_cast<size_t>(consumed) != text.size()) return false;
  if (fields > 3 && separator != 'T' && separator != ' ') return false;
  if (parts.tm_mon < 1 || parts.tm_mon > 12 || parts.tm_mday < 1 || parts.tm_mday > 31 || parts.tm_hour > 23 ||
      parts.tm_min > 59 || parts.tm_sec > 60)
    return false;
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  parts.tm_isdst = -1;
  *when = mktime(&parts);
  return *when != static_cast<time_t>(-1);
}

std::vector<std::string> MessageLines(const std::string& message) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t end = message.find('\n', start);
    std::string line = message.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (end == std::string::npos) return lines;
    start = end + 1;
  }
}

// 16 bytes a line: offset, hex, and the printable bytes.
void PrintHexDump(const std::vector<BYTE>& data) {
  for (size_t offset = 0; offset < data.size(); offset += 16) {
    printf("  %04zx:", offset);
    std::string chars;
    for (size_t i = offset; i < offset + 16; ++i) {
      if (i < data.size()) {
        printf(" %02x", data[i]);
        chars += data[i] >= 0x20 && data[i] < 0x7F ? static_cast<char>(data[i]) : '.';
      } else {
        printf("   ");
      }
    }
    printf("  %s\n", chars.c_str());
  }
}

}  // namespace

std::string LocalIsoTime(time_t when) {
  struct tm local = *localtime(&when);
  char stamp[40];
  strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
  long offset = UtcOffset(when);
  int minutes = static_cast<int>((offset < 0 ? -offset : offset) / 60 % (24 * 60));
  char zone[16];
  snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return std::string(stamp) + zone;
}

void EventFilter::Prepare() {
  anyType = types.empty();
  for (const std::string& name : types) {
    bool known = false;
    for (WORD type : kEventTypes) {
      if (name == Vk::EventTypeName(type)) {
        known = true;
        typeMask = static_cast<WORD>(typeMask | type);
      }
    }
    if (!known)
      throw UsageError("unknown event type '" + EscapeControls(name) +
                       "': expected error, warning, information, success, audit-success or audit-failure");
  }
  if (!since.empty() && !ParseLocalTime(since, &sinceTime))
    throw UsageError("invalid --since '" + EscapeControls(since) + "': expected YYYY-MM-DD[THH:MM[:SS]]");
  if (!until.empty() && !ParseLocalTime(until, &untilTime))
    throw UsageError("invalid --until '" + EscapeControls(until) + "': expected YYYY-MM-DD[THH:MM[:SS]]");
}

bool EventFilter::Matches(const EventRecord& record) const {
  if (!source.empty() && strcasecmp(source.c_str(), record.source.c_str()) != 0) return false;
  if (!anyType) {
    bool wantsSuccess = false;
    for (const std::string& name : types) wantsSuccess = wantsSuccess || name == "success";
    if (record.type == EVENTLOG_SUCCESS ? !wantsSuccess : (record.type & typeMask) == 0) return false;
  }
  if (!since.empty() && static_cast<time_t>(record.timeGenerated) < sinceTime) return false;
  if (!until.empty() && static_cast<time_t>(record.timeGenerated) > untilTime) return false;
  return true;
}

void AddEventFilterOptions(CLI::App& command, const std::shared_ptr<EventFilter>& filter) {
  command.add_option("LOG", filter->log, "the log (default: Application)");
  command.add_option("--source", filter->source, "only events of this source");
  command.add_option("--type", filter->types,
                     "only events of these types: error, warning, information, success, audit-success, "
                     "audit-failure (repeat or separate with commas)")
      ->delimiter(',');
  command.add_option("--since", filter->since, "only events generated at or after this local time (YYYY-MM-DDTHH:MM:SS)");
  command.add_option("--until", filter->until, "only events generated at or before this local time");
  command.add_option("--format", filter->format, "text, or json for one JSON object per line")
      ->check(CLI::IsMember({"text", "json"}));
}

void PrintEvent(const EventFilter& filter, const EventRecord& record) {
  std::string message = RenderEventMessage(filter.log, record);
  if (filter.format == "json") {
    nlohmann::ordered_json line;
    line["log"] = AnsiToUtf8(filter.log);
    line["record"] = record.number;
    line["generated"] = LocalIsoTime(static_cast<time_t>(record.timeGenerated));
    line["written"] = LocalIsoTime(static_cast<time_t>(record.timeWritten));
    line["type"] = Vk::EventTypeName(record.type);
    line["source"] = AnsiToUtf8(record.source);
    line["event_id"] = record.eventId;              // the whole identifier, as the text shows it in hex
    line["event_code"] = record.eventId & 0xFFFF;  // its code, as the text shows it first
    line["category"] = record.category;
    line["user"] = record.userSid.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(record.userSid);
    line["computer"] = AnsiToUtf8(record.computer);
    line["message"] = AnsiToUtf8(message);
    line["strings"] = nlohmann::ordered_json::array();
    for (const std::string& text : record.strings) line["strings"].push_back(AnsiToUtf8(text));
    line["data"] = HexDigits(record.data);
    printf("%s\n", JsonText(line).c_str());
    return;
  }
  char id[40];
  snprintf(id, sizeof id, "%lu (0x%08lX)", static_cast<unsigned long>(record.eventId & 0xFFFF),
           static_cast<unsigned long>(record.eventId));
  printf("Record %lu\n", static_cast<unsigned long>(record.number));
  printf("  Generated: %s\n", LocalIsoTime(static_cast<time_t>(record.timeGenerated)).c_str());
  printf("  Written:   %s\n", LocalIsoTime(static_cast<time_t>(record.timeWritten)).c_str());
  printf("  Type:      %s\n", Vk::EventTypeName(record.type).c_str());
  printf("  Source:    %s\n", EscapeControls(record.source).c_str());
  printf("  Event ID:  %s\n", id);
  printf("  Category:  %u\n", static_cast<unsigned>(record.category));
  printf("  User:      %s\n", record.userSid.empty() ? "-" : record.userSid.c_str());
  printf("  Computer:  %s\n", EscapeControls(record.computer).c_str());
  printf("  Message:\n");
  for (const std::string& line : MessageLines(message)) printf("    %s\n", EscapeControls(line).c_str());
  if (!record.data.empty()) {
    printf("  Data:\n");
    PrintHexDump(record.data);
  }
  printf("\n");
}

}  // namespace vkdiag
