// Message texts expand as Windows' FormatMessageA expands them, and files
// that are not message modules are refused. The expected texts are the
// ones Wine gives, so these run on both targets.
#include <vk/platform.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <string>

#include "support/test_support.h"

namespace {

// CR, LF and other control characters made visible in failure messages.
std::string Visible(const std::string& text) {
  std::string visible;
  for (char c : text) {
    if (c == '\r')
      visible += "\\r";
    else if (c == '\n')
      visible += "\\n";
    else if (c == '\t')
      visible += "\\t";
    else
      visible += c;
  }
  return visible;
}

// An argument array of strings as FormatMessageA takes it.
va_list* AsArguments(const char** arguments) { return reinterpret_cast<va_list*>(const_cast<char**>(arguments)); }

// The expansion of a text with the inserts "ONE" and "TWO", or the error.
std::string Expand(const char* text, DWORD inserts) {
  const char* arguments[] = {"ONE", "TWO"};
  char out[256] = "";
  DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_STRING | inserts, text, 0, 0, out, sizeof out, AsArguments(arguments));
  if (length == 0) return "error " + std::to_string(GetLastError());
  return std::string(out, length);
}

TEST(PlatformMessagesTest, EscapesExpandAsWindowsExpandsThem) {
  struct Case {
    const char* text;
    const char* withInserts;
    const char* ignoringInserts;
  } cases[] = {
      {"a%0b", "a", "a"},
      {"a%nb", "a\r\nb", "a\r\nb"},
      {"a%rb", "a\rb", "a\rb"},
      {"a%tb", "a\tb", "a\tb"},
      {"a%.b", "a.b", "a%.b"},
      {"a%!b", "a!b", "a%!b"},
      {"a%%b", "a%b", "a%%b"},
      {"a% b", "a b", "a% b"},
      {"a%xb", "axb", "a%xb"},
      {"%1 and %2", "ONE and TWO", "%1 and %2"},
      {"a%1!s!b", "aONEb", "a%1!s!b"},
      {"x%.y%ny", "x.y\r\ny", "x%.y\r\ny"},
      {"line\nnext\rlast\r\n", "line\r\nnext\r\nlast\r\n", "line\r\nnext\r\nlast\r\n"},
      {"a\r\r\nb", "a\r\n\r\nb", "a\r\n\r\nb"},
      {"a%\r\nb", "a\r\r\nb", "a%\r\r\nb"},
      {"end%n%0 more", "end\r\n", "end\r\n"},
      {"100%", "error 87", "error 87"},
      {"%0", "error 235", "error 235"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Visible(c.withInserts), Visible(Expand(c.text, FORMAT_MESSAGE_ARGUMENT_ARRAY))) << Visible(c.text);
    EXPECT_EQ(Visible(c.ignoringInserts), Visible(Expand(c.text, FORMAT_MESSAGE_IGNORE_INSERTS))) << Visible(c.text);
  }
}

// Insert numbers run to two digits: %10 is the tenth argument, and a third
// digit is text again.
TEST(PlatformMessagesTest, TwoDigitInsertsNameTheirArgument) {
  const char* arguments[] = {"one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten", "eleven",
                             "twelve"};
  char out[128] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "%10|%1|%12|%1 0|%100",
                                0, 0, out, sizeof out, AsArguments(arguments));
  EXPECT_EQ("ten|one|twelve|one 0|ten0", std::string(out, length));
}

// Windows documents no answer for inserts without arguments; Wine's own
// tests, which pass on Windows, expect 0 and ERROR_INVALID_PARAMETER. The
// last error is taken right after the call, over a value no call sets, so
// that neither a stale 87 nor the test framework's own calls decide.
TEST(PlatformMessagesTest, InsertsWithoutArgumentsAreRefusedNotRead) {
  char out[64] = "";
  SetLastError(0xDEADBEEF);
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "a %1 b", 0, 0, out,
                                sizeof out, nullptr);
  DWORD error = GetLastError();
  EXPECT_EQ(0u, length);
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), error);
  length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "no inserts", 0, 0, out,
                          sizeof out, nullptr);
  EXPECT_EQ(10u, length);
  EXPECT_STREQ("no inserts", out);
}

