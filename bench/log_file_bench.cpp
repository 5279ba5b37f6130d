// One text through an enabled writer with the default options, against the
// bare system calls that one text needs, on the same file system.
#include <benchmark/benchmark.h>

#include <vk/log_file.h>

#include <cstdio>
#include <string>

#include "bench_support.h"

namespace {

using vkbench::BenchPath;

void BM_WriterOneText(benchmark::State& state) {
  std::string path = BenchPath("vkdiag-bench-writer.log");
  std::remove(path.c_str());
  Vk::VkLogFile log(path.c_str(), true, Vk::VkLogFile::VKLF_DEFAULT & ~Vk::VkLogFile::VKLF_BANNER);
  for (auto _ : state) log.Write("benchmark text %d", 42);
  log.SetEnabled(false);
  std::remove(path.c_str());
}
BENCHMARK(BM_WriterOneText);

// The same text through the bare calls alone.
void BM_SystemCallFloor(benchmark::State& state) {
  std::string path = BenchPath("vkdiag-bench-floor.log");
  std::remove(path.c_str());
  for (auto _ : state) vkbench::BareLogCycle(path);
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
