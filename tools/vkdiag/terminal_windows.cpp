// Asks the console: the C library takes NUL and other character devices for
// terminals too. Windows' ANSI and OEM code pages show 0x80 to 0x9F as
// characters.
#include "terminal.h"

#include "win32.h"

namespace vkdiag {

bool InputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

bool HighBytesAreControls() { return false; }

}  // namespace vkdiag
