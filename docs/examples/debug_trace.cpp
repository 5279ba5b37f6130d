// The debug trace of one program. It is off until an operator switches it
// on for this program (`vkdiag trace on debug_trace`) before the program
// starts; `vkdiag trace listen` then shows what it sends.
#include <vk/debug_trace.h>

#include <stdio.h>

int main() {
  // The first trace call reads the switch; with tracing off, every call
  // returns at once and formats nothing.
  DebugTrace("Example", "connected to %s on port %d\r\n", "localhost", 8080);
  DebugTrace(nullptr, "an undecorated text\r\n");
  DebugTraceText("100% literal: %s %d are not conversions here\r\n");
  DebugTraceLines("cfg>", "mode=fast\r\nretries=3\r\nignored: no line end");
  printf("sent four texts\n");
  return 0;
}
