// System message texts for the Windows error codes this layer and the
// library produce, in our own words, ended by CR LF as Windows' texts are.
#include <ctype.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "kernel/errors.h"
#include "text/message_table.h"
#include "text/wide_text.h"

namespace {

struct MessageText {
  DWORD code;
  const char* text;
};

const MessageText kMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file: too many files are open."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_INVALID_DATA, "The data is invalid."},
    {ERROR_OUTOFMEMORY, "Not enough storage is available to complete this operation."},
    {ERROR_NOT_SAME_DEVICE, "The system cannot move the file to a different disk drive."},
    {ERROR_WRITE_FAULT, "The system cannot write to the specified device."},
    {ERROR_READ_FAULT, "The system cannot read from the specified device."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used by another process."},
    {ERROR_LOCK_VIOLATION, "The process cannot access the file because another process has locked a portion of the file."},
    {ERROR_HANDLE_EOF, "Reached the end of the file."},
    {ERROR_HANDLE_DISK_FULL, "The disk is full."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_BAD_NETPATH, "The network path was not found."},
    {ERROR_FILE_EXISTS, "The file exists."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_BUFFER_OVERFLOW, "The file name is too long."},
    {ERROR_BROKEN_PIPE, "The pipe has been ended."},
    {ERROR_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_CALL_NOT_IMPLEMENTED, "This function is not supported on this system."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_MOD_NOT_FOUND, "The specified module could not be found."},
    {ERROR_BAD_EXE_FORMAT, "The file is not a module of a format this system loads."},
    {ERROR_NO_WORK_DONE, "The operation produced nothing."},
    {ERROR_FILE_INVALID, "The file is not valid for this operation."},
    {ERROR_NEGATIVE_SEEK, "An attempt was made to move the file pointer before the beginning of the file."},
    {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
    {ERROR_BAD_PATHNAME, "The specified path is invalid."},
    {ERROR_BUSY, "The requested resource is in use."},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
    {ERROR_MORE_DATA, "More data is available."},
    {WAIT_TIMEOUT, "The wait operation timed out."},
    {ERROR_NO_MORE_ITEMS, "No more data is available."},
    {ERROR_MR_MID_NOT_FOUND, "The system cannot find message text for the message number."},
    {ERROR_NOACCESS, "Invalid access to memory location."},
    {ERROR_INVALID_FLAGS, "Invalid flags."},
    {ERROR_BADDB, "The configuration registry database is corrupt."},
    {ERROR_BADKEY, "The configuration registry key is invalid."},
    {ERROR_CANTOPEN, "The configuration registry key could not be opened."},
    {ERROR_CANTREAD, "The configuration registry key could not be read."},
    {ERROR_CANTWRITE, "The configuration registry key could not be written."},
    {ERROR_REGISTRY_CORRUPT, "The registry is corrupted."},
    {ERROR_REGISTRY_IO_FAILED, "An I/O operation initiated by the registry failed."},
    {ERROR_KEY_DELETED, "Illegal operation attempted on a registry key that has been marked for deletion."},
    {ERROR_KEY_HAS_CHILDREN, "Cannot create a symbolic link in a registry key that already has subkeys or values."},
    {ERROR_CHILD_MUST_BE_VOLATILE, "Cannot create a stable subkey under a volatile parent key."},
    {ERROR_NO_UNICODE_TRANSLATION, "No mapping for the Unicode character exists in the target multi-byte code page."},
    {ERROR_EVENTLOG_FILE_CORRUPT, "The event log file is corrupted."},
    {ERROR_EVENTLOG_CANT_START, "No event log file could be opened, so the event logging service did not start."},
    {RPC_S_SERVER_UNAVAILABLE, "The RPC server is unavailable."},
    {ERROR_INVALID_SID, "The security ID structure is invalid."},
    {ERROR_UNSUPPORTED_TYPE, "Data of this type is not supported."},
    {ERROR_INVALID_DATATYPE, "The datatype is invalid."},
    {ERROR_RESOURCE_LANG_NOT_FOUND, "The specified resource language ID cannot be found in the image file."},
};

constexpr DWORD kWin32Facility = 0x80070000;

const char* FindText(DWORD id) {
  // A result code of the Win32 facility carries the error code's text.
  if ((id & 0xFFFF0000u) == kWin32Facility) id &= 0xFFFFu;
  for (const MessageText& message : kMessages)
    if (message.code == id) return message.text;
  return nullptr;
}

// Where the inserts %1 to %99 come from.
enum class Inserts { kIgnored, kArgumentArray, kArgumentList };

// The arguments of the inserts, as FormatMessage takes them: pointer-sized
// items of an array, or of the caller's va_list, fetched in order as far as
// an insert needs and kept, so that an insert may name any of them again.
class InsertArguments {
 public:
  InsertArguments(Inserts mode, va_list* arguments, size_t available)
      : m_mode(mode), m_arguments(arguments), m_available(available) {}

  bool present() const { return m_arguments != nullptr; }
  bool fromList() const { return m_mode == Inserts::kArgumentList; }
  // The number of the last argument an insert took.
  size_t last() const { return m_last; }

  // Argument `number` (from 1); false when it lies beyond those the text
  // may name.
  bool Get(size_t number, uint64_t* value) {
    if (number == 0 || number > m_available) return false;
    if (fromList()) {
      while (m_fetched.size() < number) m_fetched.push_back(static_cast<uint64_t>(va_arg(*m_arguments, ULONG_PTR)));
      if (number > m_last) m_last = number;
      *value = m_fetched[number - 1];
      return true;
    }
    *value = reinterpret_cast<const ULONG_PTR*>(m_arguments)[number - 1];
    if (number > m_last) m_last = number;
    return true;
  }
  // A va_list argument taken for a width or precision is fetched again for
  // the value, as Windows' FormatMessage does.
  void TakeBack() {
    if (m_last > 0) --m_last;
    if (m_fetched.size() > m_last) m_fetched.resize(m_last);
  }

 private:
  Inserts m_mode;
  va_list* m_arguments;
  size_t m_available;
  size_t m_last = 0;
  std::vector<uint64_t> m_fetched;
};

std::string NarrowText(uint64_t pointer) {
  const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(pointer));
  return text ? text : "(null)";
}

std::string WideText(uint64_t pointer) {
  const wchar_t* text = reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(pointer));
  if (!text) text = L"(null)";
  std::string narrow;
  for (; *text; ++text) vk_posix::AppendWideChar(&narrow, *text);
  return narrow;
}

