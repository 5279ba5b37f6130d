// System message texts for the Windows error codes this layer and the
// library produce, in our own words, ended by CR LF as Windows' texts are.
#include <stdlib.h>
#include <string.h>

#include "errors.h"

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

}  // namespace

// Only system messages (FORMAT_MESSAGE_FROM_SYSTEM) without inserts are
// supported, into a caller buffer or a buffer allocated for the caller
// (released with LocalFree). Unknown codes fail with
// ERROR_MR_MID_NOT_FOUND, as Windows fails codes it has no text for.
DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID /*lpSource*/, DWORD dwMessageId, DWORD /*dwLanguageId*/,
                            LPSTR lpBuffer, DWORD nSize, va_list* /*Arguments*/) {
  if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || (dwFlags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)))
    return vk_posix::Fail(ERROR_NOT_SUPPORTED);
  if (!lpBuffer) return vk_posix::Fail(ERROR_INVALID_PARAMETER);
  const char* text = FindText(dwMessageId);
  if (!text) return vk_posix::Fail(ERROR_MR_MID_NOT_FOUND);
  size_t length = strlen(text) + 2;  // with CR LF
  char* target = lpBuffer;
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    target = static_cast<char*>(malloc(length + 1 > nSize ? length + 1 : nSize));
    if (!target) return vk_posix::Fail(ERROR_NOT_ENOUGH_MEMORY);
    *reinterpret_cast<char**>(lpBuffer) = target;
  } else if (length + 1 > nSize) {
    return vk_posix::Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  memcpy(target, text, length - 2);
  memcpy(target + length - 2, "\r\n", 3);
  return static_cast<DWORD>(length);
}

// Frees a buffer that FormatMessageA allocated. Returns null on success.
HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  free(hMem);
  return nullptr;
}
