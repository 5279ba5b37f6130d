// Writers in several processes take turns on one file.
#include <vk/log_file.h>

#include <stdio.h>

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

}  // namespace
