// A host program as a component team would write one: it writes a log with
// the default options and keeps a second, size-limited log short.
//   vkdiag_demo_host STATE_DIR
#include <vk/debug_trace.h>
#include <vk/log_file.h>
#include <vk/method_tracer.h>
#include <vk/msg_lang_list_ex.h>
#include <vk/registry.h>
#include <vk/vemra_log.h>

#include <stdio.h>

#include <string.h>

#include <string>
#include <vector>

using namespace Vk::Win32;

namespace {

void WriteDefaultLog(const std::string& directory) {
  std::string path = directory + "/demo.log";
  Vk::VkLogFile log(path.c_str(), true, Vk::VkLogFile::VKLF_DEFAULT);
  {
    Vk::VkMethodTracer tracer(log, "WriteDefaultLog", true);
    log.Write("service started with %d workers", 4);
    log.Write("configuration read from %s", "the embedded default");
    log.WriteErrorCode(ERROR_ACCESS_DENIED);
  }
  log.Write("ready");
  printf("default log: %s\n", path.c_str());
}

void WriteSizeLimitedLog(const std::string& directory) {
  std::string path = directory + "/limited.log";
  {
    Vk::VkLogFile log(path.c_str(), true, Vk::VkLogFile::VKLF_CRLF);
    for (int i = 0; i < 40; ++i) log.Write("entry %02d of a busy day", i);
  }
  FILE* file = fopen(path.c_str(), "rb");
  long before = 0;
  if (file) {
    fseek(file, 0, SEEK_END);
    before = ftell(file);
    fclose(file);
  }
  // The next start finds the file over 600 bytes and keeps its last 200.
  Vk::VkLogFile log(path.c_str(), false, Vk::VkLogFile::VKLF_CRLF);
  log.SetSizeLimits(200, 600);
  log.SetEnabled(true);
  log.Write("restarted after trimming");
  printf("size-limited log: %s (%ld bytes before the restart)\n", path.c_str(), before);
}

// The installation key and the trace switch that later features read.
void WriteAndReadRegistry(const std::string& directory) {
  Vk::VkRegistry setup(HKEY_LOCAL_MACHINE, "Software\\Haldrex\\Vemra\\Setup", true, KEY_ALL_ACCESS);
  setup.WriteString("Inst_Path", directory.c_str());
  Vk::VkRegistry trace(HKEY_LOCAL_MACHINE, "SOFTWARE\\Haldrex\\Vemra\\TraceLib\\", true, KEY_ALL_ACCESS);
  trace.WriteDword("vkdiag_demo_host", 1);

  Vk::VkRegistry reader(HKEY_LOCAL_MACHINE, "Software\\Haldrex\\Vemra\\Setup", false, KEY_READ);
  char path[260] = "";
  DWORD size = sizeof path;
  bool read = reader.ReadString("Inst_Path", path, &size);
  printf("registry: Inst_Path = %s (%s)\n", read ? path : "?", read ? "read back" : "not readable");
  Vk::VkRegistry switches(HKEY_LOCAL_MACHINE, "SOFTWARE\\Haldrex\\Vemra\\TraceLib", false, KEY_READ);
  DWORD on = 0;
  switches.ReadDword("vkdiag_demo_host", &on);
  printf("registry: TraceLib\\vkdiag_demo_host = %lu\n", static_cast<unsigned long>(on));
}

// Tracing is on for this program once its TraceLib value is set (above).
void TraceSomething() {
  DebugTrace("Demo", "tracing is on for pid %lu\r\n", static_cast<unsigned long>(GetCurrentProcessId()));
  DebugTraceText("a literal text with 100% and %s kept\r\n");
  DebugTraceLines("Lines:", "first\r\nsecond\r\n");
}

// Swiss German has no module here: the loader falls back to German.
void LoadLanguageModule() {
  CMsgLangListEx languages;
  HMODULE module = nullptr;
  std::string name = "Demo";
  bool loaded = languages.LoadLangModuleFromModuleDir(name, 0x0807, &module);
  std::string help = "Demo";
  languages.AppendHelpSuffix(help);
  printf("language module for 0x0807: %s %s (locale 0x%04lX, help file %s)\n", loaded ? "loaded" : "not loaded",
         name.c_str(), static_cast<unsigned long>(languages.GetLcid()), help.c_str());
  if (module) FreeLibrary(module);
}

// One event of each severity, one with raw data. Inst_Path (set above)
// puts the events file into <state>/Diagnose/Events.log.
void ReportEvents() {
  CVemraLog events("VkDemo");
  events.LogInfo("service %s started", "demo");
  events.LogWarning("disk %d%% full", 95);
  events.LogError("cannot reach %s", "the licence server");
  const BYTE data[] = {'V', 'K', 0x00, 0x01, 0x7F, 0x80, 0xC4, '%', 'd', 'i', 'a', 'g', 0x0A, 0x0D, 0x20, 0x41, 0x42};
  events.LogErrorData(data, sizeof data, "packet of %u bytes rejected", static_cast<unsigned>(sizeof data));
  printf("events file: %s\n", events.GetEventsFilePath());
}

// The events of the Application log, rendered with the message module.
void PrintStoredEvents() {
  HANDLE log = OpenEventLogA(nullptr, "Application");
  if (!log) {
    printf("stored events: the event log cannot be opened (error %lu)\n", static_cast<unsigned long>(GetLastError()));
    return;
  }
  HMODULE messages = LoadLibraryExA("VkGenericEventLogx.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  std::vector<BYTE> buffer(64 * 1024);
  DWORD read = 0;
  DWORD needed = 0;
  printf("stored events (Application log):\n");
  while (ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &read, &needed)) {
    for (DWORD offset = 0; offset < read;) {
      EVENTLOGRECORD record;
      memcpy(&record, buffer.data() + offset, sizeof record);
      char* base = reinterpret_cast<char*>(buffer.data() + offset);
      char* strings[] = {base + record.StringOffset};
      char text[1100] = "";
      if (!messages || !FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, messages,
                                       record.EventID, 0, text, sizeof text, reinterpret_cast<va_list*>(strings)))
        snprintf(text, sizeof text, "%s\r\n", strings[0]);
      text[strcspn(text, "\r\n")] = '\0';
      printf("  #%lu source %s type %u id 0x%08lX user sid %lu bytes data %lu bytes: %s\n",
             static_cast<unsigned long>(record.RecordNumber), base + sizeof(EVENTLOGRECORD), record.EventType,
             static_cast<unsigned long>(record.EventID), static_cast<unsigned long>(record.UserSidLength),
             static_cast<unsigned long>(record.DataLength), text);
      offset += record.Length;
    }
  }
  if (messages) FreeLibrary(messages);
  CloseEventLog(log);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s STATE_DIR\n", argv[0]);
    return 2;
  }
  std::string directory = argv[1];
  WriteDefaultLog(directory);
  WriteSizeLimitedLog(directory);
  WriteAndReadRegistry(directory);
  TraceSomething();
  LoadLanguageModule();
  ReportEvents();
  PrintStoredEvents();
  return 0;
}
