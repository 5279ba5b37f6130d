// Asks the C library whether standard input is a tty, and the locale of the
// environment which character set the terminal shows.
#include "terminal.h"

#include <langinfo.h>
#include <locale.h>
#include <string.h>
#include <unistd.h>

namespace vkdiag {

bool InputIsTerminal() { return isatty(STDIN_FILENO) != 0; }

bool HighBytesAreControls() {
  // Read without setlocale(), which would change the whole program's.
  locale_t environment = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (environment == static_cast<locale_t>(0)) return false;
  const char* set = nl_langinfo_l(CODESET, environment);
  bool controls = strncmp(set, "ISO-8859", 8) == 0 || strncmp(set, "ISO8859", 7) == 0;
  freelocale(environment);
  return controls;
}

}  // namespace vkdiag
