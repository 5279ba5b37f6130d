// The layer implements Win32 and is written in its names: every file of it
// includes this header and uses them unqualified, as Windows code does. The
// names themselves live in Vk::Win32 (<vk/platform.h>), and each function
// the layer implements is defined there by its qualified name, so a program
// that links the library gets none of them under a C name.
#ifndef VK_PLATFORM_POSIX_KERNEL_WIN32_H
#define VK_PLATFORM_POSIX_KERNEL_WIN32_H

#include <vk/platform.h>

using namespace Vk::Win32;

#endif  // VK_PLATFORM_POSIX_KERNEL_WIN32_H
