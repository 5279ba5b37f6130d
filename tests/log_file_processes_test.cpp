// Writers in several processes take turns on one file.
#include <vk/log_file.h>

#include <stdio.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using Vk::VkLogFile;

VK_CHILD_MAIN(write_numbered_texts) {
  const std::string& path = args.at(0);
  int writer = std::stoi(args.at(1));
  int count = std::stoi(args.at(2));
  VkLogFile log(path.c_str(), true, VkLogFile::VKLF_CRLF);
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    if (!log.Write("writer %d text %d end", writer, i)) {
      ++failures;
      fprintf(stderr, "writer %d lost text %d (error %lu)\n", writer, i, static_cast<unsigned long>(GetLastError()));
    }
  }
  return failures == 0 ? 0 : 1;
}

// Makes its writer, says so (file args[2]), and writes its one text
// (args[1]) once told to (file args[3]).
VK_CHILD_MAIN(write_one_text_when_told) {
  VkLogFile log(args.at(0).c_str(), true, VkLogFile::VKLF_CRLF);
  vktest::WriteWholeFile(args.at(2), "");
  if (!vktest::AwaitFile(args.at(3))) return 2;
  return log.Write("%s", args.at(1).c_str()) ? 0 : 1;
}

#if !defined(_WIN32)
// How many exclusive locks are held on the file, as the kernel lists them
// in /proc/locks ("N: OFDLCK ADVISORY WRITE -1 MAJ:MIN:INODE START END";
// a request still waiting shows "->" after the number). Handles hold only
// shared locks; a writer waiting in line holds an exclusive one, which
// only a descriptor open for writing can take.
int ExclusiveLocksOn(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return -1;
  const std::string inode = ":" + std::to_string(info.st_ino);
  std::ifstream locks("/proc/locks");
  int held = 0;
  for (std::string line; std::getline(locks, line);) {
    if (line.find(" -> ") != std::string::npos || line.find(" WRITE ") == std::string::npos) continue;
    std::istringstream fields(line);
    for (std::string field; fields >> field;) {
      if (field.size() > inode.size() && field.compare(field.size() - inode.size(), inode.size(), inode) == 0 &&
          field.find(':') != field.rfind(':')) {
        ++held;
        break;
      }
    }
  }
  return held;
}

bool AwaitWritersInLine(const std::string& path, int count) {
  for (int i = 0; i < 20000; ++i) {
    if (ExclusiveLocksOn(path) >= count) return true;
    Sleep(1);
  }
  return false;
}

// Holds the file (args[0]) with a line written, says so (file args[1]), and
// closes it once a writer waits in line for it.
VK_CHILD_MAIN(hold_file_until_a_writer_waits) {
  HANDLE file = CreateFileA(args.at(0).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  if (!WriteFile(file, "held\r\n", 6, &written, nullptr)) return 3;
  vktest::WriteWholeFile(args.at(1), "");
  bool waited = AwaitWritersInLine(args.at(0), 1);
  CloseHandle(file);
  return waited ? 0 : 4;
}
#endif

class LogFileProcessesTest : public vktest::ScratchDirTest {
 protected:
  void RunWriters(int writers, int texts) {
    std::string path = PathOf("shared.log");
    std::vector<std::unique_ptr<vktest::ChildProcess>> children;
    for (int w = 0; w < writers; ++w) {
      children.push_back(std::make_unique<vktest::ChildProcess>(
          "write_numbered_texts", std::vector<std::string>{path, std::to_string(w), std::to_string(texts)}));
      ASSERT_TRUE(children.back()->started());
    }
    for (auto& child : children) EXPECT_EQ(0, child->Wait()) << "a writer lost a text";

    std::map<std::pair<int, int>, int> seen;
    std::istringstream lines(vktest::ReadWholeFile(path));
    std::string line;
    int malformed = 0;
    while (std::getline(lines, line)) {
      int writer = -1, text = -1;
      char end[4] = "";
      if (sscanf(line.c_str(), "writer %d text %d %3s", &writer, &text, end) != 3 || std::string(end) != "end" ||
          line.back() != '\r')
        ++malformed;
      else
        ++seen[{writer, text}];
    }
    EXPECT_EQ(0, malformed);
    EXPECT_EQ(static_cast<size_t>(writers * texts), seen.size());
    for (const auto& entry : seen) EXPECT_EQ(1, entry.second) << entry.first.first << "/" << entry.first.second;
  }
};

TEST_F(LogFileProcessesTest, TwoProcessesShareOneFile) { RunWriters(2, 50); }

TEST_F(LogFileProcessesTest, FourProcessesWriteEveryTextExactlyOnce) {
  if (vktest::RunningUnderWine()) GTEST_SKIP() << "2,000 flushed opens take minutes under Wine; two writers cover it";
  RunWriters(4, 500);
}

// A refused writer waits in line for the file instead of polling for it,
// and the one that has waited longest gets it first, the moment it is free.
TEST_F(LogFileProcessesTest, RefusedWritersTakeTheFileInTheOrderTheyCame) {
#if defined(_WIN32)
  GTEST_SKIP() << "Windows refuses an open at once; its writers retry and keep no line";
#else
  std::string path = PathOf("turns.log");
  std::vector<std::unique_ptr<vktest::ChildProcess>> writers;
  const char* const names[] = {"first", "second", "third"};
  for (const char* name : names) {
    writers.push_back(std::make_unique<vktest::ChildProcess>(
        "write_one_text_when_told",
        std::vector<std::string>{path, name, PathOf(std::string(name) + ".ready"), PathOf(std::string(name) + ".go")}));
    ASSERT_TRUE(writers.back()->started());
    ASSERT_TRUE(vktest::AwaitFile(PathOf(std::string(name) + ".ready")));
  }
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(holder, "holder\r\n", 8, &written, nullptr));

  // Each comes after the one before it waits, so the line's order is known.
  for (int i = 0; i < 3; ++i) {
    vktest::WriteWholeFile(PathOf(std::string(names[i]) + ".go"), "");
    ASSERT_TRUE(AwaitWritersInLine(path, i + 1)) << names[i] << " waits in line";
  }
  CloseHandle(holder);

  for (auto& writer : writers) EXPECT_EQ(0, writer->Wait()) << "a waiting writer lost its text";
  EXPECT_EQ("holder\r\nfirst\r\nsecond\r\nthird\r\n", vktest::ReadWholeFile(path));
#endif
}

// A writer that waited in line gets the file when the holder closes it,
// and its own close lets the file go entirely: nothing of the wait stays
// locked in its process.
TEST_F(LogFileProcessesTest, AWriterThatWaitedInLineLeavesNothingHeldWhenItCloses) {
#if defined(_WIN32)
  GTEST_SKIP() << "Windows refuses an open at once; its writers retry and keep no line";
#else
  std::string path = PathOf("handover.log");
  vktest::ChildProcess holder("hold_file_until_a_writer_waits", {path, PathOf("held")});
  ASSERT_TRUE(holder.started());
  ASSERT_TRUE(vktest::AwaitFile(PathOf("held")));

  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  HANDLE waited = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, waited) << "asked again, the writer waits in line for the file";
  SetFilePointer(waited, 0, nullptr, FILE_END);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(waited, "waited\r\n", 8, &written, nullptr));
  CloseHandle(waited);

  HANDLE alone = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, alone) << "a handle that shares nothing opens once the waiter closed";
  CloseHandle(alone);
  EXPECT_EQ(0, holder.Wait());
  EXPECT_EQ("held\r\nwaited\r\n", vktest::ReadWholeFile(path));
#endif
}

}  // namespace
