// The handle table: one map from handle values to objects, under one lock.
#include "kernel/handles.h"

#include <pthread.h>

#include "kernel/errors.h"

#include <mutex>
#include <unordered_map>

namespace vk_posix {

namespace {

struct HandleTable {
  std::mutex lock;
  uintptr_t nextValue = 0x100;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
};

HandleTable& Table() {
  // Never destroyed: handles may be closed by static destructors of the host.
  static HandleTable* table = [] {
    auto* created = new HandleTable;
    // A child made by fork() must not inherit a lock held by another thread.
    pthread_atfork([] { Table().lock.lock(); }, [] { Table().lock.unlock(); },
                   [] { Table().lock.unlock(); });
    return created;
  }();
  return *table;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  uintptr_t value = table.nextValue;
  table.nextValue += 4;
  table.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (it == table.objects.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return it->second;
}

bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> dying;  // destroyed after the lock is released
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (it == table.objects.end()) return false;
  dying = std::move(it->second);
  table.objects.erase(it);
  return true;
}

}  // namespace vk_posix

// Closes a handle of any kind. Unknown handles fail with
// ERROR_INVALID_HANDLE; Windows raises an exception for them only under a
// debugger.
BOOL Vk::Win32::CloseHandle(HANDLE hObject) {
  if (!vk_posix::RemoveHandle(hObject)) return vk_posix::Fail(ERROR_INVALID_HANDLE);
  return TRUE;
}
