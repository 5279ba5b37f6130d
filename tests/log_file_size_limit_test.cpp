// A log file found too large at an open at start keeps exactly its tail.
#include <vk/log_file.h>

#include <stdint.h>

#include <string>
#include <system_error>

#include "support/test_support.h"

namespace {

using Vk::VkLogFile;
using vktest::ReadWholeFile;
using vktest::WriteWholeFile;

std::string Numbered(size_t size) {
  std::string text;
  for (size_t i = 0; text.size() < size; ++i) text += std::to_string(i) + ",";
  text.resize(size);
  return text;
}

size_t CountTempCopies() {
  size_t count = 0;
  for (const auto& entry : vktest::fs::directory_iterator(vktest::fs::temp_directory_path())) {
    std::string name = entry.path().filename().string();
    if (name.rfind("CLF", 0) == 0) ++count;
  }
  return count;
}

// A file of 4 GiB of zeros (sparse where the file system allows) followed
// by the tail; false when the file system cannot hold it.
bool MakeFileBeyondFourGibibytes(const std::string& path, const std::string& tail) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LONG high = 1;
  DWORD written = 0;
  bool made = SetFilePointer(file, 0, &high, FILE_BEGIN) != INVALID_SET_FILE_POINTER && SetEndOfFile(file) &&
              WriteFile(file, tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr) &&
              written == tail.size();
  CloseHandle(file);
  if (!made) DeleteFileA(path.c_str());
  return made;
}

class LogFileSizeLimitTest : public vktest::ScratchDirTest {};

TEST_F(LogFileSizeLimitTest, OversizedFileKeepsExactlyItsLastBytes) {
  std::string path = PathOf("big.log");
  std::string original = Numbered(5000);
  WriteWholeFile(path, original);
  size_t copiesBefore = CountTempCopies();
  VkLogFile log(path.c_str(), true, 0);
  log.SetSizeLimits(1000, 4000);
  EXPECT_EQ(original.substr(4000), ReadWholeFile(path));
  EXPECT_EQ(copiesBefore, CountTempCopies()) << "the temporary copy is removed";
}

TEST_F(LogFileSizeLimitTest, TailsLongerThanOneChunkAreCopiedWhole) {
  std::string path = PathOf("chunks.log");
  std::string original = Numbered(50000);
  WriteWholeFile(path, original);
  VkLogFile log(path.c_str(), true, 0);
  log.SetSizeLimits(10000, 20000);
  EXPECT_EQ(original.substr(40000), ReadWholeFile(path));
}

TEST_F(LogFileSizeLimitTest, FilesWithinTheLimitOrWithoutOneAreLeftAlone) {
  std::string original = Numbered(4000);
  struct Case {
    DWORD kept, maximum;
  } cases[] = {{1000, 4000}, {0, 100}, {VkLogFile::kNoLimit, 100}, {100, VkLogFile::kNoLimit}};
  int n = 0;
  for (const Case& c : cases) {
    std::string path = PathOf("alone" + std::to_string(n++) + ".log");
    WriteWholeFile(path, original);
    VkLogFile log(path.c_str(), true, 0);
    log.SetSizeLimits(c.kept, c.maximum);
    log.Restart();
    EXPECT_EQ(original, ReadWholeFile(path)) << c.kept << "/" << c.maximum;
  }
}

TEST_F(LogFileSizeLimitTest, KeptSizeAboveTheFileSizeEndsAndKeepsTheFile) {
  std::string path = PathOf("odd.log");
  std::string original = Numbered(3000);
  WriteWholeFile(path, original);
  VkLogFile log(path.c_str(), true, 0);
  log.SetSizeLimits(5000, 2000);
  EXPECT_EQ(original, ReadWholeFile(path));
}

TEST_F(LogFileSizeLimitTest, LimitIsAppliedOnlyAtOpensAtStart) {
  std::string path = PathOf("grow.log");
  VkLogFile log(path.c_str(), false, 0);
  log.SetSizeLimits(10, 20);
  log.SetEnabled(true);
  std::string texts;
  for (int i = 0; i < 5; ++i) {
    std::string text = "text-" + std::to_string(i) + "|";
    texts += text;
    log.Write("%s", text.c_str());
  }
  EXPECT_EQ(texts, ReadWholeFile(path)) << "texts grow the file past the maximum";
  log.Restart();
  EXPECT_EQ(texts.substr(texts.size() - 10), ReadWholeFile(path));
}

TEST_F(LogFileSizeLimitTest, DisabledWriterTrimsWhenEnabled) {
  std::string path = PathOf("later.log");
  std::string original = Numbered(300);
  WriteWholeFile(path, original);
  VkLogFile log(path.c_str(), false, 0);
  log.SetSizeLimits(100, 200);
  EXPECT_EQ(original, ReadWholeFile(path));
  log.SetEnabled(true);
  EXPECT_EQ(original.substr(200), ReadWholeFile(path));
}

// The size of such a file does not fit 32 bits. Measured by its low part
// alone (100) it is within the maximum; its tail, looked for by the low
// part alone, lies 4 GiB too early.
TEST_F(LogFileSizeLimitTest, FilesOfFourGibibytesOrMoreAreMeasuredWhole) {
  const uint64_t kFourGibibytes = uint64_t{1} << 32;
  std::string path = PathOf("huge.log");
  std::string tail = Numbered(100);
  if (!MakeFileBeyondFourGibibytes(path, tail)) GTEST_SKIP() << "the file system cannot hold a file of 4 GiB";
  // Windows' CopyFile writes the trimming's copy out in full.
  std::error_code unknown;
  if (vktest::IsWindowsTarget() &&
      vktest::fs::space(vktest::fs::temp_directory_path(), unknown).available < kFourGibibytes + (1u << 30)) {
    DeleteFileA(path.c_str());
    GTEST_SKIP() << "the temporary directory cannot hold a copy of 4 GiB";
  }
  ASSERT_EQ(kFourGibibytes + tail.size(), vktest::fs::file_size(path));
  {
    VkLogFile log(path.c_str(), true, 0);
    log.SetSizeLimits(50, 4000);
  }
  ASSERT_EQ(50u, vktest::fs::file_size(path));
  EXPECT_EQ(tail.substr(50), ReadWholeFile(path));
}

}  // namespace
