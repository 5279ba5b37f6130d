// The POSIX layer's locale table against Windows' own answers (Windows leg),
// and its lookup rules (both legs).
#include <vk/platform.h>

#include <string>

#include "support/test_support.h"

namespace {

struct LocaleAbbreviation {
  LCID lcid;
  const char* abbreviation;
};

const LocaleAbbreviation kTable[] = {
#include "platform/posix/text/locale_table.inc"
};

TEST(LocaleTableTest, EveryEntryMatchesWhatTheSystemSays) {
  for (const LocaleAbbreviation& entry : kTable) {
    char abbreviation[6] = "";
    ASSERT_GT(GetLocaleInfoA(entry.lcid, LOCALE_SABBREVLANGNAME, abbreviation, sizeof abbreviation), 0)
        << std::hex << entry.lcid;
    EXPECT_STREQ(entry.abbreviation, abbreviation) << std::hex << entry.lcid;
  }
}

TEST(LocaleTableTest, TheSystemKnowsNoLocaleThatTheTableLacks) {
  if (!vktest::IsWindowsTarget()) GTEST_SKIP() << "compares the table with the system's own locales";
  size_t next = 0;
  for (DWORD language = 0; language <= 0xFFFF; ++language) {
    WORD primary = language & 0x3FF;
    if (primary == 0 || primary == 0x7F) continue;  // defaults, left out of the table
    char abbreviation[6] = "";
    bool known = GetLocaleInfoA(language, LOCALE_SABBREVLANGNAME, abbreviation, sizeof abbreviation) > 0;
    while (next < sizeof kTable / sizeof kTable[0] && kTable[next].lcid < language) ++next;
    bool listed = next < sizeof kTable / sizeof kTable[0] && kTable[next].lcid == language;
    EXPECT_EQ(known, listed) << std::hex << language;
  }
}

TEST(LocaleTableTest, LookupFollowsTheBufferContract) {
  char buffer[6] = "";
  EXPECT_EQ(4, GetLocaleInfoA(0x0407, LOCALE_SABBREVLANGNAME, nullptr, 0));
  EXPECT_EQ(0, GetLocaleInfoA(0x0407, LOCALE_SABBREVLANGNAME, buffer, 3));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(4, GetLocaleInfoA(0x0807, LOCALE_SABBREVLANGNAME, buffer, sizeof buffer));
  EXPECT_STREQ("DES", buffer);
  EXPECT_EQ(0, GetLocaleInfoA(0x0099, LOCALE_SABBREVLANGNAME, buffer, sizeof buffer));
  EXPECT_GT(GetLocaleInfoA(0, LOCALE_SABBREVLANGNAME, buffer, sizeof buffer), 0) << "0 names the user's default";
}

}  // namespace
