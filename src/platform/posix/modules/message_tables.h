// Message modules: on POSIX a message module is a text file of messages,
// made by the build from the same message source as the Windows resource
// DLL. Its first line is the signature "vkdiag message table 2"; every
// further line is "<id in hex><tab><inserts><tab><text>", line breaks in the
// text as \n, where <inserts> (decimal, 0 to 99) is how many insert
// strings a caller passes for the message. Lines may end in LF or CR LF.
#ifndef VK_PLATFORM_POSIX_MODULES_MESSAGE_TABLES_H
#define VK_PLATFORM_POSIX_MODULES_MESSAGE_TABLES_H

#include <string>

#include "text/message_table.h"

namespace vk_posix {

// Loads a message module as a data file; null with the reason when it
// cannot be read (ERROR_MOD_NOT_FOUND), is empty (ERROR_FILE_INVALID) or is
// not a message table (ERROR_BAD_EXE_FORMAT), as Windows answers for a file
// that is not a module. A table whose text names an insert above the count
// its line states is no table either: formatting it would read past the
// strings its callers pass. Nor is anything but a regular file of at most
// 16 MiB: the open never blocks, so a FIFO under the name cannot hold the
// caller up, nor a device feed it without end.
HMODULE LoadMessageTable(const std::string& path);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_MODULES_MESSAGE_TABLES_H
