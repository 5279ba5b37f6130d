// What the fuzz targets share: a private state directory for the POSIX
// layer, and formats built from fuzz input that only ever ask for the
// arguments a target passes.
#ifndef VK_TESTS_FUZZ_FUZZ_SUPPORT_H
#define VK_TESTS_FUZZ_FUZZ_SUPPORT_H

#include <fuzzer/FuzzedDataProvider.h>
#include <vk/platform.h>

#include <string>

// The targets call Win32 as the library does.
using namespace Vk::Win32;

namespace vk_fuzz {

// Points VK_SYSTEM_ROOT at a fresh directory once per process and keeps the
// system log out of it; returns that directory.
const std::string& StateDirectory();

// The arguments a generated format may consume, one per slot, in order.
struct FormatSlots {
  int number = -42;
  const char* text = "text";
  double real = 3.25;
  unsigned count = 7u;
};
constexpr int kFormatSlotCount = 4;

// Builds a printf format from the input: literal runs and at most
// kFormatSlotCount conversions with fuzzed flags, width and precision, the
// n-th conversion matching slot n. `windowsFormatter` keeps to the
// conversions wvsprintfA knows (no floating point).
std::string MakeFormat(FuzzedDataProvider& input, bool windowsFormatter);

}  // namespace vk_fuzz

#endif  // VK_TESTS_FUZZ_FUZZ_SUPPORT_H
