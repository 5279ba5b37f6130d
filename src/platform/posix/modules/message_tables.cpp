#include "modules/message_tables.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "kernel/errors.h"

namespace vk_posix {

namespace {

const char kSignature[] = "vkdiag message table 2";
constexpr unsigned long kMaxInserts = 99;
// Far above any real table; a larger file is no table and is not read.
constexpr off_t kMaxTableBytes = 16 << 20;

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

// The whole file, when it is a regular file of at most kMaxTableBytes.
// The open does not block, so that a FIFO or device planted under the
// name is refused instead of holding the caller up.
DWORD ReadTableFile(const std::string& path, std::string* bytes) {
  int fd;
  do fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return ERROR_MOD_NOT_FOUND;
  struct stat info;
  DWORD result = ERROR_SUCCESS;
  if (fstat(fd, &info) != 0) {
    result = ERROR_MOD_NOT_FOUND;
  } else if (!S_ISREG(info.st_mode) || info.st_size > kMaxTableBytes) {
    result = ERROR_BAD_EXE_FORMAT;
  } else {
    char chunk[4096];
    for (;;) {
      ssize_t got = read(fd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) result = ERROR_MOD_NOT_FOUND;
      if (got <= 0) break;
      bytes->append(chunk, static_cast<size_t>(got));
      if (bytes->size() > static_cast<size_t>(kMaxTableBytes)) {
        result = ERROR_BAD_EXE_FORMAT;  // it grew while being read
        break;
      }
    }
  }
  close(fd);
  return result;
}

}  // namespace

HMODULE LoadMessageTable(const std::string& path) {
  std::string bytes;
  DWORD result = ReadTableFile(path, &bytes);
  if (result != ERROR_SUCCESS) {
    Fail(result);
    return nullptr;
  }
  if (bytes.empty()) {
    Fail(ERROR_FILE_INVALID);
    return nullptr;
  }
  std::istringstream in(bytes);
  std::string signature(sizeof kSignature - 1, '\0');
  in.read(&signature[0], static_cast<std::streamsize>(signature.size()));
  signature.resize(static_cast<size_t>(in.gcount()));
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
  return reinterpret_cast<HMODULE>(InsertHandle(std::move(module)));
}

}  // namespace vk_posix
