// One event through Vk::VkGenericEventLogger, with the renewal of its
// source's registration that precedes every report, and the system log off.
#include <benchmark/benchmark.h>

#include <vk/generic_event_logger.h>

#include <stdlib.h>

#include "bench_support.h"

namespace {

void BM_GenericLoggerReport(benchmark::State& state) {
  vkbench::UsePrivateStore();
  setenv("VK_EVENTLOG_SYSLOG", "0", 1);
  Vk::VkGenericEventLogger logger("vkdiag-bench", nullptr, 7, 1);
  for (auto _ : state) benchmark::DoNotOptimize(logger.ReportInfo("benchmark event %d", 42));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GenericLoggerReport);

}  // namespace
