// Event objects, the one waitable kind of handle the library needs.
#ifndef VK_PLATFORM_POSIX_KERNEL_EVENTS_H
#define VK_PLATFORM_POSIX_KERNEL_EVENTS_H

#include <condition_variable>
#include <mutex>

#include "kernel/handles.h"

namespace vk_posix {

class EventObject : public KernelObject {
 public:
  EventObject(bool manualReset, bool signaled) : m_manualReset(manualReset), m_signaled(signaled) {}
  void Set();
  void Reset();
  // True when signaled within the timeout (INFINITE waits for ever).
  bool Wait(DWORD milliseconds);

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  const bool m_manualReset;
  bool m_signaled;
};

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_KERNEL_EVENTS_H
