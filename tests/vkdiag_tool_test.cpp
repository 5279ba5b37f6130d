// The vkdiag program run as an operator runs it: command lines, what it
// prints and its exit status, against the real registry and debug channel.
#include <gtest/gtest.h>

#include <vk/debug_trace.h>
#include <vk/platform.h>

#include <stdlib.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/registry_fixture.h"
#include "support/test_support.h"
#include "support/tool_runner.h"

#if !defined(_WIN32)
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace {

using vktest::RunTool;
using vktest::ToolResult;

// The system's text for "file not found" as the tool prints it: Windows'
// own text, which the POSIX layer keeps, or Wine's.
std::string FileNotFoundText() {
  return vktest::RunningUnderWine() ? "File not found." : "The system cannot find the file specified.";
}

int LineCount(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

class RegToolTest : public vktest::RegistryKeyTest {
 protected:
  std::string Key() const { return "HKCU\\" + m_path; }
  std::string LongKey() const { return "HKEY_CURRENT_USER\\" + m_path; }
  bool HasValue(const char* name) {
    return RegQueryValueExA(m_key.GetKey(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  }
};

TEST_F(RegToolTest, AddedValuesOfEveryTypeShowInRegQueryLayout) {
  EXPECT_EQ(RunTool({"reg", "add", Key(), "-v", "Text", "-d", "a \"quoted\" C:\\path"}).exitCode, 0);
  EXPECT_EQ(RunTool({"reg", "add", Key(), "-v", "Expand", "-t", "REG_EXPAND_SZ", "-d", "%TEMP%\\x"}).exitCode, 0);
  EXPECT_EQ(RunTool({"reg", "add", Key(), "-v", "Multi", "-t", "REG_MULTI_SZ", "-d", "one\\0two"}).exitCode, 0);
  EXPECT_EQ(RunTool({"reg", "add", Key(), "-v", "Dword", "-t", "reg_dword", "-d", "0x1F"}).exitCode, 0);
  EXPECT_EQ(RunTool({"reg", "add", Key(), "-v", "Qword", "-t", "REG_QWORD", "-d", "4294967296"}).exitCode, 0);
  EXPECT_EQ(RunTool({"reg", "add", Key(), "-v", "Binary", "-t", "REG_BINARY", "-d", "00ff10Ab"}).exitCode, 0);
  EXPECT_EQ(RunTool({"reg", "add", Key(), "-v", "None", "-t", "REG_NONE"}).exitCode, 0);
  EXPECT_EQ(RunTool({"reg", "add", Key(), "--default", "-d", "unnamed"}).exitCode, 0);
  EXPECT_EQ(RunTool({"reg", "add", Key() + "\\Sub"}).exitCode, 0);

  ToolResult query = RunTool({"reg", "query", Key()});
  ASSERT_EQ(query.exitCode, 0) << query.err;
  // The default value comes first, as reg lists it; the named ones follow
  // in the registry's enumeration order, which differs between systems.
  const std::string head = "\n" + LongKey() + "\n    (Default)    REG_SZ    unnamed\n";
  const std::string tail = "\n" + LongKey() + "\\Sub\n";
  ASSERT_EQ(query.out.rfind(head, 0), 0u) << query.out;
  ASSERT_GE(query.out.size(), head.size() + tail.size());
  EXPECT_EQ(query.out.substr(query.out.size() - tail.size()), tail) << query.out;
  const std::vector<std::string> lines = {
      "    Text    REG_SZ    a \"quoted\" C:\\path\n",   "    Expand    REG_EXPAND_SZ    %TEMP%\\x\n",
      "    Multi    REG_MULTI_SZ    one\\0two\n",        "    Dword    REG_DWORD    0x1f\n",
      "    Qword    REG_QWORD    0x100000000\n",          "    Binary    REG_BINARY    00FF10AB\n",
      "    None    REG_NONE    \n"};
  size_t length = head.size() + tail.size();
  for (const std::string& line : lines) {
    EXPECT_NE(query.out.find("\n" + line), std::string::npos) << line << query.out;
    length += line.size();
  }
  EXPECT_EQ(query.out.size(), length) << query.out;
  EXPECT_EQ(query.err, "");

  ToolResult one = RunTool({"reg", "query", "HKEY_CURRENT_USER\\" + m_path, "-v", "Dword"});
  EXPECT_EQ(one.out, "\n" + LongKey() + "\n    Dword    REG_DWORD    0x1f\n\n");
  ToolResult unnamed = RunTool({"reg", "query", Key(), "--default"});
  EXPECT_EQ(unnamed.out, "\n" + LongKey() + "\n    (Default)    REG_SZ    unnamed\n\n");
}

// What reg query prints where a key lacks what was asked for: a default
// value not set is shown as "(value not set)" and is no failure; a key
// without values prints its name only in a walk below the key asked for;
// REG_DWORD_BIG_ENDIAN has its name. On Windows reg.exe prints the same.
TEST_F(RegToolTest, RegQueryShowsMissingThingsAsRegDoes) {
  ASSERT_EQ(RunTool({"reg", "add", Key() + "\\Empty"}).exitCode, 0);
  ASSERT_EQ(RunTool({"reg", "add", Key() + "\\Parent\\Child"}).exitCode, 0);
  HKEY child = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(m_key.GetKey(), "Parent\\Child", 0, KEY_SET_VALUE, &child));
  const BYTE bigEndian[] = {1, 2, 3, 4};
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(child, "Big", 0, REG_DWORD_BIG_ENDIAN, bigEndian, sizeof bigEndian));
  RegCloseKey(child);
  struct Case {
    std::vector<std::string> tool;
    std::vector<std::string> reg;
    std::string out;
  } cases[] = {
      {{"--default"}, {"/ve"}, "\n" + LongKey() + "\\Empty\n    (Default)    REG_SZ    (value not set)\n"},
      {{}, {}, "\n"},
      {{"-s"}, {"/s"}, "\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"reg", "query", Key() + "\\Empty"};
    args.insert(args.end(), c.tool.begin(), c.tool.end());
    ToolResult ours = RunTool(args);
    EXPECT_EQ(ours.exitCode, 0) << ours.err;
    EXPECT_EQ(ours.out, c.out);
    if (vktest::IsWindowsTarget()) {
      std::vector<std::string> regArgs = {"query", LongKey() + "\\Empty"};
      regArgs.insert(regArgs.end(), c.reg.begin(), c.reg.end());
      EXPECT_EQ(vktest::RunProgram("reg.exe", regArgs).out, c.out) << "reg.exe";
    }
  }
  const std::string parent = LongKey() + "\\Parent";
  const std::string listed = "\n" + parent + "\\Child\n";
  const std::string walked = "\n" + parent + "\\Child\n    Big    REG_DWORD_BIG_ENDIAN    0x4030201\n\n";
  EXPECT_EQ(RunTool({"reg", "query", Key() + "\\Parent"}).out, listed);
  EXPECT_EQ(RunTool({"reg", "query", Key() + "\\Parent", "-s"}).out, walked);
  if (vktest::IsWindowsTarget()) {
    EXPECT_EQ(vktest::RunProgram("reg.exe", {"query", parent}).out, listed) << "reg.exe";
    EXPECT_EQ(vktest::RunProgram("reg.exe", {"query", parent, "/s"}).out, walked) << "reg.exe";
  }
  EXPECT_EQ(RunTool({"reg", "query", Key() + "\\Parent", "-v", "Absent"}).exitCode, 1) << "a named value is missed";
}

// A program may store a string value with no bytes at all, not even the
// terminator; the tool shows it as the empty string.
TEST_F(RegToolTest, StringValuesWithoutAnyBytesShowAsEmpty) {
  ASSERT_EQ(RegSetValueExA(m_key.GetKey(), "Bare", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
  ToolResult query = RunTool({"reg", "query", Key(), "-v", "Bare"});
  EXPECT_EQ(query.exitCode, 0) << query.err;
  EXPECT_NE(query.out.find("Bare    REG_SZ    \n"), std::string::npos) << query.out;
}

TEST_F(RegToolTest, SubtreeQueryPrintsOneJsonObjectPerKey) {
  ASSERT_EQ(RunTool({"reg", "add", Key() + "\\A", "-v", "N", "-t", "REG_DWORD", "-d", "7"}).exitCode, 0);
  ASSERT_EQ(RunTool({"reg", "add", Key() + "\\A\\B", "-v", "M", "-t", "REG_MULTI_SZ", "-d", "x\\0y"}).exitCode, 0);
  ToolResult query = RunTool({"reg", "query", Key(), "-s", "--format", "json"});
  ASSERT_EQ(query.exitCode, 0) << query.err;
  std::string escaped = "HKEY_CURRENT_USER\\\\Software\\\\vkdiag-tests\\\\" + std::string(
      ::testing::UnitTest::GetInstance()->current_test_info()->name());
  EXPECT_EQ(query.out, "{\"key\":\"" + escaped + "\",\"values\":[]}\n" +
                           "{\"key\":\"" + escaped + "\\\\A\",\"values\":[{\"name\":\"N\",\"type\":\"REG_DWORD\",\"data\":7}]}\n" +
                           "{\"key\":\"" + escaped + "\\\\A\\\\B\",\"values\":[{\"name\":\"M\",\"type\":\"REG_MULTI_SZ\",\"data\":[\"x\",\"y\"]}]}\n");
  // DEL and the C1 controls, which a terminal obeys, leave escaped as well
  // (C2 9B is a C1 control in UTF-8, Linux's ANSI code page; elsewhere two
  // printable characters).
  if (vktest::IsWindowsTarget()) return;
  const char steering[] = "csi\xC2\x9B" "2J del\x7F";
  ASSERT_EQ(RegSetValueExA(m_key.GetKey(), "Steer", 0, REG_SZ, reinterpret_cast<const BYTE*>(steering), sizeof steering),
            ERROR_SUCCESS);
  ToolResult steered = RunTool({"reg", "query", Key(), "-v", "Steer", "--format", "json"});
  EXPECT_NE(steered.out.find("\"data\":\"csi\\u009b2J del\\u007f\""), std::string::npos) << steered.out;

#if !defined(_WIN32)
  // A terminal in an ISO 8859 set obeys 0x9B as CSI wherever it stands,
  // also as the second byte of a UTF-8 character (U+00DB is C3 9B).
  const char latin[] = "\xC3\x9B and \x9B";
  ASSERT_EQ(RegSetValueExA(m_key.GetKey(), "Latin", 0, REG_SZ, reinterpret_cast<const BYTE*>(latin), sizeof latin),
            ERROR_SUCCESS);
  EXPECT_NE(RunTool({"reg", "query", Key(), "-v", "Latin"}).out.find("REG_SZ    \xC3\x9B and \x9B\n"),
            std::string::npos)
      << "a UTF-8 terminal shows the character";
  const char latinEscaped[] = "REG_SZ    \xC3\\x9B and \\x9B\n";
  setenv("LC_ALL", "xx_YY.ISO-8859-15", 1);  // named, not installed: the name tells
  ToolResult named = RunTool({"reg", "query", Key(), "-v", "Latin"});
  EXPECT_NE(named.out.find(latinEscaped), std::string::npos) << named.out;
  vktest::fs::path locales =
      vktest::fs::temp_directory_path() / ("vkdiag-locales-" + std::to_string(vktest::GetCurrentProcessIdForTests()));
  vktest::fs::create_directories(locales);
  std::string define = "localedef -i en_US -f ISO-8859-1 '" + (locales / "en_US.ISO-8859-1").string() + "' >/dev/null 2>&1";
  if (system(define.c_str()) != 0) {
    unsetenv("LC_ALL");
    vktest::fs::remove_all(locales);
    GTEST_SKIP() << "localedef cannot build an ISO 8859-1 locale here (the locales package is missing)";
  }
  setenv("LOCPATH", locales.c_str(), 1);
  setenv("LC_ALL", "en_US.ISO-8859-1", 1);
  ToolResult shown = RunTool({"reg", "query", Key(), "-v", "Latin"});
  ToolResult json = RunTool({"reg", "query", Key(), "-v", "Latin", "--format", "json"});
  unsetenv("LC_ALL");
  unsetenv("LOCPATH");
  vktest::fs::remove_all(locales);
  EXPECT_NE(shown.out.find(latinEscaped), std::string::npos) << shown.out;
  // JSON comes as ASCII then; the stray byte, no UTF-8, as the replacement.
  EXPECT_NE(json.out.find("\"data\":\"\\u00db and \\ufffd\""), std::string::npos) << json.out;
#endif
}

TEST_F(RegToolTest, BadInputIsOneLineOnStderrExitTwoAndChangesNothing) {
  const std::vector<std::vector<std::string>> bad = {
      {"reg", "add", "HKXY\\Software\\x", "-v", "V", "-d", "1"},
      {"reg", "add", Key() + "\\New", "-v", "V", "-t", "REG_WORD", "-d", "1"},
      {"reg", "add", Key() + "\\New", "-v", "V", "-t", "REG_DWORD", "-d", "4294967296"},
      {"reg", "add", Key() + "\\New", "-v", "V", "-t", "REG_DWORD", "-d", "-1"},
      {"reg", "add", Key() + "\\New", "-v", "V", "-t", "REG_QWORD", "-d", "0x10000000000000000"},
      {"reg", "add", Key() + "\\New", "-v", "V", "-t", "REG_BINARY", "-d", "abc"},
      {"reg", "add", Key() + "\\New", "-v", "V", "-t", "REG_BINARY", "-d", "zz"},
      {"reg", "add", Key() + "\\\\New", "-v", "V"},
      {"reg", "add", Key() + "\\New", "-v", "V", "--default"},
      {"reg", "query"},
      {"reg", "frobnicate"},
      {"reg"},
      {},
  };
  for (const auto& args : bad) {
    std::string line;
    for (const std::string& arg : args) line += arg + " ";
    ToolResult result = RunTool(args);
    EXPECT_EQ(result.exitCode, 2) << line;
    EXPECT_EQ(result.out, "") << line;
    EXPECT_EQ(result.err.rfind("vkdiag: ", 0), 0u) << line << result.err;
    EXPECT_LE(LineCount(result.err), 2) << line << result.err;  // the error and a pointer to --help
  }
  HKEY created = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, Sub("New").c_str(), 0, KEY_READ, &created), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegToolTest, FailedOperationExitsOneWithTheSystemText) {
  ToolResult missing = RunTool({"reg", "query", Key() + "\\Missing"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find(FileNotFoundText()), std::string::npos) << missing.err;
  EXPECT_EQ(LineCount(missing.err), 1) << missing.err;

  ToolResult noValue = RunTool({"reg", "query", Key(), "-v", "Absent"});
  EXPECT_EQ(noValue.exitCode, 1);
  EXPECT_NE(noValue.err.find(FileNotFoundText()), std::string::npos) << noValue.err;

  ToolResult deleteMissing = RunTool({"reg", "delete", Key() + "\\Missing", "-f"});
  EXPECT_EQ(deleteMissing.exitCode, 1);
  EXPECT_NE(deleteMissing.err.find(FileNotFoundText()), std::string::npos) << deleteMissing.err;
}

TEST_F(RegToolTest, AddKeepsAnExistingValueUnlessForced) {
  ASSERT_TRUE(m_key.WriteString("Kept", "old"));
  ToolResult refused = RunTool({"reg", "add", Key(), "-v", "Kept", "-d", "new"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("-f"), std::string::npos);
  char text[16] = "";
  DWORD size = sizeof text;
  EXPECT_TRUE(m_key.ReadString("Kept", text, &size));
  EXPECT_STREQ(text, "old");

  EXPECT_EQ(RunTool({"reg", "add", Key(), "-v", "Kept", "-d", "new", "-f"}).exitCode, 0);
  size = sizeof text;
  EXPECT_TRUE(m_key.ReadString("Kept", text, &size));
  EXPECT_STREQ(text, "new");
}

TEST_F(RegToolTest, DeleteRemovesAValueAllValuesOrTheWholeKey) {
  ASSERT_TRUE(m_key.WriteString("A", "1"));
  ASSERT_TRUE(m_key.WriteString("B", "2"));
  ASSERT_TRUE(m_key.WriteString("", "default"));
  ASSERT_EQ(RunTool({"reg", "add", Key() + "\\Child\\Grandchild", "-v", "C", "-d", "3"}).exitCode, 0);

  EXPECT_EQ(RunTool({"reg", "delete", Key(), "-v", "A"}).exitCode, 0);
  EXPECT_FALSE(HasValue("A"));
  EXPECT_TRUE(HasValue("B"));
  EXPECT_EQ(RunTool({"reg", "delete", Key(), "--default"}).exitCode, 0);
  EXPECT_FALSE(HasValue(""));
  EXPECT_TRUE(HasValue("B"));
  ASSERT_TRUE(m_key.WriteString("A", "1"));
  EXPECT_EQ(RunTool({"reg", "delete", Key(), "--all-values"}).exitCode, 0);
  EXPECT_FALSE(HasValue("A"));
  EXPECT_FALSE(HasValue("B"));
  HKEY child = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, Sub("Child\\Grandchild").c_str(), 0, KEY_READ, &child), ERROR_SUCCESS);
  RegCloseKey(child);

  m_key.Close();
  // A whole tree goes only when asked and confirmed, as reg.exe asks;
  // with no terminal to ask on, only with -f.
  ToolResult unasked = RunTool({"reg", "delete", Key()});
  EXPECT_EQ(unasked.exitCode, 2);
  EXPECT_NE(unasked.err.find("needs -f"), std::string::npos) << unasked.err;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, m_path.c_str(), 0, KEY_READ, &child), ERROR_SUCCESS);
  RegCloseKey(child);
  ToolResult deleted = RunTool({"reg", "delete", Key(), "-f"});
  EXPECT_EQ(deleted.exitCode, 0);
  EXPECT_EQ(deleted.out, "deleted HKEY_CURRENT_USER\\" + m_path + ": 3 keys, 1 value\n");
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, m_path.c_str(), 0, KEY_READ, &child), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RunTool({"reg", "delete", "HKCU"}).exitCode, 2);
}

