#include "registry/store_routing.h"

#include <algorithm>
#include <atomic>

#include "text/name_fold.h"

namespace vk_posix {
namespace registry_store {

namespace {

// The machine store's HKEY_USERS, once found.
std::atomic<KeyId> g_machineUsers{0};

}  // namespace

const std::vector<std::string>& DefaultUserPath() {
  static const std::vector<std::string> path = {"HKEY_USERS", ".DEFAULT"};
  return path;
}

bool IsUserSidName(const std::string& name) {
  return FoldName(name.c_str()).compare(0, sizeof kFoldedSidPrefix - 1, kFoldedSidPrefix) == 0;
}

void RememberMachineUsers(KeyId id) { g_machineUsers.store(id, std::memory_order_relaxed); }

bool IsMachineUsers(KeyId key) {
  KeyId users = g_machineUsers.load(std::memory_order_relaxed);
  return users != 0 && key == users && StoresApart();
}

Route RouteOf(KeyId parent, const std::vector<std::string>& path) {
  if (path.empty() || !IsUserSidName(path[0]) || !IsMachineUsers(parent)) return Route::kHere;
  return FoldName(path[0].c_str()) == FoldName(CurrentUserKeyName().c_str()) ? Route::kOwnKey : Route::kOtherUser;
}

std::vector<SubKey> SpliceUsers(std::vector<SubKey> machine, std::vector<SubKey> own) {
  machine.erase(std::remove_if(machine.begin(), machine.end(),
                               [](const SubKey& key) { return IsUserSidName(key.nameKey); }),
                machine.end());
  machine.insert(machine.end(), own.begin(), own.end());
  std::sort(machine.begin(), machine.end(), [](const SubKey& a, const SubKey& b) { return a.nameKey < b.nameKey; });
  return machine;
}

}  // namespace registry_store
}  // namespace vk_posix
