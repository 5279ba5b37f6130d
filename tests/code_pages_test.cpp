// Conversions between the ANSI code page and UTF-16, as the registry file
// export and import of the operator's tool rely on them.
#include <gtest/gtest.h>

#include <vk/platform.h>

#include <string>

#include "support/test_support.h"

namespace {

using Wide = std::basic_string<WCHAR>;

TEST(CodePageTest, LinuxProgramsPassUtf8SoTheAnsiCodePageIsUtf8) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "the system chooses the ANSI code page on Windows";
  EXPECT_EQ(GetACP(), 65001u);
}

TEST(CodePageTest, Utf8TextRoundTripsThroughUtf16WithEveryPlane) {
  const std::string text = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";  // a, e acute, euro sign, an emoji
  int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  ASSERT_EQ(length, 5);
  Wide wide(static_cast<size_t>(length), WCHAR(0));
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length), 5);
  EXPECT_EQ(wide[0], WCHAR('a'));
  EXPECT_EQ(wide[1], WCHAR(0xE9));
  EXPECT_EQ(wide[2], WCHAR(0x20AC));
  EXPECT_EQ(wide[3], WCHAR(0xD83D));
  EXPECT_EQ(wide[4], WCHAR(0xDE00));

  char back[16] = "";
  int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, back, sizeof back, nullptr, nullptr);
  EXPECT_EQ(std::string(back, static_cast<size_t>(bytes)), text);
}

TEST(CodePageTest, ATerminatedTextCountsItsNulAndAShortBufferFails) {
  WCHAR wide[3] = {};
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", -1, wide, 3), 3);
  EXPECT_EQ(wide[2], WCHAR(0));
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(CodePageTest, MalformedUtf8BecomesTheReplacementCharacterOrFailsWhenAsked) {
  const char broken[] = "x\xc3(";
  WCHAR wide[8] = {};
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, broken, 3, wide, 8), 3);
  EXPECT_EQ(wide[1], WCHAR(0xFFFD));
  EXPECT_EQ(wide[2], WCHAR('('));
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, broken, 3, wide, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

}  // namespace
