// vkdiag events query and follow: the records of a log, filtered, as text
// or JSON Lines; follow waits for new ones.
#include <stdio.h>

#include <chrono>
#include <memory>
#include <thread>

#include "commands.h"
#include "event_message.h"
#include "event_output.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

constexpr auto kFollowPoll = std::chrono::milliseconds(250);

struct QueryOptions {
  long count = 0;
  bool reverse = false;
  std::string file;  // a backup to read instead of a log
};

void Query(EventFilter& filter, const QueryOptions& options) {
  filter.Prepare();
  if (options.file.empty()) RequireExistingLog(filter.log);
  std::unique_ptr<EventLogReader> opened =
      options.file.empty() ? std::make_unique<EventLogReader>(filter.log)
                           : std::make_unique<EventLogReader>(EventLogReader::FromBackup{}, options.file);
  EventLogReader& reader = *opened;
  EventRecord record;
  long shown = 0;
  while ((options.count == 0 || shown < options.count) && reader.Next(options.reverse, &record)) {
    if (!filter.Matches(record)) continue;
    PrintEvent(filter, record);
    ++shown;
  }
}

// Polls for records numbered after the newest seen at the start.
void Follow(EventFilter& filter, long count, double timeoutSeconds) {
  filter.Prepare();
  RequireExistingLog(filter.log);
  EventLogReader reader(filter.log);
  DWORD next = reader.NextNumber();
  fprintf(stderr, "vkdiag: following %s from record %lu\n", EscapeControls(filter.log).c_str(),
          static_cast<unsigned long>(next));
  auto idleSince = std::chrono::steady_clock::now();
  long shown = 0;
  while (count == 0 || shown < count) {
    EventRecord record;
    if (reader.Seek(next, &record)) {
      next = record.number + 1;
      idleSince = std::chrono::steady_clock::now();
      if (!filter.Matches(record)) continue;
      PrintEvent(filter, record);
      fflush(stdout);
      ++shown;
      continue;
    }
    if (timeoutSeconds > 0 &&
        std::chrono::steady_clock::now() - idleSince >= std::chrono::duration<double>(timeoutSeconds))
      return;
    std::this_thread::sleep_for(kFollowPoll);
  }
}

}  // namespace

void AddEventsQueryCommands(CLI::App& events) {
  auto filter = std::make_shared<EventFilter>();
  auto options = std::make_shared<QueryOptions>();
  CLI::App* query = events.add_subcommand("query", "Show the records of an event log");
  AddEventFilterOptions(*query, filter);
  query->add_option("-c,--count", options->count, "at most this many records")->check(CLI::NonNegativeNumber);
  query->add_flag("--reverse", options->reverse, "newest first");
  query->add_option("--file", options->file, "read a backup that events clear --backup wrote, instead of the log");
  query->footer(
      "Each record shows its number, times, type, source, event identifier, category, user, computer,\n"
      "the message rendered from the source's message file, and its data as a hex dump.\n"
      "Examples:\n"
      "  vkdiag events query --type error --since 2024-05-01 -c 20\n"
      "  vkdiag events query Application --source VemraDemo --reverse --format json\n"
      "  vkdiag events query --file application-2024-05.bak\n"
      "A log that does not exist is an error that names the logs there are.\n");
  query->callback([filter, options] {
    CheckState(options->file.empty() ? StateUse::kReadEvents : StateUse::kAny);
    Query(*filter, *options);
  });

  auto followFilter = std::make_shared<EventFilter>();
  auto followCount = std::make_shared<long>(0);
  auto followTimeout = std::make_shared<double>(0);
  CLI::App* follow = events.add_subcommand("follow", "Print new records of a log as they arrive");
  AddEventFilterOptions(*follow, followFilter);
  follow->add_option("--count", *followCount, "stop after this many records (0: never)")
      ->check(CLI::NonNegativeNumber);
  follow->add_option("--timeout", *followTimeout, "stop after this many seconds without a record (0: never)")
      ->check(CLI::NonNegativeNumber);
  follow->footer("Runs until interrupted.\nExample:\n  vkdiag events follow --type error,warning\n");
  follow->callback([followFilter, followCount, followTimeout] {
    CheckState(StateUse::kReadEvents);
    Follow(*followFilter, *followCount, *followTimeout);
  });
}

}  // namespace vkdiag
