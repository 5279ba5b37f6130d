// Logs, reads a setting and reports an event: vkdiag's most used services.
#include <vk/generic_event_logger.h>
#include <vk/log_file.h>
#include <vk/registry.h>

#include <stdio.h>

using namespace Vk::Win32;  // Win32's names, which vkdiag keeps in a namespace on Linux

int main() {
  Vk::VkLogFile log("hello.log", true, Vk::VkLogFile::VKLF_DEFAULT);
  Vk::VkRegistry settings(HKEY_CURRENT_USER, "Software\\Hello", false, KEY_READ);
  DWORD retries = 3;  // the default, kept when the key or value is missing
  settings.ReadDword("Retries", &retries);
  log.Write("starting with %lu retries", static_cast<unsigned long>(retries));

  Vk::VkGenericEventLogger events("Hello", nullptr, 7, 1);  // source "Hello" in the Application log
  bool reported = events.ReportInfo("hello from %s", "vkdiag");
  printf("event reported: %s; log written to %s\n", reported ? "yes" : "no", log.GetFullPath());
  return reported ? 0 : 1;
}
