// How the registry's keys are spread over the two stores (system_root.h).
//
// With the stores apart, HKEY_LOCAL_MACHINE, HKEY_USERS and its .DEFAULT
// lie in the machine store, and the user's own key below HKEY_USERS lies in
// the user store: a path from the machine store's HKEY_USERS through the
// user's SID continues in the user store, and another user's SID leads
// nowhere, as on Windows the key of a user who is not logged on. Listing
// HKEY_USERS shows the machine store's own sub-keys and the user's key.
//
// Both databases number their rows from 1, so an id carries its store in a
// bit of its own.
#ifndef VK_PLATFORM_POSIX_REGISTRY_STORE_ROUTING_H
#define VK_PLATFORM_POSIX_REGISTRY_STORE_ROUTING_H

#include "kernel/win32.h"

#include <stdint.h>

#include <string>
#include <vector>

#include "registry/registry_store.h"

namespace vk_posix {
namespace registry_store {

constexpr KeyId kUserStoreBit = KeyId{1} << 52;

inline Store StoreOf(KeyId key) { return (key & kUserStoreBit) ? Store::kUser : Store::kMachine; }
inline KeyId RowOf(KeyId key) { return key & ~kUserStoreBit; }
inline KeyId IdOf(Store store, KeyId row) { return store == Store::kUser ? row | kUserStoreBit : row; }

// The keys a shared machine store gets with its first root:
// HKEY_USERS\.DEFAULT is always there on Windows.
const std::vector<std::string>& DefaultUserPath();

// Whether a name below HKEY_USERS is a user's SID ("S-1-..."), in any case.
bool IsUserSidName(const std::string& name);
// How such a name begins once folded (name_fold.h).
constexpr char kFoldedSidPrefix[] = "s-1-";

// Notes the id of the machine store's HKEY_USERS once it is known.
void RememberMachineUsers(KeyId id);
// Whether the key is the machine store's HKEY_USERS while the stores are
// apart, where the user's own key is routed to the user store.
bool IsMachineUsers(KeyId key);

enum class Route {
  kHere,       // on in the same store
  kOwnKey,     // to the user's own key, in the user store
  kOtherUser,  // to another user's key, which is not reachable
};
Route RouteOf(KeyId parent, const std::vector<std::string>& path);

// A sub-key as a listing of HKEY_USERS shows it.
struct SubKey {
  std::string name;
  std::string className;
  uint64_t lastWrite = 0;
  std::string nameKey;  // the folded name, which orders the listing
};

// HKEY_USERS as listed: the machine store's own sub-keys (.DEFAULT among
// them) except users' keys, which it may still hold from a one-directory
// past, and the user's own key; in name order.
std::vector<SubKey> SpliceUsers(std::vector<SubKey> machine, std::vector<SubKey> own);

}  // namespace registry_store
}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_REGISTRY_STORE_ROUTING_H
