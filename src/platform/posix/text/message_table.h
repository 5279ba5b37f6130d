// A table of messages by identifier, as a message module holds it, for
// FormatMessageA; modules/message_tables.h loads one from a file.
#ifndef VK_PLATFORM_POSIX_TEXT_MESSAGE_TABLE_H
#define VK_PLATFORM_POSIX_TEXT_MESSAGE_TABLE_H

#include <map>
#include <string>

#include "kernel/handles.h"

namespace vk_posix {

struct TableMessage {
  std::string text;  // ends in CR LF, as the message compiler ends each line
  DWORD inserts;     // the highest insert the text may name
};

class MessageTableModule : public KernelObject {
 public:
  std::map<DWORD, TableMessage> messages;
};

}  // namespace vk_posix

#endif  // VK_PLATFORM_POSIX_TEXT_MESSAGE_TABLE_H
