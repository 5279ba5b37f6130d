// vkdiag stores on Windows: the system keeps the registry and the event
// logs itself.
#include <stdio.h>

#include "commands.h"

namespace vkdiag {

void CheckState(StateUse) {}

void AddStoresCommand(CLI::App& app) {
  CLI::App* stores = app.add_subcommand("stores", "Show where the registry and the event logs are kept.");
  stores->footer("Example:\n  vkdiag stores\n");
  stores->callback([] { printf("layout: the system's registry and event logs\n"); });
}

}  // namespace vkdiag
