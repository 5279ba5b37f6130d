// The per-program trace switch, read by the debug trace at a program's first
// trace call and set by the operator's tool: a value below
// HKEY_LOCAL_MACHINE\SOFTWARE\Haldrex\Vemra\TraceLib named after the
// program's executable.
#ifndef VK_SHARED_TRACE_SWITCH_H
#define VK_SHARED_TRACE_SWITCH_H

#include <vk/platform.h>

#include <stddef.h>

namespace Vk {

// The key below HKEY_LOCAL_MACHINE, with its closing backslash.
constexpr char kTraceSwitchKey[] = "SOFTWARE\\Haldrex\\Vemra\\TraceLib\\";

// The value that switches a program: its executable's file name without
// directory and extension ("Viewer" for ...\Viewer.exe), as the length of
// the name that starts at the returned pointer into path.
inline const char* TraceSwitchName(const char* path, size_t* length) {
  const char* fileName = PathFindFileNameA(path);
  *length = static_cast<size_t>(PathFindExtensionA(fileName) - fileName);
  return fileName;
}

// On, as the trace reads it into four bytes preset to 0: a value of at most
// four bytes (a longer one does not fit and counts as off) that are not all
// 0, whatever its type.
inline bool TraceSwitchIsOn(const void* data, size_t size) {
  if (size > 4) return false;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i)
    if (bytes[i]) return true;
  return false;
}

}  // namespace Vk

#endif  // VK_SHARED_TRACE_SWITCH_H
