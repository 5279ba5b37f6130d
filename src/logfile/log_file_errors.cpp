// Error lines: the system's text for an error or result code.
#include <vk/log_file.h>

#include <stdio.h>
#include <string.h>

#include "common/result_code.h"

namespace Vk {

namespace {

constexpr DWORD kMessageFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr DWORD kNeutralLanguage = 0x0400;  // neutral language, default sub-language
constexpr size_t kFallbackTextSize = 32;
constexpr DWORD kDispatchErrorBase = 0x80040200;
constexpr DWORD kDispatchErrorLast = 0x8004FFFF;

// The system's text for a result code without its line end, or a made-up
// one when the system has none. Owns what FormatMessageA allocated.
class ResultCodeText {
 public:
  explicit ResultCodeText(HRESULT result) {
    FormatMessageA(kMessageFlags, nullptr, static_cast<DWORD>(result), kNeutralLanguage,
                   reinterpret_cast<char*>(&m_pszSystemText), 0, nullptr);
    if (m_pszSystemText) {
      size_t length = strlen(m_pszSystemText);
      if (length > 1 && m_pszSystemText[length - 1] == '\n') {
        m_pszSystemText[--length] = '\0';
        if (length > 0 && m_pszSystemText[length - 1] == '\r') m_pszSystemText[--length] = '\0';
      }
      return;
    }
    DWORD code = static_cast<DWORD>(result);
    if (code > kDispatchErrorBase && code <= kDispatchErrorLast)
      snprintf(m_szFallback, sizeof m_szFallback, "IDispatch error #%d", static_cast<int>(code - kDispatchErrorBase));
    else
      snprintf(m_szFallback, sizeof m_szFallback, "Unknown error 0x%0lX", static_cast<unsigned long>(code));
  }
  ~ResultCodeText() {
    if (m_pszSystemText) LocalFree(m_pszSystemText);
  }
  ResultCodeText(const ResultCodeText&) = delete;
  ResultCodeText& operator=(const ResultCodeText&) = delete;

  const char* text() const { return m_pszSystemText ? m_pszSystemText : m_szFallback; }

 private:
  char* m_pszSystemText = nullptr;
  char m_szFallback[kFallbackTextSize] = "";
};

}  // namespace

bool VkLogFile::WriteErrorCode(DWORD errorCode) {
  ResultCodeText text(ResultFromErrorCode(static_cast<LONG>(errorCode)));
  return Write("LastError: %s (%d)", text.text(), static_cast<int>(errorCode));
}

bool VkLogFile::WriteHResult(HRESULT result) {
  ResultCodeText text(result);
  return Write("LastError: %s (0x%X)", text.text(), static_cast<unsigned>(result));
}

bool VkLogFile::WriteLastError() { return WriteErrorCode(GetLastError()); }

}  // namespace Vk
