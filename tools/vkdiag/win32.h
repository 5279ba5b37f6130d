// The tool is written in Win32's names on every target: on Windows they are
// the system's, elsewhere the platform layer's in Vk::Win32.
#ifndef VKDIAG_WIN32_H
#define VKDIAG_WIN32_H

#include <vk/platform.h>

namespace vkdiag {
using namespace Vk::Win32;
}  // namespace vkdiag

#endif  // VKDIAG_WIN32_H
