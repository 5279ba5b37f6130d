// Where the debugger output channel's sockets live, and how a listener
// makes their directories. Three channels, one socket name:
//   - with $VK_SYSTEM_ROOT: that directory alone (tests, the demo, a
//     single-user embedding);
//   - the machine channel in /run/vkdiag (root:vkdiag 2775, made by
//     `vkdiag setup` or systemd-tmpfiles), which root and the group vkdiag
//     may send to;
//   - a user's own channel in $XDG_RUNTIME_DIR/vkdiag (0700), for that
//     user's programs only.
#ifndef VK_PLATFORM_POSIX_MACHINE_RUNTIME_DIRS_H
#define VK_PLATFORM_POSIX_MACHINE_RUNTIME_DIRS_H

#include <string>

namespace vk_posix {

constexpr char kDebugSocketName[] = "debug-output.sock";
constexpr char kMachineRuntimeDirectory[] = "/run/vkdiag";

// $VK_SYSTEM_ROOT, or empty when it is not set.
std::string SingleRootDirectory();

// The user's own channel directory ($XDG_RUNTIME_DIR/vkdiag, else
// /run/user/<uid>/vkdiag), or empty when the user has no runtime directory
// of their own. Only a runtime directory owned by this effective user and
// writable by nobody else counts, so a sender under sudo or a planted
// variable never sends its texts into another user's hands.
std::string UserChannelDirectory();

// Makes the directory a listener binds in, when missing, and checks it:
// never through a symbolic link, a directory of the expected owner (this
// user for the user channel and a single root, root for the machine one),
// with an explicit mode (0700 for the user channel). Returns an empty string
// or what is wrong, for the operator.
std::string PrepareSingleRootDirectory(const std::string& directory);
std::string PrepareUserChannelDirectory(const std::string& directory);
std::string PrepareMachineChannelDirectory();

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_MACHINE_RUNTIME_DIRS_H
