// The process-wide debug trace to the debugger output channel. It is on for
// a program when HKEY_LOCAL_MACHINE\SOFTWARE\Haldrex\Vemra\TraceLib\ has a
// non-zero value named after the program's executable (without directory
// and extension); the setting is read once per process, at the first call.
#ifndef VK_DEBUG_TRACE_H
#define VK_DEBUG_TRACE_H

#include <vk/platform.h>

namespace Vk {
namespace DebugTraceState {

// The facility's two process-wide counts: non-zero until the settings were
// read (starts at 1), and non-zero while tracing is on (starts at 0). They
// are visible here so that a call with tracing off costs their two reads at
// the caller and nothing more; only ReadTraceSettings changes them.
extern LONG volatile g_lSettingsPending;
extern LONG volatile g_lTraceEnabled;

inline bool MayTrace() { return g_lSettingsPending != 0 || g_lTraceEnabled != 0; }

// The formatted trace once a call may have something to do.
void Trace(const char* tag, const char* format, ...);

}  // namespace DebugTraceState
}  // namespace Vk

// Formats a message (at most 1,023 characters) and outputs it, decorated
// as "<tag> PID=0x<pid> TID=0x<tid>: <message>" unless the tag is null.
// The arguments are those of the format, as for printf.
template <typename... Args>
inline void DebugTrace(const char* tag, const char* format, Args... args) {
  if (Vk::DebugTraceState::MayTrace()) Vk::DebugTraceState::Trace(tag, format, args...);
}

// Outputs a text unchanged (it is not read as a format), cut at 1,023
// characters.
void DebugTraceText(const char* text);

// Outputs the text's CR LF-ended lines, each preceded by the prefix and a
// blank; text after the last CR LF is dropped.
void DebugTraceLines(const char* prefix, const char* text);

// Reads the trace setting; only the first call in a process does anything.
void ReadTraceSettings();

#endif  // VK_DEBUG_TRACE_H
