// Event sources, the generic event logger and the application event log.
// Under Wine the system event log is a stub: tests that read events back
// run on Linux only.
#include <vk/event_log.h>
#include <vk/generic_event_logger.h>
#include <vk/registry.h>
#include <vk/vemra_log.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "support/test_support.h"

#if !defined(_WIN32)
#include <unistd.h>

#include "support/syslog_socket.h"
#endif

namespace {

using Vk::VkEventLog;
using Vk::VkGenericEventLogger;

const char kSourcesKey[] = "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\";
const char kWineEventLog[] = "Wine's event log keeps no events to read back";

std::string SourceKey(const std::string& source) { return kSourcesKey + source; }

struct ReadBack {
  EVENTLOGRECORD header = {};
  std::vector<std::string> strings;
  std::string data;
  std::string sid;
  std::string source;
};

// The newest event of the Application log.
bool ReadNewest(ReadBack* event) {
  HANDLE log = OpenEventLogA(nullptr, "Application");
  if (!log) return false;
  std::vector<BYTE> buffer(16);
  DWORD read = 0, needed = 0;
  bool ok = ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, buffer.data(),
                          static_cast<DWORD>(buffer.size()), &read, &needed) != FALSE;
  if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    buffer.resize(needed);
    ok = ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, buffer.data(), needed, &read,
                       &needed) != FALSE;
  }
  CloseEventLog(log);
  if (!ok) return false;
  memcpy(&event->header, buffer.data(), sizeof event->header);
  const char* base = reinterpret_cast<const char*>(buffer.data());
  event->source = base + sizeof(EVENTLOGRECORD);
  const char* text = base + event->header.StringOffset;
  for (WORD i = 0; i < event->header.NumStrings; ++i, text += strlen(text) + 1) event->strings.emplace_back(text);
  event->data.assign(base + event->header.DataOffset, event->header.DataLength);
  event->sid.assign(base + event->header.UserSidOffset, event->header.UserSidLength);
  return true;
}

class EventLogTest : public vktest::ScratchDirTest {
 protected:
  void SetUp() override {
    vktest::ScratchDirTest::SetUp();
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_source = std::string("vkdiag-") + info->name();
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, SourceKey(m_source).c_str());
  }
  void TearDown() override {
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, SourceKey(m_source).c_str());
    vktest::ScratchDirTest::TearDown();
  }
  DWORD RegisteredDword(const char* name) {
    DWORD value = 0xDEAD;
    Vk::VkRegistry(HKEY_LOCAL_MACHINE, SourceKey(m_source).c_str(), false, KEY_READ).ReadDword(name, &value);
    return value;
  }
  std::string RegisteredString(const char* name) {
    Vk::VkRegistry key(HKEY_LOCAL_MACHINE, SourceKey(m_source).c_str(), false, KEY_READ);
    const char* text = key.ReadString(name);
    return text ? text : "<missing>";
  }

  std::string m_source;
};

TEST_F(EventLogTest, RegistrationResolvesTheMessageFileAndWritesFourValues) {
  VkEventLog log(m_source.c_str(), nullptr);
  EXPECT_STREQ("Application", log.GetLogName());
  EXPECT_TRUE(log.RegisterSource(m_source.c_str(), "VkGenericEventLogx.dll", nullptr, 7, 65535));
  std::string message = RegisteredString("EventMessageFile");
  EXPECT_FALSE(PathIsRelativeA(message.c_str())) << message;
  EXPECT_STREQ("VkGenericEventLogx.dll", PathFindFileNameA(message.c_str()));
  EXPECT_EQ(message, RegisteredString("CategoryMessageFile")) << "a null category file is the message file";
  EXPECT_EQ(7u, RegisteredDword("TypesSupported"));
  EXPECT_EQ(65535u, RegisteredDword("CategoryCount"));
  EXPECT_STREQ(m_source.c_str(), log.GetSourceName());
}

