// The debug trace: two process-wide counts decide, after one registry read,
// whether trace calls format and output anything.
#include <vk/debug_trace.h>

#include <stdio.h>
#include <string.h>

#include "trace_switch.h"

using namespace Vk::Win32;

namespace Vk {
namespace DebugTraceState {

std::atomic<LONG> g_lSettingsPending{1};
std::atomic<LONG> g_lTraceEnabled{0};

}  // namespace DebugTraceState
}  // namespace Vk

namespace {

constexpr size_t kTraceBufferSize = 2048;
constexpr size_t kPathBufferSize = 300;
constexpr size_t kNameBufferSize = 100;
constexpr size_t kMaxMessageLength = 1023;
constexpr size_t kLinePrefixCount = 20;

using Vk::DebugTraceState::g_lSettingsPending;
using Vk::DebugTraceState::g_lTraceEnabled;

bool TracingOn() {
  if (g_lSettingsPending.load(std::memory_order_relaxed) != 0) ReadTraceSettings();
  return g_lTraceEnabled.load(std::memory_order_relaxed) != 0;
}

// Outputs an already formatted message, decorated when a tag is given.
void Output(const char* tag, const char* message) {
  if (!tag) {
    OutputDebugStringA(message);
    return;
  }
  char line[kTraceBufferSize] = {};
  snprintf(line, sizeof line, "%s PID=0x%lx TID=0x%lx: %s", tag, static_cast<unsigned long>(GetCurrentProcessId()),
           static_cast<unsigned long>(GetCurrentThreadId()), message);
  OutputDebugStringA(line);
}

}  // namespace

void ReadTraceSettings() {
  // Claimed before reading, so that a read that fails is never repeated and
  // a racing first call finds tracing off instead of waiting.
  LONG pending = 1;
  if (!g_lSettingsPending.compare_exchange_strong(pending, 0)) return;
  char path[kPathBufferSize] = "";
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return;
  size_t nameLength = 0;
  const char* fileName = Vk::TraceSwitchName(path, &nameLength);
  if (nameLength >= kNameBufferSize) return;  // a longer name does not fit: tracing stays off
  char name[kNameBufferSize] = "";
  memcpy(name, fileName, nameLength);

  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, Vk::kTraceSwitchKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
      Vk::TraceSwitchIsOn(&value, size))
    g_lTraceEnabled.fetch_add(1);
  RegCloseKey(key);
}

void Vk::DebugTraceState::TraceV(const char* tag, const char* format, va_list args) {
  if (!TracingOn()) return;
  char message[kTraceBufferSize] = {};
  wvsprintfA(message, format, args);
  Output(tag, message);
}

void Vk::DebugTraceState::Trace(const char* tag, const char* format, ...) {
  va_list args;
  va_start(args, format);
  TraceV(tag, format, args);
  va_end(args);
}

void DebugTraceText(const char* text) {
  if (!TracingOn()) return;
  char message[kTraceBufferSize] = {};
  strncpy(message, text ? text : "", kMaxMessageLength);
  Output(nullptr, message);
}

void DebugTraceLines(const char* prefix, const char* text) {
  if (!prefix) prefix = "";
  if (!text) text = "";
  size_t prefixLength = strlen(prefix);
  size_t size = kLinePrefixCount * (prefixLength + 1) + 2 * strlen(text);
  // One byte more than the room for the lines, so an empty text still has
  // its terminator. A failed allocation reaches the caller.
  char* composed = new char[size + 1]();
  size_t written = 0;
  for (const char* line = text;;) {
    const char* end = strstr(line, "\r\n");
    if (!end) break;
    size_t lineLength = static_cast<size_t>(end - line) + 2;
    if (written + prefixLength + 1 + lineLength + 1 > size) break;
    memcpy(composed + written, prefix, prefixLength);
    composed[written + prefixLength] = ' ';
    memcpy(composed + written + prefixLength + 1, line, lineLength);
    written += prefixLength + 1 + lineLength;
    composed[written] = '\0';
    line = end + 2;
  }
  DebugTraceText(composed);
  delete[] composed;
}
