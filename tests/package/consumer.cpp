// A program built against the installed vkdiag, as a user of the package
// builds one: reports one error event under the given source and says
// whether the event log took it.
#include <stdio.h>

#include <vk/generic_event_logger.h>

// The Win32 names, which the headers keep in Vk::Win32 on Linux.
using namespace Vk::Win32;

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: consumer SOURCE TEXT\n");
    return 2;
  }
  Vk::VkGenericEventLogger logger(argv[1], nullptr, EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE |
                                                        EVENTLOG_INFORMATION_TYPE, 1);
  if (!logger.ReportError("%s", argv[2])) {
    fprintf(stderr, "consumer: the event log refused the event\n");
    return 1;
  }
  return 0;
}