TEST_F(EventLogTest, MissingRelativeFilesRegisterEmptyAndAbsoluteOnesStayAsGiven) {
  VkEventLog log;
  std::string absolute = PathOf("not-there.dll");
  log.RegisterSource(m_source.c_str(), "no-such-module.dll", absolute.c_str(), 1, 0);
  EXPECT_EQ("", RegisteredString("EventMessageFile"));
  EXPECT_EQ(absolute, RegisteredString("CategoryMessageFile"));
}

TEST_F(EventLogTest, RemovalNeverReachesBeyondOneSource) {
  VkEventLog log;
  EXPECT_FALSE(log.UnregisterSource("Application", m_source.c_str())) << "never registered";
  log.RegisterSource(m_source.c_str(), "x.dll", nullptr, 1, 1);
  EXPECT_FALSE(log.UnregisterSource("Application", ""));
  EXPECT_FALSE(log.UnregisterSource(nullptr, m_source.c_str()));
  EXPECT_FALSE(log.DeleteLog(""));
  EXPECT_FALSE(log.DeleteLog(nullptr));
  EXPECT_TRUE(Vk::VkRegistry(HKEY_LOCAL_MACHINE, SourceKey(m_source).c_str(), false, KEY_READ).IsOpen());
  EXPECT_TRUE(log.UnregisterSource(m_source.c_str()));
  EXPECT_FALSE(Vk::VkRegistry(HKEY_LOCAL_MACHINE, SourceKey(m_source).c_str(), false, KEY_READ).IsOpen());
}

// The key path "SYSTEM\...\Eventlog\Application\" + source fills its 259
// characters with a source of 204; a longer name, cut there, would name
// that source's key instead of its own.
TEST_F(EventLogTest, KeyPathsThatDoNotFitAreRefusedNotCut) {
  const std::string prefix = "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\";
  ASSERT_EQ(43u, prefix.size());
  std::string victim = m_source + std::string(259 - 55 - m_source.size(), 'v');
  std::string longer = victim + "-other";
  std::string victimFile = PathOf("victim.dll");
  VkEventLog log;
  ASSERT_TRUE(log.RegisterSource("Application", victim.c_str(), victimFile.c_str(), nullptr, 7, 1));
  Vk::VkRegistry victimKey(HKEY_LOCAL_MACHINE, SourceKey(victim).c_str(), false, KEY_READ);
  ASSERT_TRUE(victimKey.IsOpen());

  EXPECT_FALSE(log.RegisterSource("Application", longer.c_str(), PathOf("other.dll").c_str(), nullptr, 1, 0));
  EXPECT_STREQ(victimFile.c_str(), victimKey.ReadString("EventMessageFile")) << "nothing written into the victim";
  DWORD types = 0;
  EXPECT_TRUE(victimKey.ReadDword("TypesSupported", &types));
  EXPECT_EQ(7u, types);
  EXPECT_FALSE(log.UnregisterSource("Application", longer.c_str()));
  EXPECT_TRUE(Vk::VkRegistry(HKEY_LOCAL_MACHINE, SourceKey(victim).c_str(), false, KEY_READ).IsOpen());

  // A log name of 216 characters fills the path of its own key.
  std::string victimLog = "vkdiag-log-" + std::string(259 - 43 - 11, 'l');
  std::string victimLogKey = prefix + victimLog;
  ASSERT_TRUE(Vk::VkRegistry(HKEY_LOCAL_MACHINE, victimLogKey.c_str(), true, KEY_ALL_ACCESS).IsOpen());
  EXPECT_FALSE(log.DeleteLog((victimLog + "-other").c_str()));
  EXPECT_TRUE(Vk::VkRegistry(HKEY_LOCAL_MACHINE, victimLogKey.c_str(), false, KEY_READ).IsOpen());
  EXPECT_TRUE(log.DeleteLog(victimLog.c_str()));
  EXPECT_TRUE(log.UnregisterSource("Application", victim.c_str()));
}

