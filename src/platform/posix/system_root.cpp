#include "system_root.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vk_posix {

namespace {

bool MakeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string prefix = path.substr(0, slash);
    if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

}  // namespace

std::string SystemRoot() {
  const char* configured = getenv("VK_SYSTEM_ROOT");
  if (configured && *configured) {
    MakeDirectories(configured);
    return configured;
  }
  const std::string machineWide = "/var/lib/vkdiag";
  if (MakeDirectories(machineWide) && access(machineWide.c_str(), W_OK) == 0) return machineWide;
  const char* state = getenv("XDG_STATE_HOME");
  const char* home = getenv("HOME");
  std::string base = state && *state ? state : std::string(home ? home : "/tmp") + "/.local/state";
  std::string root = base + "/vkdiag";
  MakeDirectories(root);
  return root;
}

}  // namespace vk_posix
