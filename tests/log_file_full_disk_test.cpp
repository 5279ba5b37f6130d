// The log writer on a disk that fills up: every text reaches the file whole
// or not at all, the writer says why it failed, and once room is made the
// next text starts on a line of its own.
#include <vk/log_file.h>

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "support/test_support.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace {

using Vk::VkLogFile;

constexpr size_t kLineLength = 1000;  // without the line end

class LogFileFullDiskTest : public vktest::ScratchDirTest {
 protected:
  // Writes texts until the disk is full, then frees room and writes one
  // more; skipped where no small disk can be made.
  void FillAndRecover(DWORD options);
};

void LogFileFullDiskTest::FillAndRecover(DWORD options) {
#if defined(_WIN32)
  (void)options;
  GTEST_SKIP() << "no small file system can be mounted here";
#else
  vktest::SmallDisk disk(m_dir.string() + "/disk", 64 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  const std::string& root = disk.path();
  std::string filler = root + "/filler";
  vktest::WriteWholeFile(filler, std::string(16384, 'f'));
  std::string path = root + "/full.log";
  std::string body(kLineLength - 5, 'x');
  DWORD error = NO_ERROR;
  int accepted = 0;
  {
    VkLogFile log(path.c_str(), true, options);
    for (int i = 0; i < 1000; ++i) {
      if (!log.Write("%04d %s", i, body.c_str())) {
        error = GetLastError();
        break;
      }
      ++accepted;
    }
    std::string full = vktest::ReadWholeFile(path);
    ASSERT_EQ(accepted * (kLineLength + 2), full.size()) << "the failed text left a torn line";
    for (int i = 0; i < accepted; ++i) {
      char number[16];
      snprintf(number, sizeof number, "%04d ", i);
      ASSERT_EQ(std::string(number) + body + "\r\n", full.substr(i * (kLineLength + 2), kLineLength + 2)) << i;
    }
    unlink(filler.c_str());
    EXPECT_TRUE(log.Write("after the disk had room again"));
  }
  std::string content = vktest::ReadWholeFile(path);
  disk.Unmount();
  EXPECT_LT(0, accepted);
  EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), error) << "the reason the text was lost";
  std::string last = "after the disk had room again\r\n";
  ASSERT_EQ(accepted * (kLineLength + 2) + last.size(), content.size());
  EXPECT_EQ(last, content.substr(content.size() - last.size()));
#endif
}

TEST_F(LogFileFullDiskTest, AWriterThatReopensLosesWholeTextsOnly) { FillAndRecover(VkLogFile::VKLF_CRLF); }

TEST_F(LogFileFullDiskTest, AWriterThatKeepsItsFileOpenLosesWholeTextsOnly) {
  FillAndRecover(VkLogFile::VKLF_CRLF | VkLogFile::VKLF_KEEPOPEN);
}

}  // namespace
