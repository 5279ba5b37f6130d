// DebugTrace after the first call: with tracing off (the common case in the
// field) and with tracing on but nobody listening. The trace switch is read
// once per process, so the second case runs only when asked for:
//   VK_BENCH_TRACE_ON=1 vkdiag_bench --benchmark_filter=OnNoListener
#include <benchmark/benchmark.h>

#include <vk/debug_trace.h>
#include <vk/registry.h>

#include <stdlib.h>

#include <string>

using namespace Vk::Win32;

namespace {

void BM_DebugTraceOff(benchmark::State& state) {
  if (getenv("VK_BENCH_TRACE_ON")) {
    state.SkipWithError("tracing is switched on in this run");
    return;
  }
  DebugTrace("Bench", "warm-up %d", 0);  // the first call reads the settings
  for (auto _ : state) DebugTrace("Bench", "value %d", 42);
}
BENCHMARK(BM_DebugTraceOff);

void BM_DebugTraceOnNoListener(benchmark::State& state) {
  if (!getenv("VK_BENCH_TRACE_ON")) {
    state.SkipWithError("run with VK_BENCH_TRACE_ON=1: the switch is read once per process");
    return;
  }
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string name = PathFindFileNameA(path);
  Vk::VkRegistry key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Haldrex\\Vemra\\TraceLib", true, KEY_ALL_ACCESS);
  if (!key.WriteDword(name.c_str(), 1)) {
    state.SkipWithError("cannot write the trace switch");
    return;
  }
  for (auto _ : state) DebugTrace("Bench", "value %d", 42);
}
BENCHMARK(BM_DebugTraceOnNoListener);

}  // namespace
