// One event through Vk::VkGenericEventLogger, with the renewal of its
// source's registration that precedes every report: with the system log
// off, and sent to syslog as well (its message rendered from the message
// module, its fields as RFC 5424 structured data).
#include <benchmark/benchmark.h>

#include <vk/generic_event_logger.h>

#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

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

void BM_GenericLoggerReportToSyslog(benchmark::State& state) {
  vkbench::UsePrivateStore();
  std::string path = std::string(getenv("VK_SYSTEM_ROOT")) + "/bench-syslog.sock";
  unlink(path.c_str());
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    state.SkipWithError("cannot bind a syslog socket");
    return;
  }
  // The daemon's part: a thread that empties the socket.
  std::atomic<bool> done{false};
  std::thread reader([&] {
    char datagram[8192];
    struct pollfd ready = {fd, POLLIN, 0};
    while (!done)
      if (poll(&ready, 1, 100) == 1) (void)!recv(fd, datagram, sizeof datagram, 0);
  });
  setenv("VK_SYSLOG_SOCKET", path.c_str(), 1);
  setenv("VK_EVENTLOG_SYSLOG", "1", 1);
  Vk::VkGenericEventLogger logger("vkdiag-bench", nullptr, 7, 1);
  for (auto _ : state) benchmark::DoNotOptimize(logger.ReportInfo("benchmark event %d", 42));
  state.SetItemsProcessed(state.iterations());
  setenv("VK_EVENTLOG_SYSLOG", "0", 1);
  unsetenv("VK_SYSLOG_SOCKET");
  done = true;
  reader.join();
  close(fd);
  unlink(path.c_str());
}
BENCHMARK(BM_GenericLoggerReportToSyslog);

}  // namespace
