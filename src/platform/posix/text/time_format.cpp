// The user's date and time formats.
#include <locale.h>
#include <string.h>
#include <sys/time.h>
#include <time.h>

#include "kernel/errors.h"

namespace {

// The user's LC_TIME conventions (LC_ALL, LC_TIME or LANG), made once and
// never installed as the process's locale, so the host's locale stays as it
// is. An unusable setting falls back to the "C" conventions.
locale_t UserTimeLocale() {
  static locale_t locale = [] {
    locale_t user = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    return user ? user : newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
  }();
  return locale;
}

struct tm TmFromSystemTime(const SYSTEMTIME& st) {
  struct tm tm = {};
  tm.tm_year = st.wYear - 1900;
  tm.tm_mon = st.wMonth - 1;
  tm.tm_mday = st.wDay;
  tm.tm_wday = st.wDayOfWeek;
  tm.tm_hour = st.wHour;
  tm.tm_min = st.wMinute;
  tm.tm_sec = st.wSecond;
  tm.tm_isdst = -1;
  return tm;
}

// Formats with strftime_l and applies the Win32 buffer contract: with cch 0
// the size needed (terminator included) is returned; a buffer too small
// fails with ERROR_INSUFFICIENT_BUFFER.
int FormatTime(LCID locale, const SYSTEMTIME* when, LPCSTR picture, const char* conversion, LPSTR out, int cch) {
  if (locale != LOCALE_USER_DEFAULT && locale != LOCALE_SYSTEM_DEFAULT) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  if (picture) return vk_posix::Fail(ERROR_NOT_SUPPORTED);
  if (cch < 0 || (cch > 0 && !out)) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  SYSTEMTIME now;
  if (!when) {
    GetLocalTime(&now);
    when = &now;
  }
  struct tm tm = TmFromSystemTime(*when);
  char text[256];
  size_t length = strftime_l(text, sizeof text, conversion, &tm, UserTimeLocale());
  if (length == 0) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  int needed = static_cast<int>(length) + 1;
  if (cch == 0) return needed;
  if (needed > cch) return vk_posix::Fail(ERROR_INSUFFICIENT_BUFFER);
  memcpy(out, text, static_cast<size_t>(needed));
  return needed;
}

}  // namespace

// The date in the user's short date format (LC_TIME's %x). Flags other
// than DATE_SHORTDATE and picture strings are not supported.
int Vk::Win32::GetDateFormatA(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpDate, LPCSTR lpFormat, LPSTR lpDateStr,
                          int cchDate) {
  if (dwFlags & ~DATE_SHORTDATE) return vk_posix::Fail(ERROR_INVALID_FLAGS);
  return FormatTime(Locale, lpDate, lpFormat, "%x", lpDateStr, cchDate);
}

// The time in the user's default time format (LC_TIME's %X); flags other
// than 0 and picture strings are not supported.
int Vk::Win32::GetTimeFormatA(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpTime, LPCSTR lpFormat, LPSTR lpTimeStr,
                          int cchTime) {
  if (dwFlags != 0) return vk_posix::Fail(ERROR_INVALID_FLAGS);
  return FormatTime(Locale, lpTime, lpFormat, "%X", lpTimeStr, cchTime);
}
