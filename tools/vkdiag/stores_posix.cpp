// vkdiag stores: where the platform layer keeps the registry and the event
// logs for the user who runs it, and whether that user may write them.
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "commands.h"
#include "machine_layout.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

void ShowStores() {
  using vk_posix::Store;
  using vk_posix::StoreLayout;
  vk_posix::StoreLocation machine = vk_posix::Locate(Store::kMachine);
  vk_posix::StoreLocation user = vk_posix::Locate(Store::kUser);
  std::string group = vk_posix::MachineStoreGroupName();
  switch (vk_posix::CurrentLayout()) {
    case StoreLayout::kSystemRoot:
      printf("layout: one directory (VK_SYSTEM_ROOT)\n");
      printf("state: %s\n", EscapeControls(machine.directory).c_str());
      break;
    case StoreLayout::kTwoStores:
      printf("layout: machine store and user store\n");
      printf("machine: %s (%s)\n", EscapeControls(machine.directory).c_str(),
             machine.writable ? ("read and write: root or group " + EscapeControls(group)).c_str()
                              : ("read only, from its published copy: not in group " + EscapeControls(group)).c_str());
      printf("user: %s\n", EscapeControls(user.directory).c_str());
      break;
    case StoreLayout::kPrivate:
      printf("layout: one private directory (no machine store set up for group %s)\n", EscapeControls(group).c_str());
      printf("state: %s\n", EscapeControls(user.directory).c_str());
      break;
  }
  // A store this process cannot use is an error, and names what is wrong.
  std::string problem = vk_posix::MachineStoreProblem();
  if (!problem.empty()) throw Failure("the machine store cannot be used: " + EscapeControls(problem));
}

}  // namespace

void CheckState(StateUse use) {
  const char* root = getenv("VK_SYSTEM_ROOT");
  if (root && *root) {
    if (root[0] != '/') throw UsageError("VK_SYSTEM_ROOT must be an absolute path, not '" + EscapeControls(root) + "'");
    struct stat status;
    if (use != StateUse::kAny && (stat(root, &status) != 0 || !S_ISDIR(status.st_mode)))
      throw UsageError("VK_SYSTEM_ROOT names no directory: " + EscapeControls(root));
  }
  if (use == StateUse::kAny || use == StateUse::kReadLayout) return;
  std::string machine, user;
  if (use == StateUse::kReadEvents) {
    // Outside the group the logs are closed, which opening one says.
    vk_posix::StoreLocation where = vk_posix::Locate(vk_posix::Store::kMachine);
    if ((where.shared && !where.writable) || vk_posix::StoreFileExists(vk_posix::Store::kMachine, "eventlog.db", &machine))
      return;
    throw Failure("no such store: " + EscapeControls(machine) + " was never made");
  }
  if (vk_posix::StoreFileExists(vk_posix::Store::kMachine, "registry.db", &machine) ||
      vk_posix::StoreFileExists(vk_posix::Store::kUser, "registry.db", &user))
    return;
  throw Failure("no such store: " + EscapeControls(machine) + " was never made");
}

void AddStoresCommand(CLI::App& app) {
  CLI::App* stores = app.add_subcommand("stores", "Show where the registry and the event logs are kept.");
  stores->footer(
      "The machine store (HKLM, HKU\\.DEFAULT, event logs) is written and read by root\n"
      "and the group; everyone else reads the registry's published copy and no event\n"
      "log. The user store holds the user's own HKCU. Exits 1, naming the file, when\n"
      "the machine store cannot be used (run vkdiag setup then).\n"
      "Example:\n"
      "  vkdiag stores\n");
  stores->callback([] {
    CheckState(StateUse::kReadLayout);
    ShowStores();
  });
}

}  // namespace vkdiag
