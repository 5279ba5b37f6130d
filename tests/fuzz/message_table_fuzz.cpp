// A message module made of fuzz input, loaded as a data file and rendered
// with FormatMessageA: it loads or is refused, and every message renders
// inside the caller's buffer with at most the 99 inserts a message can name.
#include <vk/platform.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"

namespace {

constexpr DWORD kMaxInserts = 99;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  DWORD id = input.ConsumeIntegral<DWORD>();
  std::string table = input.ConsumeRemainingBytesAsString();
  std::string path = vk_fuzz::StateDirectory() + "/Fuzz.dll";
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) abort();
  fwrite(table.data(), 1, table.size(), file);
  fclose(file);

  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return 0;
  static char insertText[kMaxInserts][8];
  static char* inserts[kMaxInserts];
  for (DWORD i = 0; i < kMaxInserts; ++i) {
    snprintf(insertText[i], sizeof insertText[i], "<%u>", static_cast<unsigned>(i + 1));
    inserts[i] = insertText[i];
  }
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, id, 0, text,
                                sizeof text, reinterpret_cast<va_list*>(inserts));
  if (length && (length >= sizeof text || strlen(text) != length)) abort();
  char* allocated = nullptr;
  length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                          module, id, 0, reinterpret_cast<char*>(&allocated), 0, nullptr);
  if (length && strlen(allocated) != length) abort();
  if (allocated) LocalFree(allocated);
  FreeLibrary(module);
  return 0;
}