// The registry skips empty key names, so a name made of backslashes would
// name the log's own key or the key of every log.
TEST_F(EventLogTest, NamesWithEmptyKeyNamesAreRefused) {
  std::string logKey = "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application";
  ASSERT_TRUE(Vk::VkRegistry(HKEY_LOCAL_MACHINE, logKey.c_str(), true, KEY_ALL_ACCESS).IsOpen());
  VkEventLog log;
  for (const char* name : {"\\", "\\\\", "a\\", "\\a", "a\\\\b"}) {
    EXPECT_FALSE(log.RegisterSource("Application", name, PathOf("x.dll").c_str(), nullptr, 7, 1)) << name;
    EXPECT_FALSE(log.UnregisterSource("Application", name)) << name;
    EXPECT_FALSE(log.DeleteLog(name)) << name;
  }
  Vk::VkRegistry application(HKEY_LOCAL_MACHINE, logKey.c_str(), false, KEY_READ);
  EXPECT_TRUE(application.IsOpen());
  DWORD types = 0;
  EXPECT_FALSE(application.ReadDword("TypesSupported", &types)) << "nothing written into the log's own key";
}

// Without a source name the values would land in the log's own key.
TEST_F(EventLogTest, RegistrationNeedsASourceName) {
  const char* logName = "vkdiag-sourceless-log";
  std::string logKey = std::string("SYSTEM\\CurrentControlSet\\Services\\Eventlog\\") + logName;
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, logKey.c_str());
  VkEventLog log;
  EXPECT_FALSE(log.RegisterSource(logName, nullptr, "x.dll", nullptr, 7, 1));
  EXPECT_FALSE(log.RegisterSource(logName, "", "x.dll", nullptr, 7, 1));
  EXPECT_FALSE(Vk::VkRegistry(HKEY_LOCAL_MACHINE, logKey.c_str(), false, KEY_READ).IsOpen());

  // A logger without a source renews its registration at every report.
  const char* applicationKey = "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application";
  Vk::VkRegistry application(HKEY_LOCAL_MACHINE, applicationKey, true, KEY_ALL_ACCESS);
  RegDeleteValueA(application.GetKey(), "EventMessageFile");
  VkGenericEventLogger nameless(nullptr, nullptr, 7, 1);
  nameless.ReportInfo("reported without a source");
  EXPECT_FALSE(application.ReadString("EventMessageFile")) << "the Application log's own key stays untouched";
}

// Renewals and the five-argument registration pass the stored names back
// in; a name may also be set from its own tail.
TEST_F(EventLogTest, NamesPassedBackInAreKept) {
  VkGenericEventLogger logger(m_source.c_str(), "Application", 7, 1);
  logger.SetSourceName(logger.GetSourceName());
  logger.SetLogName(logger.GetLogName());
  EXPECT_EQ(m_source, logger.GetSourceName());
  EXPECT_STREQ("Application", logger.GetLogName());
  EXPECT_TRUE(logger.RegisterSource(logger.GetSourceName(), "x.dll", nullptr, 7, 1));
  EXPECT_TRUE(logger.RenewRegistration());
  EXPECT_EQ(m_source, logger.GetSourceName());
  EXPECT_STREQ("Application", logger.GetLogName());

  logger.SetSourceName(logger.GetSourceName() + strlen("vkdiag-"));
  EXPECT_EQ(m_source.substr(strlen("vkdiag-")), logger.GetSourceName());
  logger.SetLogName(logger.GetLogName() + strlen("App"));
  EXPECT_STREQ("lication", logger.GetLogName());
}

TEST_F(EventLogTest, GenericLoggerRenewsItsRegistrationAtEveryReport) {
  VkGenericEventLogger logger(m_source.c_str(), nullptr, 3, 0);
  EXPECT_STREQ("Application", logger.GetLogName());
  EXPECT_EQ(3u, RegisteredDword("TypesSupported"));
  EXPECT_EQ(0u, RegisteredDword("CategoryCount"));
  EXPECT_STREQ("VkGenericEventLogx.dll", PathFindFileNameA(RegisteredString("EventMessageFile").c_str()));
  logger.ReportInfo("renewed");
  EXPECT_EQ(7u, RegisteredDword("TypesSupported"));
  EXPECT_EQ(1u, RegisteredDword("CategoryCount"));

  VkGenericEventLogger nameless(nullptr, nullptr, 7, 1);
  EXPECT_STREQ("", nameless.GetSourceName()) << "a null source registers nothing";
}

