// Message modules: on POSIX a message module is a text file of messages,
// made by the build from the same message source as the Windows resource
// DLL. Its first line is the signature "vkdiag message table 1"; every
// further line is "<id in hex><tab><text>", line breaks in the text as \n.
// Lines may end in LF or CR LF.
#ifndef VK_PLATFORM_POSIX_MESSAGE_TABLES_H
#define VK_PLATFORM_POSIX_MESSAGE_TABLES_H

#include <map>
#include <string>

#include "handles.h"

namespace vk_posix {

class MessageTableModule : public KernelObject {
 public:
  // Texts end in CR LF, as the message compiler ends each line.
  std::map<DWORD, std::string> texts;
};

// Loads a message module as a data file; null with the reason when it
// cannot be read (ERROR_MOD_NOT_FOUND), is empty (ERROR_FILE_INVALID) or is
// not a message table (ERROR_BAD_EXE_FORMAT), as Windows answers for a file
// that is not a module.
HMODULE LoadMessageTable(const std::string& path);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_MESSAGE_TABLES_H
