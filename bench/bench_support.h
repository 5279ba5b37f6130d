// What the benchmark programs share.
#ifndef VK_BENCH_BENCH_SUPPORT_H
#define VK_BENCH_BENCH_SUPPORT_H

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

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

// A file of the benchmark's own directory (VK_BENCH_DIR, else the current one).
inline std::string BenchPath(const char* name) {
  const char* dir = getenv("VK_BENCH_DIR");
  return std::string(dir ? dir : ".") + "/" + name;
}

// The bare system calls one durable log text needs: open, lock, seek to the
// end, prefix/text/line end, fsync, size, close.
inline void BareLogCycle(const std::string& path) {
  static const char prefix[] = "vkdiag_bench : 12/08/26 23:48:18 : ";
  static const char text[] = "benchmark text 42";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  flock(fd, LOCK_EX);
  lseek(fd, 0, SEEK_END);
  if (write(fd, prefix, sizeof prefix - 1) < 0 || write(fd, text, sizeof text - 1) < 0 || write(fd, "\r\n", 2) < 0)
    abort();
  fsync(fd);
  struct stat info;
  fstat(fd, &info);
  close(fd);
}

}  // namespace vkbench

#endif  // VK_BENCH_BENCH_SUPPORT_H
