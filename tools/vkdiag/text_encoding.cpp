#include "text_encoding.h"

namespace vkdiag {

namespace {

WideText ToWide(UINT codePage, const std::string& text) {
  if (text.empty()) return WideText();
  int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  WideText wide(static_cast<size_t>(length > 0 ? length : 0), WCHAR(0));
  if (length > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::string FromWide(UINT codePage, const WideText& text) {
  if (text.empty()) return std::string();
  int length = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0)
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length, nullptr, nullptr);
  return narrow;
}

}  // namespace

WideText AnsiToWide(const std::string& text) { return ToWide(CP_ACP, text); }
std::string WideToAnsi(const WideText& text) { return FromWide(CP_ACP, text); }
WideText Utf8ToWide(const std::string& text) { return ToWide(CP_UTF8, text); }
std::string WideToUtf8(const WideText& text) { return FromWide(CP_UTF8, text); }
std::string AnsiToUtf8(const std::string& text) { return GetACP() == CP_UTF8 ? text : WideToUtf8(AnsiToWide(text)); }

}  // namespace vkdiag
