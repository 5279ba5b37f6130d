// Message texts expand as Windows' FormatMessageA expands them, and files
// that are not message modules are refused. The expected texts are the
// ones Wine gives, so these run on both targets.
#include <vk/platform.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <stdarg.h>
#include <string.h>

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

// FormatMessageA with its inserts taken from a va_list.
std::string ExpandList(DWORD flags, const char* text, ...) {
  va_list arguments;
  va_start(arguments, text);
  char out[512] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | flags, text, 0, 0, out, sizeof out, &arguments);
  DWORD error = GetLastError();
  va_end(arguments);
  if (length == 0) return "error " + std::to_string(error);
  return std::string(out, length);
}

// FormatMessageA with its inserts taken from an array.
std::string ExpandArray(DWORD flags, const char* text, const ULONG_PTR* arguments) {
  char out[512] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | flags, text, 0, 0, out,
                                sizeof out, reinterpret_cast<va_list*>(const_cast<ULONG_PTR*>(arguments)));
  if (length == 0) return "error " + std::to_string(GetLastError());
  return std::string(out, length);
}

ULONG_PTR Pointer(const void* text) { return reinterpret_cast<ULONG_PTR>(text); }

// Inserts with a printf format between exclamation marks format their
// argument, from an array as from a va_list; '*' takes a width or a
// precision from the arguments, after the value's place in an array and
// before it in a va_list, where Windows also fetches the value anew. The
// expected texts are those of Wine's tests, which pass on Windows.
TEST(PlatformMessagesTest, PrintfInsertsFormatTheirArguments) {
  EXPECT_EQ("42|   ab|0000BEEF", ExpandList(0, "%1!d!|%2!5s!|%3!08X!", 42, "ab", 0xBEEF));
  const ULONG_PTR mixed[] = {42, Pointer("ab"), 0xBEEF};
  EXPECT_EQ("42|   ab|0000BEEF", ExpandArray(0, "%1!d!|%2!5s!|%3!08X!", mixed));
  EXPECT_EQ("    42|", ExpandList(0, "%1!*d!|", 6, 42));
  const ULONG_PTR starred[] = {6, 42};
  EXPECT_EQ("    42|", ExpandArray(0, "%1!*d!|", starred));
  EXPECT_EQ("one two", ExpandList(0, "%1 %2", "one", "two"));
  EXPECT_EQ("two one", ExpandList(0, "%2 %1", "one", "two"));
  EXPECT_EQ("  03", ExpandList(0, "%1!4.2u!", 3));
  EXPECT_EQ("  001, 0002", ExpandList(0, "%1!*.*u!,%1!*.*u!", 5, 3, 1, 4, 2));
  EXPECT_EQ("  001,  0002", ExpandList(0, "%1!*.*u!,%3!*.*u!", 5, 3, 1, 6, 4, 2));
  const ULONG_PTR sizes[] = {6, 4, 2, 5, 3, 1};
  EXPECT_EQ("  0002, 00003", ExpandArray(0, "%1!*.*u!,%1!*.*u!", sizes));
  EXPECT_EQ("  0002,  001", ExpandArray(0, "%1!*.*u!,%4!*.*u!", sizes));
  EXPECT_EQ("test", ExpandList(0, "%1!c!%2!c!%3!c!%1!c!", 't', 'e', 's'));
  EXPECT_EQ("wide|x|narrow", ExpandList(0, "%1!ls!|%2!S!|%3!hs!", L"wide", L"x", "narrow"));
  EXPECT_EQ(" 1AB|B   |-5", ExpandList(0, "%1!4X!|%2!-4X!|%3!ld!", 0x1AB, 11, -5));
  EXPECT_EQ(" .. 427", ExpandList(0, " %.%. %1!d!", 0x1AB));
  EXPECT_EQ("(null)", ExpandList(0, "%1", static_cast<const char*>(nullptr)));
  EXPECT_EQ("error 87", ExpandList(0, "%1!s", "no closing mark"));
  if (!vktest::IsWindowsTarget()) {
    EXPECT_EQ("error 87", ExpandList(0, "%1!999999999d!", 1)) << "no field is wider than a message may be long";
  }
}

// The low byte of the flags is a line width: the text's own line breaks
// become spaces and lines break at the last blanks before the width, or in
// a word as long as a line; 0xFF breaks no line. Wine's tests of these pass
// on Windows.
TEST(PlatformMessagesTest, ALineWidthBreaksTheText) {
  struct Case {
    DWORD width;
    const char* text;
    const char* expanded;
  } cases[] = {
      {20, "short long line", "short long line"},
      {11, "short long line", "short long\r\nline"},
      {10, "short long line", "short\r\nlong line"},
      {16, "short long    line", "short long\r\nline"},
      {12, "short long    wordlongerthanaline", "short long\r\n\r\nwordlongerth\r\nanaline"},
      {8, "shortlongline", "shortlon\r\ngline"},
      {8, "shortlon%n", "shortlon\r\n\r\n"},
      {7, "short long line", "short\r\nlong\r\nline"},
      {11, "short\nlong line", "short long\r\nline"},
      {10, "short%rlong line", "short\rlong line"},
      {11, "short long\tline", "short\r\nlong\tline"},
      {FORMAT_MESSAGE_MAX_WIDTH_MASK, "hi\r\n", "hi "},
      {FORMAT_MESSAGE_MAX_WIDTH_MASK, "line one\r\nline two%nthree", "line one line two\r\nthree"},
  };
  for (const Case& c : cases) {
    char out[128] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS | c.width, c.text, 0, 0,
                                  out, sizeof out, nullptr);
    EXPECT_EQ(Visible(c.expanded), Visible(std::string(out, length))) << c.width << " " << Visible(c.text);
  }
}

