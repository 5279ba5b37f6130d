// A host program as a component team would write one: it writes a log with
// the default options and keeps a second, size-limited log short.
//   vkdiag_demo_host STATE_DIR
#include <vk/debug_trace.h>
#include <vk/log_file.h>
#include <vk/method_tracer.h>
#include <vk/msg_lang_list_ex.h>
#include <vk/registry.h>

#include <stdio.h>

#include <string>

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
  return 0;
}
