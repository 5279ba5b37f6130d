// Where the POSIX platform keeps its state, and who may write it.
//
// Two stores, as Windows keeps the machine's registry and event logs apart
// from each user's hive:
// - the machine store: HKEY_LOCAL_MACHINE, HKEY_USERS\.DEFAULT and the event
//   logs, in /var/lib/vkdiag, a directory of root and the group vkdiag
//   (2775, files 0664). Every user reads it; root and members of the group
//   write it, everyone else is refused with ERROR_ACCESS_DENIED, as a
//   standard user is refused writing HKEY_LOCAL_MACHINE on Windows;
// - the user store: the user's own HKEY_USERS\<sid> (HKEY_CURRENT_USER), in
//   $XDG_STATE_HOME/vkdiag, else ~/.local/state/vkdiag of the password
//   database's home (0700, files 0600). No other user reaches it.
// With VK_SYSTEM_ROOT set, both are that one directory (files 0644), as for
// tests, the demo and single-user embedding. Where the machine store was
// never set up, both are the user store's directory: a private state that
// works without installing anything.
#ifndef VK_PLATFORM_POSIX_MACHINE_SYSTEM_ROOT_H
#define VK_PLATFORM_POSIX_MACHINE_SYSTEM_ROOT_H

#include <string>

#include "machine_layout.h"

namespace vk_posix {

// Whether the two stores are apart, so that keys are routed between them.
inline bool StoresApart() { return CurrentLayout() == StoreLayout::kTwoStores; }
// The machine store's directory, created when missing in the
// one-directory layouts.
std::string SystemRoot();
// From now on this process uses the machine store at `directory` of the
// group `groupName` and no user store, whatever the variables say: setup
// uses it to reach the store it has just made, without making a store of
// its own user's.
void PinMachineStore(const std::string& directory, const std::string& groupName);
// The key of this process's user below HKEY_USERS: "S-1-22-1-<uid>".
std::string CurrentUserKeyName();
// Whether directory is the shared machine store, whose SQLite companion
// files must outlive every connection (readers cannot make them).
bool IsSharedMachineStore(const std::string& directory);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_MACHINE_SYSTEM_ROOT_H
