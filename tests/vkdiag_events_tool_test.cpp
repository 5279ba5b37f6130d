// vkdiag events run as an operator runs it, on records reported through
// ReportEventA to a log of the test's own.
#include <gtest/gtest.h>

#include <vk/event_log.h>
#include <vk/platform.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string.h>
#include <string>
#include <thread>
#include <filesystem>
#include <vector>

#include "support/test_support.h"
#include "support/tool_runner.h"
#if !defined(_WIN32)
#include <unistd.h>

#include "support/syslog_socket.h"
#include "support/system_log_daemons.h"
#endif

namespace {

using vktest::RunTool;
using vktest::ToolResult;

const char kEventlogKey[] = "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\";
const char kNoSystemLog[] = "Windows has no journal or syslog";

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
  // A message table of the test's own as the source's message file.
  void UseMessageTable(const std::string& lines) {
    std::string path = std::string(getenv("VK_SYSTEM_ROOT")) + "/" + m_source + ".dll";
    vktest::WriteWholeFile(path, "vkdiag message table 2\n" + lines);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kEventlogKey + m_log + "\\" + m_source).c_str(), 0, KEY_WRITE, &key),
              ERROR_SUCCESS);
    RegSetValueExA(key, "EventMessageFile", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>(path.size() + 1));
    RegCloseKey(key);
  }
  static std::vector<nlohmann::json> JsonLines(const std::string& out) {
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
// its reader until someone writes it, gives the note and the strings; so
// does a table named relative to the current directory, which whoever
// starts the program chooses.
TEST_F(EventsToolTest, QueryShowsTheStringsWhenTheMessageFileIsNoRegularFileOrNotNamedInFull) {
#if defined(_WIN32)
  GTEST_SKIP() << "FIFOs are POSIX's";
#else
  std::string fifo = (vktest::fs::temp_directory_path() / ("vkdiag-fifo-" + m_source + ".dll")).string();
  std::string planted = "vkdiag-planted-" + m_source + ".dll";
  vktest::fs::remove(fifo);
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  vktest::WriteWholeFile(planted, "vkdiag message table 2\n0x80020000\t1\tforged %1\n");
  auto query = [&](const std::string& messageFile) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kEventlogKey + m_log + "\\" + m_source).c_str(), 0, KEY_WRITE,
                            &key),
              ERROR_SUCCESS);
    RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(messageFile.c_str()),
                   static_cast<DWORD>(messageFile.size() + 1));
    RegCloseKey(key);
    return RunTool({"events", "query", m_log});
  };
  Report(EVENTLOG_WARNING_TYPE, 0x80020000, {"low disk"});

  for (const std::string& file : {fifo, planted, "./" + planted}) {
    ToolResult text = query(file);
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("(no text for event 0x80020000 of source " + m_source + " in " + file + ")"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("low disk"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("forged"), std::string::npos) << text.out;
  }
  EXPECT_NE(query(vktest::fs::absolute(planted).string()).out.find("forged low disk"), std::string::npos)
      << "the same table named in full is read";
  vktest::fs::remove(fifo);
  vktest::fs::remove(planted);
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

// The message the journal and syslog receive is the one the tool shows:
// the source's own text with the strings put in, control characters
// escaped.
TEST_F(EventsToolTest, TheSystemLogCarriesTheMessageTheToolShows) {
#if defined(_WIN32)
  GTEST_SKIP() << kNoSystemLog;
#else
  UseMessageTable("0xc0000101\t3\tDisk %1 is %2%% full.%nCall %3.\n");
  {
    std::string path = std::string(getenv("VK_SYSTEM_ROOT")) + "/journal.sock";
    vktest::SyslogSocket journal(path);
    vktest::SystemLogAt forward("VK_JOURNAL_SOCKET", path);
    ASSERT_TRUE(journal.bound());
    Report(EVENTLOG_ERROR_TYPE, 0xC0000101, {"C:", "95"});
    std::string entry = journal.Next();
    EXPECT_EQ("MESSAGE=Disk C: is 95% full.#015#012Call %3.", entry.substr(0, entry.find('\n')));
  }
  ToolResult json = RunTool({"events", "query", m_log, "--format", "json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  std::vector<nlohmann::json> records = JsonLines(json.out);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["message"], "Disk C: is 95% full.\r\nCall %3.");
#endif
}

#if !defined(_WIN32)
// The value of a field as journalctl -o json shows it: text, or an array
// of bytes for binary data.
std::string JournalField(const nlohmann::json& entry, const char* name) {
  if (!entry.contains(name)) return "(missing)";
  const nlohmann::json& value = entry[name];
  if (value.is_string()) return value.get<std::string>();
  std::string bytes;
  for (const nlohmann::json& byte : value) bytes += static_cast<char>(byte.get<int>());
  return bytes;
}

// Data with the bytes that need the journal's binary form.
std::string BinaryData(int i) { return std::string("\0\n\xff", 3) + std::to_string(i); }
#endif

// Events of every type, found in a journal of the test's own by their
// identifier with every field as sent and their data byte for byte, a
// large one and one the store refused too.
TEST_F(EventsToolTest, TheJournalHoldsEachEventWithItsFields) {
#if defined(_WIN32)
  GTEST_SKIP() << kNoSystemLog;
#else
  std::string root = getenv("VK_SYSTEM_ROOT");
  vktest::Journald journald(root);
  if (!journald.reason().empty()) GTEST_SKIP() << journald.reason();
  vktest::SystemLogAt forward("VK_JOURNAL_SOCKET", journald.socket());
  UseMessageTable("0xc0fe0001\t2\t%1 failed (%2).\n0x80fe0002\t2\t%1 failed (%2).\n0x40fe0003\t2\t%1 failed (%2).\n"
                  "0x40fe0004\t2\t%1 failed (%2).\n0x40fe0005\t2\t%1 failed (%2).\n");
  struct Sent {
    WORD type;
    const char *id, *code, *name, *priority;
    std::string data;
  };
  const std::string large = std::string(400 * 1024, '\x01') + BinaryData(6);
  const Sent sent[] = {{EVENTLOG_ERROR_TYPE, "3237871617", "1", "error", "3", BinaryData(1)},
                       {EVENTLOG_WARNING_TYPE, "2164129794", "2", "warning", "4", BinaryData(2)},
                       {EVENTLOG_INFORMATION_TYPE, "1090387971", "3", "information", "6", BinaryData(3)},
                       {EVENTLOG_AUDIT_SUCCESS, "1090387972", "4", "audit-success", "6", BinaryData(4)},
                       {EVENTLOG_AUDIT_FAILURE, "1090387973", "5", "audit-failure", "5", large}};
  Vk::VkEventLog log(m_source.c_str(), m_log.c_str());
  for (const Sent& event : sent)
    ASSERT_TRUE(log.ReportData(event.type, static_cast<DWORD>(std::stoul(event.id)), 3,
                               reinterpret_cast<const BYTE*>(event.data.data()), static_cast<DWORD>(event.data.size()),
                               "backup\x1b[2J")) << event.name;
  vktest::ChildProcess refused("report_with_unwritable_event_store", {root + "/unwritable"});
  EXPECT_EQ(0, refused.Wait());

  std::string sid = "S-1-22-1-" + std::to_string(geteuid());
  for (size_t i = 0; i < sizeof sent / sizeof sent[0]; ++i) {
    std::vector<nlohmann::json> entries = JsonLines(journald.Entries(std::string("VKDIAG_EVENT_ID=") + sent[i].id));
    ASSERT_EQ(1u, entries.size()) << sent[i].name;
    const nlohmann::json& entry = entries[0];
    EXPECT_EQ("backup#033[2J failed (%2).", JournalField(entry, "MESSAGE")) << "%2 has no string";
    EXPECT_EQ(sent[i].priority, JournalField(entry, "PRIORITY"));
    EXPECT_EQ("journal", JournalField(entry, "_TRANSPORT"));
    EXPECT_EQ(m_source, JournalField(entry, "SYSLOG_IDENTIFIER"));
    EXPECT_EQ(m_source, JournalField(entry, "VKDIAG_SOURCE"));
    EXPECT_EQ(m_log, JournalField(entry, "VKDIAG_LOG"));
    EXPECT_EQ(sent[i].code, JournalField(entry, "VKDIAG_EVENT_CODE"));
    EXPECT_EQ(sent[i].name, JournalField(entry, "VKDIAG_TYPE"));
    EXPECT_EQ("3", JournalField(entry, "VKDIAG_CATEGORY"));
    EXPECT_EQ(std::to_string(i + 1), JournalField(entry, "VKDIAG_RECORD"));
    EXPECT_EQ(sid, JournalField(entry, "VKDIAG_USER_SID"));
    EXPECT_TRUE(sent[i].data == JournalField(entry, "VKDIAG_DATA")) << sent[i].name << ": byte for byte";
  }
  std::vector<nlohmann::json> entries = JsonLines(journald.Entries("VKDIAG_SOURCE=vkdiag-unstored"));
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("9", JournalField(entries[0], "VKDIAG_EVENT_ID"));
  EXPECT_EQ("error", JournalField(entries[0], "VKDIAG_TYPE"));
  EXPECT_EQ(sid, JournalField(entries[0], "VKDIAG_USER_SID"));
  EXPECT_EQ("(missing)", JournalField(entries[0], "VKDIAG_RECORD")) << "the store refused it";
  EXPECT_EQ("(no text for event 0x00000009 of source vkdiag-unstored without a message file)#015#012kept in the "
            "system log",
            JournalField(entries[0], "MESSAGE"));
  printf("journal: %zu events found by identifier, every field as sent\n", sizeof sent / sizeof sent[0] + 1);
#endif
}

#if !defined(_WIN32)
const char kFleetLog[] = "VkFleetLog";
const char kFleetSource[] = "VkFleet";
constexpr int kFleetEvents = 2000;
const WORD kFleetTypes[] = {EVENTLOG_ERROR_TYPE, EVENTLOG_WARNING_TYPE, EVENTLOG_INFORMATION_TYPE,
                            EVENTLOG_AUDIT_SUCCESS, EVENTLOG_AUDIT_FAILURE};
const DWORD kFleetIds[] = {0xC0020000, 0x80020000, 0x40020000, 0x40020000, 0x40020000};

// A program on a machine of the fleet: its own store (args[0]), the
// machine's system log socket (args[1]), its name (args[2]). It reports
// half of its events, tells (file args[3]), waits for the word (file
// args[4]), then reports the rest.
VK_CHILD_MAIN(fleet_machine_reports) {
  setenv("VK_SYSTEM_ROOT", args.at(0).c_str(), 1);
  setenv("VK_SYSLOG_SOCKET", args.at(1).c_str(), 1);
  setenv("VK_EVENTLOG_SYSLOG", "1", 1);
  Vk::VkEventLog log;
  log.RegisterSource(kFleetLog, kFleetSource, "VkGenericEventLogx.dll", nullptr, 7, 1);
  for (int i = 0; i < kFleetEvents; ++i) {
    if (i == kFleetEvents / 2) {
      vktest::WriteWholeFile(args.at(3), "");
      if (!vktest::AwaitFile(args.at(4))) return 2;
    }
    std::string data = BinaryData(i);
    if (!log.ReportData(kFleetTypes[i % 5], kFleetIds[i % 5], static_cast<WORD>(i % 7),
                        reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()), "%s event %d",
                        args.at(2).c_str(), i))
      return 1;
  }
  return 0;
}

// The lines of a file another process is writing, without the last one
// while it has no newline yet.
std::vector<std::string> WholeLines(const std::string& path) {
  std::string text = vktest::ReadWholeFile(path);
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

// Replaces a piece of an example's text; false when the piece is not there.
bool Replace(std::string* text, const std::string& piece, const std::string& by) {
  size_t at = text->find(piece);
  if (at != std::string::npos) text->replace(at, piece.size(), by);
  return at != std::string::npos;
}
#endif

// Three machines forward over RELP to a collector that is down for two
// seconds meanwhile; the collector's JSON Lines hold every event once or
// more, with the keys and values vkdiag events query shows on the machine
// it came from. The rsyslog configurations are the examples installed.
TEST_F(EventsToolTest, AFleetsEventsReachTheCollectorAsTheToolShowsThem) {
#if defined(_WIN32)
  GTEST_SKIP() << kNoSystemLog;
#else
  if (geteuid() != 0) GTEST_SKIP() << "the fleet's rsyslog daemons run as root";
  struct Directory {
    vktest::fs::path path;
    ~Directory() {  // after the daemons in it have stopped
      std::error_code ignored;
      vktest::fs::remove_all(path, ignored);
    }
  } scratch{vktest::fs::temp_directory_path() / ("vkdiag-fleet-" + std::to_string(getpid()))};
  const vktest::fs::path& base = scratch.path;
  vktest::fs::create_directories(base / "collector");
  std::string collectorDir = (base / "collector").string();
  std::string jsonLines = collectorDir + "/events.jsonl";
  int port = vktest::FreeLoopbackPort();
  std::string noSystemSocket = "module(load=\"imuxsock\" SysSock.Use=\"off\")\n";
  std::string collectorConfig = vktest::ReadWholeFile(VK_RSYSLOG_EXAMPLES_DIR "/vkdiag-collector.conf");
  std::string address = "address=\"127.0.0.1\" port=\"" + std::to_string(port) + "\"";
  ASSERT_TRUE(Replace(&collectorConfig, "port=\"2514\"", address));
  ASSERT_TRUE(Replace(&collectorConfig, "file=\"/var/log/vkdiag/events.jsonl\"", "file=\"" + jsonLines + "\""));
  vktest::WriteWholeFile(collectorDir + "/check.conf", collectorConfig);
  std::string check = std::string(vktest::Rsyslog::Path()) + " -N1 -f " + collectorDir + "/check.conf >/dev/null 2>&1";
  if (system(check.c_str()) != 0)
    GTEST_SKIP() << "rsyslog cannot load its RELP modules (Debian package rsyslog-relp)";
  vktest::Rsyslog collector(collectorDir, noSystemSocket + collectorConfig);
  if (!collector.reason().empty()) GTEST_SKIP() << collector.reason();
  ASSERT_TRUE(vktest::AwaitLoopbackListener(port));

  std::string forward = vktest::ReadWholeFile(VK_RSYSLOG_EXAMPLES_DIR "/vkdiag-forward.conf");
  ASSERT_TRUE(Replace(&forward, "target=\"collector.example.org\" port=\"2514\"",
                      "target=\"127.0.0.1\" port=\"" + std::to_string(port) + "\""));
  std::vector<std::unique_ptr<vktest::Rsyslog>> machines;
  std::vector<std::unique_ptr<vktest::ChildProcess>> programs;
  std::string go = (base / "go").string();
  for (int m = 1; m <= 3; ++m) {
    std::string name = "machine-" + std::to_string(m);
    std::string dir = (base / name).string();
    vktest::fs::create_directories(dir + "/store");
    std::string socket = dir + "/log.sock";
    machines.push_back(std::make_unique<vktest::Rsyslog>(
        dir, "global(localHostname=\"" + name + "\")\n" + noSystemSocket + "input(type=\"imuxsock\" Socket=\"" +
                 socket + "\" UseSpecialParser=\"off\" IgnoreTimestamp=\"off\" RateLimit.Interval=\"0\")\n" + forward));
    ASSERT_TRUE(vktest::AwaitFile(socket)) << name;
    programs.push_back(std::make_unique<vktest::ChildProcess>(
        "fleet_machine_reports", std::vector<std::string>{dir + "/store", socket, name, dir + "/half", go}));
  }
  for (int m = 1; m <= 3; ++m)
    ASSERT_TRUE(vktest::AwaitFile((base / ("machine-" + std::to_string(m)) / "half").string())) << "machine " << m;
  // The outage comes once the first halves are written, not while the
  // collector is in the middle of them.
  for (int poll = 0; poll < 1200; ++poll) {
    std::set<std::string> written;
    for (const std::string& line : WholeLines(jsonLines)) {
      nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
      ASSERT_FALSE(event.is_discarded()) << line;
      written.insert(event["computer"].get<std::string>() + "/" + std::to_string(event["record"].get<int>()));
    }
    if (written.size() >= 3u * (kFleetEvents / 2)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  collector.Stop();
  vktest::WriteWholeFile(go, "");
  std::this_thread::sleep_for(std::chrono::seconds(2));  // the collector's outage itself
  collector.Start();
  for (auto& program : programs) EXPECT_EQ(0, program->Wait());

  // Every event once at least: (machine, record) -> the first line of it.
  std::map<std::pair<std::string, int>, nlohmann::json> received;
  size_t lines = 0;
  for (int poll = 0; poll < 1200 && received.size() < 3u * kFleetEvents; ++poll) {
    if (poll > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<std::string> whole = WholeLines(jsonLines);
    lines = whole.size();
    for (const std::string& line : whole) {
      nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
      ASSERT_FALSE(event.is_discarded()) << line;
      received.emplace(std::make_pair(event["computer"].get<std::string>(), event["record"].get<int>()), event);
    }
  }
  size_t duplicates = lines - received.size();
  printf("fleet: %zu of %d events at the collector, %zu duplicates from RELP's resend\n", received.size(),
         3 * kFleetEvents, duplicates);
  RecordProperty("duplicates", static_cast<int>(duplicates));
  ASSERT_EQ(3u * kFleetEvents, received.size()) << "none lost";

  for (int m = 1; m <= 3; ++m) {
    std::string name = "machine-" + std::to_string(m);
    std::string saved = getenv("VK_SYSTEM_ROOT");
    setenv("VK_SYSTEM_ROOT", (base / name / "store").c_str(), 1);
    ToolResult query = RunTool({"events", "query", kFleetLog, "--format", "json"});
    setenv("VK_SYSTEM_ROOT", saved.c_str(), 1);
    ASSERT_EQ(0, query.exitCode) << query.err;
    std::vector<nlohmann::json> shown = JsonLines(query.out);
    ASSERT_EQ(static_cast<size_t>(kFleetEvents), shown.size());
    for (int i = 0; i < kFleetEvents; ++i) {
      nlohmann::json& collected = received[{name, i + 1}];
      std::string text = name + " event " + std::to_string(i);
      EXPECT_EQ(text, collected["message"]);
      EXPECT_EQ(nlohmann::json::array({text}), collected["strings"]);
      EXPECT_EQ(name, collected["computer"]) << "the machine it came from";
      // What the machine's tool shows, key for key; the time written and the
      // computer's name are the collector's and the machine's daemon's.
      for (const char* own : {"written", "computer"}) {
        collected.erase(own);
        shown[i].erase(own);
      }
      ASSERT_EQ(shown[i], collected) << name << " record " << i + 1;
    }
  }
#endif
}

}  // namespace
