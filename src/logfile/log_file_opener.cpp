#include <vk/log_file_opener.h>

namespace Vk {

bool VkLogFileOpener::Open(bool atStart) {
  if (m_logFile.GetFullPath()[0] != '\0') m_bOpened = m_logFile.Open(atStart);
  return m_logFile.IsOpen();
}

// Closing must not hide why the operation failed: the error it left is
// kept across the close.
VkLogFileOpener::~VkLogFileOpener() {
  if (m_bOpened && !m_logFile.HasOptions(VkLogFile::VKLF_KEEPOPEN)) {
    DWORD error = GetLastError();
    m_logFile.Close();
    SetLastError(error);
  }
}

}  // namespace Vk