TEST_F(EventLogTest, ProcessUserSidIsValid) {
  PSID sid = nullptr;
  ASSERT_EQ(S_OK, VkEventLog::GetProcessUserSid(&sid));
  EXPECT_TRUE(IsValidSid(sid));
  free(sid);
  EXPECT_EQ(E_POINTER, VkEventLog::GetProcessUserSid(nullptr));
}

TEST_F(EventLogTest, ReportsCarryTypeIdentifierUserMessageAndData) {
  if (vktest::RunningUnderWine()) GTEST_SKIP() << kWineEventLog;
  VkGenericEventLogger logger(m_source.c_str(), nullptr, 7, 1);
  PSID user = nullptr;
  ASSERT_EQ(S_OK, VkEventLog::GetProcessUserSid(&user));
  std::string userSid(static_cast<const char*>(user), GetLengthSid(user));
  free(user);

  struct Case {
    bool (VkGenericEventLogger::*report)(const char*, ...);
    WORD type;
    DWORD id;
  } cases[] = {{&VkGenericEventLogger::ReportInfo, EVENTLOG_INFORMATION_TYPE, 0x40020000},
               {&VkGenericEventLogger::ReportWarning, EVENTLOG_WARNING_TYPE, 0x80020000},
               {&VkGenericEventLogger::ReportError, EVENTLOG_ERROR_TYPE, 0xC0020000}};
  for (const Case& c : cases) {
    ASSERT_TRUE((logger.*c.report)("disk %d%% full", 95));
    ReadBack event;
    ASSERT_TRUE(ReadNewest(&event));
    EXPECT_EQ(c.type, event.header.EventType);
    EXPECT_EQ(c.id, event.header.EventID);
    EXPECT_EQ(0, event.header.EventCategory);
    EXPECT_EQ(m_source, event.source);
    EXPECT_EQ(userSid, event.sid);
    ASSERT_EQ(1u, event.strings.size());
    EXPECT_EQ("disk 95% full", event.strings[0]);
  }

  const BYTE data[] = {0x41, 0x00, 0x25, 0xC4};
  ASSERT_TRUE(logger.ReportWarningData(data, sizeof data, "with data"));
  ReadBack event;
  ASSERT_TRUE(ReadNewest(&event));
  EXPECT_EQ(EVENTLOG_WARNING_TYPE, event.header.EventType);
  EXPECT_EQ(0x40020000u, event.header.EventID) << "data forms use the informational identifier";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), sizeof data), event.data);

  ASSERT_TRUE(logger.ReportErrorData(nullptr, 0, "no data"));
  ASSERT_TRUE(ReadNewest(&event));
  EXPECT_EQ(0u, event.header.DataLength);
}

TEST_F(EventLogTest, MessagesAreCutAt1023Characters) {
  if (vktest::RunningUnderWine()) GTEST_SKIP() << kWineEventLog;
  VkEventLog log(m_source.c_str(), nullptr);
  std::string exact(1023, 'e');
  ASSERT_TRUE(log.Report(EVENTLOG_INFORMATION_TYPE, 1, 0, "%s", exact.c_str()));
  ReadBack event;
  ASSERT_TRUE(ReadNewest(&event));
  EXPECT_EQ(exact, event.strings.at(0));
  ASSERT_TRUE(log.Report(EVENTLOG_INFORMATION_TYPE, 1, 0, "%s", (exact + "!").c_str()));
  ReadBack cut;
  ASSERT_TRUE(ReadNewest(&cut));
  EXPECT_EQ(exact, cut.strings.at(0));
}

