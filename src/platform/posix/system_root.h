// The directory that holds the POSIX platform's machine state.
#ifndef VK_PLATFORM_POSIX_SYSTEM_ROOT_H
#define VK_PLATFORM_POSIX_SYSTEM_ROOT_H

#include <string>

namespace vk_posix {

// $VK_SYSTEM_ROOT; without it /var/lib/vkdiag when writable, else
// ${XDG_STATE_HOME:-HOME/.local/state}/vkdiag, HOME being $HOME or the
// password database's home directory (never /tmp; empty when there is
// none). Created when missing, a user's own one with mode 0700.
// Read anew on each call, so a process that changes the variable before its
// first registry call uses the new place.
std::string SystemRoot();

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_SYSTEM_ROOT_H
