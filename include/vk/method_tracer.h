/// \file
/// Vk::VkMethodTracer: names the current method in a writer's prefix and,
/// when asked, writes "Method begin" and "Method end" around it.

#ifndef VK_METHOD_TRACER_H
#define VK_METHOD_TRACER_H

#include <vk/log_file.h>

namespace Vk {

/// A scope object on the stack of the method it names: while it lives, a
/// writer with VKLF_METHOD puts the name into the prefix of every text.
///
/// Tracers do not nest: the writer holds one name, so an inner tracer
/// replaces the outer one's name and its end clears it; the texts written
/// after the inner tracer ends, the outer "Method end" included, carry no
/// method name. The name belongs to the writer, not to the thread, so
/// tracers on two threads that share a writer overwrite each other's name
/// (a writer is for one thread at a time anyway).
class VkMethodTracer {
 public:
  /// Sets the writer's method name and, when trace is true, writes
  /// `Method begin`. The name is not copied: it must outlive the tracer. The
  /// writer must outlive the tracer too.
  VkMethodTracer(VkLogFile& logFile, const char* methodName, bool trace);
  /// When trace was true, writes `Method end`; then clears the writer's
  /// method name.
  ~VkMethodTracer();

  VkMethodTracer(const VkMethodTracer&) = delete;
  VkMethodTracer& operator=(const VkMethodTracer&) = delete;

 private:
  VkLogFile& m_logFile;
  bool m_bTrace;
};

}  // namespace Vk

#endif  // VK_METHOD_TRACER_H
