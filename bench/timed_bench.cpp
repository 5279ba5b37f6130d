// The operations of the native benchmarks, timed by a small harness of its
// own, for targets without Google Benchmark (the Windows builds, run under
// Wine by scripts/bench). Prints one line per operation:
//
//   name <TAB> median nanoseconds per operation <TAB> operations per repetition
//
// Each operation is warmed up, then timed in kRepetitions repetitions of at
// least kRepetitionTime each; the median repetition is reported. Only the
// timed part of an iteration counts, as with Google Benchmark's paused
// timing. Names match the native benchmarks' (vkdiag_bench).
//   vkdiag_timed_bench [name-substring]
#include <vk/generic_event_logger.h>
#include <vk/registry.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

using namespace Vk::Win32;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRepetitions = 5;
constexpr int kWarmUp = 20;
constexpr std::chrono::milliseconds kRepetitionTime(300);
constexpr long kValuesToWalk = 1000;

const char kBenchKey[] = "Software\\vkdiag-bench";

// One iteration: untimed preparation, then the timed operation.
struct Operation {
  const char* name;
  void (*prepare)();
  void (*run)();
};

Vk::VkRegistry& Writer() {
  static Vk::VkRegistry writer(HKEY_CURRENT_USER, kBenchKey, true, KEY_ALL_ACCESS);
  return writer;
}

DWORD g_counter = 0;

void Nothing() {}

// Open the key, read its number, close it.
void ReadPath() {
  Vk::VkRegistry key(HKEY_CURRENT_USER, kBenchKey, false, KEY_READ);
  DWORD value = 0;
  key.ReadDword("value", &value);
}

void WriteOther() { Writer().WriteDword("other", ++g_counter); }

void WriteValue() { Writer().WriteDword("value", ++g_counter); }

// A key with kValuesToWalk values, made on first use.
Vk::VkRegistry& WalkedKey() {
  static Vk::VkRegistry key;
  if (!key.IsOpen()) {
    std::string path = std::string(kBenchKey) + "\\walk" + std::to_string(kValuesToWalk);
    Vk::VkRegistry made(HKEY_CURRENT_USER, path.c_str(), true, KEY_ALL_ACCESS);
    for (long i = 0; i < kValuesToWalk; ++i) made.WriteDword(("value" + std::to_string(i)).c_str(), 1);
    key.Open(HKEY_CURRENT_USER, path.c_str(), false, KEY_READ);
  }
  return key;
}

// A whole walk of the key's values by index.
void WalkValues() {
  char name[32];
  DWORD length = sizeof name;
  for (DWORD index = 0; WalkedKey().EnumValue(index, name, &length); ++index) length = sizeof name;
}

Vk::VkGenericEventLogger& Logger() {
  static Vk::VkGenericEventLogger logger("vkdiag-bench", nullptr, 7, 1);
  return logger;
}

void Report() { Logger().ReportInfo("benchmark event %d", 42); }

const Operation kOperations[] = {
    {"BM_RegistryReadPath", Nothing, ReadPath},
    {"BM_RegistryReadPathAfterAWrite", WriteOther, ReadPath},
    {"BM_RegistryWritePath", Nothing, WriteValue},
    {"BM_RegistryValueWalk/1000", Nothing, WalkValues},
    {"BM_GenericLoggerReport", Nothing, Report},
};

// Nanoseconds per operation of one repetition, and how many it ran.
double TimeRepetition(const Operation& operation, long* count) {
  Clock::duration timed(0);
  Clock::time_point end = Clock::now() + kRepetitionTime;
  long done = 0;
  do {
    operation.prepare();
    Clock::time_point start = Clock::now();
    operation.run();
    timed += Clock::now() - start;
    ++done;
  } while (Clock::now() < end);
  *count = done;
  return std::chrono::duration<double, std::nano>(timed).count() / static_cast<double>(done);
}

}  // namespace

int main(int argc, char** argv) {
  const char* only = argc > 1 ? argv[1] : "";
  Writer().WriteDword("value", 7);
  for (const Operation& operation : kOperations) {
    if (!strstr(operation.name, only)) continue;
    for (int i = 0; i < kWarmUp; ++i) {
      operation.prepare();
      operation.run();
    }
    std::vector<double> nanoseconds;
    long count = 0;
    for (int r = 0; r < kRepetitions; ++r) nanoseconds.push_back(TimeRepetition(operation, &count));
    std::sort(nanoseconds.begin(), nanoseconds.end());
    printf("%s\t%.0f\t%ld\n", operation.name, nanoseconds[kRepetitions / 2], count);
    fflush(stdout);
  }
  return 0;
}
