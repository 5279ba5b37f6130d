// vkdiag events run as an operator runs it, on records reported through
// ReportEventA to a log of the test's own.
#include <gtest/gtest.h>

#include <vk/platform.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <chrono>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string.h>
#include <string>
#include <thread>
#include <filesystem>
#include <vector>

#include "support/test_support.h"
#include "support/tool_runner.h"

namespace {

using vktest::RunTool;
using vktest::ToolResult;

const char kEventlogKey[] = "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\";

class EventsToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (vktest::RunningUnderWine()) GTEST_SKIP() << "Wine keeps no event log to read back";
    std::string id = std::to_string(vktest::GetCurrentProcessIdForTests());
    m_log = "VkToolLog" + id;
    m_source = "VkToolSource" + id;
    char module[MAX_PATH] = "";
    ASSERT_GT(SearchPathA(nullptr, "VkGenericEventLogx.dll", nullptr, sizeof module, module, nullptr), 0u);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kEventlogKey + m_log + "\\" + m_source).c_str(), 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(module),
                   static_cast<DWORD>(strlen(module) + 1));
    RegCloseKey(key);
  }
  void TearDown() override {
    if (m_log.empty()) return;
    HANDLE log = OpenEventLogA(nullptr, m_log.c_str());
    if (log) {
      ClearEventLogA(log, nullptr);
      CloseEventLog(log);
    }
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, (kEventlogKey + m_log).c_str());
  }
  void Report(WORD type, DWORD id, std::vector<const char*> strings, const std::string& data = "") {
    HANDLE source = RegisterEventSourceA(nullptr, m_source.c_str());
    ASSERT_NE(source, nullptr);
    ASSERT_TRUE(ReportEventA(source, type, 3, id, nullptr, static_cast<WORD>(strings.size()),
                             static_cast<DWORD>(data.size()), strings.empty() ? nullptr : strings.data(),
                             data.empty() ? nullptr : const_cast<char*>(data.data())));
    DeregisterEventSource(source);
  }
  void ReportThree() {
    Report(EVENTLOG_INFORMATION_TYPE, 0x40020000, {"started with 100%2 of \"it\""});
    Report(EVENTLOG_ERROR_TYPE, 0xC0020000, {});
    Report(EVENTLOG_WARNING_TYPE, 0x80020000, {"low disk"}, std::string("AB\x01\x1b", 4));
  }
  std::vector<nlohmann::json> JsonLines(const std::string& out) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    return lines;
  }

  std::string m_log;
  std::string m_source;
};

TEST_F(EventsToolTest, QueryRendersMessagesFromTheSourcesMessageFileWithinTheStringCount) {
  ReportThree();
  ToolResult text = RunTool({"events", "query", m_log});
  ASSERT_EQ(text.exitCode, 0) << text.err;
  EXPECT_NE(text.out.find("Record 1\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("  Type:      information\n  Source:    " + m_source + "\n  Event ID:  0 (0x40020000)\n"
                          "  Category:  3\n"),
            std::string::npos)
      << text.out;
  // The insertion string is put in once; its own %2 is not read again.
  EXPECT_NE(text.out.find("  Message:\n    started with 100%2 of \"it\"\n"), std::string::npos) << text.out;
  // No string for %1: the insert stays as written, nothing is read past the record.
  EXPECT_NE(text.out.find("  Type:      error\n"), std::string::npos);
  EXPECT_NE(text.out.find("  Message:\n    %1\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("  Data:\n  0000: 41 42 01 1b"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("  AB..\n"), std::string::npos) << text.out;

  ToolResult json = RunTool({"events", "query", m_log, "--format", "json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  std::vector<nlohmann::json> records = JsonLines(json.out);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0]["record"], 1);
  EXPECT_EQ(records[0]["type"], "information");
  EXPECT_EQ(records[0]["event_id"], 0x40020000u);
  EXPECT_EQ(records[0]["category"], 3);
  EXPECT_EQ(records[0]["message"], "started with 100%2 of \"it\"");
  EXPECT_EQ(records[1]["strings"].size(), 0u);
  EXPECT_EQ(records[2]["data"], "4142011B");
  EXPECT_EQ(records[2]["source"], m_source);
  EXPECT_NE(records[2]["generated"].get<std::string>().find('T'), std::string::npos);
}

// A message file that cannot be a module, such as a FIFO that would hold
// its reader until someone writes it, gives the note and the strings.
TEST_F(EventsToolTest, QueryShowsTheStringsWhenTheMessageFileIsNoRegularFile) {
#if defined(_WIN32)
  GTEST_SKIP() << "FIFOs are POSIX's";
#else
  std::string fifo = (vktest::fs::temp_directory_path() / ("vkdiag-fifo-" + m_source + ".dll")).string();
  vktest::fs::remove(fifo);
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kEventlogKey + m_log + "\\" + m_source).c_str(), 0, KEY_WRITE, &key),
            ERROR_SUCCESS);
  RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(fifo.c_str()),
                 static_cast<DWORD>(fifo.size() + 1));
  RegCloseKey(key);
  Report(EVENTLOG_WARNING_TYPE, 0x80020000, {"low disk"});

  ToolResult text = RunTool({"events", "query", m_log});
  vktest::fs::remove(fifo);
  ASSERT_EQ(text.exitCode, 0) << text.err;
  EXPECT_NE(text.out.find("(no text for event 0x80020000 of source " + m_source + " in " + fifo + ")"),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("low disk"), std::string::npos) << text.out;
#endif
}

