// The process-wide table of kernel object handles.
#ifndef VK_PLATFORM_POSIX_KERNEL_HANDLES_H
#define VK_PLATFORM_POSIX_KERNEL_HANDLES_H

#include "kernel/win32.h"

#include <memory>

namespace vk_posix {

// Anything a HANDLE can stand for: files, events, event sources, tokens.
// Closing the last handle destroys the object.
class KernelObject {
 public:
  virtual ~KernelObject() = default;
};

// Registers an object and returns its new handle. Handle values are small
// multiples of four, never null and never INVALID_HANDLE_VALUE, and are not
// reused, so a stale or forged handle fails with ERROR_INVALID_HANDLE
// instead of reaching another object.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);

// The object behind a handle, or null (last error ERROR_INVALID_HANDLE) when
// the handle is unknown or stands for an object of another kind.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

template <typename T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  std::shared_ptr<T> object = std::dynamic_pointer_cast<T>(LookupHandle(handle));
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

// Removes a handle from the table; the object dies with its last reference.
bool RemoveHandle(HANDLE handle);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_KERNEL_HANDLES_H
