// vkdiag setup on Windows: the system's own registry, event log and debug
// output need nothing made, so the command only says so.
#include <stdio.h>

#include "commands.h"

namespace vkdiag {

void AddSetupCommand(CLI::App& app) {
  CLI::App* setup = app.add_subcommand("setup", "Make what the library needs on this machine (nothing on Windows)");
  setup->footer("Example:\n  vkdiag setup\n");
  setup->callback([] { printf("nothing to set up: Windows keeps the registry, event logs and debug output\n"); });
}

}  // namespace vkdiag