// Data without a value's name, a key that lost its backslashes to the
// shell, a mistyped command: usage errors that say what was meant, with
// nothing changed.
TEST_F(RegToolTest, MistakesAreUsageErrorsThatSayWhatWasMeant) {
  ToolResult unnamed = RunTool({"reg", "add", Key() + "\\New", "-d", "text"});
  EXPECT_EQ(unnamed.exitCode, 2);
  EXPECT_NE(unnamed.err.find("name it with -v"), std::string::npos) << unnamed.err;
  HKEY created = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, Sub("New").c_str(), 0, KEY_READ, &created), ERROR_FILE_NOT_FOUND);

  ToolResult lost = RunTool({"reg", "query", "HKCUSoftwarevkdiag-tests"});
  EXPECT_EQ(lost.exitCode, 2);
  EXPECT_NE(lost.err.find("backslashes seem lost"), std::string::npos) << lost.err;
  ToolResult slashes = RunTool({"reg", "query", "HKCU/Software/vkdiag-tests"});
  EXPECT_NE(slashes.err.find("written with backslashes"), std::string::npos) << slashes.err;

  ToolResult mistyped = RunTool({"regg", "query"});
  EXPECT_EQ(mistyped.exitCode, 2);
  EXPECT_NE(mistyped.err.find("unknown command 'regg'; did you mean 'reg'?"), std::string::npos) << mistyped.err;
  ToolResult nested = RunTool({"reg", "qeury", Key()});
  EXPECT_NE(nested.err.find("did you mean 'reg query'?"), std::string::npos) << nested.err;
  ToolResult bare = RunTool({});
  EXPECT_EQ(bare.exitCode, 2);
  EXPECT_NE(bare.err.find("a command is required"), std::string::npos) << bare.err;
  ToolResult help = RunTool({"help", "reg"});
  EXPECT_EQ(help.exitCode, 0) << help.err;
  EXPECT_NE(help.out.find("query"), std::string::npos) << help.out;
}

TEST_F(RegToolTest, ExportToADashWritesStandardOutput) {
  ASSERT_TRUE(m_key.WriteString("Kept", "text"));
  ToolResult result = RunTool({"reg", "export", Key(), "-", "--regedit4"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out.rfind("REGEDIT4\r\n", 0), 0u) << result.out;
  EXPECT_NE(result.out.find("\"Kept\"=\"text\"\r\n"), std::string::npos) << result.out;
  EXPECT_FALSE(vktest::FileExists("-"));
}

#if !defined(_WIN32)
// On a terminal, reg delete asks as reg.exe asks, and only yes deletes.
TEST_F(RegToolTest, DeletingAKeyOnATerminalAsksFirst) {
  if (system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs script (util-linux) for a terminal";
  m_key.Close();
  for (const char* answer : {"no", "yes"}) {
    std::string command = "printf '" + std::string(answer) + "\\n' | script -qec \"'" + vktest::ToolPath() +
                          "' reg delete '" + Key() + "'\" /dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(nullptr, pipe);
    std::string shown;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) shown += buffer;
    int status = pclose(pipe);
    EXPECT_NE(shown.find("Permanently delete the registry key HKEY_CURRENT_USER\\" + m_path + "? (Yes/No)"),
              std::string::npos)
        << shown;
    HKEY key = nullptr;
    LONG found = RegOpenKeyExA(HKEY_CURRENT_USER, m_path.c_str(), 0, KEY_READ, &key);
    if (key) RegCloseKey(key);
    if (std::string(answer) == "no") {
      EXPECT_NE(0, status);
      EXPECT_EQ(ERROR_SUCCESS, found) << "kept after no";
    } else {
      EXPECT_EQ(0, status) << shown;
      EXPECT_EQ(ERROR_FILE_NOT_FOUND, found) << "deleted after yes";
    }
  }
}

// Commands that only read never make state: a mistyped VK_SYSTEM_ROOT is
// a usage error, a store that was never made is no such store.
TEST(ToolStateTest, ReadingCommandsMakeNoState) {
  std::string saved = getenv("VK_SYSTEM_ROOT");
  std::string missing = saved + "/mistyped";
  struct Case {
    std::string root;
    int exitCode;
    const char* says;
  } cases[] = {{missing, 2, "VK_SYSTEM_ROOT names no directory"},
               {"relative/root", 2, "must be an absolute path"},
               {saved + "/empty", 1, "no such store"}};
  vktest::fs::create_directories(saved + "/empty");
  for (const Case& c : cases) {
    setenv("VK_SYSTEM_ROOT", c.root.c_str(), 1);
    for (std::vector<std::string> command : std::vector<std::vector<std::string>>{
             {"reg", "query", "HKLM\\Software"}, {"events", "query"}, {"trace", "list"}, {"stores"}}) {
      if (command[0] == "stores" && c.exitCode == 1) continue;  // a layout to show needs no store
      ToolResult result = RunTool(command);
      EXPECT_EQ(result.exitCode, c.exitCode) << command[0] << " in " << c.root;
      EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
    }
  }
  // A listener refuses a relative root too, before it makes its channel.
  setenv("VK_SYSTEM_ROOT", "relative/root", 1);
  ToolResult listen = RunTool({"trace", "listen", "--timeout", "1"});
  EXPECT_EQ(listen.exitCode, 2) << listen.err;
  EXPECT_FALSE(vktest::FileExists("relative"));
  // A mistyped key is a usage error, whether or not there is a store.
  setenv("VK_SYSTEM_ROOT", (saved + "/empty").c_str(), 1);
  ToolResult badKey = RunTool({"reg", "query", "HKXY\\Software"});
  EXPECT_EQ(badKey.exitCode, 2) << badKey.err;
  setenv("VK_SYSTEM_ROOT", saved.c_str(), 1);
  EXPECT_FALSE(vktest::FileExists(missing));
  EXPECT_TRUE(vktest::fs::is_empty(saved + "/empty"));
}
#endif

TEST_F(RegToolTest, WatchPrintsALineForEachChangeBelowTheKey) {
  ASSERT_EQ(RunTool({"reg", "add", Key() + "\\Deep"}).exitCode, 0);
  vktest::ToolProcess watch({"reg", "watch", Key(), "-s", "--count", "2", "--timeout", "20"});
  ASSERT_TRUE(watch.started());
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (watch.ErrorSoFar().find("watching") == std::string::npos && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(RunTool({"reg", "add", Key() + "\\Deep", "-v", "V", "-d", "1"}).exitCode, 0);
  // The second change waits until the first was seen, so the two are not
  // merged into one notification.
  while (LineCount(vktest::ReadWholeFile(watch.OutputPath())) < 1 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(RunTool({"reg", "delete", Key() + "\\Deep", "-f"}).exitCode, 0);
  ToolResult result = watch.Wait();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(LineCount(result.out), 2) << result.out;
  EXPECT_NE(result.out.find(" changed " + LongKey() + "\n"), std::string::npos) << result.out;

  ToolResult quiet = RunTool({"reg", "watch", Key(), "--timeout", "0.2"});
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(quiet.out, "");
}

TEST(ToolHelpTest, EverySubcommandHasHelpWithAnExample) {
  for (const std::vector<std::string>& command :
       std::vector<std::vector<std::string>>{{}, {"reg"}, {"reg", "query"}, {"reg", "add"}, {"reg", "delete"},
                                             {"reg", "export"}, {"reg", "import"}, {"reg", "watch"},
                                             {"events"}, {"events", "query"}, {"events", "follow"},
                                             {"events", "logs"}, {"events", "clear"},
                                             {"trace"}, {"trace", "on"}, {"trace", "off"}, {"trace", "list"},
                                             {"trace", "listen"}, {"setup"}}) {
    std::vector<std::string> args = command;
    args.push_back("--help");
    ToolResult help = RunTool(args);
    EXPECT_EQ(help.exitCode, 0) << args.size();
    EXPECT_NE(help.out.find("Example"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("vkdiag " + (command.empty() ? std::string() : command[0])), std::string::npos);
  }
}

// The version the tool names is the library's, the project version it was
// built with, on standard output alone.
TEST(ToolHelpTest, VersionNamesTheLibraryVersion) {
  ToolResult version = RunTool({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "vkdiag " VK_PROJECT_VERSION "\n");
  EXPECT_EQ(version.err, "");
}

// Traces args[0] through the debug trace, as a program of its own name.
VK_CHILD_MAIN(trace_once) {
  DebugTrace("ToolTest", "%s", args.at(0).c_str());
  return 0;
}

// Waits until a listener says it listens; false after 20 seconds.
bool AwaitListening(const vktest::ToolProcess& listener) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (listener.ErrorSoFar().find("listening") == std::string::npos) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

class TraceToolTest : public vktest::ScratchDirTest {
 protected:
  void SetUp() override {
    vktest::ScratchDirTest::SetUp();
    m_program = "vkdiag-tool-test-" + std::to_string(vktest::GetCurrentProcessIdForTests());
  }
  void TearDown() override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTraceKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, m_program.c_str());
      RegCloseKey(key);
    }
    vktest::ScratchDirTest::TearDown();
  }
  // The switch as the trace reads it, or -1 without one.
  long long Switch() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTraceKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    LONG rc = RegQueryValueExA(key, m_program.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD) return -1;
    return value;
  }

  static constexpr const char* kTraceKey = "SOFTWARE\\Haldrex\\Vemra\\TraceLib";
  std::string m_program;
};

TEST_F(TraceToolTest, OnAndOffSetTheSwitchNamedAfterTheExecutable) {
  ToolResult on = RunTool({"trace", "on", "/opt/app/" + m_program + ".exe"});
  ASSERT_EQ(on.exitCode, 0) << on.err;
  EXPECT_EQ(Switch(), 1);
  ToolResult list = RunTool({"trace", "list"});
  EXPECT_EQ(list.exitCode, 0);
  EXPECT_NE(list.out.find(m_program + " "), std::string::npos) << list.out;
  EXPECT_NE(list.out.find(m_program + std::string(24 - m_program.size() + 1, ' ') + "on\n"), std::string::npos)
      << list.out;

  ASSERT_EQ(RunTool({"trace", "off", m_program}).exitCode, 0);
  EXPECT_EQ(Switch(), 0);
  list = RunTool({"trace", "list"});
  EXPECT_NE(list.out.find(m_program + std::string(24 - m_program.size() + 1, ' ') + "off\n"), std::string::npos)
      << list.out;
  EXPECT_EQ(RunTool({"trace", "on"}).exitCode, 2);
}

// The operator's whole round: a program of the switched name, started
// afterwards, traces to the listener; the same program traced nothing
// before the switch was on.
TEST_F(TraceToolTest, AProgramOfTheSwitchedNameTracesToTheListener) {
  std::string program = PathOf(m_program + (vktest::IsWindowsTarget() ? ".exe" : ""));
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, sizeof self);
  vktest::fs::copy_file(self, program);
  vktest::ToolProcess listener({"trace", "listen", "--count", "1", "--timeout", "20"});
  ASSERT_TRUE(listener.started());
  ASSERT_TRUE(AwaitListening(listener));
  ASSERT_EQ(vktest::RunProgram(program, {"--vk-child=trace_once", "before the switch"}).exitCode, 0);
  ASSERT_EQ(RunTool({"trace", "on", m_program}).exitCode, 0);
  ASSERT_EQ(vktest::RunProgram(program, {"--vk-child=trace_once", "after the switch"}).exitCode, 0);
  ToolResult heard = listener.Wait();
  EXPECT_EQ(heard.exitCode, 0) << heard.err;
  EXPECT_EQ(heard.out.find("before the switch"), std::string::npos) << heard.out;
  EXPECT_NE(heard.out.find("ToolTest PID=0x"), std::string::npos) << heard.out;
  EXPECT_NE(heard.out.find(": after the switch\n"), std::string::npos) << heard.out;
}

TEST(TraceListenTest, PrintsEachTextWithItsSenderAndEscapesControlCharacters) {
  vktest::ToolProcess listener({"trace", "listen", "--count", "2", "--timeout", "20"});
  ASSERT_TRUE(listener.started());
  ASSERT_TRUE(AwaitListening(listener));
  OutputDebugStringA("first text\r\n");
  OutputDebugStringA(vktest::IsWindowsTarget() ? "second \x1b[31mred\r\nthird line\r\n"
                                                : "second \x1b[31mred\r\nthird \xc2\x9b" "1mline\r\n");
  ToolResult result = listener.Wait();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::string pid = "[" + std::to_string(vktest::GetCurrentProcessIdForTests()) + "] ";
  EXPECT_NE(result.out.find(pid + "first text\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(pid + "second \\x1B[31mred\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(pid + (vktest::IsWindowsTarget() ? "third line\n" : "third \\u009B1mline\n")),
            std::string::npos)
      << result.out;
  EXPECT_EQ(LineCount(result.out), 3) << result.out;
}

#if !defined(_WIN32)
// Another process can write any identifier into a datagram; the listener
// shows the sender the kernel names.
TEST(TraceListenTest, ShowsTheKernelsSenderNotTheOneTheTextClaims) {
  vktest::ToolProcess listener({"trace", "listen", "--count", "1", "--timeout", "20"});
  ASSERT_TRUE(listener.started());
  ASSERT_TRUE(AwaitListening(listener));
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::string path = std::string(getenv("VK_SYSTEM_ROOT")) + "/debug-output.sock";
  ASSERT_LT(path.size(), sizeof address.sun_path);
  memcpy(address.sun_path, path.c_str(), path.size() + 1);
  struct stat status;
  ASSERT_EQ(0, stat(path.c_str(), &status));
  EXPECT_EQ(0660u, status.st_mode & 0777u) << "the socket's mode is set, not left to the umask";
  std::string datagram(4, '\0');
  uint32_t forged = 1;
  memcpy(&datagram[0], &forged, sizeof forged);
  datagram += "forged text\r\n";
  int sender = socket(AF_UNIX, SOCK_DGRAM, 0);
  ASSERT_GE(sender, 0);
  EXPECT_EQ(static_cast<ssize_t>(datagram.size()),
            sendto(sender, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address));
  close(sender);
  ToolResult result = listener.Wait();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::string pid = "[" + std::to_string(vktest::GetCurrentProcessIdForTests()) + "] ";
  EXPECT_NE(result.out.find(pid + "forged text\n"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("[1] "), std::string::npos) << result.out;
}
#endif

}  // namespace
