// The registry wrapper's read path (open, ReadDword, close) and write path
// (WriteDword on an open key) on this target's registry store. The read path
// is measured three times: answered from the process's cache, just after a
// write of this process, which keeps that cache, and just after a write of
// another process, when the store itself must answer. Then how soon a
// watcher learns of another process's change.
#include <benchmark/benchmark.h>

#include <vk/registry.h>

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "bench_support.h"

using namespace Vk::Win32;

namespace {

const char kBenchKey[] = "Software\\vkdiag-bench";

// Open the key, read its number, close it.
void ReadPath() {
  Vk::VkRegistry key(HKEY_CURRENT_USER, kBenchKey, false, KEY_READ);
  DWORD value = 0;
  benchmark::DoNotOptimize(key.ReadDword("value", &value));
}

void BM_RegistryReadPath(benchmark::State& state) {
  vkbench::UsePrivateStore();
  Vk::VkRegistry(HKEY_CURRENT_USER, kBenchKey, true, KEY_ALL_ACCESS).WriteDword("value", 7);
  for (auto _ : state) ReadPath();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistryReadPath);

// The read path of a user outside the machine store's group, who reads
// the copy of HKEY_LOCAL_MACHINE that root and the group publish: run by
// scripts/bench as such a user, after root wrote the number; skipped when
// there is none to read.
void BM_RegistryReadPathFromThePublishedCopy(benchmark::State& state) {
  DWORD value = 0;
  if (getenv("VK_SYSTEM_ROOT") ||
      !Vk::VkRegistry(HKEY_LOCAL_MACHINE, kBenchKey, false, KEY_READ).ReadDword("value", &value)) {
    state.SkipWithError("needs a published copy of a machine store: scripts/bench sets one up");
    return;
  }
  for (auto _ : state) {
    Vk::VkRegistry key(HKEY_LOCAL_MACHINE, kBenchKey, false, KEY_READ);
    benchmark::DoNotOptimize(key.ReadDword("value", &value));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistryReadPathFromThePublishedCopy);

// The read path right after this process wrote another value of the key.
void BM_RegistryReadPathAfterAWrite(benchmark::State& state) {
  vkbench::UsePrivateStore();
  Vk::VkRegistry writer(HKEY_CURRENT_USER, kBenchKey, true, KEY_ALL_ACCESS);
  writer.WriteDword("value", 7);
  DWORD n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    writer.WriteDword("other", ++n);
    state.ResumeTiming();
    ReadPath();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistryReadPathAfterAWrite);

// A process that writes another value of the key each time it is asked to,
// so that nothing this process read before may be trusted. Each write
// changes the data: writing what is there already changes nothing.
class OtherWriter {
 public:
  OtherWriter() {
    int ask[2], done[2];
    if (pipe(ask) != 0 || pipe(done) != 0) return;
    m_child = fork();
    if (m_child == 0) {
      close(ask[1]);
      close(done[0]);
      Vk::VkRegistry writer(HKEY_CURRENT_USER, kBenchKey, true, KEY_ALL_ACCESS);
      char byte = 0;
      DWORD n = 0;
      writer.ReadDword("other", &n);
      while (read(ask[0], &byte, 1) == 1) {
        writer.WriteDword("other", ++n);
        if (write(done[1], &byte, 1) != 1) break;
      }
      _exit(0);
    }
    close(ask[0]);
    close(done[1]);
    m_ask = ask[1];
    m_done = done[0];
  }
  ~OtherWriter() {
    close(m_ask);
    close(m_done);
    if (m_child > 0) waitpid(m_child, nullptr, 0);
  }
  bool Write() {
    char byte = 1;
    return write(m_ask, &byte, 1) == 1 && read(m_done, &byte, 1) == 1;
  }

 private:
  pid_t m_child = -1;
  int m_ask = -1;
  int m_done = -1;
};

void BM_RegistryReadPathAfterAnotherProcessWrote(benchmark::State& state) {
  vkbench::UsePrivateStore();
  Vk::VkRegistry(HKEY_CURRENT_USER, kBenchKey, true, KEY_ALL_ACCESS).WriteDword("value", 7);
  OtherWriter other;
  for (auto _ : state) {
    state.PauseTiming();
    if (!other.Write()) state.SkipWithError("the other process did not write");
    state.ResumeTiming();
    ReadPath();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistryReadPathAfterAnotherProcessWrote);

// From asking the other process to write until the watcher's event is set.
// A watcher that is not woken counts as woken after the longest wait, 10 s.
void BM_RegistryWakeFromAnotherProcess(benchmark::State& state) {
  constexpr DWORD kLongestWaitMs = 10000;
  vkbench::UsePrivateStore();
  Vk::VkRegistry key(HKEY_CURRENT_USER, kBenchKey, true, KEY_ALL_ACCESS);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  OtherWriter other;
  for (auto _ : state) {
    ResetEvent(event);
    bool watching = key.NotifyChange(false, REG_NOTIFY_CHANGE_LAST_SET, event);
    auto asked = std::chrono::steady_clock::now();
    double waited = kLongestWaitMs / 1e3;
    if (watching && other.Write() && WaitForSingleObject(event, kLongestWaitMs) == WAIT_OBJECT_0)
      waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    state.SetIterationTime(waited);
  }
  CloseHandle(event);
}
BENCHMARK(BM_RegistryWakeFromAnotherProcess)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_RegistryWritePath(benchmark::State& state) {
  vkbench::UsePrivateStore();
  Vk::VkRegistry key(HKEY_CURRENT_USER, kBenchKey, true, KEY_ALL_ACCESS);
  DWORD n = 0;
  for (auto _ : state) benchmark::DoNotOptimize(key.WriteDword("value", ++n));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistryWritePath);

// A whole walk of a key's values by index: each step must cost the same
// whatever the key's size, so the walk grows linearly.
void BM_RegistryValueWalk(benchmark::State& state) {
  vkbench::UsePrivateStore();
  std::string path = std::string(kBenchKey) + "\\walk" + std::to_string(state.range(0));
  Vk::VkRegistry key(HKEY_CURRENT_USER, path.c_str(), true, KEY_ALL_ACCESS);
  for (int64_t i = 0; i < state.range(0); ++i) key.WriteDword(("value" + std::to_string(i)).c_str(), 1);
  for (auto _ : state) {
    char name[32];
    DWORD length = sizeof name;
    DWORD index = 0;
    while (key.EnumValue(index, name, &length)) {
      length = sizeof name;
      ++index;
    }
    benchmark::DoNotOptimize(index);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RegistryValueWalk)->Arg(1000)->Arg(5000)->Arg(20000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

}  // namespace
