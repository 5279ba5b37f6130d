// The registry wrapper's read path (open, ReadDword, close) and write path
// (WriteDword on an open key) on this target's registry store. The read path
// is measured twice: answered from the process's cache, and just after a
// write, when the store itself must answer.
#include <benchmark/benchmark.h>

#include <vk/registry.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace {

const char kBenchKey[] = "Software\\vkdiag-bench";

void UsePrivateStore() {
  static bool done = [] {
    if (!getenv("VK_SYSTEM_ROOT")) {
      char dir[] = "/tmp/vkdiag-bench-XXXXXX";
      if (mkdtemp(dir)) setenv("VK_SYSTEM_ROOT", dir, 1);
    }
    return true;
  }();
  (void)done;
}

// Open the key, read its number, close it.
void ReadPath() {
  Vk::VkRegistry key(HKEY_CURRENT_USER, kBenchKey, false, KEY_READ);
  DWORD value = 0;
  benchmark::DoNotOptimize(key.ReadDword("value", &value));
}

void BM_RegistryReadPath(benchmark::State& state) {
  UsePrivateStore();
  Vk::VkRegistry(HKEY_CURRENT_USER, kBenchKey, true, KEY_ALL_ACCESS).WriteDword("value", 7);
  for (auto _ : state) ReadPath();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistryReadPath);

// The read path when another write came first, so that nothing read before
// may be trusted and every step asks the store.
void BM_RegistryReadPathAfterAWrite(benchmark::State& state) {
  UsePrivateStore();
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

void BM_RegistryWritePath(benchmark::State& state) {
  UsePrivateStore();
  Vk::VkRegistry key(HKEY_CURRENT_USER, kBenchKey, true, KEY_ALL_ACCESS);
  DWORD n = 0;
  for (auto _ : state) benchmark::DoNotOptimize(key.WriteDword("value", ++n));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistryWritePath);

// A whole walk of a key's values by index: each step must cost the same
// whatever the key's size, so the walk grows linearly.
void BM_RegistryValueWalk(benchmark::State& state) {
  UsePrivateStore();
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
