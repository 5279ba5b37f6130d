// Files that are not message modules are refused, with the codes Wine
// gives, and message tables read the same whatever their line ends.
#include <vk/platform.h>

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
}

// A table copied through a Windows tool or a checkout that converts line
// ends reads as the built one does.
TEST_F(PlatformMessageModuleTest, TablesWithCrLfLineEndsGiveTheSameTexts) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "message modules are resource DLLs on Windows";
  vktest::WriteWholeFile(PathOf("crlf.dll"),
                         "vkdiag message table 1\r\n"
                         "0x1\tGeneral\r\n"
                         "0x40020000\t%1 first\\n%1 second\r\n");
  HMODULE module = Load("crlf.dll");
  ASSERT_NE(nullptr, module) << GetLastError();
  const char* arguments[] = {"X"};
  struct Case {
    DWORD id;
    const char* text;
  } cases[] = {{1, "General\r\n"}, {0x40020000, "X first\r\nX second\r\n"}};
  for (const Case& c : cases) {
    char out[128] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, c.id, 0, out,
                                  sizeof out, reinterpret_cast<va_list*>(arguments));
    EXPECT_EQ(Visible(c.text), Visible(std::string(out, length))) << std::hex << c.id;
  }
  EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace
