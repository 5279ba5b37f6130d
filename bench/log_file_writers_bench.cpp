// Several processes appending to one log file, each through a writer of its
// own (VKLF_DEFAULT without the banner, every text synced), kTexts texts in
// all. Reported per run:
//   texts_per_s   texts in the file per second of the run
//   p99_wait_us   the 99th percentile of the time a text waited for the file:
//                 from its Write call until the writer of the text before it
//                 in the file returned (0 when the file was free)
//   lost          texts whose Write reported failure, or that the file does
//                 not hold exactly once
//   share_of_one  texts_per_s over that of one process alone, run just before
//   p99_wait_cycles  p99_wait_us in cycles of that one process
// BM_BareCallsInLine is what no hand-over can beat: the bare calls of one
// text (bench_support.h) back to back in one process, and as p99_wait_us the
// 99th percentile of 15 cycles in a row, which is what a text behind 15
// writers would wait if handing the file over cost nothing.
#include <benchmark/benchmark.h>

#include <vk/log_file.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

constexpr int kTexts = 2000;

struct TextTimes {
  int64_t calledNs;
  int64_t returnedNs;
  int written;
};

int64_t NowNs() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

using vkbench::BenchPath;

constexpr int kWritersAhead = 15;

// The nearest rank: the smallest value that at least 99 % of all are not
// above.
double Percentile99(std::vector<double> values) {
  if (values.empty()) return 0;
  size_t rank = (values.size() * 99 + 99) / 100 - 1;
  std::nth_element(values.begin(), values.begin() + static_cast<long>(rank), values.end());
  return values[rank];
}

// One writer process: waits until the start pipe closes, then writes its
// share of the texts and records when each call began and returned.
[[noreturn]] void WriteShare(const std::string& path, int writer, int count, int startFd, TextTimes* times) {
  {
    Vk::VkLogFile log(path.c_str(), true, Vk::VkLogFile::VKLF_DEFAULT & ~Vk::VkLogFile::VKLF_BANNER);
    char byte;
    while (read(startFd, &byte, 1) > 0) {
    }
    for (int i = 0; i < count; ++i) {
      times[i].calledNs = NowNs();
      times[i].written = log.Write("bench w%d n%d", writer, i) ? 1 : 0;
      times[i].returnedNs = NowNs();
    }
  }
  _exit(0);
}

struct RunResult {
  double seconds = 0;
  double p99WaitUs = 0;
  int lost = 0;
};

// The texts in the order the file holds them, as (writer, number); a line
// that names no text of the run counts as lost.
std::vector<std::pair<int, int>> TextsInFile(const std::string& path, int* foreign) {
  std::vector<std::pair<int, int>> order;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const char* text = strstr(line.c_str(), "bench w");
    int writer = -1, number = -1;
    if (text && sscanf(text, "bench w%d n%d", &writer, &number) == 2)
      order.emplace_back(writer, number);
    else
      ++*foreign;
  }
  return order;
}

RunResult RunWriters(const std::string& path, int writers) {
  std::remove(path.c_str());
  const int perWriter = kTexts / writers;
  size_t bytes = sizeof(TextTimes) * static_cast<size_t>(writers * perWriter);
  void* shared = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  RunResult result;
  if (shared == MAP_FAILED) {
    result.lost = kTexts;
    return result;
  }
  TextTimes* times = static_cast<TextTimes*>(shared);
  int start[2];
  if (pipe(start) != 0) {
    munmap(shared, bytes);
    result.lost = kTexts;
    return result;
  }
  std::vector<pid_t> children;
  for (int w = 0; w < writers; ++w) {
    pid_t pid = fork();
    if (pid == 0) {
      close(start[1]);
      WriteShare(path, w, perWriter, start[0], times + w * perWriter);
    }
    if (pid > 0) children.push_back(pid);
  }
  close(start[0]);
  int64_t began = NowNs();
  close(start[1]);
  for (pid_t child : children) waitpid(child, nullptr, 0);
  result.seconds = static_cast<double>(NowNs() - began) / 1e9;

  int foreign = 0;
  std::vector<std::pair<int, int>> order = TextsInFile(path, &foreign);
  std::vector<int> seen(static_cast<size_t>(writers * perWriter), 0);
  std::vector<double> waits;
  const TextTimes* previous = nullptr;
  for (const auto& text : order) {
    if (text.first < 0 || text.first >= writers || text.second < 0 || text.second >= perWriter) {
      ++foreign;
      continue;
    }
    size_t index = static_cast<size_t>(text.first * perWriter + text.second);
    ++seen[index];
    const TextTimes& mine = times[index];
    int64_t waited = previous ? previous->returnedNs - mine.calledNs : 0;
    waits.push_back(static_cast<double>(std::max<int64_t>(waited, 0)) / 1e3);
    previous = &mine;
  }
  result.lost = foreign;
  for (size_t i = 0; i < seen.size(); ++i)
    if (seen[i] != 1 || !times[i].written) ++result.lost;
  result.p99WaitUs = Percentile99(std::move(waits));
  munmap(shared, bytes);
  std::remove(path.c_str());
  return result;
}

// With several writers, each iteration first runs one writer alone, so that
// each share is taken from two runs a moment apart: the disk's speed drifts
// over a sitting by more than the difference measured.
void BM_LogFileWriters(benchmark::State& state) {
  const int writers = static_cast<int>(state.range(0));
  std::string path = BenchPath("vkdiag-bench-writers.log");
  double texts = 0, seconds = 0, p99 = 0, lost = 0, aloneTexts = 0, aloneSeconds = 0;
  bool aloneFailed = false;  // then the pair gives no share: 0, not met
  for (auto _ : state) {
    if (writers > 1) {
      RunResult alone = RunWriters(path, 1);
      aloneFailed = aloneFailed || alone.seconds <= 0 || alone.lost > 0;
      lost += alone.seconds > 0 ? alone.lost : kTexts;
      aloneTexts += kTexts;
      aloneSeconds += alone.seconds;
    }
    RunResult run = RunWriters(path, writers);
    state.SetIterationTime(run.seconds);
    texts += (kTexts / writers) * writers;
    seconds += run.seconds;
    p99 = std::max(p99, run.p99WaitUs);
    lost += run.lost;
  }
  state.counters["texts_per_s"] = seconds > 0 ? texts / seconds : 0;
  state.counters["p99_wait_us"] = p99;
  state.counters["lost"] = lost;
  // One writer alone is its own pair.
  if (writers == 1) {
    aloneTexts = texts;
    aloneSeconds = seconds;
  }
  double aloneCycleUs = aloneTexts > 0 && !aloneFailed ? aloneSeconds * 1e6 / aloneTexts : 0;
  state.counters["share_of_one"] = seconds > 0 && aloneCycleUs > 0 ? (texts / seconds) * aloneCycleUs / 1e6 : 0;
  state.counters["p99_wait_cycles"] = aloneCycleUs > 0 ? p99 / aloneCycleUs : 0;
}
BENCHMARK(BM_LogFileWriters)->Arg(1)->Arg(2)->Arg(4)->Arg(16)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_BareCallsInLine(benchmark::State& state) {
  std::string path = BenchPath("vkdiag-bench-line.log");
  double texts = 0, seconds = 0, p99 = 0;
  for (auto _ : state) {
    std::remove(path.c_str());
    std::vector<double> cycles;  // microseconds
    cycles.reserve(kTexts);
    int64_t began = NowNs();
    for (int i = 0; i < kTexts; ++i) {
      int64_t start = NowNs();
      vkbench::BareLogCycle(path);
      cycles.push_back(static_cast<double>(NowNs() - start) / 1e3);
    }
    double run = static_cast<double>(NowNs() - began) / 1e9;
    state.SetIterationTime(run);
    texts += kTexts;
    seconds += run;
    std::vector<double> waits;
    double window = 0;
    for (size_t i = 0; i < cycles.size(); ++i) {
      window += cycles[i];
      if (i >= kWritersAhead) window -= cycles[i - kWritersAhead];
      if (i + 1 >= kWritersAhead) waits.push_back(window);
    }
    p99 = std::max(p99, Percentile99(std::move(waits)));
  }
  std::remove(path.c_str());
  state.counters["texts_per_s"] = seconds > 0 ? texts / seconds : 0;
  state.counters["p99_wait_us"] = p99;
}
BENCHMARK(BM_BareCallsInLine)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
