// The file calls behave as Windows documents them. These run on both
// targets, so Wine checks the POSIX layer call by call.
#include <vk/platform.h>

#include <stdlib.h>
#include <string.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <string>

#include "support/test_support.h"

namespace {

using vktest::FileExists;

class PlatformFilesTest : public vktest::ScratchDirTest {
 protected:
  HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, 0, nullptr);
  }
};

TEST_F(PlatformFilesTest, MissingFilesAndDirectoriesHaveDistinctCodes) {
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(PathOf("none.txt"), GENERIC_READ, 0, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(PathOf("nodir/none.txt"), GENERIC_READ, 0, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
  vktest::WriteWholeFile(PathOf("here.txt"), "x");
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(PathOf("here.txt"), GENERIC_WRITE, 0, CREATE_NEW));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
}

TEST_F(PlatformFilesTest, OpenAlwaysTellsWhetherTheFileExisted) {
  HANDLE file = Open(PathOf("a.txt"), GENERIC_WRITE, 0, OPEN_ALWAYS);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  CloseHandle(file);
  file = Open(PathOf("a.txt"), GENERIC_WRITE, 0, OPEN_ALWAYS);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  CloseHandle(file);
}

TEST_F(PlatformFilesTest, AWriterSharingReadExcludesWritersButAdmitsReaders) {
  std::string path = PathOf("shared.txt");
  HANDLE writer = Open(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  HANDLE reader = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  EXPECT_NE(INVALID_HANDLE_VALUE, reader) << "readers that share write get in";
  HANDLE strictReader = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_EQ(INVALID_HANDLE_VALUE, strictReader) << "a reader that denies writing cannot join a writer";
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  EXPECT_TRUE(CopyFileA(path.c_str(), PathOf("copy.txt").c_str(), FALSE)) << "a held file can be copied";
  CloseHandle(reader);
  CloseHandle(writer);
  HANDLE again = Open(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS);
  EXPECT_NE(INVALID_HANDLE_VALUE, again) << "closing releases the file";
  CloseHandle(again);
}

TEST_F(PlatformFilesTest, ShareModeZeroExcludesEveryone) {
  std::string path = PathOf("mine.txt");
  vktest::WriteWholeFile(path, "data");
  HANDLE owner = Open(path, GENERIC_READ, 0, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, owner);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  EXPECT_FALSE(CopyFileA(path.c_str(), PathOf("copy.txt").c_str(), FALSE));
  CloseHandle(owner);
}

TEST_F(PlatformFilesTest, CreateAlwaysDoesNotTruncateAFileItMayNotOpen) {
  std::string path = PathOf("guarded.txt");
  vktest::WriteWholeFile(path, "precious");
  HANDLE owner = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, owner);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS));
  CloseHandle(owner);
  EXPECT_EQ("precious", vktest::ReadWholeFile(path));
}

TEST_F(PlatformFilesTest, DeleteWaitsForHandlesThatShareDelete) {
  std::string path = PathOf("doomed.txt");
  vktest::WriteWholeFile(path, "");
  HANDLE holder = Open(path, GENERIC_READ, FILE_SHARE_DELETE, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS)) << "writers are kept out";
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  CloseHandle(holder);
  EXPECT_FALSE(FileExists(path));
}