TEST_F(EventLogTest, ReadingFollowsTheRecordContract) {
  if (vktest::RunningUnderWine()) GTEST_SKIP() << kWineEventLog;
  VkEventLog log(m_source.c_str(), nullptr);
  HANDLE reader = OpenEventLogA(nullptr, "Application");
  ASSERT_NE(nullptr, reader);
  ASSERT_TRUE(ClearEventLogA(reader, nullptr));
  DWORD count = 9;
  EXPECT_TRUE(GetNumberOfEventLogRecords(reader, &count));
  EXPECT_EQ(0u, count);
  for (int i = 0; i < 3; ++i) log.Report(EVENTLOG_INFORMATION_TYPE, static_cast<DWORD>(i), 0, "event %d", i);
  EXPECT_TRUE(GetNumberOfEventLogRecords(reader, &count));
  EXPECT_EQ(3u, count);
  DWORD oldest = 0;
  EXPECT_TRUE(GetOldestEventLogRecord(reader, &oldest));
  EXPECT_EQ(1u, oldest);
  std::vector<BYTE> buffer(64 * 1024);
  DWORD read = 0, needed = 0;
  EXPECT_FALSE(ReadEventLogA(reader, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(), 8, &read,
                             &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_GT(needed, sizeof(EVENTLOGRECORD));
  ASSERT_TRUE(ReadEventLogA(reader, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                            static_cast<DWORD>(buffer.size()), &read, &needed));
  DWORD seen = 0;
  for (DWORD offset = 0; offset < read; ++seen) {
    EVENTLOGRECORD record;
    memcpy(&record, buffer.data() + offset, sizeof record);
    EXPECT_EQ(seen + 1, record.RecordNumber);
    EXPECT_EQ(seen, record.EventID);
    DWORD trailer = 0;
    memcpy(&trailer, buffer.data() + offset + record.Length - 4, 4);
    EXPECT_EQ(record.Length, trailer) << "the length stands at both ends";
    offset += record.Length;
  }
  EXPECT_EQ(3u, seen);
  EXPECT_FALSE(ReadEventLogA(reader, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                             static_cast<DWORD>(buffer.size()), &read, &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_HANDLE_EOF), GetLastError());
  CloseEventLog(reader);
}

TEST_F(EventLogTest, FullLogsOverwriteTheirOldestEvents) {
  if (vktest::RunningUnderWine()) GTEST_SKIP() << kWineEventLog;
  const char* logName = "vkdiag-small-log";
  std::string logKey = std::string("SYSTEM\\CurrentControlSet\\Services\\Eventlog\\") + logName;
  Vk::VkRegistry(HKEY_LOCAL_MACHINE, logKey.c_str(), true, KEY_ALL_ACCESS).WriteDword("MaxSize", 2000);
  VkEventLog log;
  log.RegisterSource(logName, m_source.c_str(), "x.dll", nullptr, 7, 0);
  HANDLE reader = OpenEventLogA(nullptr, logName);
  ClearEventLogA(reader, nullptr);
  for (int i = 1; i <= 30; ++i) ASSERT_TRUE(log.Report(EVENTLOG_INFORMATION_TYPE, 1, 0, "event number %03d", i));
  DWORD count = 0, oldest = 0;
  GetNumberOfEventLogRecords(reader, &count);
  GetOldestEventLogRecord(reader, &oldest);
  EXPECT_LT(count, 30u) << "the oldest events were overwritten";
  EXPECT_GT(count, 0u);
  EXPECT_EQ(31u, oldest + count) << "what is left is the newest events, without gaps";
  CloseEventLog(reader);
  log.DeleteLog(logName);
}

#if !defined(_WIN32)
// A system event log that rejects events: the store is a directory.
VK_CHILD_MAIN(vemra_log_with_broken_event_log) {
  vktest::fs::path root = vktest::fs::path(args.at(0));
  vktest::fs::create_directories(root / "eventlog.db");
  setenv("VK_SYSTEM_ROOT", root.c_str(), 1);
  Vk::VkRegistry(HKEY_LOCAL_MACHINE, "Software\\Haldrex\\Vemra\\Setup", true, KEY_ALL_ACCESS)
      .WriteString("Inst_Path", args.at(1).c_str());
  CVemraLog log("vkdiag-broken");
  return log.LogError("written %s", "anyway") ? 1 : 0;
}

TEST_F(EventLogTest, RejectedEventsStillReachTheEventsFile) {
  vktest::ChildProcess child("vemra_log_with_broken_event_log", {PathOf("root"), m_dir.string()});
  EXPECT_EQ(0, child.Wait()) << "the rejected event is reported as false";
  std::string content = vktest::ReadWholeFile(PathOf("Diagnose/Events.log"));
  EXPECT_NE(std::string::npos, content.find("vkdiag-broken: Error  :\twritten anyway\r\n")) << content;
}

TEST_F(EventLogTest, EventsAlsoReachTheSystemLog) {
  std::string path = PathOf("syslog.sock");
  vktest::SyslogSocket listener(path);
  ASSERT_TRUE(listener.bound());
  {
    vktest::SystemLogAt forward("VK_SYSLOG_SOCKET", path);
    VkEventLog log(m_source.c_str(), nullptr);
    log.Report(EVENTLOG_ERROR_TYPE, 7, 0, "broken %s", "pipe");
  }
  std::string text = listener.Next(2000);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(0u, text.find("<11>1 ")) << "RFC 5424, user facility, error priority: " << text;
  std::string app = m_source.substr(0, 48);  // RFC 5424's longest APP-NAME
  EXPECT_NE(std::string::npos, text.find(" " + app + " " + std::to_string(getpid()) + " - [")) << text;
  EXPECT_EQ(text.size() - strlen("#012broken pipe"), text.rfind("#012broken pipe")) << text;
}
#endif

TEST(EventTextTest, HeadersAndHexDumps) {
  EXPECT_EQ("S: Info   :\t", CVemraLog::FormatEventHeader("S", 0));
  EXPECT_EQ("S: Warning:\t", CVemraLog::FormatEventHeader("S", 1));
  EXPECT_EQ(": Error  :\t", CVemraLog::FormatEventHeader(nullptr, 2));
  EXPECT_EQ("S: :\t", CVemraLog::FormatEventHeader("S", 3));
  std::vector<BYTE> bytes(17);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<BYTE>(0x41 + i);
  bytes[1] = 0x0A;
  bytes[2] = 0xC4;
  bytes[3] = 0x25;
  std::string sixteen = CVemraLog::FormatHexDump(bytes.data(), 16);
  EXPECT_EQ("41 0A C4 25 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 \t\tA..%EFGHIJKLMNOP", sixteen);
  EXPECT_EQ(sixteen + "\r\n51 \t\tQ", CVemraLog::FormatHexDump(bytes.data(), 17));
  EXPECT_EQ("", CVemraLog::FormatHexDump(bytes.data(), 0));
}

class VemraLogTest : public EventLogTest {
 protected:
  void SetUp() override {
    EventLogTest::SetUp();
    Vk::VkRegistry setup(HKEY_LOCAL_MACHINE, "Software\\Haldrex\\Vemra\\Setup", true, KEY_ALL_ACCESS);
    setup.WriteString("Inst_Path", m_dir.string().c_str());
  }
  void TearDown() override {
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Haldrex\\Vemra\\Setup");
    EventLogTest::TearDown();
  }
  std::string EventsFile() { return PathOf("Diagnose") + (vktest::IsWindowsTarget() ? "\\" : "/") + "Events.log"; }
  std::string ProcessName() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return PathFindFileNameA(path);
  }
};

// The byte after the data is no NUL, or RegSetValueExA would store it as
// the terminator that a strlen() slip left out.
TEST_F(VemraLogTest, InstallationPathWithoutTerminatorIsNotUsed) {
  std::string unterminated(261, 'x');
  Vk::VkRegistry setup(HKEY_LOCAL_MACHINE, "Software\\Haldrex\\Vemra\\Setup", false, KEY_ALL_ACCESS);
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(setup.GetKey(), "Inst_Path", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(unterminated.data()), 260));
  CVemraLog log(m_source.c_str());
  EXPECT_EQ(std::string::npos, std::string(log.GetEventsFilePath()).find("Diagnose"));
  EXPECT_STREQ(Vk::VkLogFile(false).GetFullPath(), log.GetEventsFilePath()) << "the writer's default path";
}

