// vkdiag events: the event log commands.
#include "commands.h"

namespace vkdiag {

void AddEventsCommands(CLI::App& app) {
  CLI::App* events = app.add_subcommand("events", "Read, follow and clear event logs");
  events->require_subcommand(1);
  events->footer(
      "Examples:\n"
      "  vkdiag events query --type error -c 10\n"
      "  vkdiag events logs\n");
  AddEventsQueryCommands(*events);
  AddEventsLogCommands(*events);
}

}  // namespace vkdiag
