#include "modules/message_tables.h"

#include <ctype.h>
#include <stdlib.h>

#include <fstream>

#include "kernel/errors.h"

namespace vk_posix {

namespace {

const char kSignature[] = "vkdiag message table 2";
constexpr unsigned long kMaxInserts = 99;

// One line without its line end; false at the end of the file.
bool ReadLine(std::istream& in, std::string* line) {
  if (!std::getline(in, *line)) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

// The highest insert (%1 to %99) a text names, read as FormatMessageA
// reads it: a percent sign and the character after it go together.
DWORD HighestInsert(const std::string& text) {
  DWORD highest = 0;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '%') continue;
    char next = text[++i];
    if (next < '1' || next > '9') continue;
    DWORD number = static_cast<DWORD>(next - '0');
    if (i + 1 < text.size() && isdigit(static_cast<unsigned char>(text[i + 1])))
      number = number * 10 + static_cast<DWORD>(text[++i] - '0');
    if (number > highest) highest = number;
  }
  return highest;
}

// Digits only, in the given base, up to `limit`.
bool ParseNumber(const std::string& digits, int base, unsigned long limit, unsigned long* value) {
  if (digits.empty() || !isxdigit(static_cast<unsigned char>(digits[0]))) return false;
  char* end = nullptr;
  *value = strtoul(digits.c_str(), &end, base);
  return *end == '\0' && *value <= limit;
}

// "<id in hex><tab><inserts><tab><text>" into a message whose text ends in
// CR LF; false when the text names an insert above the stated count.
bool ParseMessage(const std::string& line, DWORD* id, TableMessage* message) {
  size_t tab = line.find('\t');
  size_t secondTab = tab == std::string::npos ? tab : line.find('\t', tab + 1);
  if (secondTab == std::string::npos || line.find('\0') != std::string::npos) return false;
  unsigned long value = 0;
  unsigned long inserts = 0;
  if (!ParseNumber(line.substr(0, tab), 16, 0xFFFFFFFFul, &value) ||
      !ParseNumber(line.substr(tab + 1, secondTab - tab - 1), 10, kMaxInserts, &inserts) ||
      !isdigit(static_cast<unsigned char>(line[tab + 1])))
    return false;
  *id = static_cast<DWORD>(value);
  message->inserts = static_cast<DWORD>(inserts);
  std::string* text = &message->text;
  text->clear();
  for (size_t i = secondTab + 1; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'n') {
      *text += "\r\n";
      ++i;
    } else {
      *text += line[i];
    }
  }
  *text += "\r\n";
  return HighestInsert(*text) <= message->inserts;
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
    TableMessage message;
    if (!ParseMessage(line, &id, &message)) {
      Fail(ERROR_BAD_EXE_FORMAT);
      return nullptr;
    }
    module->messages[id] = message;
  }
  if (in.bad()) {
    Fail(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(InsertHandle(std::move(module)));
}

}  // namespace vk_posix
