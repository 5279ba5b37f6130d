#include <vk/method_tracer.h>

namespace Vk {

VkMethodTracer::VkMethodTracer(VkLogFile& logFile, const char* methodName, bool trace)
    : m_logFile(logFile), m_bTrace(trace) {
  m_logFile.SetMethodName(methodName);
  if (m_bTrace) m_logFile.Write("Method begin");
}

// Tracers do not stack: the end of an inner one clears the name.
VkMethodTracer::~VkMethodTracer() {
  if (m_bTrace) m_logFile.Write("Method end");
  m_logFile.SetMethodName(nullptr);
}

}  // namespace Vk
