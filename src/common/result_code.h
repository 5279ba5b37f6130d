// The rule that turns a Windows error code into a result code (HRESULT).
#ifndef VK_COMMON_RESULT_CODE_H
#define VK_COMMON_RESULT_CODE_H

#include <vk/platform.h>

namespace Vk {

// A code above 0 becomes 0x80070000 | (code & 0xFFFF); 0 and negative values
// (codes that already are result codes) pass unchanged.
inline HRESULT ResultFromErrorCode(LONG code) {
  return code > 0 ? static_cast<HRESULT>((static_cast<DWORD>(code) & 0xFFFFu) | 0x80070000u)
                  : static_cast<HRESULT>(code);
}

}  // namespace Vk

#endif  // VK_COMMON_RESULT_CODE_H
