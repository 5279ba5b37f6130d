// What the benchmark programs share.
#ifndef VK_BENCH_BENCH_SUPPORT_H
#define VK_BENCH_BENCH_SUPPORT_H

#include <stdlib.h>
#include <unistd.h>

namespace vkbench {

// Points the POSIX registry and event log at a store of their own, unless
// VK_SYSTEM_ROOT already names one.
inline void UsePrivateStore() {
  static bool done = [] {
    if (!getenv("VK_SYSTEM_ROOT")) {
      char dir[] = "/tmp/vkdiag-bench-XXXXXX";
      if (mkdtemp(dir)) setenv("VK_SYSTEM_ROOT", dir, 1);
    }
    return true;
  }();
  (void)done;
}

}  // namespace vkbench

#endif  // VK_BENCH_BENCH_SUPPORT_H
