// Vk::VkLogFileOpener: opens a writer's file for the length of one operation.
#ifndef VK_LOG_FILE_OPENER_H
#define VK_LOG_FILE_OPENER_H

#include <vk/log_file.h>

namespace Vk {

class VkLogFileOpener {
 public:
  explicit VkLogFileOpener(VkLogFile& logFile) : m_logFile(logFile), m_bOpened(false) {}
  // Closes the file again unless the writer keeps it open.
  ~VkLogFileOpener();

  VkLogFileOpener(const VkLogFileOpener&) = delete;
  VkLogFileOpener& operator=(const VkLogFileOpener&) = delete;

  // Opens the writer's file when it has a path; returns whether it is open.
  bool Open(bool atStart);

 private:
  VkLogFile& m_logFile;
  bool m_bOpened;
};

}  // namespace Vk

#endif  // VK_LOG_FILE_OPENER_H
