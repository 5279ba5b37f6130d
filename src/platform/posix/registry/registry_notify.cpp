// Change notification on registry keys, also for changes by other processes.
//
// Every change bumps a counter of the changed key in the store
// (registry_store.cpp); a watcher polls the counters it cares about, after
// the store-wide change count has moved. The asynchronous form polls on a
// thread of its own and signals the event at the first change, when the key
// is deleted, or when the watched handle is closed, as Windows does.
#include <thread>
#include <vector>

#include "kernel/errors.h"
#include "kernel/events.h"
#include "registry/registry_keys.h"

namespace {

constexpr DWORD kPollIntervalMs = 10;
constexpr DWORD kKnownFilters = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES | REG_NOTIFY_CHANGE_LAST_SET |
                                REG_NOTIFY_CHANGE_SECURITY;

// The state of the watched keys when the watch began: the store's change
// count, read first, and the mark.
struct Watched {
  bool counted = false;
  uint64_t count = 0;
  std::vector<int64_t> mark;
};

// Waits until the mark changes, the key goes, or the handle closes. The
// store is asked only after some write has moved the change count.
void WaitForChange(vk_posix::KeyId id, bool subtree, DWORD filter, const Watched& initial,
                   const std::shared_ptr<vk_posix::KeyObject>& key) {
  uint64_t asked = initial.count;
  for (;;) {
    Sleep(kPollIntervalMs);
    if (key && key->closed()) return;
    uint64_t count = 0;
    if (initial.counted && vk_posix::registry_store::ChangeCount(id, &count) && count == asked) continue;
    asked = count;
    std::vector<int64_t> mark;
    LONG error = vk_posix::registry_store::ChangeMark(id, subtree, filter, &mark);
    if (error != ERROR_SUCCESS || mark != initial.mark) return;
  }
}

}  // namespace

// Attributes and security changes are accepted as filters but never occur
// in this registry, which keeps no security descriptors. As under Wine,
// bits it does not know are ignored, and a filter that selects no change
// (0 among them) is accepted: such a watch ends only when the key goes or
// its handle closes.
LONG Vk::Win32::RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter, HANDLE hEvent,
                                    BOOL fAsynchronous) {
  dwNotifyFilter &= kKnownFilters;
  vk_posix::KeyId id = 0;
  REGSAM access = 0;
  LONG error = vk_posix::ResolveKey(hKey, &id, &access);
  if (error != ERROR_SUCCESS) return error;
  if (!(access & KEY_NOTIFY)) return ERROR_ACCESS_DENIED;
  std::shared_ptr<vk_posix::EventObject> event;
  if (fAsynchronous) {
    event = vk_posix::LookupHandleAs<vk_posix::EventObject>(hEvent);
    if (!event) return ERROR_INVALID_HANDLE;
  }
  Watched initial;
  initial.counted = vk_posix::registry_store::ChangeCount(id, &initial.count);
  error = vk_posix::registry_store::ChangeMark(id, bWatchSubtree != FALSE, dwNotifyFilter, &initial.mark);
  if (error != ERROR_SUCCESS) return error;
  // The watcher holds its own references, so closing the event handle or
  // the key handle early is safe.
  std::shared_ptr<vk_posix::KeyObject> key = vk_posix::OpenKeyObject(hKey);
  if (!fAsynchronous) {
    WaitForChange(id, bWatchSubtree != FALSE, dwNotifyFilter, initial, key);
    return ERROR_SUCCESS;
  }
  std::thread([=] {
    WaitForChange(id, bWatchSubtree != FALSE, dwNotifyFilter, initial, key);
    event->Set();
  }).detach();
  return ERROR_SUCCESS;
}