// Any user who may read a file can lock it in every way a read-only
// descriptor allows; an open then fails as for a handle that shares too
// little, in bounded time, also for a writer that asks again and so waits
// in line, and works again once the locks are gone.
TEST_F(PlatformFilesTest, LocksOfAReaderEndOpensInASharingViolationNotAHang) {
#if defined(_WIN32)
  GTEST_SKIP() << "flock and byte-range locks of another reader are POSIX's";
#else
  std::string path = PathOf("watched.log");
  vktest::WriteWholeFile(path, "kept\r\n");
  int reader = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  auto expectRefused = [&](const char* lock) {
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING))
        << lock;
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError()) << lock;
    for (const char* attempt : {"first", "again"}) {
      EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS)) << lock << " " << attempt;
      EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError()) << lock << " " << attempt;
    }
  };

  ASSERT_EQ(0, flock(reader, LOCK_EX));
  expectRefused("flock");
  ASSERT_EQ(0, flock(reader, LOCK_UN));

  struct flock everything = {};
  everything.l_type = F_RDLCK;
  everything.l_whence = SEEK_SET;  // from 0 to the end of all offsets
  ASSERT_EQ(0, fcntl(reader, F_OFD_SETLK, &everything));
  expectRefused("shared lock on every byte");
  close(reader);

  HANDLE writer = Open(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS);
  EXPECT_NE(INVALID_HANDLE_VALUE, writer) << "the reader is gone";
  CloseHandle(writer);
  EXPECT_EQ("kept\r\n", vktest::ReadWholeFile(path));
#endif
}

TEST_F(PlatformFilesTest, ReadWriteSeekTruncateAndSize) {
  std::string path = PathOf("rw.txt");
  HANDLE file = Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD done = 0;
  EXPECT_TRUE(WriteFile(file, "0123456789", 10, &done, nullptr));
  EXPECT_EQ(10u, done);
  EXPECT_EQ(4u, SetFilePointer(file, 4, nullptr, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(file));
  DWORD high = 7;
  EXPECT_EQ(4u, GetFileSize(file, &high));
  EXPECT_EQ(0u, high);
  EXPECT_EQ(1u, SetFilePointer(file, -3, nullptr, FILE_CURRENT));
  char buffer[16] = {};
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(3u, done);
  EXPECT_STREQ("123", buffer);
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(0u, done) << "end of file reads nothing and succeeds";
  EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -10, nullptr, FILE_BEGIN));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NEGATIVE_SEEK), GetLastError());
  EXPECT_TRUE(FlushFileBuffers(file));
  CloseHandle(file);
}

