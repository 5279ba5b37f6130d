#include "system_root.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vk_posix {

namespace {

bool MakeDirectories(const std::string& path, mode_t mode) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string prefix = path.substr(0, slash);
    if (mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

// The user's home directory: $HOME, else the password database's entry.
// Never a shared directory such as /tmp, where another user could make the
// state directory first.
std::string HomeDirectory() {
  const char* home = getenv("HOME");
  if (home && *home == '/') return home;
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/')
    return found->pw_dir;
  return std::string();
}

}  // namespace

std::string SystemRoot() {
  const char* configured = getenv("VK_SYSTEM_ROOT");
  if (configured && *configured) {
    MakeDirectories(configured, 0755);
    return configured;
  }
  const std::string machineWide = "/var/lib/vkdiag";
  if (MakeDirectories(machineWide, 0755) && access(machineWide.c_str(), W_OK) == 0) return machineWide;
  const char* state = getenv("XDG_STATE_HOME");
  std::string base = state && *state == '/' ? std::string(state) : HomeDirectory();
  if (base.empty()) return std::string();  // nowhere safe: every open then fails
  if (!(state && *state == '/')) base += "/.local/state";
  // A user's own state: private to that user, whatever the umask.
  std::string root = base + "/vkdiag";
  MakeDirectories(root, 0700);
  return root;
}

}  // namespace vk_posix
