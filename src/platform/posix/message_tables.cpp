#include "message_tables.h"

#include <ctype.h>
#include <stdlib.h>

#include <fstream>

#include "errors.h"

namespace vk_posix {

namespace {

const char kSignature[] = "vkdiag message table 1";

// One line without its line end; false at the end of the file.
bool ReadLine(std::istream& in, std::string* line) {
  if (!std::getline(in, *line)) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

// "<id in hex><tab><text>" into an identifier and a text ending in CR LF.
bool ParseMessage(const std::string& line, DWORD* id, std::string* text) {
  size_t tab = line.find('\t');
  if (tab == std::string::npos || tab == 0 || line.find('\0') != std::string::npos) return false;
  std::string digits = line.substr(0, tab);
  if (!isxdigit(static_cast<unsigned char>(digits[0]))) return false;
  char* end = nullptr;
  unsigned long value = strtoul(digits.c_str(), &end, 16);
  if (*end != '\0' || value > 0xFFFFFFFFul) return false;
  *id = static_cast<DWORD>(value);
  text->clear();
  for (size_t i = tab + 1; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'n') {
      *text += "\r\n";
      ++i;
    } else {
      *text += line[i];
    }
  }
  *text += "\r\n";
  return true;
}

}  // namespace

HMODULE LoadMessageTable(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Fail(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // The signature is read by its length alone, so that a large file that
  // is no table is not read into memory first.
  std::string signature(sizeof kSignature - 1, '\0');
  in.read(&signature[0], static_cast<std::streamsize>(signature.size()));
  if (in.gcount() == 0) {
    Fail(in.bad() ? ERROR_MOD_NOT_FOUND : ERROR_FILE_INVALID);
    return nullptr;
  }
  std::string line;
  bool more = ReadLine(in, &line);
  if (signature != kSignature || (more && !line.empty())) {
    Fail(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  auto module = std::make_shared<MessageTableModule>();
  while (ReadLine(in, &line)) {
    if (line.empty()) continue;
    DWORD id = 0;
    std::string text;
    if (!ParseMessage(line, &id, &text)) {
      Fail(ERROR_BAD_EXE_FORMAT);
      return nullptr;
    }
    module->texts[id] = text;
  }
  if (in.bad()) {
    Fail(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(InsertHandle(std::move(module)));
}

}  // namespace vk_posix
