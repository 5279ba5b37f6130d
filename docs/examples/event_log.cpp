// A component reports events under a source of its own, with the shared
// message module as its message file, then reads the Application log back
// as an event viewer would.
#include <vk/generic_event_logger.h>
#include <vk/registry.h>

#include <stdio.h>
#include <string.h>

#include <vector>

using namespace Vk::Win32;  // EVENTLOG_*_TYPE, OpenEventLogA, ReadEventLogA, ...

// Each record: type, identifier, source and the one insertion string.
static void ShowApplicationLog() {
  HANDLE log = OpenEventLogA(nullptr, "Application");
  if (!log) {
    printf("cannot open the log: error %lu\n", static_cast<unsigned long>(GetLastError()));
    return;
  }
  std::vector<BYTE> buffer(64 * 1024);
  DWORD read = 0;
  DWORD needed = 0;
  while (ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &read, &needed)) {
    for (DWORD offset = 0; offset < read;) {
      EVENTLOGRECORD record;
      memcpy(&record, buffer.data() + offset, sizeof record);
      const char* base = reinterpret_cast<const char*>(buffer.data() + offset);
      printf("  type %u id 0x%08lX %s: \"%s\", %lu bytes of data\n", record.EventType,
             static_cast<unsigned long>(record.EventID), base + sizeof record, base + record.StringOffset,
             static_cast<unsigned long>(record.DataLength));
      offset += record.Length;
    }
  }
  CloseEventLog(log);
}

int main() {
  // Registers "ExampleService" under the Application log (null log), with
  // VkGenericEventLogx.dll as message and category file.
  Vk::VkGenericEventLogger events("ExampleService", nullptr, 7, 1);
  events.ReportInfo("service %s started", "orders");
  events.ReportWarning("disk %d%% full", 95);
  events.ReportError("cannot reach %s", "the licence server");
  const BYTE packet[] = {0x01, 0x02, 0x03, 0x04};
  events.ReportErrorData(packet, sizeof packet, "packet of %u bytes rejected", 4u);

  // The base class reports with any identifier, under any source.
  Vk::VkEventLog plain("ExamplePlain", nullptr);
  bool reported = plain.Report(EVENTLOG_WARNING_TYPE, 0x80020000, 0, "a source without registration");
  printf("plain report: %d\n", reported);

  // What the registration wrote (the logger renews it before each report).
  Vk::VkRegistry source(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\ExampleService",
                        false, KEY_READ);
  DWORD types = 0;
  DWORD categories = 0;
  source.ReadDword("TypesSupported", &types);
  source.ReadDword("CategoryCount", &categories);
  const char* module = source.ReadString("EventMessageFile");
  printf("registered: TypesSupported %lu, CategoryCount %lu, message file %s\n", static_cast<unsigned long>(types),
         static_cast<unsigned long>(categories), module && *module ? PathFindFileNameA(module) : "(not found)");

  printf("Application log:\n");
  ShowApplicationLog();
  events.UnregisterSource("ExampleService");  // an uninstaller's step; the events stay
  return 0;
}
