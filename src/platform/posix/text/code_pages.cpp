// Code pages. Linux programs pass UTF-8 in their char strings, so the ANSI
// code page of this layer is UTF-8 (65001): a text that an A function takes
// converts to UTF-16 as Windows converts the same text on a machine whose
// system code page is UTF-8.
#include "kernel/win32.h"

#include <string>

#include "kernel/errors.h"
#include "text/wide_text.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsUtf8CodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP || codePage == CP_UTF8; }

// Decodes one UTF-8 sequence at text[*pos]; returns false for a malformed
// one (overlong, surrogate, above U+10FFFF, cut short) and skips one byte.
bool DecodeUtf8(const unsigned char* text, size_t length, size_t* pos, char32_t* code) {
  unsigned char lead = text[*pos];
  if (lead < 0x80) {
    *code = lead;
    ++*pos;
    return true;
  }
  size_t extra = (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : 0;
  if (extra == 0 || *pos + extra >= length) {
    ++*pos;
    return false;
  }
  char32_t value = lead & (0x3Fu >> extra);
  for (size_t i = 1; i <= extra; ++i) {
    unsigned char next = text[*pos + i];
    if ((next & 0xC0) != 0x80) {
      ++*pos;
      return false;
    }
    value = (value << 6) | (next & 0x3Fu);
  }
  static const char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  if (value < kMinimum[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++*pos;
    return false;
  }
  *pos += extra + 1;
  *code = value;
  return true;
}

void AppendUtf8(std::string* out, char32_t code) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// Copies a converted text into the caller's buffer by Win32's rules: a
// size of 0 asks for the length, a short buffer fails.
template <typename Char>
int Deliver(const std::basic_string<Char>& converted, Char* buffer, int size) {
  if (size == 0) return static_cast<int>(converted.size());
  if (converted.size() > static_cast<size_t>(size)) {
    vk_posix::Fail(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  converted.copy(buffer, converted.size());
  return static_cast<int>(converted.size());
}

}  // namespace

namespace vk_posix {

void AppendWideChar(std::string* out, wchar_t c) {
  char32_t code = static_cast<char32_t>(c);
  if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = kReplacement;
  AppendUtf8(out, code);
}

size_t Utf16Length(const std::string& text) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
  size_t units = 0;
  for (size_t pos = 0; pos < text.size();) {
    char32_t code = 0;
    units += DecodeUtf8(bytes, text.size(), &pos, &code) && code >= 0x10000 ? 2 : 1;
  }
  return units;
}

}  // namespace vk_posix

// The ANSI and OEM code pages are both UTF-8 here.
UINT Vk::Win32::GetACP(void) { return CP_UTF8; }
UINT Vk::Win32::GetOEMCP(void) { return CP_UTF8; }

// UTF-8 to UTF-16 for the ANSI, OEM and UTF-8 code pages; others fail with
// ERROR_INVALID_PARAMETER as Windows does for a code page it lacks. A
// length of -1 converts through the terminating NUL and counts it.
// Malformed bytes become U+FFFD, or fail with ERROR_NO_UNICODE_TRANSLATION
// under MB_ERR_INVALID_CHARS, as on Windows.
int Vk::Win32::MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  if (!IsUtf8CodePage(CodePage) || !lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 ||
      (cchWideChar > 0 && !lpWideCharStr) || (dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) {
    vk_posix::Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const unsigned char* text = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  size_t length = cbMultiByte < 0 ? std::char_traits<char>::length(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  std::u16string converted;
  for (size_t pos = 0; pos < length;) {
    char32_t code = 0;
    if (!DecodeUtf8(text, length, &pos, &code)) {
      if (dwFlags & MB_ERR_INVALID_CHARS) {
        vk_posix::Fail(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      code = kReplacement;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      converted.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      converted.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      converted.push_back(static_cast<char16_t>(code));
    }
  }
  return Deliver(converted, lpWideCharStr, cchWideChar);
}

// UTF-16 to UTF-8 for the ANSI, OEM and UTF-8 code pages. As Windows does
// for UTF-8, a default character or its flag must not be given
// (ERROR_INVALID_PARAMETER); a lone surrogate becomes U+FFFD.
int Vk::Win32::WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar) {
  if (!IsUtf8CodePage(CodePage) || !lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && !lpMultiByteStr) || lpDefaultChar || lpUsedDefaultChar ||
      (dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
    vk_posix::Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = cchWideChar < 0 ? std::char_traits<char16_t>::length(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
  std::string converted;
  for (size_t i = 0; i < length; ++i) {
    char32_t code = lpWideCharStr[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < length && lpWideCharStr[i + 1] >= 0xDC00 &&
        lpWideCharStr[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (lpWideCharStr[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      if (dwFlags & WC_ERR_INVALID_CHARS) {
        vk_posix::Fail(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      code = kReplacement;
    }
    AppendUtf8(&converted, code);
  }
  return Deliver(converted, lpMultiByteStr, cbMultiByte);
}