class PlatformMessageModuleTest : public vktest::ScratchDirTest {
 protected:
  HMODULE Load(const std::string& name) {
    return LoadLibraryExA(PathOf(name).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
};

TEST_F(PlatformMessageModuleTest, FilesThatAreNoModulesAreRefused) {
  std::string random(4096, '\0');
  for (size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>((i * 7919 + 13) & 0xFF);
  vktest::WriteWholeFile(PathOf("random.bin"), random);
  vktest::WriteWholeFile(PathOf("executable.dll"), "MZ" + random.substr(2));
  vktest::WriteWholeFile(PathOf("text.txt"), "0x40020000\thello\n");
  for (const char* name : {"random.bin", "executable.dll", "text.txt"}) {
    EXPECT_EQ(nullptr, Load(name)) << name;
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError()) << name;
  }
  vktest::WriteWholeFile(PathOf("empty.dll"), "");
  EXPECT_EQ(nullptr, Load("empty.dll"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_INVALID), GetLastError());
#if !defined(_WIN32)
  // Only a regular file is read: opening a FIFO for reading would wait for
  // a writer that never comes.
  ASSERT_EQ(0, mkfifo(PathOf("fifo.dll").c_str(), 0600));
  vktest::fs::create_directory(PathOf("directory.dll"));
  for (const char* name : {"fifo.dll", "directory.dll"}) {
    EXPECT_EQ(nullptr, Load(name)) << name;
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError()) << name;
  }
#endif
}

// A table copied through a Windows tool or a checkout that converts line
// ends reads as the built one does.
TEST_F(PlatformMessageModuleTest, TablesWithCrLfLineEndsGiveTheSameTexts) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "message modules are resource DLLs on Windows";
  vktest::WriteWholeFile(PathOf("crlf.dll"),
                         "vkdiag message table 2\r\n"
                         "0x1\t0\tGeneral\r\n"
                         "0x40020000\t1\t%1 first\\n%1 second\r\n"
                         "0x40020001\t0\tno line end%0\r\n");
  HMODULE module = Load("crlf.dll");
  ASSERT_NE(nullptr, module) << GetLastError();
  const char* arguments[] = {"X"};
  struct Case {
    DWORD id;
    const char* text;
  } cases[] = {{1, "General\r\n"}, {0x40020000, "X first\r\nX second\r\n"}, {0x40020001, "no line end"}};
  for (const Case& c : cases) {
    char out[128] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, c.id, 0, out,
                                  sizeof out, AsArguments(arguments));
    EXPECT_EQ(Visible(c.text), Visible(std::string(out, length))) << std::hex << c.id;
  }
  EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace

namespace {

// A table states how many insert strings each message takes, and the loader
// holds the texts to it, so that formatting reads no further into the
// caller's array than the table promised; an edited table that names more
// is refused whole.
TEST_F(PlatformMessageModuleTest, TablesNamingMoreInsertsThanTheyStateAreRefused) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "message modules are resource DLLs on Windows";
  vktest::WriteWholeFile(PathOf("counted.dll"),
                         "vkdiag message table 2\n"
                         "0x1\t2\t%1 then %2!s!, not %%3\n"
                         "0x2\t0\tno inserts%0\n");
  HMODULE module = Load("counted.dll");
  ASSERT_NE(nullptr, module) << GetLastError();
  const char* arguments[] = {"A", "B"};
  char out[128] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, 1, 0, out,
                                sizeof out, AsArguments(arguments));
  EXPECT_EQ("A then B, not %3\r\n", std::string(out, length));
  EXPECT_TRUE(FreeLibrary(module));

  struct Case {
    const char* name;
    const char* table;
  } refused[] = {
      {"above.dll", "vkdiag message table 2\n0x1\t1\tone %1, two %2\n"},
      {"far.dll", "vkdiag message table 2\n0x1\t0\tGeneral\n0x2\t1\t%99\n"},
      {"toomany.dll", "vkdiag message table 2\n0x1\t100\t%1\n"},
      {"uncounted.dll", "vkdiag message table 2\n0x1\t%1\n"},
      {"old.dll", "vkdiag message table 1\n0x1\t%1\n"},
  };
  for (const Case& c : refused) {
    vktest::WriteWholeFile(PathOf(c.name), c.table);
    EXPECT_EQ(nullptr, Load(c.name)) << c.name;
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError()) << c.name;
  }
}

}  // namespace
