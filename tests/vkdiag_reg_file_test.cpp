// .reg files through the vkdiag program: what Windows' registry editor
// exported imports to the same values, an export is byte for byte the
// editor's, and export, delete, import gives back every value.
#include <gtest/gtest.h>

#include <vk/platform.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <tuple>

#include "support/test_support.h"
#include "support/tool_runner.h"

namespace {

using vktest::RunTool;
using vktest::ToolResult;

// Each value of a tree: key path and value name to type and data.
using Snapshot = std::map<std::pair<std::string, std::string>, std::pair<DWORD, std::string>>;

void TakeSnapshot(HKEY parent, const std::string& path, Snapshot* snapshot) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS) << path;
  for (DWORD index = 0;; ++index) {
    char name[512];
    BYTE data[4096];
    DWORD nameLength = sizeof name;
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    (*snapshot)[{path, std::string(name, nameLength)}] = {type, std::string(reinterpret_cast<char*>(data), size)};
  }
  for (DWORD index = 0;; ++index) {
    char name[512];
    DWORD nameLength = sizeof name;
    if (RegEnumKeyExA(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    (*snapshot)[{path + "\\" + std::string(name, nameLength), "<key>"}] = {0, ""};
    TakeSnapshot(parent, path + "\\" + std::string(name, nameLength), snapshot);
  }
  RegCloseKey(key);
}

// A text in this system's ANSI code page, as the A functions return it.
std::string Ansi(const wchar_t* text) {
  std::basic_string<WCHAR> wide;
  for (const wchar_t* c = text; *c; ++c) wide += static_cast<WCHAR>(*c);
  char ansi[256] = "";
  int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), ansi, sizeof ansi,
                                   nullptr, nullptr);
  return std::string(ansi, static_cast<size_t>(length));
}

std::string TestDataFile(const std::string& name) {
  char self[1024] = "";
  GetModuleFileNameA(nullptr, self, sizeof self);
  return (std::filesystem::path(self).parent_path() / "data" / name).string();
}

class RegFileToolTest : public vktest::ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    SHDeleteKeyA(HKEY_CURRENT_USER, kSample);
  }
  void TearDown() override {
    SHDeleteKeyA(HKEY_CURRENT_USER, kSample);
    ScratchDirTest::TearDown();
  }
  std::pair<DWORD, std::string> Value(const std::string& subKey, const std::string& name) {
    Snapshot snapshot;
    TakeSnapshot(HKEY_CURRENT_USER, kSample, &snapshot);
    return snapshot[{std::string(kSample) + subKey, name}];
  }
  bool HasValue(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSample, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    LONG result = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
  }
  bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }

  // Imports the file with each importer this target has, from no key each
  // time: vkdiag, and on Windows the registry editor too, which proves the
  // expectation the editor's. check then looks at the result.
  void ImportWithEach(const std::string& file, const std::function<void(const std::string& importer)>& check) {
    std::vector<std::string> importers = {"vkdiag"};
    if (vktest::IsWindowsTarget()) importers.push_back("regedit");
    for (const std::string& importer : importers) {
      SHDeleteKeyA(HKEY_CURRENT_USER, kSample);
      ToolResult result = importer == "vkdiag" ? RunTool({"reg", "import", file})
                                               : vktest::RunProgram("regedit.exe", {"/S", file});
      ASSERT_EQ(result.exitCode, 0) << importer << ": " << result.err;
      check(importer);
    }
  }

  // The key that tests/data/regedit_export.reg holds, exported by Wine's
  // registry editor.
  static constexpr const char* kSample = "Software\\vkdiag-tests\\RegeditSample";
  const std::string m_sampleKey = std::string("HKCU\\") + kSample;
};

