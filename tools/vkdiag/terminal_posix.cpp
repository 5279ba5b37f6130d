// Asks the C library whether standard input is a tty.
#include "terminal.h"

#include <unistd.h>

namespace vkdiag {

bool InputIsTerminal() { return isatty(STDIN_FILENO) != 0; }

}  // namespace vkdiag