// The format of a %n!format! insert: printf's flags, width and precision,
// each of the two possibly '*', a size and a conversion letter.
struct InsertFormat {
  std::string flags;
  int stars = 0;
  std::string width;      // digits, or "*"
  std::string precision;  // "" for none, else "." and digits or "*"
  std::string size;       // "", "h", "l", "w", "ll", "I", "I32" or "I64"
  char conversion = '\0';
  std::string rest;       // text after the conversion letter, printed as it is
};

// No insert is wider than a message may be long, so that a format from a
// message file cannot ask for gigabytes of padding.
constexpr int kWidestField = 32767;

bool FieldTooWide(const std::string& digits) {
  return digits.size() > 5 || (!digits.empty() && digits != "*" && std::stoi(digits) > kWidestField);
}

bool ParseInsertFormat(const std::string& text, InsertFormat* format) {
  size_t i = 0;
  while (i < text.size() && text[i] && strchr("-+ #0", text[i])) format->flags += text[i++];
  auto field = [&](std::string* out) {
    if (i < text.size() && text[i] == '*') {
      ++format->stars;
      *out += text[i++];
      return;
    }
    while (i < text.size() && isdigit(static_cast<unsigned char>(text[i]))) *out += text[i++];
  };
  field(&format->width);
  if (i < text.size() && text[i] == '.') {
    format->precision = ".";
    ++i;
    field(&format->precision);
  }
  // What printf would read as flags out of their place has no meaning.
  if (i < text.size() && text[i] && strchr("0123456789 +-*#.", text[i])) return false;
  if (FieldTooWide(format->width) || FieldTooWide(format->precision.substr(format->precision.empty() ? 0 : 1)))
    return false;
  for (const char* size : {"I64", "I32", "ll", "I", "h", "l", "w"}) {
    if (text.compare(i, strlen(size), size) == 0) {
      format->size = size;
      i += strlen(size);
      break;
    }
  }
  if (i < text.size()) format->conversion = text[i++];
  format->rest = text.substr(i);
  return true;
}

