// Message modules: on POSIX a message module is a text file of messages
// ("<id in hex><tab><text>" per line, line breaks in the text as \n), made
// by the build from the same message source as the Windows resource DLL.
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
// cannot be read.
HMODULE LoadMessageTable(const std::string& path);

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_MESSAGE_TABLES_H
