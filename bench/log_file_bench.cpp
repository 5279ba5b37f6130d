// One text through an enabled writer with the default options, against the
// bare system calls that one text needs, on the same file system.
#include <benchmark/benchmark.h>

#include <vk/log_file.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

std::string BenchPath(const char* name) {
  const char* dir = getenv("VK_BENCH_DIR");
  return std::string(dir ? dir : ".") + "/" + name;
}

void BM_WriterOneText(benchmark::State& state) {
  std::string path = BenchPath("vkdiag-bench-writer.log");
  std::remove(path.c_str());
  Vk::VkLogFile log(path.c_str(), true, Vk::VkLogFile::VKLF_DEFAULT & ~Vk::VkLogFile::VKLF_BANNER);
  for (auto _ : state) log.Write("benchmark text %d", 42);
  log.SetEnabled(false);
  std::remove(path.c_str());
}
BENCHMARK(BM_WriterOneText);

// open, lock, seek to the end, prefix/text/line end, fsync, size, close.
void BM_SystemCallFloor(benchmark::State& state) {
  std::string path = BenchPath("vkdiag-bench-floor.log");
  std::remove(path.c_str());
  const char prefix[] = "vkdiag_bench : 12/08/26 23:48:18 : ";
  const char text[] = "benchmark text 42";
  for (auto _ : state) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    flock(fd, LOCK_EX);
    lseek(fd, 0, SEEK_END);
    benchmark::DoNotOptimize(write(fd, prefix, sizeof prefix - 1));
    benchmark::DoNotOptimize(write(fd, text, sizeof text - 1));
    benchmark::DoNotOptimize(write(fd, "\r\n", 2));
    fsync(fd);
    struct stat info;
    fstat(fd, &info);
    close(fd);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_SystemCallFloor);

// A text far wider than the largest buffer: its cost should be about two
// passes over the width (measure, then format once), not one per growth step.
void BM_WriterOverwideText(benchmark::State& state) {
  std::string path = BenchPath("vkdiag-bench-wide.log");
  std::remove(path.c_str());
  Vk::VkLogFile log(path.c_str(), true, Vk::VkLogFile::VKLF_KEEPOPEN);
  for (auto _ : state) log.Write("%*d", static_cast<int>(state.range(0)), 42);
  log.SetEnabled(false);
  std::remove(path.c_str());
}
BENCHMARK(BM_WriterOverwideText)->Arg(1 << 16)->Arg(1 << 20)->Arg(1 << 24)->Unit(benchmark::kMillisecond);

}  // namespace
