// Whether the library's memory grows with the work done: one million
// registry reads and as many writes, and a hundred thousand generic logger
// reports, in one process. The peak resident size is taken after the first
// fifth of the work, when SQLite's page caches have filled, and again at
// the end; the process fails (exit code 1) when the peak grew by more than
// kAllowedGrowthKiB in between.
//   vkdiag_memory_bench [divisor]    a divisor of 10 does a tenth of it all
#include <vk/generic_event_logger.h>
#include <vk/registry.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "bench_support.h"

using namespace Vk::Win32;

namespace {

constexpr long kRegistryOperations = 1000000;
constexpr long kReports = 100000;
constexpr long kValueNames = 100;  // written in turn, so the store stays the same size
constexpr long kAllowedGrowthKiB = 256;
constexpr long kWarmUpPart = 5;  // the first fifth

const char kMemoryKey[] = "Software\\vkdiag-bench\\memory";

// A "VmHWM" (peak) or "VmRSS" (now) figure of /proc/self/status, in KiB.
long StatusKiB(const char* field) {
  FILE* status = fopen("/proc/self/status", "r");
  if (!status) return -1;
  char line[256];
  long kib = -1;
  size_t length = strlen(field);
  while (fgets(line, sizeof line, status))
    if (strncmp(line, field, length) == 0 && line[length] == ':') kib = atol(line + length + 1);
  fclose(status);
  return kib;
}

// Writes a value, then opens the key, reads it back and closes the key.
void RegistryWork(Vk::VkRegistry& writer, long from, long to) {
  for (long i = from; i < to; ++i) {
    std::string name = "value" + std::to_string(i % kValueNames);
    writer.WriteDword(name.c_str(), static_cast<DWORD>(i));
    Vk::VkRegistry reader(HKEY_CURRENT_USER, kMemoryKey, false, KEY_READ);
    DWORD value = 0;
    if (!reader.ReadDword(name.c_str(), &value) || value != static_cast<DWORD>(i)) {
      fprintf(stderr, "read %ld back wrong\n", i);
      exit(2);
    }
  }
}

void ReportWork(Vk::VkGenericEventLogger& logger, long from, long to) {
  for (long i = from; i < to; ++i)
    if (!logger.ReportInfo("memory benchmark event %ld", i)) {
      fprintf(stderr, "report %ld failed\n", i);
      exit(2);
    }
}

}  // namespace

int main(int argc, char** argv) {
  long divisor = argc > 1 ? atol(argv[1]) : 1;
  if (divisor < 1) {
    fprintf(stderr, "usage: vkdiag_memory_bench [divisor]\n");
    return 2;
  }
  vkbench::UsePrivateStore();
  setenv("VK_EVENTLOG_SYSLOG", "0", 1);
  long operations = kRegistryOperations / divisor;
  long reports = kReports / divisor;
  Vk::VkRegistry writer(HKEY_CURRENT_USER, kMemoryKey, true, KEY_ALL_ACCESS);
  Vk::VkGenericEventLogger logger("vkdiag-memory-bench", nullptr, 7, 1);

  RegistryWork(writer, 0, operations / kWarmUpPart);
  ReportWork(logger, 0, reports / kWarmUpPart);
  long partPeak = StatusKiB("VmHWM");
  long partNow = StatusKiB("VmRSS");
  RegistryWork(writer, operations / kWarmUpPart, operations);
  ReportWork(logger, reports / kWarmUpPart, reports);
  long wholePeak = StatusKiB("VmHWM");
  long wholeNow = StatusKiB("VmRSS");

  printf("after %ld registry reads and writes and %ld reports: peak %ld KiB, now %ld KiB\n",
         operations / kWarmUpPart, reports / kWarmUpPart, partPeak, partNow);
  printf("after %ld registry reads and writes and %ld reports: peak %ld KiB, now %ld KiB\n", operations, reports,
         wholePeak, wholeNow);
  bool grows = partPeak < 0 || wholePeak - partPeak > kAllowedGrowthKiB;
  printf("peak grew by %ld KiB over the last four fifths (allowed %ld): %s\n", wholePeak - partPeak,
         kAllowedGrowthKiB, grows ? "GROWS" : "does not grow");
  return grows ? 1 : 0;
}
