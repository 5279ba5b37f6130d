// The log file writer as a host module uses it: paths, prefix, banner,
// line ends, long texts, options, empty files and disabled writers.
#include <vk/log_file.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using Vk::VkLogFile;
using vktest::FileExists;
using vktest::ReadWholeFile;

constexpr DWORD kBare = 0;  // no prefix, no banner, no line end

std::string ProcessName() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  return PathFindFileNameA(path);
}

std::string Repeat(char c, size_t n) { return std::string(n, c); }

class LogFileTest : public vktest::ScratchDirTest {};

TEST_F(LogFileTest, DefaultPathIsTheExecutableWithExtensionLog) {
  VkLogFile log(false);
  char exe[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  std::string expected(exe);
  expected = expected.substr(0, expected.size() - std::string(PathFindExtensionA(exe)).size());
  expected += vktest::IsWindowsTarget() ? ".Log" : "Log";  // the test binary has no extension on POSIX
  EXPECT_EQ(expected, log.GetFullPath());
  EXPECT_EQ(std::string(PathFindFileNameA(expected.c_str())), log.GetFileName());
  std::string directory = log.GetDirectory();
  EXPECT_EQ(expected, directory + log.GetFileName());
  EXPECT_FALSE(FileExists(expected)) << "a disabled writer creates nothing";
}

TEST_F(LogFileTest, DisabledWriterTouchesNothing) {
  std::string path = PathOf("off.log");
  VkLogFile log(path.c_str(), false, VkLogFile::VKLF_DEFAULT);
  EXPECT_TRUE(log.Write("text %d", 1));
  EXPECT_TRUE(log.Open(true));
  EXPECT_FALSE(log.IsOpen());
  EXPECT_FALSE(log.Restart());
  EXPECT_FALSE(FileExists(path));
}

TEST_F(LogFileTest, EnablingWithoutTextLeavesNoFileButKeepsAnExistingOne) {
  std::string fresh = PathOf("fresh.log");
  {
    VkLogFile log(fresh.c_str(), true, VkLogFile::VKLF_DEFAULT & ~VkLogFile::VKLF_BANNER);
    EXPECT_TRUE(log.SetFullPath(fresh.c_str())) << "opening at start succeeds";
    EXPECT_FALSE(log.IsOpen()) << "the opener closed it again";
    EXPECT_FALSE(FileExists(fresh));
  }
  EXPECT_FALSE(FileExists(fresh));

  std::string existing = PathOf("existing.log");
  vktest::WriteWholeFile(existing, "old content\r\n");
  {
    VkLogFile log(existing.c_str(), true, kBare);
  }
  EXPECT_EQ("old content\r\n", ReadWholeFile(existing));
}

TEST_F(LogFileTest, DefaultOptionsWriteBannerPrefixedLinesAndStopLine) {
  std::string path = PathOf("app.Log");
  {
    VkLogFile log(path.c_str(), true, VkLogFile::VKLF_DEFAULT);
    EXPECT_TRUE(log.Write("ready"));
  }
  std::string content = ReadWholeFile(path);
  std::string prefix = ProcessName() + " : ";
  // Each line: process name, date and time, text, CR LF.
  std::vector<std::string> texts = {"-------------------------------------------------", "Log " + path + " started.",
                                    "ready", "Log " + path + " stopped."};
  size_t position = 0;
  for (const std::string& text : texts) {
    size_t end = content.find("\r\n", position);
    ASSERT_NE(std::string::npos, end) << content;
    std::string line = content.substr(position, end - position);
    EXPECT_EQ(0u, line.find(prefix)) << line;
    EXPECT_EQ(line.size() - text.size() - 3, line.rfind(" : " + text)) << line;
    std::string stamp = line.substr(prefix.size(), line.size() - prefix.size() - text.size() - 3);
    EXPECT_NE(std::string::npos, stamp.find(' ')) << "date and time: " << stamp;
    position = end + 2;
  }
  EXPECT_EQ(content.size(), position);
}

TEST_F(LogFileTest, DateAndTimeFollowTheUserFormats) {
  std::string path = PathOf("stamp.log");
  SYSTEMTIME before;
  GetLocalTime(&before);
  {
    VkLogFile log(path.c_str(), true, VkLogFile::VKLF_TIMESTAMP);
    log.Write("x");
  }
  char date[64] = "";
  ASSERT_GT(GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &before, nullptr, date, sizeof date), 0);
  std::string content = ReadWholeFile(path);
  EXPECT_EQ(0u, content.find(std::string(date) + " ")) << content;
  EXPECT_EQ(content.size() - 4, content.find(" : x"));
}