TEST_F(EventsToolTest, FiltersPickTypeSourceTimeAndCount) {
  ReportThree();
  auto numbers = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"events", "query", m_log, "--format", "json"});
    ToolResult result = RunTool(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::vector<int> found;
    for (const nlohmann::json& record : JsonLines(result.out)) found.push_back(record["record"].get<int>());
    return found;
  };
  EXPECT_EQ(numbers({"--type", "error"}), std::vector<int>({2}));
  EXPECT_EQ(numbers({"--type", "error,warning"}), std::vector<int>({2, 3}));
  EXPECT_EQ(numbers({"--reverse", "-c", "2"}), std::vector<int>({3, 2}));
  EXPECT_EQ(numbers({"--source", "someone-else"}), std::vector<int>());
  EXPECT_EQ(numbers({"--source", m_source, "-c", "1"}), std::vector<int>({1}));
  EXPECT_EQ(numbers({"--since", "2999-01-01"}), std::vector<int>());
  EXPECT_EQ(numbers({"--until", "2999-01-01T00:00:00", "--since", "2000-01-01 00:00"}), std::vector<int>({1, 2, 3}));

  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"events", "query", m_log, "--type", "fatal"}, {"events", "query", m_log, "--since", "yesterday"},
           {"events", "query", m_log, "--format", "xml"}, {"events", "query", m_log, "-c", "-1"}}) {
    ToolResult result = RunTool(bad);
    EXPECT_EQ(result.exitCode, 2) << bad[3];
    EXPECT_EQ(result.out, "");
  }
}

TEST_F(EventsToolTest, LogsListsSourcesAndClearEmptiesTheLog) {
  ReportThree();
  ToolResult logs = RunTool({"events", "logs"});
  ASSERT_EQ(logs.exitCode, 0) << logs.err;
  EXPECT_NE(logs.out.find(m_log + "\n    " + m_source + "    "), std::string::npos) << logs.out;
  EXPECT_NE(logs.out.find("VkGenericEventLogx.dll"), std::string::npos);

  std::string backup = (vktest::fs::temp_directory_path() / ("vkdiag-backup-" + m_log)).string();
  vktest::fs::remove(backup);
  ToolResult cleared = RunTool({"events", "clear", m_log, "--backup", backup});
  ASSERT_EQ(cleared.exitCode, 0) << cleared.err;
  EXPECT_EQ(cleared.out, "cleared " + m_log + ": removed 3 records, saved first to " + backup + "\n");
  EXPECT_EQ(RunTool({"events", "query", m_log}).out, "");
  EXPECT_EQ(RunTool({"events", "clear"}).exitCode, 2);
  // The backup reads back as the log it saved, numbers and all.
  ToolResult saved = RunTool({"events", "query", "--file", backup, "--format", "json"});
  ASSERT_EQ(saved.exitCode, 0) << saved.err;
  std::vector<nlohmann::json> records = JsonLines(saved.out);
  ASSERT_EQ(records.size(), 3u) << saved.out;
  EXPECT_EQ(records[0]["record"], 1);
  EXPECT_EQ(records[2]["record"], 3);
  vktest::fs::remove(backup);
}

// An operator's mistyped log name is an error that names the logs there
// are, never an action on another log.
TEST_F(EventsToolTest, AMistypedLogIsRefusedAndNamesTheLogsThereAre) {
  ReportThree();
  std::string mistyped = m_log.substr(0, m_log.size() - 1);
  for (const char* command : {"clear", "query", "follow"}) {
    ToolResult result = RunTool({"events", command, mistyped, "--timeout", "1"});
    if (std::string(command) != "follow") result = RunTool({"events", command, mistyped});
    EXPECT_EQ(result.exitCode, 1) << command;
    EXPECT_NE(result.err.find("there is no event log '" + mistyped + "'"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(m_log), std::string::npos) << "the logs there are: " << result.err;
  }
  EXPECT_EQ(JsonLines(RunTool({"events", "query", m_log, "--format", "json"}).out).size(), 3u)
      << "nothing was cleared";
}

// JSON carries the whole identifier, its code and the log, and escapes
// every control character, those beyond ASCII too.
TEST_F(EventsToolTest, JsonCarriesTheWholeIdentifierItsCodeTheLogAndEscapesControls) {
  Report(EVENTLOG_ERROR_TYPE, 0xC0020001, {"bell\x07 csi\xc2\x9b" "2J del\x7f"});
  ToolResult result = RunTool({"events", "query", m_log, "--format", "json"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("\"event_id\":3221356545"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("\"event_code\":1"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("\"log\":\"" + m_log + "\""), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("bell\\u0007 csi\\u009b2J del\\u007f"), std::string::npos) << result.out;
  for (char c : result.out) EXPECT_FALSE((c > 0 && c < 0x20 && c != '\n') || c == 0x7F) << result.out;
}

TEST_F(EventsToolTest, FollowPrintsRecordsThatArriveAfterItStarts) {
  Report(EVENTLOG_INFORMATION_TYPE, 0x40020000, {"before"});
  vktest::ToolProcess follow({"events", "follow", m_log, "--count", "1", "--timeout", "20", "--format", "json"});
  ASSERT_TRUE(follow.started());
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (follow.ErrorSoFar().find("following") == std::string::npos && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  Report(EVENTLOG_WARNING_TYPE, 0x80020000, {"after"});
  ToolResult result = follow.Wait();
  ASSERT_EQ(result.exitCode, 0) << result.err;
  std::vector<nlohmann::json> records = JsonLines(result.out);
  ASSERT_EQ(records.size(), 1u) << result.out;
  EXPECT_EQ(records[0]["message"], "after");
}

}  // namespace
