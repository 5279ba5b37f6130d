// The file calls behave as Windows documents them. These run on both
// targets, so Wine checks the POSIX layer call by call.
#include <vk/platform.h>

#include <stdlib.h>
#include <string.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "files/lock_waits.h"
#include "files/wake_words.h"
#endif

#include <string>

#include "support/test_support.h"

namespace {

using vktest::FileExists;

class PlatformFilesTest : public vktest::ScratchDirTest {
 protected:
  HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
  }
  // Whether an open succeeds; the handle is closed again.
  bool Opens(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0) {
    HANDLE file = Open(path, access, share, disposition, flags);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
  }
  // The last error of an open that must fail.
  DWORD OpenError(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    HANDLE file = Open(path, access, share, disposition);
    DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return file == INVALID_HANDLE_VALUE ? error : ERROR_SUCCESS;
  }
  // Seeks to the start and writes, through a handle of the given access.
  std::string WriteAtStart(DWORD access, const char* text) {
    std::string path = PathOf("rights.txt");
    vktest::WriteWholeFile(path, "0123");
    HANDLE file = Open(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    EXPECT_NE(INVALID_HANDLE_VALUE, file);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(file, text, static_cast<DWORD>(strlen(text)), &done, nullptr)) << GetLastError();
    CloseHandle(file);
    return vktest::ReadWholeFile(path);
  }
};

// Holds the file args[0] open with the access args[1] and no sharing until
// the file args[3] appears; args[2] appears once it is open.
VK_CHILD_MAIN(hold_file) {
  HANDLE file = CreateFileA(args.at(0).c_str(), static_cast<DWORD>(std::stoul(args.at(1))), 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  vktest::WriteWholeFile(args.at(2), "open");
  bool released = vktest::AwaitFile(args.at(3));
  CloseHandle(file);
  return released ? 0 : 2;
}

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

// Only data access takes part in sharing: a handle without it (access 0,
// FILE_READ_ATTRIBUTES) is never refused and its share mode denies no one,
// in this process or another.
TEST_F(PlatformFilesTest, HandlesWithoutDataAccessNeitherConflictNorRestrict) {
  std::string path = PathOf("attributes.txt");
  vktest::WriteWholeFile(path, "data");
  HANDLE writer = Open(path, GENERIC_WRITE, 0, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  EXPECT_TRUE(Opens(path, 0, 0, OPEN_EXISTING)) << GetLastError();
  EXPECT_TRUE(Opens(path, FILE_READ_ATTRIBUTES, 0, OPEN_EXISTING)) << GetLastError();
  CloseHandle(writer);

  HANDLE holder = Open(path, FILE_READ_ATTRIBUTES, 0, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  EXPECT_TRUE(Opens(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING)) << GetLastError();
  CloseHandle(holder);

  vktest::ChildProcess child("hold_file", {path, std::to_string(0), PathOf("open"), PathOf("release")});
  ASSERT_TRUE(vktest::AwaitFile(PathOf("open")));
  EXPECT_TRUE(Opens(path, GENERIC_WRITE, 0, OPEN_EXISTING)) << GetLastError();
  EXPECT_TRUE(DeleteFileA(path.c_str())) << GetLastError();
  vktest::WriteWholeFile(PathOf("release"), "");
  EXPECT_EQ(0, child.Wait());
}

// The specific rights do what the generic ones stand for: FILE_READ_DATA
// reads, FILE_WRITE_DATA writes, GENERIC_ALL does both, and each handle
// refuses the other with ERROR_ACCESS_DENIED.
TEST_F(PlatformFilesTest, SpecificRightsReadAndWriteAsTheirGenericKin) {
  std::string path = PathOf("specific.txt");
  vktest::WriteWholeFile(path, "0123");
  char buffer[8] = "";
  DWORD done = 0;
  HANDLE reader = Open(path, FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, reader);
  EXPECT_TRUE(ReadFile(reader, buffer, 4, &done, nullptr));
  EXPECT_EQ("0123", std::string(buffer, done));
  EXPECT_FALSE(WriteFile(reader, "x", 1, &done, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  CloseHandle(reader);

  HANDLE writer = Open(path, FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  EXPECT_TRUE(WriteFile(writer, "AB", 2, &done, nullptr));
  EXPECT_FALSE(ReadFile(writer, buffer, 4, &done, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  CloseHandle(writer);
  EXPECT_EQ("AB23", vktest::ReadWholeFile(path));

  HANDLE all = Open(path, GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, all);
  EXPECT_TRUE(ReadFile(all, buffer, 2, &done, nullptr));
  EXPECT_TRUE(WriteFile(all, "CD", 2, &done, nullptr));
  CloseHandle(all);
  EXPECT_EQ("ABCD", vktest::ReadWholeFile(path));
}

// FILE_APPEND_DATA without FILE_WRITE_DATA writes at the end, wherever the
// file pointer stands; with it, where the pointer stands.
TEST_F(PlatformFilesTest, AppendOnlyHandlesWriteAtTheEnd) {
  EXPECT_EQ("0123AB", WriteAtStart(FILE_APPEND_DATA, "AB"));
  EXPECT_EQ("0123AB", WriteAtStart(FILE_APPEND_DATA | GENERIC_READ, "AB"));
  EXPECT_EQ("AB23", WriteAtStart(FILE_APPEND_DATA | FILE_WRITE_DATA, "AB"));
}

TEST_F(PlatformFilesTest, SpecificRightsCountForSharing) {
  std::string path = PathOf("counted.txt");
  vktest::WriteWholeFile(path, "data");
  HANDLE writer = Open(path, FILE_WRITE_DATA, 0, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION),
            OpenError(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING));
  CloseHandle(writer);
  HANDLE reader = Open(path, FILE_READ_DATA, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, reader);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION),
            OpenError(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING))
      << "appending is writing";
  CloseHandle(reader);
}

// CREATE_ALWAYS and TRUNCATE_EXISTING empty an existing file whatever the
// access asked for, as Wine does; a missing file stays missing.
TEST_F(PlatformFilesTest, TruncatingDispositionsTruncateWhateverTheAccess) {
  std::string path = PathOf("truncated.txt");
  for (DWORD disposition : {static_cast<DWORD>(TRUNCATE_EXISTING), static_cast<DWORD>(CREATE_ALWAYS)}) {
    vktest::WriteWholeFile(path, "0123");
    HANDLE file = Open(path, GENERIC_READ, FILE_SHARE_READ, disposition);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << disposition << ": " << GetLastError();
    EXPECT_EQ(0u, GetFileSize(file, nullptr)) << disposition;
    DWORD done = 0;
    EXPECT_FALSE(WriteFile(file, "x", 1, &done, nullptr)) << "the handle still only reads";
    CloseHandle(file);
  }
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
            OpenError(PathOf("absent.txt"), GENERIC_READ, FILE_SHARE_READ, TRUNCATE_EXISTING));
}

// Flags that tune caching open files as any other; the layer refuses only
// the flags whose promise it cannot keep (Wine takes them all).
TEST_F(PlatformFilesTest, CachingFlagsOpenFiles) {
  std::string path = PathOf("flags.txt");
  vktest::WriteWholeFile(path, "data");
  const DWORD caching[] = {static_cast<DWORD>(FILE_FLAG_SEQUENTIAL_SCAN), static_cast<DWORD>(FILE_FLAG_RANDOM_ACCESS),
                           static_cast<DWORD>(FILE_FLAG_WRITE_THROUGH), static_cast<DWORD>(FILE_FLAG_NO_BUFFERING)};
  for (DWORD flag : caching) {
    EXPECT_TRUE(Opens(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, flag)) << std::hex << flag;
  }
  HANDLE file = Open(PathOf("through.txt"), GENERIC_WRITE, 0, CREATE_NEW, FILE_FLAG_WRITE_THROUGH);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD done = 0;
  EXPECT_TRUE(WriteFile(file, "synced", 6, &done, nullptr));
  CloseHandle(file);
  EXPECT_EQ("synced", vktest::ReadWholeFile(PathOf("through.txt")));
  if (vktest::IsWindowsTarget()) return;
  for (DWORD flag : {static_cast<DWORD>(FILE_FLAG_OVERLAPPED), static_cast<DWORD>(FILE_FLAG_DELETE_ON_CLOSE)}) {
    EXPECT_FALSE(Opens(path, GENERIC_READ, 0, OPEN_EXISTING, flag)) << std::hex << flag;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  }
}

// A separator after a file's name makes it no file name (ERROR_INVALID_NAME);
// a missing one is still not found, and a directory's stays access denied.
TEST_F(PlatformFilesTest, ANameEndingInASeparatorNamesNoFile) {
  const std::string sep = vktest::IsWindowsTarget() ? "\\" : "/";
  vktest::WriteWholeFile(PathOf("here.txt"), "x");
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), OpenError(PathOf("here.txt") + sep, GENERIC_READ, 0, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), OpenError(PathOf("new.txt") + sep, GENERIC_WRITE, 0, CREATE_ALWAYS));
  EXPECT_FALSE(FileExists(PathOf("new.txt")));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), OpenError(PathOf("gone.txt") + sep, GENERIC_READ, 0, OPEN_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), OpenError(m_dir.string() + sep, GENERIC_READ, 0, OPEN_EXISTING));
}

