// The event log on a disk that fills up: a report that cannot be kept fails
// with ERROR_DISK_FULL, every report that succeeded can be read back whole,
// and once room is made reporting goes on. The store's state directory
// lies on a small tmpfs, so each step runs in a process of its own that
// takes that directory as its system root.
#include <vk/event_log.h>

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

const char kLog[] = "vkdiag-full-disk";
const char kSource[] = "vkdiag-full-disk-source";
// Large enough that a few hundred events fill the disk.
constexpr size_t kPadding = 900;

std::string EventText(int number) {
  char head[32];
  snprintf(head, sizeof head, "full-disk event %05d ", number);
  return head + std::string(kPadding, 'e');
}

void UseSystemRoot(const std::string& root) {
#if !defined(_WIN32)
  setenv("VK_SYSTEM_ROOT", root.c_str(), 1);
#else
  (void)root;
#endif
}

// In the system root args[0]: registers the source in a log of its own.
VK_CHILD_MAIN(eventlog_register_in_root) {
  UseSystemRoot(args.at(0));
  Vk::VkEventLog log;
  log.RegisterSource(kLog, kSource, "x.dll", nullptr, 7, 0);
  HKEY key = nullptr;
  std::string path = std::string("SYSTEM\\CurrentControlSet\\Services\\Eventlog\\") + kLog + "\\" + kSource;
  LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key);
  if (result == ERROR_SUCCESS) RegCloseKey(key);
  return static_cast<int>(result);
}

// In the system root args[0]: reports events numbered from args[1] until
// args[2] of them are reported or one fails. Appends the number of each
// report that succeeded to the file args[3] (kept off the full disk) and
// exits with the failing report's error, 0 when none failed.
VK_CHILD_MAIN(eventlog_report_in_root) {
  UseSystemRoot(args.at(0));
  int first = std::stoi(args.at(1));
  int count = std::stoi(args.at(2));
  FILE* acknowledged = fopen(args.at(3).c_str(), "a");
  if (!acknowledged) return 255;
  HANDLE source = RegisterEventSourceA(nullptr, kSource);
  if (!source) return static_cast<int>(GetLastError());
  DWORD error = NO_ERROR;
  for (int number = first; number < first + count; ++number) {
    std::string text = EventText(number);
    const char* strings[] = {text.c_str()};
    if (!ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 7, nullptr, 1, 0, strings, nullptr)) {
      error = GetLastError();
      break;
    }
    fprintf(acknowledged, "%d\n", number);
    fflush(acknowledged);
  }
  DeregisterEventSource(source);
  fclose(acknowledged);
  return static_cast<int>(error);
}

// In the system root args[0]: reads the whole log forwards and writes each
// record's one string to the file args[1], a line each. Exits with the
// read's error, or 254 when a record is malformed.
VK_CHILD_MAIN(eventlog_read_in_root) {
  UseSystemRoot(args.at(0));
  HANDLE log = OpenEventLogA(nullptr, kLog);
  if (!log) return static_cast<int>(GetLastError());
  std::ofstream out(args.at(1), std::ios::binary);
  std::vector<BYTE> buffer(64 * 1024);
  DWORD read = 0, needed = 0;
  int result = 0;
  while (result == 0 && ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                                      static_cast<DWORD>(buffer.size()), &read, &needed)) {
    for (DWORD offset = 0; offset < read;) {
      EVENTLOGRECORD record;
      if (read - offset < sizeof record) {
        result = 254;
        break;
      }
      memcpy(&record, buffer.data() + offset, sizeof record);
      DWORD trailer = 0;
      if (record.Length < sizeof record || record.Length > read - offset || record.NumStrings != 1 ||
          record.StringOffset >= record.Length) {
        result = 254;
        break;
      }
      memcpy(&trailer, buffer.data() + offset + record.Length - sizeof trailer, sizeof trailer);
      const char* text = reinterpret_cast<const char*>(buffer.data() + offset + record.StringOffset);
      size_t room = record.Length - record.StringOffset;
      if (trailer != record.Length || strnlen(text, room) == room) {
        result = 254;
        break;
      }
      out << text << '\n';
      offset += record.Length;
    }
  }
  if (result == 0 && GetLastError() != ERROR_HANDLE_EOF) result = static_cast<int>(GetLastError());
  CloseEventLog(log);
  return result;
}

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class EventLogFullDiskTest : public vktest::ScratchDirTest {
 protected:
  void SetUp() override {
    if (vktest::IsWindowsTarget()) GTEST_SKIP() << "the event store belongs to the POSIX layer";
    vktest::ScratchDirTest::SetUp();
  }

  int Run(const char* child, std::vector<std::string> args) {
    args.insert(args.begin(), m_root);
    return vktest::ChildProcess(child, args).Wait();
  }
  // Every event the log holds, by its text, read in a process of its own.
  std::vector<std::string> ReadBack(int* status) {
    std::string out = PathOf("read.txt");
    *status = Run("eventlog_read_in_root", {out});
    return Lines(out);
  }

  std::string m_root;
};

TEST_F(EventLogFullDiskTest, ReportsFailWithDiskFullAndKeepEveryEventAcknowledged) {
  vktest::SmallDisk disk(m_dir.string() + "/disk", 512 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  m_root = disk.path();
  // Room for the stores to start; the events fill the rest.
  vktest::WriteWholeFile(m_root + "/filler", std::string(64 * 1024, 'f'));
  ASSERT_EQ(0, Run("eventlog_register_in_root", {}));

  std::string acknowledged = PathOf("acknowledged.txt");
  EXPECT_EQ(vktest::ExitStatusOf(ERROR_DISK_FULL), Run("eventlog_report_in_root", {"0", "5000", acknowledged}));
  std::vector<std::string> numbers = Lines(acknowledged);
  ASSERT_LT(0u, numbers.size()) << "the disk was full before the first event";
  ASSERT_GT(5000u, numbers.size()) << "the disk never filled";
  int next = static_cast<int>(numbers.size());
  EXPECT_EQ(vktest::ExitStatusOf(ERROR_DISK_FULL), Run("eventlog_report_in_root", {std::to_string(next), "1", acknowledged}))
      << "a second process on the full disk";

  // A new process may not get at the registry on a full disk, so it may
  // not find the log: then it must say so, never read an empty log instead.
  int status = -1;
  std::vector<std::string> texts = ReadBack(&status);
  if (status == 0) EXPECT_EQ(numbers.size(), texts.size()) << "read on the full disk";
  else EXPECT_EQ(vktest::ExitStatusOf(ERROR_DISK_FULL), status) << "read on the full disk";

  disk.Free();
  texts = ReadBack(&status);
  EXPECT_EQ(0, status);
  ASSERT_EQ(numbers.size(), texts.size()) << "every event acknowledged, and only those";
  for (size_t i = 0; i < texts.size(); ++i) ASSERT_EQ(EventText(static_cast<int>(i)), texts[i]) << i;

  EXPECT_EQ(0, Run("eventlog_report_in_root", {std::to_string(next), "1", acknowledged}))
      << "reporting goes on once there is room";
  texts = ReadBack(&status);
  EXPECT_EQ(0, status);
  ASSERT_EQ(numbers.size() + 1, texts.size());
  EXPECT_EQ(EventText(next), texts.back());
}

}  // namespace