// One printf conversion of an insert's argument, with the width and
// precision already taken: numbers have the size Windows gives them (32
// bits unless I64, ll or I says otherwise, 16 for h), texts and characters
// are narrow or wide by their letter and size, %p is pointer-wide upper-case
// hex, and any other letter is printed as itself.
std::string FormatInsertValue(const InsertFormat& format, int width, bool hasWidth, int precision,
                              bool hasPrecision, uint64_t value) {
  std::string directive = "%" + format.flags;
  if (hasWidth) directive += "*";
  if (hasPrecision) directive += ".*";
  char conversion = format.conversion;
  bool wide = format.size == "l" || format.size == "w";
  auto run = [&](const char* tail, auto argument) {
    std::string full = directive + tail;
    int needed = hasWidth && hasPrecision ? snprintf(nullptr, 0, full.c_str(), width, precision, argument)
                 : hasWidth              ? snprintf(nullptr, 0, full.c_str(), width, argument)
                 : hasPrecision          ? snprintf(nullptr, 0, full.c_str(), precision, argument)
                                         : snprintf(nullptr, 0, full.c_str(), argument);
    if (needed <= 0) return std::string();
    std::string out(static_cast<size_t>(needed) + 1, '\0');
    if (hasWidth && hasPrecision) snprintf(&out[0], out.size(), full.c_str(), width, precision, argument);
    else if (hasWidth) snprintf(&out[0], out.size(), full.c_str(), width, argument);
    else if (hasPrecision) snprintf(&out[0], out.size(), full.c_str(), precision, argument);
    else snprintf(&out[0], out.size(), full.c_str(), argument);
    out.resize(static_cast<size_t>(needed));
    return out;
  };
  bool is64 = format.size == "I64" || format.size == "ll" || (format.size == "I" && sizeof(void*) == 8);
  switch (conversion) {
    case 's':
    case 'S': {
      bool isWide = conversion == 'S' ? format.size != "h" : wide;
      std::string text = isWide ? WideText(value) : NarrowText(value);
      return run("s", text.c_str());
    }
    case 'c':
    case 'C': {
      bool isWide = conversion == 'C' ? format.size != "h" : wide;
      std::string text;
      if (isWide) vk_posix::AppendWideChar(&text, static_cast<wchar_t>(value));
      else text.push_back(static_cast<char>(value));
      return run("s", text.c_str());
    }
    case 'd':
    case 'i': {
      long long number = is64 ? static_cast<long long>(value)
                         : format.size == "h" ? static_cast<short>(value)
                                              : static_cast<int>(value);
      return run("lld", number);
    }
    case 'u':
    case 'x':
    case 'X':
    case 'o': {
      unsigned long long number = is64 ? value
                                  : format.size == "h" ? static_cast<unsigned short>(value)
                                                       : static_cast<unsigned>(value);
      const char tail[] = {'l', 'l', conversion, '\0'};
      return run(tail, number);
    }
    case 'p': {
      char digits[32];
      snprintf(digits, sizeof digits, "%0*llX", static_cast<int>(2 * sizeof(void*)),
               static_cast<unsigned long long>(static_cast<uintptr_t>(value)));
      return digits;
    }
    case '\0':
      return std::string();
    default:
      return std::string(1, conversion);
  }
}

// Expands insert `number` at text[*pos] (just after its number): a plain
// string, or "!format!" with printf's conversions. The arguments of '*'
// follow the value's in an array and come before it in a va_list, each as
// Windows takes them.
DWORD ExpandInsert(const std::string& text, size_t* pos, size_t number, InsertArguments& arguments,
                   std::string* out) {
  uint64_t value = 0;
  if (*pos >= text.size() || text[*pos] != '!') {
    if (!arguments.Get(number, &value)) return ERROR_INVALID_PARAMETER;
    *out = NarrowText(value);
    return ERROR_SUCCESS;
  }
  size_t close = text.find('!', *pos + 1);
  constexpr size_t kLongestFormat = 30;
  if (close == std::string::npos || close - *pos - 1 > kLongestFormat) return ERROR_INVALID_PARAMETER;
  InsertFormat format;
  if (!ParseInsertFormat(text.substr(*pos + 1, close - *pos - 1), &format)) return ERROR_INVALID_PARAMETER;
  *pos = close + 1;
  // The printf arguments in their order: the stars' and the value.
  uint64_t taken[3] = {};
  if (arguments.fromList()) {
    uint64_t unused = 0;
    if (number > 1 && !arguments.Get(number - 1, &unused)) return ERROR_INVALID_PARAMETER;
    size_t next = number;
    for (int star = 0; star < format.stars; ++star) {
      if (!arguments.Get(next, &taken[star])) return ERROR_INVALID_PARAMETER;
      next = arguments.last() + 1;
    }
    if (format.stars > 0) {
      arguments.TakeBack();
      next = arguments.last() + 1;
    }
    if (!arguments.Get(next, &taken[format.stars])) return ERROR_INVALID_PARAMETER;
  } else {
    if (!arguments.Get(number, &taken[0])) return ERROR_INVALID_PARAMETER;
    for (int star = 1; star <= format.stars; ++star)
      if (!arguments.Get(arguments.last() + 1, &taken[star])) return ERROR_INVALID_PARAMETER;
  }
  bool hasWidth = format.width == "*";
  bool hasPrecision = format.precision == ".*";
  std::string fixed = format.flags + (hasWidth ? "" : format.width) + (hasPrecision ? "" : format.precision);
  InsertFormat plain = format;
  plain.flags = fixed;
  auto bounded = [](uint64_t argument) {
    int field = static_cast<int>(argument);
    return field > kWidestField ? kWidestField : field < -kWidestField ? -kWidestField : field;
  };
  int width = hasWidth ? bounded(taken[0]) : 0;
  int precision = hasPrecision ? bounded(taken[hasWidth ? 1 : 0]) : 0;
  *out = FormatInsertValue(plain, width, hasWidth, precision, hasPrecision, taken[format.stars]) + format.rest;
  return ERROR_SUCCESS;
}