TEST_F(RegFileToolTest, RegeditsOwnExportImportsToItsValuesAndExportsToItsBytes) {
  std::string sample = TestDataFile("regedit_export.reg");
  ToolResult imported = RunTool({"reg", "import", sample});
  ASSERT_EQ(imported.exitCode, 0) << imported.err;

  EXPECT_EQ(Value("", ""), std::make_pair(DWORD(REG_SZ), std::string("default text", 13)));
  EXPECT_EQ(Value("", "Text"), std::make_pair(DWORD(REG_SZ), Ansi(L"say \"hi\" C:\\dir\\ \u00fc\u00e9 \u20ac") + '\0'));
  EXPECT_EQ(Value("", "Empty"), std::make_pair(DWORD(REG_SZ), std::string(1, '\0')));
  EXPECT_EQ(Value("", Ansi(L"Gr\u00f6\u00dfe")), std::make_pair(DWORD(REG_SZ), std::string("x", 2)));
  EXPECT_EQ(Value("", "Line"), std::make_pair(DWORD(REG_SZ), std::string("a\nb", 4)));
  EXPECT_EQ(Value("", "Expand"), std::make_pair(DWORD(REG_EXPAND_SZ), std::string("%PATH%;C:\\x", 12)));
  EXPECT_EQ(Value("", "Multi"),
            std::make_pair(DWORD(REG_MULTI_SZ), std::string("one\0two\0", 8) + Ansi(L"drei \u00fc") + std::string(2, '\0')));
  EXPECT_EQ(Value("", "Dword"), std::make_pair(DWORD(REG_DWORD), std::string("\x78\x56\x34\x12", 4)));
  EXPECT_EQ(Value("", "Qword"), std::make_pair(DWORD(REG_QWORD), std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8)));
  EXPECT_EQ(Value("", "None"), std::make_pair(DWORD(REG_NONE), std::string("\x07\x0e\x15", 3)));
  EXPECT_EQ(Value("", "Odd"), std::make_pair(DWORD(0x20), std::string("\x07\x0e", 2)));
  EXPECT_EQ(Value("", "EmptyBinary"), std::make_pair(DWORD(REG_BINARY), std::string()));
  std::string binary;
  for (int i = 0; i < 100; ++i) binary += static_cast<char>(i * 7);
  EXPECT_EQ(Value("", "Binary"), std::make_pair(DWORD(REG_BINARY), binary));
  EXPECT_EQ(Value("\\Sub", "Inner"), std::make_pair(DWORD(REG_SZ), std::string("x", 2)));
  EXPECT_TRUE(KeyExists(std::string(kSample) + "\\Sub\\Deeper"));

  ToolResult exported = RunTool({"reg", "export", m_sampleKey, PathOf("out.reg")});
  ASSERT_EQ(exported.exitCode, 0) << exported.err;
  EXPECT_EQ(vktest::ReadWholeFile(PathOf("out.reg")), vktest::ReadWholeFile(sample));
}

TEST_F(RegFileToolTest, WindowsRegistryEditorReadsAndWritesTheSameFile) {
  if (!vktest::IsWindowsTarget()) GTEST_SKIP() << "the registry editor is a Windows program";
  ASSERT_EQ(RunTool({"reg", "import", TestDataFile("regedit_export.reg")}).exitCode, 0);
  ToolResult exported = RunTool({"reg", "export", m_sampleKey, PathOf("vkdiag.reg")});
  ASSERT_EQ(exported.exitCode, 0) << exported.err;
  Snapshot before;
  TakeSnapshot(HKEY_CURRENT_USER, kSample, &before);

  // The editor imports the export to the same values...
  ASSERT_EQ(RunTool({"reg", "delete", m_sampleKey, "-f"}).exitCode, 0);
  ToolResult imported = vktest::RunProgram("regedit.exe", {"/S", PathOf("vkdiag.reg")});
  ASSERT_EQ(imported.exitCode, 0) << imported.err;
  Snapshot after;
  TakeSnapshot(HKEY_CURRENT_USER, kSample, &after);
  EXPECT_EQ(after, before);
  // ...and its own export of them has the same bytes.
  ToolResult regedit = vktest::RunProgram("regedit.exe", {"/E", PathOf("regedit.reg"), "HKEY_CURRENT_USER\\" + std::string(kSample)});
  ASSERT_EQ(regedit.exitCode, 0) << regedit.err;
  EXPECT_EQ(vktest::ReadWholeFile(PathOf("regedit.reg")), vktest::ReadWholeFile(PathOf("vkdiag.reg")));
}

