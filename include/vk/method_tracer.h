// Vk::VkMethodTracer: names the current method in a writer's prefix and,
// when asked, writes "Method begin" and "Method end" around it.
#ifndef VK_METHOD_TRACER_H
#define VK_METHOD_TRACER_H

#include <vk/log_file.h>

namespace Vk {

class VkMethodTracer {
 public:
  // The name is not copied: it must outlive the tracer.
  VkMethodTracer(VkLogFile& logFile, const char* methodName, bool trace);
  ~VkMethodTracer();

  VkMethodTracer(const VkMethodTracer&) = delete;
  VkMethodTracer& operator=(const VkMethodTracer&) = delete;

 private:
  VkLogFile& m_logFile;
  bool m_bTrace;
};

}  // namespace Vk

#endif  // VK_METHOD_TRACER_H
