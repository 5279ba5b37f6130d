// Whether the operator can be asked: standard input is a terminal.
#ifndef VKDIAG_TERMINAL_H
#define VKDIAG_TERMINAL_H

namespace vkdiag {

// True when standard input is an interactive terminal (a console on
// Windows, where the C library also calls NUL and other character devices
// terminals).
bool InputIsTerminal();

}  // namespace vkdiag

#endif  // VKDIAG_TERMINAL_H