// The codes the platform layer returns of its own have the system's texts,
// so that the tool names them instead of printing a number.
TEST(PlatformMessagesTest, TheLayersOwnCodesHaveSystemTexts) {
  for (DWORD code : {static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), static_cast<DWORD>(ERROR_EVENTLOG_FILE_CORRUPT),
                     static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), static_cast<DWORD>(ERROR_CHILD_MUST_BE_VOLATILE)}) {
    char out[256] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, out,
                                  sizeof out, nullptr);
    EXPECT_GT(length, 5u) << code;
  }
}

// wvsprintfA into a buffer of 1,024 bytes behind which guard bytes must stay.
struct Formatted {
  int length;
  std::string text;
  bool guardIntact;
};

Formatted Wsprintf(const char* format, ...) {
  char buffer[1024 + 16];
  memset(buffer, 0x5A, sizeof buffer);
  va_list arguments;
  va_start(arguments, format);
  int length = wvsprintfA(buffer, format, arguments);
  va_end(arguments);
  bool intact = true;
  for (size_t i = 1024; i < sizeof buffer; ++i) intact = intact && buffer[i] == 0x5A;
  return {length, std::string(buffer, strnlen(buffer, 1024)), intact};
}

std::string Text(const Formatted& formatted) { return formatted.text; }

// wsprintf's numbers: an int unless I64 or I (pointer-sized) says otherwise,
// so that LONG (32 bits on Windows) prints its sign; %p as hex digits of a
// pointer's width. Wine's tests of these pass on Windows.
TEST(PlatformWsprintfTest, NumbersHaveWindowsSizes) {
  EXPECT_EQ("4294967297", Text(Wsprintf("%I64d", 4294967297LL)));
  EXPECT_EQ("-5", Text(Wsprintf("%ld", static_cast<LONG>(-5))));
  EXPECT_EQ("-000000001", Text(Wsprintf("%010ld", static_cast<LONG>(-1))));
  EXPECT_EQ("123450067890A", Text(Wsprintf("%I64X", (0x12345ULL << 32) | 0x67890A)));
  EXPECT_EQ("67890A", Text(Wsprintf("%I32X", static_cast<unsigned>(0x67890A))));
  EXPECT_EQ("18446744073709551493", Text(Wsprintf("%I64u", -123LL)));
  EXPECT_EQ("-12345", Text(Wsprintf("%Id", static_cast<INT_PTR>(-12345))));
  EXPECT_EQ("4294967295|ffffffff|ABC|-3", Text(Wsprintf("%u|%x|%X|%i", -1, -1, 0xABC, -3)));
  EXPECT_EQ(std::string(2 * sizeof(void*) - 4, '0') + "1234", Text(Wsprintf("%p", reinterpret_cast<void*>(0x1234))));
}

TEST(PlatformWsprintfTest, FlagsWidthAndPrecision) {
  EXPECT_EQ("ab   |   cd|ef|", Text(Wsprintf("%-5s|%5s|%.2s|", "ab", "cd", "efg")));
  EXPECT_EQ("0xff|0XFF|0x00000000ff", Text(Wsprintf("%#x|%#X|%#010x", 255, 255, 255)));
  EXPECT_EQ("-0001|3     |", Text(Wsprintf("%.5d|%-06d|", -1, 3)));
  EXPECT_EQ("    a|b    |", Text(Wsprintf("%5c|%-5c|", 'a', 'b')));
  EXPECT_EQ("(null)", Text(Wsprintf("%s", static_cast<const char*>(nullptr))));
}

// Wide texts and characters are converted to the ANSI code page.
TEST(PlatformWsprintfTest, WideTextsAreConverted) {
  EXPECT_EQ("wide|two|w3|narrow", Text(Wsprintf("%ls|%S|%ws|%hs", L"wide", L"two", L"w3", "narrow")));
  EXPECT_EQ("x|y", Text(Wsprintf("%C|%lc", L'x', L'y')));
  EXPECT_EQ("wxy|   ab|", Text(Wsprintf("%.3S|%5S|", L"wxyz", L"ab")));
}

// wsprintf knows no other conversion: a percent sign before another letter
// prints the letter (after the width's spaces) and takes no argument, and
// one that ends the format prints nothing.
TEST(PlatformWsprintfTest, OtherLettersArePrintedAsText) {
  EXPECT_EQ("o|e|+d| d|*d|%", Text(Wsprintf("%o|%e|%+d|% d|%*d|%%")));
  EXPECT_EQ("     q|q|", Text(Wsprintf("%5q|%-5q|")));
  EXPECT_EQ("abc", Text(Wsprintf("abc%")));
  EXPECT_EQ("o 7", Text(Wsprintf("%o %d", 7))) << "the unknown letter leaves the argument to the next";
}

// At most 1,023 characters and the terminator are stored; a text that
// fills them counts 1,024, as Wine counts it.
TEST(PlatformWsprintfTest, TextsStopAt1024Bytes) {
  Formatted shorter = Wsprintf(std::string(1022, 'a').c_str());
  EXPECT_EQ(1022, shorter.length);
  for (size_t length : {1023u, 1024u, 3000u}) {
    Formatted full = Wsprintf(std::string(length, 'a').c_str());
    EXPECT_EQ(1024, full.length) << length;
    EXPECT_EQ(std::string(1023, 'a'), full.text) << length;
    EXPECT_TRUE(full.guardIntact) << length;
  }
  Formatted wide = Wsprintf("%2000d|", 12);
  EXPECT_EQ(1024, wide.length);
  EXPECT_EQ(std::string(1021, ' ') + "12", wide.text);
  EXPECT_TRUE(wide.guardIntact);
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