// A size whose low 32 bits are all ones is told apart from a failure by a
// last error of NO_ERROR, as GetFileSize documents.
TEST_F(PlatformFilesTest, ASizeOfAllOnesClearsTheLastError) {
  HANDLE file = Open(PathOf("sparse4g.bin"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  LONG high = 0;
  ASSERT_EQ(0xFFFFFFFEu, SetFilePointer(file, static_cast<LONG>(0xFFFFFFFEu), &high, FILE_BEGIN));
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(file, "x", 1, &done, nullptr));
  SetLastError(1234);
  DWORD sizeHigh = 7;
  EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(file, &sizeHigh));
  EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetLastError());
  EXPECT_EQ(0u, sizeHigh);
  CloseHandle(file);
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
// A writer waiting for a lock sleeps on the file's first page until the
// process that lets the lock go wakes it, through a description of its
// own: a place in line, whose word lies past the end of a short file, and
// a share marker.
TEST_F(PlatformFilesTest, ALockLetGoWakesTheWriterSleepingForIt) {
#if defined(_WIN32)
  GTEST_SKIP() << "the kernel wakes waiting openers itself on Windows";
#else
  std::string path = PathOf("line.log");
  vktest::WriteWholeFile(path, "a short log");
  const off_t placeInLine = (off_t{1} << 62) + 1234567;
  const off_t shareMarker = INT64_MAX - 63;
  for (off_t byte : {placeInLine, shareMarker}) {
    SCOPED_TRACE(byte);
    int sleeperFd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    int wakerFd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_TRUE(sleeperFd >= 0 && wakerFd >= 0);
    {
      vk_posix::FileWakeWord sleeper(sleeperFd);
      vk_posix::FileWakeWord waker(wakerFd);
      ASSERT_TRUE(sleeper.usable() && waker.usable());
      const int64_t deadline = vk_posix::MonotonicNanoseconds() + 20 * 1000000000LL;
      std::atomic<bool> returned{false};
      std::thread waiting([&] {
        sleeper.SleepFor(byte, deadline);
        returned = true;
      });
      for (int round = 0; !returned && round < 1000000; ++round) {
        waker.Wake(byte);
        std::this_thread::yield();
      }
      waiting.join();
      EXPECT_LT(vk_posix::MonotonicNanoseconds(), deadline) << "the sleep ran to its end: the wake did not reach it";
    }
    close(sleeperFd);
    close(wakerFd);
  }
#endif
}

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
