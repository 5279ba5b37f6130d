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

// What the state may be for a command. Every command: a VK_SYSTEM_ROOT
// that is not an absolute path is a usage error. A command that only reads
// never makes state: a VK_SYSTEM_ROOT that names no directory is a usage
// error, and a store that was never made is "no such store" (a failure).
// Nothing to check where the system keeps the state (Windows).
enum class StateUse { kAny, kReadLayout, kReadRegistry, kReadEvents };
void CheckState(StateUse use);

}  // namespace vkdiag

#endif  // VKDIAG_COMMANDS_H
