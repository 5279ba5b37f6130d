// Filters and output of event records, shared by query and follow.
#ifndef VKDIAG_EVENT_OUTPUT_H
#define VKDIAG_EVENT_OUTPUT_H

#include <CLI/CLI.hpp>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "event_record.h"

namespace vkdiag {

struct EventFilter {
  std::string log = "Application";
  std::string source;
  std::vector<std::string> types;
  std::string since;
  std::string until;
  std::string format = "text";
  // Parsed from the texts above by Prepare.
  WORD typeMask = 0;
  bool anyType = true;
  time_t sinceTime = 0;
  time_t untilTime = 0;

  // Checks and parses the options; throws a usage error.
  void Prepare();
  bool Matches(const EventRecord& record) const;
};

// Adds LOG, --source, --type, --since, --until and --format.
void AddEventFilterOptions(CLI::App& command, const std::shared_ptr<EventFilter>& filter);

void PrintEvent(const EventFilter& filter, const EventRecord& record);

// ISO 8601 in local time with the offset: 2024-05-01T13:45:00+02:00.
std::string LocalIsoTime(time_t when);

}  // namespace vkdiag

#endif  // VKDIAG_EVENT_OUTPUT_H
