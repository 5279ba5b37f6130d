// The process-wide debug trace to the debugger output channel. It is on for
// a program when HKEY_LOCAL_MACHINE\SOFTWARE\Haldrex\Vemra\TraceLib\ has a
// non-zero value named after the program's executable (without directory
// and extension); the setting is read once per process, at the first call.
#ifndef VK_DEBUG_TRACE_H
#define VK_DEBUG_TRACE_H

#include <vk/platform.h>

#include <atomic>

namespace Vk {
namespace DebugTraceState {

// The facility's two process-wide counts: non-zero until the settings were
// read (starts at 1), and non-zero while tracing is on (starts at 0). They
// are visible here so that a call with tracing off costs their two reads at
// the caller and nothing more; only ReadTraceSettings changes them.
extern std::atomic<LONG> g_lSettingsPending;
extern std::atomic<LONG> g_lTraceEnabled;

// Relaxed loads: the counts guard no other data, and a call that races the
// first read of the settings may find tracing off, as it would if it came
// a moment earlier.
inline bool MayTrace() {
  return g_lSettingsPending.load(std::memory_order_relaxed) != 0 ||
         g_lTraceEnabled.load(std::memory_order_relaxed) != 0;
}

// The formatted trace once a call may have something to do; both read the
// settings first when they are still pending.
VK_PRINTF_FORMAT(2, 3) void Trace(const char* tag, const char* format, ...);
VK_PRINTF_FORMAT(2, 0) void TraceV(const char* tag, const char* format, va_list args);

}  // namespace DebugTraceState
}  // namespace Vk

// Formats a message (at most 1,023 characters) and outputs it, decorated
// as "<tag> PID=0x<pid> TID=0x<tid>: <message>" unless the tag is null.
// The arguments are those of the format, as for printf.
#if VK_INLINE_VARIADIC_FORWARDING
// Always inlined, so that with tracing off a call costs the two loads and
// no call; the arguments are handed on as they came.
VK_PRINTF_FORMAT(2, 3) __attribute__((always_inline)) inline void DebugTrace(const char* tag, const char* format, ...) {
  if (Vk::DebugTraceState::MayTrace()) Vk::DebugTraceState::Trace(tag, format, __builtin_va_arg_pack());
}
#else
// A variadic function that takes its argument list is not inlined, so here
// a call with tracing off also costs a call.
VK_PRINTF_FORMAT(2, 3) inline void DebugTrace(const char* tag, const char* format, ...) {
  if (!Vk::DebugTraceState::MayTrace()) return;
  va_list args;
  va_start(args, format);
  Vk::DebugTraceState::TraceV(tag, format, args);
  va_end(args);
}
#endif

// Outputs a text unchanged (it is not read as a format), cut at 1,023
// characters.
void DebugTraceText(const char* text);

// Outputs the text's CR LF-ended lines, each preceded by the prefix and a
// blank; text after the last CR LF is dropped.
void DebugTraceLines(const char* prefix, const char* text);

// Reads the trace setting; only the first call in a process does anything.
void ReadTraceSettings();

#endif  // VK_DEBUG_TRACE_H