// Values set through the A functions that the quoted form of the editor
// would not give back whole: a CR (escaped as \r, as the editor escapes it)
// and a NUL inside a text, and a REG_DWORD of another size, which go as hex.
void SetAwkwardValues(HKEY parent, const char* path) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Cr", 0, REG_SZ, reinterpret_cast<const BYTE*>("a\rb"), 4));
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Na\rme", 0, REG_SZ, reinterpret_cast<const BYTE*>("v"), 2));
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Nul", 0, REG_SZ, reinterpret_cast<const BYTE*>("x\0y"), 4));
  const BYTE shortDword[] = {0x34, 0x12};
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "ShortDword", 0, REG_DWORD, shortDword, sizeof shortDword));
  RegCloseKey(key);
}

TEST_F(RegFileToolTest, ExportDeleteImportGivesBackEveryValueAndTheSameFile) {
  for (const std::vector<std::string>& add : std::vector<std::vector<std::string>>{
           {"-v", "Text", "-d", "quote \" backslash \\ tab\tend"},
           {"-v", "Eq=Name \"x\"", "-d", ""},
           {"--default", "-d", "unnamed"},
           {"-v", "Expand", "-t", "REG_EXPAND_SZ", "-d", "%SystemRoot%\\x"},
           {"-v", "Multi", "-t", "REG_MULTI_SZ", "-d", "a\\0\\0b"},
           {"-v", "Dword", "-t", "REG_DWORD", "-d", "4294967295"},
           {"-v", "Qword", "-t", "REG_QWORD", "-d", "0xFFFFFFFFFFFFFFFF"},
           {"-v", "Binary", "-t", "REG_BINARY", "-d", std::string(600, 'a')},
           {"-v", "None", "-t", "REG_NONE", "-d", ""}}) {
    std::vector<std::string> args = {"reg", "add", m_sampleKey + "\\Tree"};
    args.insert(args.end(), add.begin(), add.end());
    ToolResult result = RunTool(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
  }
  ASSERT_EQ(RunTool({"reg", "add", m_sampleKey + "\\Tree\\Empty child"}).exitCode, 0);
  ASSERT_NO_FATAL_FAILURE(SetAwkwardValues(HKEY_CURRENT_USER, (std::string(kSample) + "\\Awkward").c_str()));
  Snapshot before;
  TakeSnapshot(HKEY_CURRENT_USER, kSample, &before);

  for (const char* form : {"", "--regedit4"}) {
    std::vector<std::string> args = {"reg", "export", m_sampleKey, PathOf("first.reg")};
    if (*form) args.push_back(form);
    ASSERT_EQ(RunTool(args).exitCode, 0) << form;
    ASSERT_EQ(RunTool({"reg", "delete", m_sampleKey, "-f"}).exitCode, 0);
    ASSERT_FALSE(KeyExists(kSample));
    ToolResult imported = RunTool({"reg", "import", PathOf("first.reg")});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    Snapshot after;
    TakeSnapshot(HKEY_CURRENT_USER, kSample, &after);
    EXPECT_EQ(after, before) << form;
    args[3] = PathOf("second.reg");
    ASSERT_EQ(RunTool(args).exitCode, 0);
    EXPECT_EQ(vktest::ReadWholeFile(PathOf("second.reg")), vktest::ReadWholeFile(PathOf("first.reg"))) << form;
  }
  std::string regedit4 = vktest::ReadWholeFile(PathOf("first.reg"));
  EXPECT_EQ(regedit4.rfind("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\", 0), 0u);
  EXPECT_NE(regedit4.find("\"Cr\"=\"a\\rb\"\r\n"), std::string::npos) << "a CR is escaped as the editor escapes it";
  EXPECT_NE(regedit4.find("\"Na\\rme\"="), std::string::npos);
  EXPECT_NE(regedit4.find("\"Nul\"=hex(1):78,00,79,00\r\n"), std::string::npos);
  EXPECT_NE(regedit4.find("\"ShortDword\"=hex(4):34,12\r\n"), std::string::npos);
}

// The editor reads what the export wrote for such values to the same values.
TEST_F(RegFileToolTest, TheRegistryEditorReadsTheExportOfAwkwardValues) {
  if (!vktest::IsWindowsTarget()) GTEST_SKIP() << "the registry editor is a Windows program";
  ASSERT_NO_FATAL_FAILURE(SetAwkwardValues(HKEY_CURRENT_USER, kSample));
  Snapshot before;
  TakeSnapshot(HKEY_CURRENT_USER, kSample, &before);
  ASSERT_EQ(RunTool({"reg", "export", m_sampleKey, PathOf("awkward.reg")}).exitCode, 0);
  ImportWithEach(PathOf("awkward.reg"), [&](const std::string& importer) {
    Snapshot after;
    TakeSnapshot(HKEY_CURRENT_USER, kSample, &after);
    EXPECT_EQ(after, before) << importer;
  });
}

TEST_F(RegFileToolTest, DeletionLinesRemoveKeysAndValues) {
  ASSERT_EQ(RunTool({"reg", "add", m_sampleKey, "-v", "Gone", "-d", "1"}).exitCode, 0);
  ASSERT_EQ(RunTool({"reg", "add", m_sampleKey, "-v", "Kept", "-d", "1"}).exitCode, 0);
  ASSERT_EQ(RunTool({"reg", "add", m_sampleKey, "--default", "-d", "1"}).exitCode, 0);
  ASSERT_EQ(RunTool({"reg", "add", m_sampleKey + "\\Child\\Grandchild"}).exitCode, 0);
  vktest::WriteWholeFile(PathOf("delete.reg"),
                         "REGEDIT4\r\n\r\n; comments are skipped\r\n"
                         "[-HKEY_CURRENT_USER\\" + std::string(kSample) + "\\Child]\r\n\r\n"
                         "[HKEY_CURRENT_USER\\" + std::string(kSample) + "]\r\n"
                         "\"Gone\"=-\r\n@=-\r\n\"Never there\"=-\r\n"
                         "\"Added\"=hex:01,02,\\\r\n  03  ; continued\r\n");
  ToolResult result = RunTool({"reg", "import", PathOf("delete.reg")});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_FALSE(KeyExists(std::string(kSample) + "\\Child"));
  Snapshot after;
  TakeSnapshot(HKEY_CURRENT_USER, kSample, &after);
  EXPECT_EQ(after.count({kSample, "Gone"}), 0u);
  EXPECT_EQ(after.count({kSample, ""}), 0u);
  EXPECT_EQ(after.count({kSample, "Kept"}), 1u);
  EXPECT_EQ(Value("", "Added"), std::make_pair(DWORD(REG_BINARY), std::string("\x01\x02\x03", 3)));
}

TEST_F(RegFileToolTest, ASyntaxErrorNamesFileLineAndExpectationAndAppliesNothing) {
  const std::string key = "[HKEY_CURRENT_USER\\" + std::string(kSample) + "]\r\n\"First\"=\"applied?\"\r\n";
  const std::vector<std::tuple<std::string, int, std::string>> bad = {
      {"REGEDIT4\r\n\r\n" + key + "\r\n\"b\"=dwrd:1\r\n", 6, "\"text\", dword:, hex:"},
      {"REGEDIT4\r\n" + key + "\"b\"=dword:123456789\r\n", 4, "1 to 8 hex digits"},
      {"REGEDIT4\r\n" + key + "\"b\"=hex:g1,02\r\n", 4, "hex bytes of one or two digits"},
      {"REGEDIT4\r\n" + key + "\"b\"=hex:01 02\r\n", 4, "a comma"},
      {"REGEDIT4\r\n" + key + "\"b=\"x\"\r\n", 4, "= after the value name"},
      {"REGEDIT4\r\n" + key + "\"b\"=\"x\r\n", 4, "closing \""},
      {"REGEDIT4\r\n" + key + "[HKEY_NOWHERE\\x]\r\n", 4, "a root key by its full name"},
      {"REGEDIT4\r\n" + key + "[HKEY_CURRENT_USER\\x\r\n", 4, "a key line"},
      {"REGEDIT4\r\n\"early\"=\"x\"\r\n" + key, 2, "a [KEY] line before the first value"},
      {"REGEDIT 4\r\n" + key, 1, "the header"},
      {"REGEDIT4\r\n" + key + "\"b\"=hex:01,\\\r\n\"c\"=\"x\"\r\n", 5, "hex data on the line after"},
  };
  for (const auto& [content, line, expected] : bad) {
    vktest::WriteWholeFile(PathOf("bad.reg"), content);
    ToolResult result = RunTool({"reg", "import", PathOf("bad.reg")});
    EXPECT_EQ(result.exitCode, 2) << content;
    EXPECT_NE(result.err.find("bad.reg:" + std::to_string(line) + ": expected"), std::string::npos)
        << content << result.err;
    EXPECT_NE(result.err.find(expected), std::string::npos) << content << result.err;
    EXPECT_FALSE(KeyExists(kSample)) << content;
  }
}

// What the registry editor reads despite its looks is read to the same
// values: blanks after dword:, comments and blank lines inside continued hex
// data, bytes of one digit, text after a key's ']', empty names in a key's
// path, CR escaped as \r, an unknown escape as the character itself, and a
// string type's hex data without a terminator, which gets one.
TEST_F(RegFileToolTest, WhatTheRegistryEditorReadsIsRead) {
  const std::string key = "HKEY_CURRENT_USER\\" + std::string(kSample);
  vktest::WriteWholeFile(PathOf("lenient.reg"),
                         "REGEDIT4\r\n\r\n[" + key + "] text after the key\r\n"
                         "\"Dword\"=dword: 10 ; a comment\r\n"
                         "\"Continued\"=hex:01,02,\\\r\n; a comment\r\n\r\n  03\r\n"
                         "\"OneDigit\"=hex:1,2,a\r\n"
                         "\"Escapes\"=\"a\\rb \\n C:\\temp\"\r\n"
                         "\"Expand\"=hex(2):41,42\r\n"
                         "\"Spaced\"=hex( 2):43,00\r\n"
                         "[" + key + "\\\\Sub\\]\r\n"
                         "\"Last\"=hex:ff,\\\r\n");
  ImportWithEach(PathOf("lenient.reg"), [&](const std::string& importer) {
    EXPECT_EQ(Value("", "Dword"), std::make_pair(DWORD(REG_DWORD), std::string("\x10\0\0\0", 4))) << importer;
    EXPECT_EQ(Value("", "Continued"), std::make_pair(DWORD(REG_BINARY), std::string("\x01\x02\x03"))) << importer;
    EXPECT_EQ(Value("", "OneDigit"), std::make_pair(DWORD(REG_BINARY), std::string("\x01\x02\x0a"))) << importer;
    EXPECT_EQ(Value("", "Escapes"), std::make_pair(DWORD(REG_SZ), std::string("a\rb \n C:temp", 13))) << importer;
    EXPECT_EQ(Value("", "Expand"), std::make_pair(DWORD(REG_EXPAND_SZ), std::string("AB", 3))) << importer;
    EXPECT_EQ(Value("", "Spaced"), std::make_pair(DWORD(REG_EXPAND_SZ), std::string("C", 2))) << importer;
    EXPECT_EQ(Value("\\Sub", "Last"), std::make_pair(DWORD(REG_BINARY), std::string("\xff"))) << importer;
  });
  // The character read for an unknown escape is named, as the editor warns.
  ToolResult again = RunTool({"reg", "import", PathOf("lenient.reg")});
  EXPECT_NE(again.err.find("lenient.reg:10: warning: unknown escape \\t read as t"), std::string::npos) << again.err;
  // An escaped control character is named escaped: a file cannot steer the terminal.
  vktest::WriteWholeFile(PathOf("steer.reg"), "REGEDIT4\r\n\r\n[" + key + "]\r\n\"E\"=\"a\\\x1b[2Jb\"\r\n");
  ToolResult steer = RunTool({"reg", "import", PathOf("steer.reg")});
  EXPECT_EQ(steer.exitCode, 0) << steer.err;
  EXPECT_EQ(steer.err.find('\x1b'), std::string::npos) << steer.err;
  EXPECT_NE(steer.err.find("\\x1B"), std::string::npos) << steer.err;
}

// What the registry editor skips, dropping the value or the key, makes
// this reader refuse the file: the editor's own import lacks the value.
TEST_F(RegFileToolTest, WhatTheRegistryEditorSkipsIsRefused) {
  const std::string key = "[HKEY_CURRENT_USER\\" + std::string(kSample) + "]\r\n";
  const std::vector<std::tuple<std::string, std::string>> skipped = {
      {"REGEDIT4\r\n\r\n" + key + "\"b\"=DWORD:00000001\r\n", ":4: expected"},
      {"REGEDIT4\r\n\r\n" + key + "\"b\"=HEX:01\r\n", ":4: expected"},
      {"REGEDIT4\r\n\r\n" + key + "\"b\"=hex: 01, 02 ,03\r\n", ":4: expected a comma right after"},
      {"REGEDIT4\r\n\r\n" + key + "\"b\"=\"a\\0b\"\r\n", ":4: expected no \\0"},
      {"REGEDIT4\r\n\r\n[HKCU\\" + std::string(kSample) + "]\r\n\"b\"=\"x\"\r\n", ":3: expected a root key by its full name"},
      {"regedit4\r\n\r\n" + key + "\"b\"=\"x\"\r\n", ":1: expected the header"},
      {"\r\nREGEDIT4\r\n\r\n" + key + "\"b\"=\"x\"\r\n", ":1: expected the header"},
      {"\xEF\xBB\xBFREGEDIT4\r\n\r\n" + key + "\"b\"=\"x\"\r\n", ":1: expected the header"},
  };
  for (const auto& [content, expected] : skipped) {
    vktest::WriteWholeFile(PathOf("skipped.reg"), content);
    ToolResult result = RunTool({"reg", "import", PathOf("skipped.reg")});
    EXPECT_EQ(result.exitCode, 2) << content;
    EXPECT_NE(result.err.find("skipped.reg" + expected), std::string::npos) << content << result.err;
    EXPECT_FALSE(KeyExists(kSample)) << content;
    if (vktest::IsWindowsTarget()) {
      ASSERT_EQ(vktest::RunProgram("regedit.exe", {"/S", PathOf("skipped.reg")}).exitCode, 0);
      EXPECT_FALSE(HasValue("b")) << "the editor skipped it too: " << content;
      SHDeleteKeyA(HKEY_CURRENT_USER, kSample);
    }
  }
}

// Every name, length and depth is checked before anything is applied, so a
// file that fails at its last key has not deleted its first.
TEST_F(RegFileToolTest, AFileBeyondWindowsLimitsChangesNothing) {
  ASSERT_EQ(RunTool({"reg", "add", m_sampleKey + "\\Keep", "-v", "v", "-d", "1"}).exitCode, 0);
  const std::string keep = "[-HKEY_CURRENT_USER\\" + std::string(kSample) + "\\Keep]\r\n";
  const std::string sample = "HKEY_CURRENT_USER\\" + std::string(kSample);
  std::string deep = sample;
  for (int level = 4; level <= 512; ++level) deep += "\\d";
  const std::vector<std::tuple<std::string, std::string>> beyond = {
      {"[" + sample + "\\" + std::string(300, 'k') + "]\r\n", "key names of at most 255 characters"},
      {"[" + sample + "]\r\n\"" + std::string(16384, 'v') + "\"=\"x\"\r\n", "a value name of at most 16383"},
      {"[" + deep + "]\r\n", "a key at most 512 levels deep"},
  };
  for (const auto& [tail, expected] : beyond) {
    vktest::WriteWholeFile(PathOf("beyond.reg"), "REGEDIT4\r\n\r\n" + keep + tail);
    ToolResult result = RunTool({"reg", "import", PathOf("beyond.reg")});
    EXPECT_EQ(result.exitCode, 2) << expected;
    EXPECT_NE(result.err.find(expected), std::string::npos) << result.err;
    EXPECT_TRUE(KeyExists(std::string(kSample) + "\\Keep")) << expected;
  }
}

TEST_F(RegFileToolTest, MissingFilesFailWithTheSystemText) {
  ToolResult missing = RunTool({"reg", "import", PathOf("absent.reg")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("absent.reg"), std::string::npos) << missing.err;
  ASSERT_EQ(RunTool({"reg", "add", m_sampleKey}).exitCode, 0);
  ToolResult noDir = RunTool({"reg", "export", m_sampleKey, PathOf("no-such-dir/out.reg")});
  EXPECT_EQ(noDir.exitCode, 1);
  EXPECT_NE(noDir.err.find("out.reg"), std::string::npos) << noDir.err;
  ToolResult noKey = RunTool({"reg", "export", m_sampleKey + "\\Absent", PathOf("out.reg")});
  EXPECT_EQ(noKey.exitCode, 1);
  EXPECT_FALSE(vktest::FileExists(PathOf("out.reg")));
}

}  // namespace