// The text as it is built, broken into lines of at most `width` characters
// when a width is set, as FormatMessage breaks them: at the last run of
// blanks of the line, or where the line is full when it has none. Widths
// count characters, not the bytes of their UTF-8.
class WrappedText {
 public:
  explicit WrappedText(DWORD width) : m_width(width) {}
  const std::string& text() const { return m_text; }
  void Add(const std::string& piece) { m_text += piece; }
  void AddSpace() {
    m_space = m_text.size();
    m_text += ' ';
  }
  void AddTab() {
    if (m_space != kNone && m_space + 1 == m_text.size()) m_space = m_text.size();
    m_text += '\t';
  }
  void NewLine(const char* end) {
    m_text += end;
    m_line = m_text.size();
    m_space = kNone;
  }
  // After each piece of the source: breaks the line once it is full.
  void Wrap() {
    if (m_width == 0 || Characters(m_line, m_text.size()) < m_width) return;
    size_t space = m_space;
    size_t next = m_text.size();
    if (space != kNone) {
      next = space + 1;
      while (space > m_line && (m_text[space - 1] == ' ' || m_text[space - 1] == '\t')) --space;
    } else {
      space = next;
    }
    m_text.replace(space, next - space, "\r\n");
    m_line = space + 2;
    m_space = kNone;
  }

 private:
  static constexpr size_t kNone = std::string::npos;
  size_t Characters(size_t from, size_t to) const {
    size_t count = 0;
    for (size_t i = from; i < to; ++i)
      if ((static_cast<unsigned char>(m_text[i]) & 0xC0) != 0x80) ++count;
    return count;
  }

  DWORD m_width;
  std::string m_text;
  size_t m_line = 0;
  size_t m_space = kNone;
};

// Expands a message text as FormatMessageA does. Without a line width the
// text's line breaks (CR, LF or CR LF) become CR LF; with one they become
// spaces and the lines are broken at the width (WrappedText), where 0xFF
// (FORMAT_MESSAGE_MAX_WIDTH_MASK) means no width. %0 ends the text; %n and
// %r give CR LF and CR and start a line; %t gives a tab, or with a width a
// line break; %1 to %99 are inserts (ExpandInsert); any other character
// after a percent sign stands for itself (%% %. %! "% "). With inserts
// ignored, inserts and those other pairs stay as they are. A percent sign
// that ends the text, a format without its closing '!' and an insert
// without arguments are ERROR_INVALID_PARAMETER.
DWORD ExpandMessage(const std::string& text, DWORD width, Inserts inserts, InsertArguments& arguments,
                    std::string* out) {
  WrappedText message(width == FORMAT_MESSAGE_MAX_WIDTH_MASK ? 0 : width);
  const bool breaks = width != 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (breaks) message.AddSpace();
      else message.NewLine("\r\n");
    } else if (c == ' ') {
      message.AddSpace();
    } else if (c == '\t') {
      message.AddTab();
    } else if (c != '%') {
      // A character whole, with the continuation bytes of its UTF-8.
      size_t end = i + 1;
      while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
      message.Add(text.substr(i, end - i));
      i = end - 1;
    } else {
      if (++i == text.size()) return ERROR_INVALID_PARAMETER;
      char next = text[i];
      if (next == '0') break;
      if (next == 'n' || (next == 't' && breaks)) {
        message.NewLine("\r\n");
      } else if (next == 'r') {
        message.NewLine("\r");
      } else if (next == 't') {
        message.Add("\t");
      } else if (next >= '1' && next <= '9' && inserts != Inserts::kIgnored) {
        if (!arguments.present()) return ERROR_INVALID_PARAMETER;
        size_t number = static_cast<size_t>(next - '0');
        if (i + 1 < text.size() && isdigit(static_cast<unsigned char>(text[i + 1])))
          number = number * 10 + static_cast<size_t>(text[++i] - '0');
        size_t pos = i + 1;
        std::string insert;
        DWORD error = ExpandInsert(text, &pos, number, arguments, &insert);
        if (error != ERROR_SUCCESS) return error;
        message.Add(insert);
        i = pos - 1;
      } else if (inserts == Inserts::kIgnored) {
        message.Add(std::string(1, '%') + next);
      } else {
        message.Add(std::string(1, next));
      }
    }
    message.Wrap();
  }
  *out = message.text();
  return ERROR_SUCCESS;
}

