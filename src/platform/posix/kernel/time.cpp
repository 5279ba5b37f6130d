// Time: sleeping, the tick count and the local time.
#include <errno.h>
#include <stdint.h>
#include <sys/time.h>
#include <time.h>

#include "kernel/win32.h"

// Suspends the thread for at least the given milliseconds.
void Vk::Win32::Sleep(DWORD dwMilliseconds) {
  struct timespec remaining = {static_cast<time_t>(dwMilliseconds / 1000),
                               static_cast<long>(dwMilliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

// Milliseconds since an arbitrary start, wrapping at 2^32 like Windows'.
DWORD Vk::Win32::GetTickCount(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<DWORD>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                            static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

// The local wall-clock time with milliseconds.
void Vk::Win32::GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  struct timeval now;
  gettimeofday(&now, nullptr);
  struct tm local;
  localtime_r(&now.tv_sec, &local);
  lpSystemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
  lpSystemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
  lpSystemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  lpSystemTime->wDay = static_cast<WORD>(local.tm_mday);
  lpSystemTime->wHour = static_cast<WORD>(local.tm_hour);
  lpSystemTime->wMinute = static_cast<WORD>(local.tm_min);
  lpSystemTime->wSecond = static_cast<WORD>(local.tm_sec);
  lpSystemTime->wMilliseconds = static_cast<WORD>(now.tv_usec / 1000);
}
