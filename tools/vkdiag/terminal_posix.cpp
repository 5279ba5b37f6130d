// Asks the C library whether standard input is a tty, and the locale of the
// environment which character set the terminal shows.
#include "terminal.h"

#include <ctype.h>
#include <langinfo.h>
#include <locale.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace vkdiag {

bool InputIsTerminal() { return isatty(STDIN_FILENO) != 0; }

namespace {

// Character sets of glibc's locales in which 0x80 to 0x9F are C1 controls
// (in EUC-JP all but the two single shifts, escaped with them), compared
// without case, hyphens and underscores (ISO-8859-1, iso88591, ISO_8859-1).
bool HasC1Controls(const std::string& set) {
  std::string bare;
  for (char c : set)
    if (c != '-' && c != '_') bare += static_cast<char>(toupper(static_cast<unsigned char>(c)));
  for (const char* prefix : {"ISO8859", "EUCKR", "EUCJP", "ARMSCII8", "GEORGIANPS"})
    if (bare.compare(0, strlen(prefix), prefix) == 0) return true;
  return false;
}

// The character set a locale name states (language_TERRITORY.SET@modifier),
// for a locale that is named but not installed.
std::string NamedCharacterSet() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* name = getenv(variable);
    if (!name || !*name) continue;
    const char* dot = strchr(name, '.');
    if (!dot) return std::string();
    return std::string(dot + 1, strcspn(dot + 1, "@"));
  }
  return std::string();
}

}  // namespace

bool HighBytesAreControls() {
  static const bool controls = [] {
    // Read without setlocale(), which would change the whole program's.
    locale_t environment = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (environment == static_cast<locale_t>(0)) return HasC1Controls(NamedCharacterSet());
    bool found = HasC1Controls(nl_langinfo_l(CODESET, environment));
    freelocale(environment);
    return found;
  }();
  return controls;
}

}  // namespace vkdiag
