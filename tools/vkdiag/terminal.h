// What the tool knows of the operator's terminal.
#ifndef VKDIAG_TERMINAL_H
#define VKDIAG_TERMINAL_H

namespace vkdiag {

// True when standard input is an interactive terminal (a console on
// Windows, where the C library also calls NUL and other character devices
// terminals).
bool InputIsTerminal();

// True when the operator's character set takes the bytes 0x80 to 0x9F for
// C1 controls, as the ISO 8859 sets and some others of a POSIX locale do (a
// Latin-1 terminal obeys 0x9B as CSI even inside a UTF-8 character); false
// for UTF-8 and for Windows' code pages, where those bytes are characters.
// Found once, from the environment's locale.
bool HighBytesAreControls();

}  // namespace vkdiag

#endif  // VKDIAG_TERMINAL_H