TEST_F(PlatformFilesTest, HandlesRefuseWhatTheirAccessDoesNotAllow) {
  std::string path = PathOf("ro.txt");
  vktest::WriteWholeFile(path, "abc");
  HANDLE file = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD done = 0;
  EXPECT_FALSE(WriteFile(file, "x", 1, &done, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(FlushFileBuffers(file));
  CloseHandle(file);
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(PlatformFilesTest, CopyingASparseFileKeepsItsDataAndSize) {
  const LONG kHole = 4 << 20;
  std::string path = PathOf("sparse.bin");
  HANDLE file = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "head", 4, &written, nullptr));
  EXPECT_NE(INVALID_SET_FILE_POINTER, SetFilePointer(file, kHole, nullptr, FILE_BEGIN));
  EXPECT_TRUE(WriteFile(file, "tail", 4, &written, nullptr));
  EXPECT_NE(INVALID_SET_FILE_POINTER, SetFilePointer(file, 2 * kHole, nullptr, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(file)) << "a hole up to the end";
  CloseHandle(file);

  std::string copy = PathOf("copy.bin");
  ASSERT_TRUE(CopyFileA(path.c_str(), copy.c_str(), FALSE));
  EXPECT_EQ(static_cast<uintmax_t>(2 * kHole), vktest::fs::file_size(copy));
  std::string content = vktest::ReadWholeFile(copy);
  ASSERT_EQ(static_cast<size_t>(2 * kHole), content.size());
  EXPECT_EQ("head", content.substr(0, 4));
  EXPECT_EQ("tail", content.substr(kHole, 4));
  EXPECT_EQ(static_cast<size_t>(kHole), content.find_first_not_of('\0', 4)) << "the hole reads as zeros";
  EXPECT_EQ(std::string::npos, content.find_first_not_of('\0', kHole + 4)) << "the hole at the end reads as zeros";
}

TEST_F(PlatformFilesTest, TempFileNamesAreNewFilesWithThePrefix) {
  char directory[MAX_PATH];
  ASSERT_GT(GetTempPathA(sizeof directory, directory), 0u);
  std::string dir = directory;
  char last = dir.back();
  EXPECT_TRUE(last == '/' || last == '\\');
  EXPECT_EQ(dir.size() + 1, GetTempPathA(2, directory)) << "a short buffer asks for the size with terminator";

  std::string here = m_dir.string();
  char first[MAX_PATH];
  char second[MAX_PATH];
  ASSERT_NE(0u, GetTempFileNameA(here.c_str(), "CLFX", 0, first));
  ASSERT_NE(0u, GetTempFileNameA(here.c_str(), "CLF", 0, second));
  EXPECT_STRNE(first, second);
  EXPECT_EQ(0u, std::string(PathFindFileNameA(first)).find("CLF"));
  EXPECT_NE(std::string::npos, std::string(first).find(".tmp")) << first;
  EXPECT_TRUE(FileExists(first));
  EXPECT_TRUE(FileExists(second));
}

TEST_F(PlatformFilesTest, PathHelpers) {
  const char* sep = vktest::IsWindowsTarget() ? "\\" : "/";
  std::string path = std::string(sep) + "dir" + sep + "app.exe";
  EXPECT_STREQ("app.exe", PathFindFileNameA(path.c_str()));
  EXPECT_STREQ(".exe", PathFindExtensionA(path.c_str()));
  std::string noExt = std::string(sep) + "d.x" + sep + "app";
  EXPECT_STREQ("", PathFindExtensionA(noExt.c_str()));
  char buffer[MAX_PATH] = "";
  PathAddBackslashA(buffer);
  EXPECT_STREQ("", buffer);
  strcpy(buffer, "dir");
  PathAddBackslashA(buffer);
  PathAddBackslashA(buffer);
  EXPECT_EQ(std::string("dir") + sep, buffer);
  EXPECT_TRUE(PathIsRelativeA("dir"));
  EXPECT_FALSE(PathIsRelativeA(m_dir.string().c_str()));

  std::string deep = PathOf("a") + sep + "b" + sep + "file.txt";
  EXPECT_TRUE(MakeSureDirectoryPathExists(deep.c_str()));
  EXPECT_TRUE(FileExists(PathOf("a") + sep + "b"));
  EXPECT_FALSE(FileExists(deep)) << "the last component is a file name";
}

// Wine's answers: a path of MAX_PATH characters or more is refused (null,
// left alone) even when it already ends in a separator.
TEST_F(PlatformFilesTest, AddingASeparatorRefusesPathsOfMaxPathOrMore) {
  const char sep = vktest::IsWindowsTarget() ? '\\' : '/';
  auto add = [](std::string text, std::string* result) {
    char buffer[300];
    strcpy(buffer, text.c_str());
    char* end = PathAddBackslashA(buffer);
    *result = buffer;
    return end ? static_cast<long>(end - buffer) : -1L;
  };
  std::string result;
  EXPECT_EQ(259, add(std::string(258, 'a'), &result));
  EXPECT_EQ(std::string(258, 'a') + sep, result);
  EXPECT_EQ(259, add(std::string(258, 'a') + sep, &result)) << "already ends in one";
  for (size_t length : {260u, 265u, 269u}) {
    std::string plain(length, 'a');
    EXPECT_EQ(-1, add(plain, &result)) << length;
    EXPECT_EQ(plain, result);
    std::string ended = std::string(length - 1, 'a') + sep;
    EXPECT_EQ(-1, add(ended, &result)) << length;
    EXPECT_EQ(ended, result);
  }
  // 259 characters: Windows adds the separator and so writes 261 bytes
  // into what callers size as a MAX_PATH buffer; the POSIX layer refuses.
  if (!vktest::IsWindowsTarget()) {
    EXPECT_EQ(-1, add(std::string(259, 'a'), &result));
  }
}

TEST_F(PlatformFilesTest, BoundedFormattingFollowsTheTruncationContract) {
  auto format = [](char* buffer, size_t size, size_t count, const char* f, ...) {
    va_list args;
    va_start(args, f);
    int n = _vsnprintf_s(buffer, size, count, f, args);
    va_end(args);
    return n;
  };
  char buffer[8];
  EXPECT_EQ(5, format(buffer, sizeof buffer, 7, "%s", "hello"));
  EXPECT_STREQ("hello", buffer);
  EXPECT_EQ(-1, format(buffer, sizeof buffer, 7, "%s", "abcdefghij"));
  EXPECT_STREQ("abcdefg", buffer);
  EXPECT_EQ(7, format(buffer, sizeof buffer, 7, "%s", "1234567"));
  EXPECT_EQ(-1, format(buffer, sizeof buffer, _TRUNCATE, "%d", 123456789));
  EXPECT_STREQ("1234567", buffer);
}

TEST_F(PlatformFilesTest, ModuleFileNameIsCutToTheBuffer) {
  char full[MAX_PATH] = "";
  DWORD length = GetModuleFileNameA(nullptr, full, sizeof full);
  ASSERT_GT(length, 5u);
  EXPECT_TRUE(FileExists(full));
  char cut[6];
  EXPECT_EQ(6u, GetModuleFileNameA(nullptr, cut, sizeof cut));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(std::string(full, 5), std::string(cut, 5)) << "Windows since Vista also terminates; XP and Wine do not";
}

// SearchPathA without a search path looks beside the executable, in the
// current directory, then along $PATH in its order; a given search path is
// a list of its own. The POSIX layer separates both lists with ':'.
TEST_F(PlatformFilesTest, SearchFollowsTheOrderOfItsDirectories) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "Windows searches its system directories and separates with ';'";
#if !defined(_WIN32)
  const char name[] = "vkdiag-search-probe.txt";
  for (const char* directory : {"a", "b", "c", "cwd"}) vktest::fs::create_directories(m_dir / directory);
  for (const char* directory : {"b", "c", "cwd"}) vktest::WriteWholeFile(PathOf(std::string(directory) + "/" + name), directory);
  std::string a = PathOf("a"), b = PathOf("b"), c = PathOf("c");
  char found[MAX_PATH] = "";
  EXPECT_GT(SearchPathA((a + "::" + c).c_str(), name, nullptr, sizeof found, found, nullptr), 0u);
  EXPECT_EQ(c + "/" + name, found) << "an empty entry is skipped";

  std::string path = getenv("PATH") ? getenv("PATH") : "";
  vktest::fs::path directory = vktest::fs::current_path();
  setenv("PATH", (a + ":" + b + ":" + c).c_str(), 1);
  EXPECT_GT(SearchPathA(nullptr, name, nullptr, sizeof found, found, nullptr), 0u);
  EXPECT_EQ(b + "/" + name, found) << "the first directory of $PATH that has it";
  vktest::fs::current_path(m_dir / "cwd");
  EXPECT_GT(SearchPathA(nullptr, name, nullptr, sizeof found, found, nullptr), 0u);
  EXPECT_EQ(PathOf("cwd") + "/" + name, found) << "the current directory comes before $PATH";
  vktest::fs::current_path(directory);
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(0u, SearchPathA(a.c_str(), name, nullptr, sizeof found, found, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
#endif
}

}  // namespace

namespace {

// An installed program's SearchPathA finds the message module in the system
// directory; a buffer too small gets the size it needs, as on Windows.
TEST(SystemDirectoryTest, NamesOneAbsoluteDirectoryAndTheRoomItNeeds) {
  char directory[MAX_PATH] = "";
  UINT length = GetSystemDirectoryA(directory, sizeof directory);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(strlen(directory), length);
  char small[2] = "x";
  EXPECT_EQ(length + 1, GetSystemDirectoryA(small, sizeof small)) << "the size with its terminator";
  EXPECT_EQ('x', small[0]) << "a buffer too small is left alone";
#if !defined(_WIN32)
  EXPECT_EQ('/', directory[0]);
  EXPECT_STREQ("/vkdiag", directory + length - 7) << "the installed library's own directory of modules";
#endif
}

}  // namespace
