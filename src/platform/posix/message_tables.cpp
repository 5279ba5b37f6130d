#include "message_tables.h"

#include <stdlib.h>

#include <fstream>

#include "errors.h"

namespace vk_posix {

HMODULE LoadMessageTable(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    Fail(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  auto module = std::make_shared<MessageTableModule>();
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    DWORD id = static_cast<DWORD>(strtoul(line.substr(0, tab).c_str(), nullptr, 16));
    std::string text;
    for (size_t i = tab + 1; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'n') {
        text += "\r\n";
        ++i;
      } else {
        text += line[i];
      }
    }
    module->texts[id] = text + "\r\n";
  }
  return reinterpret_cast<HMODULE>(InsertHandle(std::move(module)));
}

}  // namespace vk_posix
