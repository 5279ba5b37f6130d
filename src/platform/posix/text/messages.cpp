// System message texts for the Windows error codes this layer and the
// library produce, in our own words, ended by CR LF as Windows' texts are.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "kernel/errors.h"
#include "text/message_table.h"

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


// How the inserts %1 to %99 are filled.
enum class Inserts { kIgnored, kArgumentArray, kArgumentList };

// Expands a message text as FormatMessageA does without a line width limit:
// the text's line breaks (CR, LF or CR LF) become CR LF; %0 ends the text;
// %n, %r and %t give CR LF, CR and a tab; %1 to %99 are the strings of an
// argument array, with an optional "!s!" format; any other character after
// a percent sign stands for itself (%% %. %! "% "). With inserts ignored,
// inserts and those other pairs stay as they are. A percent sign that ends
// the text is ERROR_INVALID_PARAMETER; inserts from a va_list and formats
// other than !s! are ERROR_NOT_SUPPORTED.
// At most `available` strings are read from the array; an insert above it
// is ERROR_INVALID_PARAMETER.
DWORD ExpandMessage(const std::string& text, Inserts inserts, const char* const* arguments, size_t available,
                    std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      *out += "\r\n";
      continue;
    }
    if (c != '%') {
      *out += c;
      continue;
    }
    size_t percent = i;
    if (++i == text.size()) return ERROR_INVALID_PARAMETER;
    char next = text[i];
    if (next == '0') return ERROR_SUCCESS;
    if (next == 'n') {
      *out += "\r\n";
    } else if (next == 'r') {
      *out += '\r';
    } else if (next == 't') {
      *out += '\t';
    } else if (next >= '1' && next <= '9') {
      size_t number = static_cast<size_t>(next - '0');
      if (i + 1 < text.size() && isdigit(static_cast<unsigned char>(text[i + 1])))
        number = number * 10 + static_cast<size_t>(text[++i] - '0');
      if (inserts == Inserts::kIgnored) {
        out->append(text, percent, i + 1 - percent);
        continue;
      }
      if (inserts == Inserts::kArgumentList) return ERROR_NOT_SUPPORTED;
      if (i + 1 < text.size() && text[i + 1] == '!') {
        size_t close = text.find('!', i + 2);
        if (close == std::string::npos) return ERROR_INVALID_PARAMETER;
        if (text.compare(i + 2, close - i - 2, "s") != 0) return ERROR_NOT_SUPPORTED;
        i = close;
      }
      // Windows refuses an insert with no arguments to take it from.
      if (!arguments || number > available) return ERROR_INVALID_PARAMETER;
      const char* insert = arguments[number - 1];
      *out += insert ? insert : "(null)";
    } else if (inserts == Inserts::kIgnored) {
      out->append(text, percent, 2);
    } else {
      *out += next;
    }
  }
  return ERROR_SUCCESS;
}

constexpr size_t kMaxInserts = 99;

// The text of a message, as it stands: from a string, the system's table
// or a message module, with how many inserts its callers pass: a module
// states it per message; for a string it is the caller's word.
bool FindMessage(DWORD flags, LPCVOID source, DWORD id, std::string* text, size_t* inserts) {
  *inserts = kMaxInserts;
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
// argument array of strings (FORMAT_MESSAGE_ARGUMENT_ARRAY) or left as they
// are (FORMAT_MESSAGE_IGNORE_INSERTS); va_list inserts are not supported.
// Unknown codes fail with ERROR_MR_MID_NOT_FOUND and an empty result with
// ERROR_NO_WORK_DONE, as on Windows. Line widths are not supported.
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
  DWORD error = ExpandMessage(text, inserts, reinterpret_cast<const char* const*>(Arguments), available, &message);
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
