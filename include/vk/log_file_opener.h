/// \file
/// Vk::VkLogFileOpener: opens a writer's file for the length of one operation.

#ifndef VK_LOG_FILE_OPENER_H
#define VK_LOG_FILE_OPENER_H

#include <vk/log_file.h>

namespace Vk {

/// A scope object that opens a VkLogFile's file for one operation and
/// closes it again at the end of the block, unless the writer has
/// VKLF_KEEPOPEN. The writer uses it for each of its own operations; code
/// that writes several texts in a row may hold one to keep the file open
/// meanwhile (each text still reopens it). Same thread rule as the writer.
class VkLogFileOpener {
 public:
  /// Binds the opener to the writer, which must outlive it; opens nothing yet.
  explicit VkLogFileOpener(VkLogFile& logFile) : m_logFile(logFile), m_bOpened(false) {}
  /// Closes the file again when Open() opened it and the writer lacks
  /// VKLF_KEEPOPEN, keeping the calling thread's last error as it was.
  ~VkLogFileOpener();

  VkLogFileOpener(const VkLogFileOpener&) = delete;
  VkLogFileOpener& operator=(const VkLogFileOpener&) = delete;

  /// Opens the writer's file (VkLogFile::Open()) when it has a path; returns
  /// whether the file is open. False for a disabled writer, whose file is
  /// never opened; after a failed open GetLastError() tells why.
  bool Open(bool atStart);

 private:
  VkLogFile& m_logFile;
  bool m_bOpened;
};

}  // namespace Vk

#endif  // VK_LOG_FILE_OPENER_H
