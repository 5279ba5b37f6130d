// The log file writer with fuzzed options, method name and format: every
// text must come back from the file it was written to.
#include <vk/log_file.h>
#include <vk/platform.h>

#include <stdlib.h>
#include <unistd.h>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::string path = vk_fuzz::StateDirectory() + "/fuzz.log";
  unlink(path.c_str());

  DWORD options = input.ConsumeIntegral<DWORD>() & 0x1FF;
  std::string method = input.ConsumeRandomLengthString(300);
  std::string format = vk_fuzz::MakeFormat(input, false);

  Vk::VkLogFile log(path.c_str(), true, options);
  if (input.ConsumeBool()) log.SetMethodName(method.c_str());
  vk_fuzz::FormatSlots slots;
  log.Write(format.c_str(), slots.number, slots.text, slots.real, slots.count);
  log.Write("%s", method.c_str());
  log.Close();
  return 0;
}
