// The subcommands of vkdiag; each Add function registers one command with
// its options, help and action on the parent it is given.
#ifndef VKDIAG_COMMANDS_H
#define VKDIAG_COMMANDS_H

#include <CLI/CLI.hpp>

namespace vkdiag {

void AddRegCommands(CLI::App& app);
void AddRegQueryCommand(CLI::App& reg);
void AddRegAddCommand(CLI::App& reg);
void AddRegDeleteCommand(CLI::App& reg);
void AddRegExportCommand(CLI::App& reg);
void AddRegImportCommand(CLI::App& reg);
void AddRegWatchCommand(CLI::App& reg);

void AddTraceCommands(CLI::App& app);

void AddSetupCommand(CLI::App& app);

void AddEventsCommands(CLI::App& app);
void AddEventsQueryCommands(CLI::App& events);
void AddEventsLogCommands(CLI::App& events);

void AddStoresCommand(CLI::App& app);

}  // namespace vkdiag

#endif  // VKDIAG_COMMANDS_H
