// Bounded string copies.
#include <string.h>

#include "kernel/win32.h"

// Copies at most iMaxLength - 1 characters and always terminates. Callers
// copy a name onto itself or from its own tail, so the texts may overlap.
LPSTR Vk::Win32::lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
  if (!lpString1 || iMaxLength <= 0) return lpString1;
  size_t limit = static_cast<size_t>(iMaxLength) - 1;
  size_t length = lpString2 ? strnlen(lpString2, limit) : 0;
  memmove(lpString1, lpString2 ? lpString2 : "", length);
  lpString1[length] = '\0';
  return lpString1;
}

// Appends as much of pszSrc as fits in a buffer of cchDestBuffSize bytes
// that already holds a terminated text; the result is always terminated.
LPSTR Vk::Win32::StrCatBuffA(LPSTR pszDest, LPCSTR pszSrc, int cchDestBuffSize) {
  if (!pszDest || !pszSrc || cchDestBuffSize <= 0) return pszDest;
  size_t used = strnlen(pszDest, static_cast<size_t>(cchDestBuffSize));
  if (used >= static_cast<size_t>(cchDestBuffSize)) return pszDest;
  lstrcpynA(pszDest + used, pszSrc, cchDestBuffSize - static_cast<int>(used));
  return pszDest;
}
