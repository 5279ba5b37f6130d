// Unnamed event objects: manual or automatic reset, with timed waits.
#include "kernel/events.h"

#include <chrono>

#include "kernel/errors.h"

namespace vk_posix {

void EventObject::Set() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_signaled = true;
  if (m_manualReset)
    m_changed.notify_all();
  else
    m_changed.notify_one();
}

void EventObject::Reset() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_signaled = false;
}

bool EventObject::Wait(DWORD milliseconds) {
  std::unique_lock<std::mutex> lock(m_lock);
  auto signaled = [this] { return m_signaled; };
  if (milliseconds == INFINITE)
    m_changed.wait(lock, signaled);
  else if (!m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds), signaled))
    return false;
  if (!m_manualReset) m_signaled = false;  // an automatic-reset event releases one waiter
  return true;
}

}  // namespace vk_posix

using vk_posix::EventObject;

// Creates an unnamed event. Named events (shared between processes on
// Windows) are not supported: ERROR_NOT_SUPPORTED.
HANDLE Vk::Win32::CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
  if (lpName && *lpName) {
    vk_posix::Fail(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return vk_posix::InsertHandle(std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE));
}

BOOL Vk::Win32::SetEvent(HANDLE hEvent) {
  auto event = vk_posix::LookupHandleAs<EventObject>(hEvent);
  if (!event) return FALSE;
  event->Set();
  return TRUE;
}

BOOL Vk::Win32::ResetEvent(HANDLE hEvent) {
  auto event = vk_posix::LookupHandleAs<EventObject>(hEvent);
  if (!event) return FALSE;
  event->Reset();
  return TRUE;
}

// Waits for an event; other kinds of handle are not waitable here
// (WAIT_FAILED with ERROR_INVALID_HANDLE).
DWORD Vk::Win32::WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto event = vk_posix::LookupHandleAs<EventObject>(hHandle);
  if (!event) return WAIT_FAILED;
  return event->Wait(dwMilliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}
