// The .reg reader of `vkdiag reg import` on fuzz input: it parses or refuses
// with a usage error, and what it parsed survives a write and a second read
// unchanged.
#include <stdlib.h>

#include "reg_file.h"
#include "tool_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<vkdiag::RegFileKey> keys;
  try {
    keys = vkdiag::ReadRegFile(bytes, "fuzz.reg");
  } catch (const vkdiag::ToolError&) {
    return 0;
  }
  for (vkdiag::RegFileFormat format : {vkdiag::RegFileFormat::kVersion5, vkdiag::RegFileFormat::kRegedit4}) {
    std::string written = vkdiag::WriteRegFile(keys, format);
    try {
      if (vkdiag::WriteRegFile(vkdiag::ReadRegFile(written, "written.reg"), format) != written) abort();
    } catch (const vkdiag::ToolError&) {
      // Only REGEDIT4 may refuse what it cannot hold in the ANSI code page.
      if (format == vkdiag::RegFileFormat::kVersion5) abort();
    }
  }
  return 0;
}