// Installers often store the path without its terminator.
TEST_F(VemraLogTest, InstallationPathWithoutTerminatorIsUsedWhenItFits) {
  std::string directory = m_dir.string();
  std::string followed = directory + "#";  // no NUL right after the data
  Vk::VkRegistry setup(HKEY_LOCAL_MACHINE, "Software\\Haldrex\\Vemra\\Setup", false, KEY_ALL_ACCESS);
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(setup.GetKey(), "Inst_Path", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(followed.data()),
                                          static_cast<DWORD>(directory.size())));
  CVemraLog log(m_source.c_str());
  ASSERT_EQ(EventsFile(), log.GetEventsFilePath()) << "else the event would land beside the test executable";
  log.LogInfo("found");
  EXPECT_TRUE(vktest::FileExists(EventsFile()));
}

TEST_F(VemraLogTest, EventsFileLinesAndDumps) {
  {
    CVemraLog log(m_source.c_str());
    EXPECT_TRUE(vktest::FileExists(PathOf("Diagnose"))) << "the directory is made at construction";
    EXPECT_FALSE(vktest::FileExists(EventsFile())) << "the file only with the first event";
    EXPECT_EQ(EventsFile(), log.GetEventsFilePath());
    log.LogWarning("low %s", "disk");
    BYTE data[20];
    for (BYTE i = 0; i < 20; ++i) data[i] = static_cast<BYTE>('a' + i);
    log.LogErrorData(data, sizeof data, "dump");
    log.LogInfo("%s", std::string(2000, 'w').c_str());
  }
  std::string content = vktest::ReadWholeFile(EventsFile());
  std::string prefix = ProcessName() + " : ";
  size_t first = content.find("\r\n");
  ASSERT_NE(std::string::npos, first);
  std::string line = content.substr(0, first);
  EXPECT_EQ(0u, line.find(prefix));
  EXPECT_EQ(line.size() - std::string(" : " + m_source + ": Warning:\tlow disk").size(),
            line.find(" : " + m_source + ": Warning:\tlow disk"));
  EXPECT_NE(std::string::npos,
            content.find(m_source + ": Error  :\tdump\r\n"
                                    "61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 \t\tabcdefghijklmnop\r\n"
                                    "71 72 73 74 \t\tqrst\r\n"));
  EXPECT_NE(std::string::npos, content.find(": Info   :\t" + std::string(2000, 'w') + "\r\n"))
      << "the events file is not cut at 1,023 characters";
}

}  // namespace

namespace {

// The message module beside the tests shows each event's one insertion
// string, and names category 1.
TEST(MessageModuleTest, EveryEventIdentifierShowsItsInsertionString) {
  char path[MAX_PATH] = "";
  ASSERT_GT(SearchPathA(nullptr, "VkGenericEventLogx.dll", nullptr, sizeof path, path, nullptr), 0u);
  HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, module);
  char insert[] = "disk 95% full";
  char* inserts[] = {insert};
  for (DWORD id : {0x40020000u, 0x80020000u, 0xC0020000u}) {
    char text[128] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, id, 0, text,
                                  sizeof text, reinterpret_cast<va_list*>(inserts));
    EXPECT_STREQ("disk 95% full\r\n", text) << std::hex << id;
    EXPECT_EQ(15u, length);
  }
  char category[64] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module, 1, 0, category, sizeof category,
                 nullptr);
  EXPECT_STREQ("General\r\n", category);
  EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace
