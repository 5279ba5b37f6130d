// Locale information: the three-letter language abbreviations of Windows'
// locale identifiers, from a table generated under Wine.
#include <string.h>

#include <algorithm>
#include <iterator>

#include "kernel/errors.h"

namespace {

struct LocaleAbbreviation {
  LCID lcid;
  const char* abbreviation;
};

// Sorted by identifier, as the generator writes it.
const LocaleAbbreviation kLocales[] = {
#include "text/locale_table.inc"
};

// The user's and the system's default locale, and the neutral identifiers
// that stand for them. This layer does not map POSIX locales onto Windows
// identifiers: the defaults are English (United States).
constexpr LCID kDefaultLocale = 0x0409;

LCID ResolveDefault(LCID lcid) {
  WORD primary = LANGIDFROMLCID(lcid) & 0x3FF;
  return primary == LANG_NEUTRAL || primary == 0x7F /* invariant */ ? kDefaultLocale : lcid;
}

}  // namespace

// Only LOCALE_SABBREVLANGNAME is supported (ERROR_INVALID_FLAGS for other
// types). With cchData 0 the size needed is returned; a buffer too small
// fails with ERROR_INSUFFICIENT_BUFFER; an unknown locale with
// ERROR_INVALID_PARAMETER.
int Vk::Win32::GetLocaleInfoA(LCID Locale, LCTYPE LCType, LPSTR lpLCData, int cchData) {
  if ((LCType & ~LOCALE_NOUSEROVERRIDE) != LOCALE_SABBREVLANGNAME) return vk_posix::Fail(ERROR_INVALID_FLAGS);
  if (cchData < 0 || (cchData > 0 && !lpLCData)) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  LCID lcid = ResolveDefault(Locale);
  const LocaleAbbreviation* end = std::end(kLocales);
  const LocaleAbbreviation* found = std::lower_bound(
      std::begin(kLocales), end, lcid, [](const LocaleAbbreviation& entry, LCID key) { return entry.lcid < key; });
  if (found == end || found->lcid != lcid) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  int needed = static_cast<int>(strlen(found->abbreviation)) + 1;
  if (cchData == 0) return needed;
  if (needed > cchData) return vk_posix::Fail(ERROR_INSUFFICIENT_BUFFER);
  memcpy(lpLCData, found->abbreviation, static_cast<size_t>(needed));
  return needed;
}