TEST_F(LogFileTest, LineEndsAreAddedOnlyWhereMissing) {
  std::string path = PathOf("crlf.log");
  {
    VkLogFile log(path.c_str(), true, VkLogFile::VKLF_CRLF);
    log.Write("ab");       // two characters: gets CR LF
    log.Write("c");        // one character: none
    log.Write("line\n");   // ends in LF: none
    log.Write("line\r");   // ends in CR: none
    log.Write("%s", "");   // empty: none
  }
  EXPECT_EQ("ab\r\ncline\nline\r", ReadWholeFile(path));
}

TEST_F(LogFileTest, PercentSignsInArgumentsAreWrittenLiterally) {
  std::string path = PathOf("percent.log");
  {
    VkLogFile log(path.c_str(), true, kBare);
    log.Write("%s|%d", "100% %s", 42);
  }
  EXPECT_EQ("100% %s|42", ReadWholeFile(path));
}

TEST_F(LogFileTest, LongTextsGrowTheBufferThenAreCut) {
  std::string path = PathOf("long.log");
  std::string medium = Repeat('m', 300);
  std::string huge = Repeat('h', 200000);
  {
    VkLogFile log(path.c_str(), true, kBare);
    EXPECT_TRUE(log.Write("%s", medium.c_str()));
    EXPECT_TRUE(log.Write("%s", huge.c_str()));
    EXPECT_TRUE(log.Write("|%s", huge.c_str()));
  }
  std::string expected = medium + Repeat('h', 131071) + "|" + Repeat('h', 131070);
  std::string content = ReadWholeFile(path);
  EXPECT_EQ(expected.size(), content.size());
  EXPECT_TRUE(content == expected);
}

// Widths and precisions far beyond the largest buffer: measured once and
// formatted once, they are cut exactly where a long text is; a text that
// fits a buffer grown in between keeps every character.
TEST_F(LogFileTest, OverwideFormatsAreCutWhereLongTextsAre) {
  std::string path = PathOf("wide.log");
  {
    VkLogFile log(path.c_str(), true, kBare);
    EXPECT_TRUE(log.Write("%*d|", 1000, 7));
    EXPECT_TRUE(log.Write("%-*d|", 300000, 7));
    EXPECT_TRUE(log.Write("%.*f", 300000, 0.5));
  }
  std::string expected = Repeat(' ', 999) + "7|" + "7" + Repeat(' ', 131070) + "0.5" + Repeat('0', 131068);
  std::string content = ReadWholeFile(path);
  EXPECT_EQ(expected.size(), content.size());
  EXPECT_TRUE(content == expected);
}

TEST_F(LogFileTest, OptionArithmetic) {
  VkLogFile log(PathOf("options.log").c_str(), false, VkLogFile::VKLF_DEFAULT);
  log.ChangeOptions(VkLogFile::VKLF_BANNER | VkLogFile::VKLF_CRLF, 0);
  EXPECT_EQ(0xA5u, log.GetOptions());
  EXPECT_TRUE(log.HasOptions(0));
  log.SetOptions(0x040);
  EXPECT_FALSE(log.HasOptions(VkLogFile::VKLF_MODULEPATH));
  EXPECT_FALSE(log.HasOptions(VkLogFile::VKLF_MODULE));
  log.SetOptions(0x1000 | VkLogFile::VKLF_MODULEPATH);
  EXPECT_TRUE(log.HasOptions(VkLogFile::VKLF_MODULEPATH));
  EXPECT_EQ(0x1060u, log.GetOptions()) << "unknown bits are kept";
}

TEST_F(LogFileTest, ModulePrefixPieces) {
  char exe[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  struct Case {
    DWORD options;
    std::string expected;
  } cases[] = {
      {0x040, "t"},  // bit 0x040 alone adds nothing
      {VkLogFile::VKLF_MODULE, ProcessName() + " : t"},
      {VkLogFile::VKLF_MODULEPATH, std::string(exe) + " : t"},
      {VkLogFile::VKLF_METHOD, "Run : t"},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string path = PathOf("prefix" + std::to_string(n++) + ".log");
    {
      VkLogFile log(path.c_str(), true, c.options);
      log.SetMethodName("Run");
      log.Write("t");
    }
    EXPECT_EQ(c.expected, ReadWholeFile(path)) << std::hex << c.options;
  }
}

TEST_F(LogFileTest, BannerPrecedesOnlyTheFirstTextAfterAStart) {
  std::string path = PathOf("banner.log");
  {
    VkLogFile log(path.c_str(), true, VkLogFile::VKLF_BANNER | VkLogFile::VKLF_CRLF);
    log.Write("one");
    log.Write("two");
    log.Restart();
    log.Write("three");
    log.SetOptions(VkLogFile::VKLF_CRLF);  // no stop line
  }
  std::string dashes = Repeat('-', 49) + "\r\n";
  std::string started = "Log " + path + " started.\r\n";
  EXPECT_EQ(dashes + started + "one\r\ntwo\r\n" + dashes + started + "three\r\n", ReadWholeFile(path));
}

TEST_F(LogFileTest, DestroyingAnUnusedBannerWriterWritesStartAndStop) {
  std::string path = PathOf("unused.log");
  { VkLogFile log(path.c_str(), true, VkLogFile::VKLF_BANNER | VkLogFile::VKLF_CRLF); }
  EXPECT_EQ(Repeat('-', 49) + "\r\nLog " + path + " started.\r\nLog " + path + " stopped.\r\n", ReadWholeFile(path));
}

TEST_F(LogFileTest, NewFileOptionRecreatesTheFile) {
  std::string path = PathOf("new.log");
  vktest::WriteWholeFile(path, "previous run\r\n");
  VkLogFile log(path.c_str(), true, kBare);
  log.SetOptions(VkLogFile::VKLF_NEWFILE);
  EXPECT_FALSE(FileExists(path)) << "deleted, and the empty new file is removed on close";
  log.Write("fresh");
  EXPECT_EQ("fresh", ReadWholeFile(path));
  log.SetFullPath(path.c_str());
  EXPECT_FALSE(FileExists(path));
}

TEST_F(LogFileTest, KeepOpenWriterKeepsOtherWritersOutButAdmitsReaders) {
  std::string path = PathOf("kept.log");
  VkLogFile holder(path.c_str(), true, VkLogFile::VKLF_KEEPOPEN);
  holder.Write("first ");
  EXPECT_TRUE(holder.IsOpen());
  {
    VkLogFile other(path.c_str(), true, kBare);
    EXPECT_FALSE(other.Write("lost")) << "the other writer's text cannot reach the file";
  }
  EXPECT_EQ("first ", ReadWholeFile(path)) << "readers may read while it is held";
  holder.Write("second");
  holder.Close();
  EXPECT_EQ("first second", ReadWholeFile(path));
}

TEST_F(LogFileTest, KeepOpenWriterLetsGoOfItsFileWhenGivenAPathItRefuses) {
  std::string path = PathOf("held.log");
  std::string dashes = Repeat('-', 49) + "\r\n";
  std::string started = "Log " + path + " started.\r\n";
  VkLogFile log(path.c_str(), true, VkLogFile::VKLF_KEEPOPEN | VkLogFile::VKLF_BANNER | VkLogFile::VKLF_CRLF);
  EXPECT_TRUE(log.Write("kept"));

  EXPECT_FALSE(log.SetFullPath("")) << "an empty path";
  EXPECT_FALSE(log.IsOpen()) << "the file held before is let go";
  EXPECT_FALSE(log.Write("nowhere")) << "no path, no file";
  {
    VkLogFile other(path.c_str(), true, kBare);
    EXPECT_TRUE(other.Write("other\r\n")) << "another writer gets in";
  }

  EXPECT_TRUE(log.SetFullPath(path.c_str()));
  EXPECT_TRUE(log.IsOpen());
  EXPECT_FALSE(log.SetDirectory(Repeat('d', 265).c_str())) << "a directory and name that do not fit";
  EXPECT_FALSE(log.IsOpen());
  EXPECT_FALSE(log.Write("nowhere either"));

  EXPECT_TRUE(log.SetFullPath(path.c_str())) << "an accepted path ends the refusal";
  EXPECT_TRUE(log.Write("back"));
  log.SetOptions(VkLogFile::VKLF_KEEPOPEN | VkLogFile::VKLF_CRLF);  // no stop line
  log.Close();
  EXPECT_EQ(dashes + started + "kept\r\nother\r\n" + dashes + started + "back\r\n", ReadWholeFile(path));
}

TEST_F(LogFileTest, PathChangeDeletesTheEmptyFileTheWriterHeld) {
  std::string first = PathOf("first.log");
  std::string second = PathOf("second.log");
  VkLogFile log(first.c_str(), true, VkLogFile::VKLF_KEEPOPEN);
  EXPECT_TRUE(FileExists(first)) << "held open, still empty";
  EXPECT_TRUE(log.SetFullPath(second.c_str()));
  EXPECT_FALSE(FileExists(first)) << "closed empty, so deleted";
  log.Write("text");
  EXPECT_TRUE(log.SetFileName("third.log"));
  EXPECT_EQ("text", ReadWholeFile(second)) << "a file with text stays";
  log.Close();
  EXPECT_FALSE(FileExists(PathOf("third.log")));
}

// Glued to the name without its separator, such a directory would name a
// file in its parent directory.
TEST_F(LogFileTest, DirectoryThatCannotTakeItsSeparatorIsRefused) {
  std::string parent = m_dir.string() + (vktest::IsWindowsTarget() ? "\\" : "/");
  std::vector<size_t> lengths = {260, 262, 264};
  if (!vktest::IsWindowsTarget()) lengths.push_back(259);  // Windows still adds the separator there
  for (size_t length : lengths) {
    ASSERT_LT(parent.size(), 200u) << "the scratch directory's path is too long for this test";
    std::string directory = parent + Repeat('d', length - parent.size());
    VkLogFile log(PathOf("a.log").c_str(), true, kBare);
    EXPECT_FALSE(log.SetDirectory(directory.c_str())) << length;
    EXPECT_STREQ("", log.GetFullPath()) << length;
    EXPECT_FALSE(log.Write("lost")) << length;
    EXPECT_TRUE(vktest::fs::is_empty(m_dir)) << length << ": a file was made in the parent directory";
  }
}

// Cut at 269 characters, such a name or path would name another file.
TEST_F(LogFileTest, OverlongNamesAndPathsAreRefusedNotCut) {
  std::string overlong = PathOf(Repeat('n', 300));
  VkLogFile log("", true, kBare);  // no directory
  EXPECT_FALSE(log.SetFileName(overlong.c_str()));
  EXPECT_STREQ("", log.GetFullPath());
  EXPECT_FALSE(log.Write("lost"));
  EXPECT_TRUE(vktest::fs::is_empty(m_dir)) << "a file was made under the cut name";

  EXPECT_FALSE(log.SetFullPath(overlong.c_str()));
  EXPECT_STREQ("", log.GetFullPath());
  EXPECT_FALSE(log.Write("lost"));
  EXPECT_TRUE(vktest::fs::is_empty(m_dir)) << "a file was made under the cut path";

  EXPECT_TRUE(log.SetFullPath(PathOf("a.log").c_str()));
  EXPECT_FALSE(log.SetFileName(overlong.c_str()));
  EXPECT_STREQ("a.log", log.GetFileName()) << "the refused name is not kept";
}

TEST_F(LogFileTest, WriteReportsTextsThatCannotReachTheFile) {
  std::string path = PathOf("missing-dir/x.log");
  VkLogFile log(path.c_str(), true, VkLogFile::VKLF_BANNER);
  EXPECT_FALSE(log.Write("lost"));
  EXPECT_FALSE(FileExists(PathOf("missing-dir"))) << "the writer never creates directories";
  log.SetOptions(0);
}

TEST_F(LogFileTest, BannerWaitsForTheFirstTextThatGetsThrough) {
  std::string directory = PathOf("later");
  std::string path = PathOf("later/x.log");
  VkLogFile log(path.c_str(), true, VkLogFile::VKLF_BANNER | VkLogFile::VKLF_CRLF);
  EXPECT_FALSE(log.Write("lost"));
  vktest::fs::create_directories(directory);
  EXPECT_TRUE(log.Write("kept"));
  log.SetOptions(VkLogFile::VKLF_CRLF);
  EXPECT_EQ(Repeat('-', 49) + "\r\nLog " + path + " started.\r\nkept\r\n", ReadWholeFile(path));
}

TEST_F(LogFileTest, PathOperationsSplitAndJoin) {
  VkLogFile log(PathOf("a.log").c_str(), false, kBare);
  std::string dir = m_dir.string();
  char separator = vktest::IsWindowsTarget() ? '\\' : '/';
  EXPECT_EQ(dir + separator, log.GetDirectory());
  EXPECT_STREQ("a.log", log.GetFileName());
  log.SetFileName("b.log");
  EXPECT_EQ(PathOf("b.log"), log.GetFullPath());
  std::string sub = PathOf("sub");
  log.SetDirectory(sub.c_str());
  EXPECT_EQ(sub + separator + "b.log", log.GetFullPath());
  log.SetFullPath("plain.log");
  EXPECT_STREQ("plain.log", log.GetFullPath());
  EXPECT_STREQ("plain.log", log.GetFileName());
  log.SetDirectory(Repeat('d', 265).c_str());
  EXPECT_STREQ("", log.GetFullPath()) << "a joined path that does not fit is refused, not cut";
}

}  // namespace