// Inserts run to %99, and the two '*' of the last one may take two
// arguments more.
constexpr size_t kMaxArguments = 99 + 2;

// The text of a message, as it stands: from a string, the system's table
// or a message module, with how many arguments its callers pass: a module
// states it per message; for a string it is the caller's word.
bool FindMessage(DWORD flags, LPCVOID source, DWORD id, std::string* text, size_t* inserts) {
  *inserts = kMaxArguments;
  if (flags & FORMAT_MESSAGE_FROM_STRING) {
    *text = static_cast<const char*>(source);
    return true;
  }
  if (flags & FORMAT_MESSAGE_FROM_HMODULE) {
    auto module = vk_posix::LookupHandleAs<vk_posix::MessageTableModule>(const_cast<void*>(source));
    if (module) {
      auto it = module->messages.find(id);
      if (it == module->messages.end()) return false;
      *text = it->second.text;
      *inserts = it->second.inserts;
      return true;
    }
  }
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM)) return false;
  const char* system = FindText(id);
  if (!system) return false;
  *text = std::string(system) + "\r\n";
  return true;
}

}  // namespace

// Messages from a string, the system's table or a message module
// (LoadLibraryExA with LOAD_LIBRARY_AS_DATAFILE), expanded as Windows
// expands them (ExpandMessage), into a caller buffer or a buffer allocated
// for the caller (released with LocalFree). Inserts are taken from an
// argument array (FORMAT_MESSAGE_ARGUMENT_ARRAY) or from the caller's
// va_list, whose arguments are used up as on Windows, or left as they are
// (FORMAT_MESSAGE_IGNORE_INSERTS); no insert reads an argument beyond those
// a message module states for the message. The low byte of the flags is a
// line width. Wide texts and characters of inserts are wchar_t. Unknown
// codes fail with ERROR_MR_MID_NOT_FOUND and an empty result with
// ERROR_NO_WORK_DONE, as on Windows.
DWORD Vk::Win32::FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD /*dwLanguageId*/,
                            LPSTR lpBuffer, DWORD nSize, va_list* Arguments) {
  Inserts inserts = (dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS)    ? Inserts::kIgnored
                    : (dwFlags & FORMAT_MESSAGE_ARGUMENT_ARRAY) ? Inserts::kArgumentArray
                                                                : Inserts::kArgumentList;
  if (!lpBuffer || ((dwFlags & FORMAT_MESSAGE_FROM_STRING) && !lpSource))
    return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  std::string text;
  size_t available = 0;
  if (!FindMessage(dwFlags, lpSource, dwMessageId, &text, &available))
    return vk_posix::Fail(ERROR_MR_MID_NOT_FOUND);
  std::string message;
  InsertArguments arguments(inserts, Arguments, available);
  DWORD error = ExpandMessage(text, dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK, inserts, arguments, &message);
  if (error != ERROR_SUCCESS) return vk_posix::Fail(error);
  if (message.empty()) return vk_posix::Fail(ERROR_NO_WORK_DONE);
  size_t length = message.size();
  char* target = lpBuffer;
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    target = static_cast<char*>(malloc(length + 1 > nSize ? length + 1 : nSize));
    if (!target) return vk_posix::Fail(ERROR_NOT_ENOUGH_MEMORY);
    *reinterpret_cast<char**>(lpBuffer) = target;
  } else if (length + 1 > nSize) {
    return vk_posix::Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  memcpy(target, message.c_str(), length + 1);
  return static_cast<DWORD>(length);
}

// Frees a buffer that FormatMessageA allocated. Returns null on success.
HLOCAL Vk::Win32::LocalFree(HLOCAL hMem) {
  free(hMem);
  return nullptr;
}
