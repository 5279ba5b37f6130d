// A component's log: the default options, a method tracer, an error line,
// a registry switch and a size limit. Run it in an empty directory; it
// prints the files it wrote.
#include <vk/log_file.h>
#include <vk/method_tracer.h>
#include <vk/registry.h>

#include <stdio.h>

using namespace Vk::Win32;  // ERROR_ACCESS_DENIED, HKEY_CURRENT_USER, ...
using Vk::VkLogFile;
using Vk::VkMethodTracer;

// Shows a file as it is on disk, its CR LF line ends as plain line ends.
static void Show(const char* path) {
  printf("---- %s\n", path);
  FILE* file = fopen(path, "rb");
  for (int c; file && (c = fgetc(file)) != EOF;)
    if (c != '\r') putchar(c);
  if (file) fclose(file);
}

static void OpenDatabase(VkLogFile& log) {
  VkMethodTracer tracer(log, "OpenDatabase", true);  // "Method begin" now, "Method end" at return
  log.Write("opening %s", "orders.db");
  SetLastError(ERROR_ACCESS_DENIED);  // as a failed call would leave it
  log.WriteLastError();               // "LastError: <the system's text> (5)"
}

int main() {
  {
    // VKLF_DEFAULT: process name, date and time, method name, line ends,
    // a start banner before the first text and a stop line at the end.
    VkLogFile log("service.log", true, VkLogFile::VKLF_DEFAULT);
    OpenDatabase(log);
    log.Write("ready after %d ms", 12);
  }
  Show("service.log");

  // A switch an installer or an operator sets: the writer is on only while
  // the DWORD value is exactly 1.
  Vk::VkRegistry settings(HKEY_CURRENT_USER, "Software\\vkdiag-examples\\Logging", true, KEY_ALL_ACCESS);
  settings.WriteDword("Trace", 1);
  VkLogFile trace("trace.log", false, VkLogFile::VKLF_CRLF);
  trace.EnableFromRegistry(HKEY_CURRENT_USER, "Software\\vkdiag-examples\\Logging", "Trace");
  trace.Write("written: the switch is 1");
  settings.WriteDword("Trace", 2);  // any other number counts as off
  trace.EnableFromRegistry(HKEY_CURRENT_USER, "Software\\vkdiag-examples\\Logging", "Trace");
  trace.Write("not written: the switch is 2");
  settings.DeleteKey(false);
  Show("trace.log");

  // A size limit: at each open at start, a file over 400 bytes keeps its
  // last 100. Forty texts of 22 characters and CR LF make 960 bytes.
  {
    VkLogFile busy("busy.log", true, VkLogFile::VKLF_CRLF);
    for (int i = 0; i < 40; ++i) busy.Write("entry %02d of a busy day", i);
  }
  VkLogFile busy("busy.log", false, VkLogFile::VKLF_CRLF);
  busy.SetSizeLimits(100, 400);  // kept size first, then the maximum
  busy.SetEnabled(true);         // an open at start: the file is cut here
  busy.Write("restarted");
  Show("busy.log");
  return 0;
}
