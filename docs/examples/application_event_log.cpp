// The application event log: each event goes to the system event log and,
// as a line with an optional hex dump, to Diagnose/Events.log below the
// installation directory. Run it in an empty directory with that
// directory's full path as its argument: it records it as the
// installation directory first, as an installer would.
#include <vk/registry.h>
#include <vk/vemra_log.h>

#include <stdio.h>

using namespace Vk::Win32;  // HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS, BYTE

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: application_event_log INSTALLATION_DIRECTORY\n");
    return 2;
  }
  Vk::VkRegistry setup(HKEY_LOCAL_MACHINE, "Software\\Haldrex\\Vemra\\Setup", true, KEY_ALL_ACCESS);
  if (!setup.WriteString("Inst_Path", argv[1])) {
    printf("cannot record the installation directory: error %ld\n", static_cast<long>(setup.GetLastErrorCode()));
    return 1;
  }

  {
    // Registers the source "Orders" and makes the directory Diagnose.
    CVemraLog events("Orders");
    events.LogInfo("service %s started", "orders");
    events.LogWarning("disk %d%% full", 95);
    const BYTE record[] = {'O', 'R', 'D', 0x00, 0x01, 0x7F, 0x80, 0xC4, '%', 'd', 0x0A, 'p', 'a', 'i', 'd', '!', 0x42};
    bool accepted = events.LogErrorData(record, sizeof record, "order %d rejected", 4711);
    printf("the system event log accepted the error: %d\n", accepted);
  }

  printf("---- Diagnose/Events.log\n");
  FILE* file = fopen("Diagnose/Events.log", "rb");
  for (int c; file && (c = fgetc(file)) != EOF;)
    if (c != '\r') putchar(c);
  if (file) fclose(file);
  setup.DeleteValue("Inst_Path");
  return 0;
}
