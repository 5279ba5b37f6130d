#include <vk/log_file_opener.h>

namespace Vk {

bool VkLogFileOpener::Open(bool atStart) {
  if (m_logFile.GetFullPath()[0] != '\0') m_bOpened = m_logFile.Open(atStart);
  return m_logFile.IsOpen();
}

VkLogFileOpener::~VkLogFileOpener() {
  if (m_bOpened && !m_logFile.HasOptions(VkLogFile::VKLF_KEEPOPEN)) m_logFile.Close();
}

}  // namespace Vk
