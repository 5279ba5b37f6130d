// Listens to OutputDebugStringA through the DBWIN protocol a debug-output
// viewer uses: the sender waits for DBWIN_BUFFER_READY, writes its process
// identifier and text into the 4 KiB section DBWIN_BUFFER and sets
// DBWIN_DATA_READY.
#include "debug_listener.h"

#include <windows.h>

#include <string.h>

#include "tool_error.h"

namespace vkdiag {

namespace {

constexpr DWORD kBufferSize = 4096;

}  // namespace

struct DebugListener::State {
  HANDLE bufferReady = nullptr;
  HANDLE dataReady = nullptr;
  HANDLE mapping = nullptr;
  const char* view = nullptr;

  ~State() {
    if (view) UnmapViewOfFile(view);
    for (HANDLE handle : {mapping, dataReady, bufferReady})
      if (handle) CloseHandle(handle);
  }
};

// One channel per session: the choice has nothing to pick from.
DebugListener::DebugListener(DebugChannel) : m_state(new State) {
  m_state->bufferReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
  bool taken = GetLastError() == ERROR_ALREADY_EXISTS;
  m_state->dataReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
  m_state->mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, "DBWIN_BUFFER");
  DWORD error = GetLastError();
  if (m_state->mapping)
    m_state->view = static_cast<const char*>(MapViewOfFile(m_state->mapping, FILE_MAP_READ, 0, 0, kBufferSize));
  if (!m_state->bufferReady || !m_state->dataReady || !m_state->view) {
    throw SystemError("cannot listen to the debugger output", error ? error : GetLastError());
  }
  if (taken) {
    throw Failure("another debug-output viewer is listening");
  }
  SetEvent(m_state->bufferReady);
}

DebugListener::~DebugListener() = default;

bool DebugListener::Next(int timeoutMs, DebugText* received) {
  DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  if (WaitForSingleObject(m_state->dataReady, wait) != WAIT_OBJECT_0) return false;
  DWORD pid = 0;
  memcpy(&pid, m_state->view, sizeof pid);
  received->pid = pid;
  received->text.assign(m_state->view + sizeof pid, strnlen(m_state->view + sizeof pid, kBufferSize - sizeof pid));
  SetEvent(m_state->bufferReady);
  return true;
}

std::string DebugListener::Where() const { return "DBWIN_BUFFER"; }

}  // namespace vkdiag
