// Fixed text buffers never overflow, and codes become result codes.
#include <string>

#include "common/bounded_text.h"
#include "common/result_code.h"
#include "support/test_support.h"

namespace {

TEST(BoundedTextTest, AppendCutsAtTheBufferAndAlwaysTerminates) {
  char buffer[8] = "abc";
  Vk::AppendBounded(buffer, "de", sizeof buffer);
  EXPECT_STREQ("abcde", buffer);
  Vk::AppendBounded(buffer, "fghij", sizeof buffer);
  EXPECT_STREQ("abcdefg", buffer);
  Vk::AppendBounded(buffer, "x", sizeof buffer);
  EXPECT_STREQ("abcdefg", buffer);
}

TEST(BoundedTextTest, CopyCutsAndTreatsNullAsEmpty) {
  char buffer[4];
  Vk::CopyBounded(buffer, "abcdef", sizeof buffer);
  EXPECT_STREQ("abc", buffer);
  Vk::CopyBounded(buffer, nullptr, sizeof buffer);
  EXPECT_STREQ("", buffer);
}

TEST(ResultCodeTest, PositiveCodesBecomeWin32ResultCodes) {
  EXPECT_EQ(static_cast<HRESULT>(0x80070005), Vk::ResultFromErrorCode(5));
  EXPECT_EQ(static_cast<HRESULT>(0x80071234), Vk::ResultFromErrorCode(0x51234));
  EXPECT_EQ(0, Vk::ResultFromErrorCode(0));
  EXPECT_EQ(static_cast<HRESULT>(0x80040205), Vk::ResultFromErrorCode(static_cast<LONG>(0x80040205)));
  // Only the low 16 bits of a code are kept, even when they are all 0; the
  // largest code still becomes a failure.
  EXPECT_EQ(static_cast<HRESULT>(0x80070000), Vk::ResultFromErrorCode(0x10000));
  EXPECT_EQ(static_cast<HRESULT>(0x8007FFFF), Vk::ResultFromErrorCode(0x7FFFFFFF));
  EXPECT_EQ(-1, Vk::ResultFromErrorCode(-1));
}

}  // namespace
