// The log writer on a disk that fills up: every text reaches the file whole
// or not at all, the writer says why it failed, and once room is made the
// next text starts on a line of its own.
#include <vk/log_file.h>

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

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

// Trimming on a full disk: the file is cut to its tail whole or not at
// all, and texts go on as on any full disk.
class LogFileTrimFullDiskTest : public vktest::ScratchDirTest {
 protected:
  static constexpr size_t kTrimLineLength = 100;  // without the line end
  static constexpr DWORD kKeptSize = 20 * (kTrimLineLength + 2);
  static constexpr DWORD kMaximumSize = 4000;

  void TearDown() override {
    RestoreTempDirectory();
    vktest::ScratchDirTest::TearDown();
  }
  // Points the temporary directory, where a trim copies the file, at `path`.
  void UseTempDirectory(const std::string& path) {
    vktest::fs::create_directories(path);
#if !defined(_WIN32)
    const char* previous = getenv("TMPDIR");
    m_hadTempDirectory = previous != nullptr;
    if (previous) m_previousTempDirectory = previous;
    setenv("TMPDIR", path.c_str(), 1);
    m_tempDirectoryChanged = true;
#endif
  }
  void RestoreTempDirectory() {
#if !defined(_WIN32)
    if (!m_tempDirectoryChanged) return;
    if (m_hadTempDirectory) setenv("TMPDIR", m_previousTempDirectory.c_str(), 1);
    else unsetenv("TMPDIR");
    m_tempDirectoryChanged = false;
#endif
  }
  // A numbered line of kTrimLineLength characters and CR LF.
  static std::string Line(int number) {
    char text[16];
    snprintf(text, sizeof text, "%04d ", number);
    return text + std::string(kTrimLineLength - 5, 'x') + "\r\n";
  }
  static bool WriteNumbered(VkLogFile& log, int number) {
    return log.Write("%04d %s", number, std::string(kTrimLineLength - 5, 'x').c_str());
  }

  bool m_tempDirectoryChanged = false;
  bool m_hadTempDirectory = false;
  std::string m_previousTempDirectory;
};

// The file's content against what it must hold, with the first difference
// rather than two pages of lines.
::testing::AssertionResult Holds(const std::string& path, const std::string& expected) {
  std::string actual = vktest::ReadWholeFile(path);
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << "the file holds " << actual.size() << " bytes, not " << expected.size()
                                       << "; first difference at byte " << at;
}

size_t CountFilesIn(const std::string& directory) {
  size_t count = 0;
  for (const auto& entry : vktest::fs::directory_iterator(directory)) {
    (void)entry;
    ++count;
  }
  return count;
}

TEST_F(LogFileTrimFullDiskTest, ATrimWithNoRoomForItsCopyLeavesTheFileWhole) {
  vktest::SmallDisk disk(m_dir.string() + "/disk", 64 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  std::string temp = disk.path() + "/tmp";
  UseTempDirectory(temp);
  std::string path = disk.path() + "/trim.log";
  VkLogFile log(path.c_str(), true, VkLogFile::VKLF_CRLF);
  std::string expected;
  int number = 0;
  for (; number < 100; ++number) {
    ASSERT_TRUE(WriteNumbered(log, number));
    expected += Line(number);
  }
  ASSERT_TRUE(Holds(path, expected));
  disk.Fill();

  log.SetSizeLimits(kKeptSize, kMaximumSize);
  EXPECT_TRUE(Holds(path, expected)) << "the file was cut without a whole copy of its tail";
  EXPECT_EQ(0u, CountFilesIn(temp)) << "a temporary copy was left behind";

  DWORD error = NO_ERROR;
  for (;; ++number) {
    if (!WriteNumbered(log, number)) {
      error = GetLastError();
      break;
    }
    expected += Line(number);
    ASSERT_LT(number, 1000) << "the disk never filled";
  }
  EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), error);
  EXPECT_TRUE(Holds(path, expected)) << "a text was torn or lost";

  disk.Free();
  ASSERT_TRUE(WriteNumbered(log, number));
  expected += Line(number);
  EXPECT_TRUE(Holds(path, expected));
  // With room for the copy, the next open at start trims as always.
  EXPECT_TRUE(log.Restart());
  EXPECT_TRUE(Holds(path, expected.substr(expected.size() - kKeptSize)));
  EXPECT_EQ(0u, CountFilesIn(temp));
}

TEST_F(LogFileTrimFullDiskTest, ATrimOnAFullDiskMakesRoomForTheNextText) {
  vktest::SmallDisk disk(m_dir.string() + "/disk", 64 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  UseTempDirectory(m_dir.string() + "/tmp");
  std::string path = disk.path() + "/trim.log";
  VkLogFile log(path.c_str(), true, VkLogFile::VKLF_CRLF);
  std::string expected;
  int number = 0;
  for (; number < 100; ++number) {
    ASSERT_TRUE(WriteNumbered(log, number));
    expected += Line(number);
  }
  disk.Fill();
  while (WriteNumbered(log, number)) {
    expected += Line(number++);
    ASSERT_LT(number, 1000) << "the disk never filled";
  }

  log.SetSizeLimits(kKeptSize, kMaximumSize);
  expected = expected.substr(expected.size() - kKeptSize);
  EXPECT_TRUE(Holds(path, expected));
  EXPECT_TRUE(WriteNumbered(log, number)) << "the trim made no room";
  EXPECT_TRUE(Holds(path, expected + Line(number)));
}

// Where moving the tail to the front needs new blocks (a file system that
// copies on write; here a file whose front is a hole), a full disk stops
// it halfway: the front is put back and the file keeps every text.
TEST_F(LogFileTrimFullDiskTest, ATailThatCannotBeMovedLeavesTheFileWhole) {
  vktest::SmallDisk disk(m_dir.string() + "/disk", 64 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  UseTempDirectory(m_dir.string() + "/tmp");
  std::string path = disk.path() + "/trim.log";
  std::string expected(16384, '\0');
  std::string lines;
  for (int number = 0; number < 40; ++number) lines += Line(number);
  {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    bool made = SetFilePointer(file, static_cast<LONG>(expected.size()), nullptr, FILE_BEGIN) ==
                    expected.size() &&
                SetEndOfFile(file) &&
                WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr) &&
                written == lines.size();
    CloseHandle(file);
    ASSERT_TRUE(made);
  }
  expected += lines;
  VkLogFile log(path.c_str(), true, VkLogFile::VKLF_CRLF);
  disk.Fill();

  log.SetSizeLimits(kKeptSize, kMaximumSize);
  EXPECT_TRUE(Holds(path, expected)) << "the file was left half trimmed";

  disk.Free();
  EXPECT_TRUE(log.Restart());
  EXPECT_TRUE(Holds(path, expected.substr(expected.size() - kKeptSize)));
}
