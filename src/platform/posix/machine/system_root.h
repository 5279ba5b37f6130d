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

#include <sys/types.h>

#include <string>

namespace vk_posix {

enum class Store { kMachine, kUser };

enum class StoreLayout {
  kSystemRoot,  // VK_SYSTEM_ROOT: one directory
  kTwoStores,   // the machine store and the user store
  kPrivate,     // no machine store set up: one directory in the user store
};

struct StoreLocation {
  std::string directory;  // empty when there is no safe place: opens fail
  mode_t fileMode = 0644;  // what a file made there gets, whatever the umask
  gid_t group = static_cast<gid_t>(-1);  // what a file made there belongs to; -1: the maker's
  bool writable = true;   // false: writes are refused with ERROR_ACCESS_DENIED
};

// The layout this process uses. Worked out again whenever the variables it
// depends on change, so a process that sets VK_SYSTEM_ROOT before its first
// registry call uses the new place.
StoreLayout CurrentLayout();
// A store's place; in the one-directory layouts both stores name the same.
StoreLocation Locate(Store store);
// Whether the two stores are apart, so that keys are routed between them.
inline bool StoresApart() { return CurrentLayout() == StoreLayout::kTwoStores; }
// The machine store's directory, created when missing in the
// one-directory layouts.
std::string SystemRoot();
// The key of this process's user below HKEY_USERS: "S-1-22-1-<uid>".
std::string CurrentUserKeyName();
// The group that may write the machine store, by name, for operators.
std::string MachineStoreGroupName();
// Whether directory is the shared machine store, whose SQLite companion
// files must outlive every connection (readers cannot make them).
bool IsSharedMachineStore(const std::string& directory);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_MACHINE_SYSTEM_ROOT_H
