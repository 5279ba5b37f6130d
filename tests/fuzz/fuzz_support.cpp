#include "fuzz_support.h"

#include <stdlib.h>

namespace vk_fuzz {

const std::string& StateDirectory() {
  static const std::string directory = [] {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vkdiag-fuzz.XXXXXX";
    if (!mkdtemp(&pattern[0])) abort();
    setenv("VK_SYSTEM_ROOT", pattern.c_str(), 1);
    setenv("VK_EVENTLOG_SYSLOG", "0", 1);
    return pattern;
  }();
  return directory;
}

namespace {

// Conversions that consume each slot's type; the slot order is fixed.
const char* const kPosixConversions[kFormatSlotCount] = {"dicx", "s", "fegaG", "uxXo"};
const char* const kWindowsConversions[kFormatSlotCount] = {"dicxX", "s", "dic", "uxX"};

// Widths and precisions stay small enough for a fast target, large enough
// to cross the buffers' growth steps.
constexpr int kMaxWidth = 3000;

}  // namespace

std::string MakeFormat(FuzzedDataProvider& input, bool windowsFormatter) {
  const char* const* conversions = windowsFormatter ? kWindowsConversions : kPosixConversions;
  std::string format;
  int slot = 0;
  while (input.remaining_bytes() > 0 && slot < kFormatSlotCount) {
    std::string literal = input.ConsumeRandomLengthString(64);
    for (char c : literal) {
      format += c;
      if (c == '%') format += '%';  // literal percent signs stay literal
    }
    if (!input.ConsumeBool()) continue;
    format += '%';
    // wsprintf knows the flags - # 0 in that order only; any other flag
    // would print the conversion's letter and leave its argument.
    if (windowsFormatter) {
      if (input.ConsumeBool()) format += input.PickValueInArray({"-", "#", "0", "-#", "-0", "#0", "-#0"});
    } else if (input.ConsumeBool()) {
      format += input.PickValueInArray({"-", "+", " ", "#", "0", "-0"});
    }
    if (input.ConsumeBool()) format += std::to_string(input.ConsumeIntegralInRange(0, kMaxWidth));
    if (input.ConsumeBool()) format += "." + std::to_string(input.ConsumeIntegralInRange(0, kMaxWidth));
    std::string choices = conversions[slot];
    format += choices[input.ConsumeIntegralInRange<size_t>(0, choices.size() - 1)];
    ++slot;
  }
  return format;
}

}  // namespace vk_fuzz
