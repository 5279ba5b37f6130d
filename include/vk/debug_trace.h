/// \file
/// The process-wide debug trace to the debugger output channel.
///
/// Tracing is on for a program when
/// `HKEY_LOCAL_MACHINE\SOFTWARE\Haldrex\Vemra\TraceLib\` has a non-zero
/// value of at most four bytes (a REG_DWORD 1, as `vkdiag trace on PROGRAM`
/// sets) named after the program's executable without directory and
/// extension (`Viewer` for `...\Viewer.exe`). The setting is read once per
/// process, by its first trace call; a later change takes effect in
/// processes started afterwards.
///
/// On Windows the texts go to OutputDebugStringA (a debugger, DebugView);
/// on Linux to the debug channel that `vkdiag trace listen` binds. Without a
/// listener a text is dropped. No line end is added: end a message with CR
/// LF to have it on a line of its own.
///
/// **Errors.** None is reported; the functions return nothing.
///
/// **Blocking.** With tracing off a call costs two reads of process-wide
/// counts and formats nothing. With tracing on, a call formats into stack
/// buffers and sends one text: on Linux without waiting (a text that no
/// listener takes is dropped), on Windows as OutputDebugStringA does, which
/// waits for a debugger or viewer that is attached.
///
/// **Threads.** Any thread may call at any time, several at once. A call
/// that races the process's first call may find tracing still off.
#ifndef VK_DEBUG_TRACE_H
#define VK_DEBUG_TRACE_H

#include <vk/platform.h>

#include <atomic>

/// \cond INTERNAL
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
/// \endcond

/// Formats a message with wvsprintfA (printf conventions without floating
/// point; at most 1,023 characters, a longer one is cut) and outputs it,
/// decorated as `<tag> PID=0x<pid> TID=0x<tid>: <message>` with the process
/// and thread identifiers in lower-case hexadecimal, or alone when the tag
/// is null. Does nothing while tracing is off.
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

/// Outputs a text as it is, undecorated: it is not read as a format, so `%`
/// needs no escape. Cut at 1,023 characters. Does nothing while tracing is off.
void DebugTraceText(const char* text);

/// Outputs one text made of the text's CR LF-ended lines, each preceded by
/// the prefix and a blank, as DebugTraceText() does; text after the last CR
/// LF is dropped (a text without CR LF traces an empty text). Composes its
/// text on the heap before it looks whether tracing is on.
void DebugTraceLines(const char* prefix, const char* text);

/// Reads the trace setting from the registry; only the first call in a
/// process does anything, and the trace functions make it themselves.
void ReadTraceSettings();

#endif  // VK_DEBUG_TRACE_H
