// Asks the console: the C library takes NUL and other character devices for
// terminals too.
#include "terminal.h"

#include "win32.h"

namespace vkdiag {

bool InputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

}  // namespace vkdiag
