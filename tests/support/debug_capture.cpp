#include "support/debug_capture.h"

#include <vk/platform.h>

#include <string.h>

#include <chrono>

#if defined(_WIN32)
#include <windows.h>
#else
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using namespace Vk::Win32;

namespace vktest {

#if defined(_WIN32)

struct DebugCapture::State {
  HANDLE mutex = nullptr;
  HANDLE bufferReady = nullptr;
  HANDLE dataReady = nullptr;
  HANDLE mapping = nullptr;
  const char* view = nullptr;
};

DebugCapture::DebugCapture() : m_state(new State) {
  m_state->mutex = CreateMutexA(nullptr, FALSE, "DBWinMutex");
  m_state->bufferReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
  m_state->dataReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
  m_state->mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, "DBWIN_BUFFER");
  if (m_state->mapping)
    m_state->view = static_cast<const char*>(MapViewOfFile(m_state->mapping, FILE_MAP_READ, 0, 0, 4096));
  m_listening = m_state->bufferReady && m_state->dataReady && m_state->view;
  if (m_listening) SetEvent(m_state->bufferReady);
}

DebugCapture::~DebugCapture() {
  if (m_state->view) UnmapViewOfFile(m_state->view);
  for (HANDLE handle : {m_state->mapping, m_state->dataReady, m_state->bufferReady, m_state->mutex})
    if (handle) CloseHandle(handle);
  delete m_state;
}

std::vector<std::string> DebugCapture::Collect(unsigned long pid, int timeoutMs) {
  std::vector<std::string> texts;
  while (m_listening && WaitForSingleObject(m_state->dataReady, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0) {
    DWORD sender = 0;
    memcpy(&sender, m_state->view, sizeof sender);
    if (sender == pid) texts.emplace_back(m_state->view + sizeof sender);
    SetEvent(m_state->bufferReady);
  }
  return texts;
}

#else

struct DebugCapture::State {
  int socket = -1;
  std::string path;
};

DebugCapture::DebugCapture() : m_state(new State) {
  const char* root = getenv("VK_SYSTEM_ROOT");
  if (!root) return;
  m_state->path = std::string(root) + "/debug-output.sock";
  unlink(m_state->path.c_str());
  m_state->socket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (m_state->path.size() >= sizeof address.sun_path) return;
  strcpy(address.sun_path, m_state->path.c_str());
  m_listening = bind(m_state->socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

DebugCapture::~DebugCapture() {
  if (m_state->socket >= 0) close(m_state->socket);
  if (m_listening) unlink(m_state->path.c_str());
  delete m_state;
}

std::vector<std::string> DebugCapture::Collect(unsigned long pid, int timeoutMs) {
  std::vector<std::string> texts;
  struct pollfd ready = {m_state->socket, POLLIN, 0};
  std::vector<char> datagram(70000);
  while (m_listening && poll(&ready, 1, timeoutMs) > 0) {
    ssize_t n = recv(m_state->socket, datagram.data(), datagram.size(), 0);
    if (n < static_cast<ssize_t>(sizeof(DWORD))) continue;
    DWORD sender = 0;
    memcpy(&sender, datagram.data(), sizeof sender);
    if (sender == pid) texts.emplace_back(datagram.data() + sizeof sender, static_cast<size_t>(n) - sizeof sender);
  }
  return texts;
}

#endif

}  // namespace vktest
