// The event log calls behave as Windows documents them: logs that the
// registry does not list, seek reads, events larger than their log, and
// what reaches the system log. Wine's event log keeps no events, so the
// reading tests skip there; the system log socket exists on Linux only.
#include <vk/event_log.h>
#include <vk/registry.h>

#include <locale.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

#if !defined(_WIN32)
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/syslog_socket.h"
#include "text/name_fold.h"
#endif

namespace {

using Vk::VkEventLog;

const char kEventlogKey[] = "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\";
const char kWineEventLog[] = "Wine's event log keeps no events to read back";
const char kNoSystemLog[] = "Windows has no system log socket";

struct Record {
  DWORD number = 0;
  DWORD eventId = 0;
  std::string data;
};

// Bytes that differ from their neighbours, so that a shifted or cut copy
// does not compare equal.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
  return bytes;
}

// A log of its own, listed in the registry, with one source registered in
// it; both are removed afterwards.
class PlatformEventLogTest : public vktest::ScratchDirTest {
 protected:
  void SetUp() override {
    vktest::ScratchDirTest::SetUp();
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_logName = std::string("vkdiag-log-") + info->name();
    m_source = std::string("vkdiag-") + info->name();
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, LogKey().c_str());
    m_log.RegisterSource(m_logName.c_str(), m_source.c_str(), "x.dll", nullptr, 7, 0);
    m_reader = OpenEventLogA(nullptr, m_logName.c_str());
    ASSERT_NE(nullptr, m_reader);
    ClearEventLogA(m_reader, nullptr);
  }
  void TearDown() override {
    if (m_reader) CloseEventLog(m_reader);
    m_log.CloseEventSource();
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, LogKey().c_str());
    vktest::ScratchDirTest::TearDown();
  }
  std::string LogKey() const { return kEventlogKey + m_logName; }

  DWORD Count() {
    DWORD count = 0;
    EXPECT_TRUE(GetNumberOfEventLogRecords(m_reader, &count));
    return count;
  }
  DWORD Oldest() {
    DWORD oldest = 0;
    EXPECT_TRUE(GetOldestEventLogRecord(m_reader, &oldest));
    return oldest;
  }

  // One read into a buffer of the given size; the records it delivered.
  static bool Read(HANDLE reader, DWORD flags, DWORD number, DWORD size, std::vector<Record>* records) {
    records->clear();
    std::vector<BYTE> buffer(size ? size : 1);
    DWORD read = 0, needed = 0;
    if (!ReadEventLogA(reader, flags, number, buffer.data(), size, &read, &needed)) return false;
    for (DWORD offset = 0; offset < read;) {
      EVENTLOGRECORD header;
      memcpy(&header, buffer.data() + offset, sizeof header);
      Record record;
      record.number = header.RecordNumber;
      record.eventId = header.EventID;
      record.data.assign(reinterpret_cast<const char*>(buffer.data()) + offset + header.DataOffset, header.DataLength);
      records->push_back(std::move(record));
      offset += header.Length;
    }
    return true;
  }
  bool Read(DWORD flags, DWORD number, DWORD size, std::vector<Record>* records) {
    return Read(m_reader, flags, number, size, records);
  }
  // The record of that number, in a buffer as large as it needs.
  bool ReadOne(DWORD number, Record* record) {
    BYTE probe[8];
    DWORD read = 0, needed = 0;
    if (ReadEventLogA(m_reader, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, number, probe, sizeof probe, &read,
                      &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
      return false;
    std::vector<Record> records;
    if (!Read(EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, number, needed, &records) || records.size() != 1)
      return false;
    *record = std::move(records[0]);
    return true;
  }
  static std::vector<DWORD> EventIds(const std::vector<Record>& records) {
    std::vector<DWORD> ids;
    for (const Record& record : records) ids.push_back(record.eventId);
    return ids;
  }

  std::string m_logName;
  std::string m_source;
  VkEventLog m_log;
  HANDLE m_reader = nullptr;
};

TEST_F(PlatformEventLogTest, UnknownLogNamesOpenTheApplicationLog) {
  if (vktest::RunningUnderWine()) GTEST_SKIP() << kWineEventLog;
  VkEventLog unregistered((m_source + "-unregistered").c_str(), nullptr);
  ASSERT_TRUE(unregistered.Report(EVENTLOG_INFORMATION_TYPE, 4242, 0, "into Application"));
  HANDLE application = OpenEventLogA(nullptr, "Application");
  HANDLE unknown = OpenEventLogA(nullptr, "vkdiag-no-such-log");
  ASSERT_NE(nullptr, application);
  ASSERT_NE(nullptr, unknown);
  DWORD applicationCount = 0, unknownCount = 0;
  EXPECT_TRUE(GetNumberOfEventLogRecords(application, &applicationCount));
  EXPECT_TRUE(GetNumberOfEventLogRecords(unknown, &unknownCount));
  EXPECT_GT(applicationCount, 0u);
  EXPECT_EQ(applicationCount, unknownCount);
  std::vector<Record> newest;
  ASSERT_TRUE(Read(unknown, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, 64 * 1024, &newest));
  ASSERT_FALSE(newest.empty());
  EXPECT_EQ(4242u, newest[0].eventId);
  CloseEventLog(unknown);
  CloseEventLog(application);
}

TEST_F(PlatformEventLogTest, SeekReadsStartAtAnExistingRecordAndFillTheBuffer) {
  if (vktest::RunningUnderWine()) GTEST_SKIP() << kWineEventLog;
  for (DWORD id = 1; id <= 5; ++id)
    ASSERT_TRUE(m_log.Report(EVENTLOG_INFORMATION_TYPE, id, 0, "event %u", static_cast<unsigned>(id)));
  DWORD first = Oldest();
  std::vector<Record> records;
  ASSERT_TRUE(Read(EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, first + 2, 64 * 1024, &records));
  EXPECT_EQ((std::vector<DWORD>{3, 4, 5}), EventIds(records));
  ASSERT_TRUE(Read(EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, first + 2, 64 * 1024, &records));
  EXPECT_EQ((std::vector<DWORD>{3, 2, 1}), EventIds(records));

  // A buffer with room for two and a half records takes two; a sequential
  // read goes on after them.
  BYTE probe[8];
  DWORD read = 0, length = 0;
  ReadEventLogA(m_reader, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, first, probe, sizeof probe, &read, &length);
  ASSERT_TRUE(Read(EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, first, length * 5 / 2, &records));
  EXPECT_EQ((std::vector<DWORD>{1, 2}), EventIds(records));
  ASSERT_TRUE(Read(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 64 * 1024, &records));
  EXPECT_EQ((std::vector<DWORD>{3, 4, 5}), EventIds(records));

  // Numbers the log does not hold, past either end.
  for (DWORD missing : {first + 5, first + 100, first - 1}) {
    EXPECT_FALSE(Read(EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, missing, 64 * 1024, &records)) << missing;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError()) << missing;
    EXPECT_FALSE(Read(EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, missing, 64 * 1024, &records)) << missing;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError()) << missing;
  }
}

// 64 MB into a log under the 20 MiB default limit: the event is kept (or,
// where the system refuses it, reported as failed with a reason), and the
// older events go because the limit requires it.
// A clear with a backup keeps the log's events in a file of their own
// first, and never overwrites a file that is there.
TEST_F(PlatformEventLogTest, ClearingWithABackupKeepsTheEventsFirst) {
  if (vktest::RunningUnderWine()) GTEST_SKIP() << kWineEventLog;
  for (DWORD id = 1; id <= 3; ++id) ASSERT_TRUE(m_log.Report(EVENTLOG_INFORMATION_TYPE, id, 0, "kept %u", static_cast<unsigned>(id)));
  std::string backup = PathOf("backup.db");
  ASSERT_TRUE(ClearEventLogA(m_reader, backup.c_str()));
  EXPECT_EQ(0u, Count());
  ASSERT_TRUE(vktest::FileExists(backup));
  std::string contents = vktest::ReadWholeFile(backup);
  EXPECT_EQ(0u, contents.rfind("SQLite format 3", 0));
  for (const char* text : {"kept 1", "kept 2", "kept 3"}) EXPECT_NE(std::string::npos, contents.find(text)) << text;

  ASSERT_TRUE(m_log.Report(EVENTLOG_INFORMATION_TYPE, 4, 0, "not yet backed up"));
  EXPECT_FALSE(ClearEventLogA(m_reader, backup.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_EQ(1u, Count()) << "a clear whose backup failed removes nothing";
  EXPECT_EQ(contents, vktest::ReadWholeFile(backup));
}

// A backup is a file of its own: never written through a link, private to
// its maker, and when it cannot be written whole, none is left and the log
// keeps its events.
TEST_F(PlatformEventLogTest, ABackupIsAFileOfItsOwnOrNone) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "links and small file systems are the POSIX layer's tests";
#if !defined(_WIN32)
  for (DWORD id = 1; id <= 2; ++id) ASSERT_TRUE(m_log.Report(EVENTLOG_INFORMATION_TYPE, id, 0, "kept"));
  std::string victim = PathOf("victim.txt");
  vktest::WriteWholeFile(victim, "precious");
  std::string linked = PathOf("linked.db");
  ASSERT_EQ(0, symlink(victim.c_str(), linked.c_str()));
  EXPECT_FALSE(ClearEventLogA(m_reader, linked.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_EQ("precious", vktest::ReadWholeFile(victim));
  EXPECT_EQ(2u, Count());

  vktest::SmallDisk disk(PathOf("small"), 64 * 1024);
  if (disk.mounted()) {
    disk.Fill();
    std::string full = disk.path() + "/backup.db";
    EXPECT_FALSE(ClearEventLogA(m_reader, full.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), GetLastError());
    EXPECT_FALSE(vktest::FileExists(full)) << "no half a backup";
    EXPECT_EQ(2u, Count());
  }

  std::string backup = PathOf("backup.db");
  ASSERT_TRUE(ClearEventLogA(m_reader, backup.c_str()));
  struct stat status;
  ASSERT_EQ(0, lstat(backup.c_str(), &status));
  EXPECT_EQ(0600u, status.st_mode & 07777u) << "the log's records are not every user's to read";
#endif
}

// Rows are data, whoever wrote them: one that no report could have stored
// reads as a corrupt log at once, never as a loop, a wrapped number or a
// log that seems empty.
TEST_F(PlatformEventLogTest, CraftedRowsReadAsACorruptLog) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "the rows are those of the POSIX layer's store";
#if !defined(_WIN32)
  const char* const crafts[] = {
      "UPDATE records SET strings=x'41424344'",          // the last string lacks its terminator
      "UPDATE records SET record_number=-5",             // no log numbers below 1
      "UPDATE records SET record_number=4294967296",     // nor beyond a DWORD
      "UPDATE records SET event_id='not a number'",      // text where a number belongs
      "UPDATE records SET type=70000",                   // beyond a WORD
      "UPDATE records SET data=zeroblob(600000)",        // longer than any reader takes
  };
  std::string store = std::string(getenv("VK_SYSTEM_ROOT")) + "/eventlog.db";
  for (const char* craft : crafts) {
    SCOPED_TRACE(craft);
    ClearEventLogA(m_reader, nullptr);
    ASSERT_TRUE(m_log.Report(EVENTLOG_ERROR_TYPE, 7, 0, "crafted"));
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(store.c_str(), &db));
    sqlite3_busy_timeout(db, 10000);
    std::string sql = std::string(craft) + " WHERE log_key='" + vk_posix::FoldName(m_logName.c_str()) + "'";
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr));
    sqlite3_close(db);
    DWORD oldest = 0;
    std::vector<Record> records;
    bool read = GetOldestEventLogRecord(m_reader, &oldest) &&
                Read(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 0x7FFFF, &records);
    EXPECT_FALSE(read) << records.size() << " records from a crafted row";
    EXPECT_EQ(static_cast<DWORD>(ERROR_EVENTLOG_FILE_CORRUPT), GetLastError());
  }
#endif
}

TEST_F(PlatformEventLogTest, AnEventLargerThanItsLogIsNeverReportedAndLost) {
  if (vktest::RunningUnderWine()) GTEST_SKIP() << kWineEventLog;
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(m_log.Report(EVENTLOG_INFORMATION_TYPE, 1, 0, "small %d", i));
  const std::string big = Pattern(size_t{64} * 1000 * 1000);
  if (!m_log.ReportData(EVENTLOG_WARNING_TYPE, 2, 0, reinterpret_cast<const BYTE*>(big.data()),
                        static_cast<DWORD>(big.size()), "64 MB")) {
    EXPECT_NE(0u, GetLastError()) << "a refused event says why";
    EXPECT_EQ(100u, Count()) << "a refused event costs no other";
    return;
  }
  EXPECT_EQ(1u, Count()) << "the event alone exceeds the log: every older one had to go";
  Record newest;
  ASSERT_TRUE(ReadOne(Oldest(), &newest));
  EXPECT_EQ(2u, newest.eventId);
  EXPECT_EQ(big.size(), newest.data.size());
  EXPECT_TRUE(newest.data == big) << "the data is kept whole";

  ASSERT_TRUE(m_log.Report(EVENTLOG_INFORMATION_TYPE, 3, 0, "after"));
  std::vector<Record> records;
  ASSERT_TRUE(Read(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, 64 * 1024, &records));
  EXPECT_EQ(std::vector<DWORD>{3}, EventIds(records)) << "the next event overwrites the oversized one";
}

#if !defined(_WIN32)
// A system log stand-in, with the forwarder pointed at it while it lives:
// as the syslog socket, or as the journal's.
class SyslogListener : public vktest::SyslogSocket {
 public:
  explicit SyslogListener(const std::string& path, const char* variable = "VK_SYSLOG_SOCKET")
      : vktest::SyslogSocket(path), m_forward(variable, path) {}

 private:
  vktest::SystemLogAt m_forward;
};

// "<PRI>1 TIME HOST APP PROCID MSGID [SD] MSG" (RFC 5424), split as a
// collector splits it; `month` and `tag` for "<PRI>Mmm dd hh:mm:ss
// TAG[pid]: MSG" (RFC 3164).
struct SyslogLine {
  std::string priority, time, host, app, procid, data, message;
  std::string month, tag;
};

bool ParseSyslogLine(const std::string& line, SyslogLine* parsed) {
  size_t close = line.find('>');
  if (line.empty() || line[0] != '<' || close == std::string::npos) return false;
  parsed->priority = line.substr(0, close + 1);
  std::string rest = line.substr(close + 1);
  if (rest.compare(0, 2, "1 ") == 0) {
    std::istringstream header(rest.substr(2));
    std::string msgid;
    header >> parsed->time >> parsed->host >> parsed->app >> parsed->procid >> msgid;
    size_t start = rest.find(" [");
    size_t end = start;
    while (end != std::string::npos && (end = rest.find(']', end + 1)) != std::string::npos && rest[end - 1] == '\\') {
    }
    if (msgid != "-" || end == std::string::npos || rest.compare(end + 1, 1, " ") != 0) return false;
    parsed->data = rest.substr(start + 1, end - start);
    parsed->message = rest.substr(end + 2);
    return true;
  }
  if (rest.size() < 16 || rest[3] != ' ' || rest[6] != ' ' || rest[15] != ' ') return false;
  parsed->month = rest.substr(0, 3);
  rest = rest.substr(16);
  size_t bracket = rest.find('[');
  size_t end = rest.find("]: ");
  if (bracket == std::string::npos || end == std::string::npos || end < bracket) return false;
  parsed->tag = rest.substr(0, bracket);
  parsed->message = rest.substr(end + 3);
  return true;
}

std::string EnglishMonthNow() {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return kMonths[local.tm_mon];
}

// Sets a locale other than English for the process while it lives.
class ForeignLocale {
 public:
  ForeignLocale() : m_saved(setlocale(LC_ALL, nullptr)) {
    for (const char* name : {"fr_FR.UTF-8", "fr_FR.utf8", "de_DE.UTF-8", "de_DE.utf8", "es_ES.UTF-8", "it_IT.UTF-8"})
      if (setlocale(LC_ALL, name)) {
        m_name = name;
        break;
      }
  }
  ~ForeignLocale() { setlocale(LC_ALL, m_saved.c_str()); }
  ForeignLocale(const ForeignLocale&) = delete;
  ForeignLocale& operator=(const ForeignLocale&) = delete;
  const std::string& name() const { return m_name; }

 private:
  std::string m_saved;
  std::string m_name;
};

std::string OwnSid() { return "S-1-22-1-" + std::to_string(geteuid()); }

// What a source without a message file renders: a note, then the strings.
std::string Unrendered(const std::string& id, const std::string& source) {
  return "(no text for event " + id + " of source " + source + " without a message file)#015#012";
}
#endif

// An event reaches syslog in RFC 5424 with its fields as structured data,
// the header's names fit for collectors and every text escaped.
TEST_F(PlatformEventLogTest, SystemLogLinesCarryEveryFieldOfAnyEvent) {
#if defined(_WIN32)
  GTEST_SKIP() << kNoSystemLog;
#else
  SyslogListener listener(PathOf("syslog.sock"));
  ASSERT_TRUE(listener.bound());
  std::string source = "Vemra Service: one[2]\x01tail of a long source name";
  m_log.RegisterSource(m_logName.c_str(), source.c_str(), "x.dll", nullptr, 7, 0);
  const BYTE data[] = {0x00, 0x5d, 0xff};
  ASSERT_TRUE(m_log.ReportData(EVENTLOG_WARNING_TYPE, 0x80010001, 3, data, sizeof data, "%s",
                               "line one\nline two\x1b[31m red\x7f \"\xc3\xa9\xff\""));
  std::string text = listener.Next();
  SyslogLine line;
  ASSERT_TRUE(ParseSyslogLine(text, &line)) << text;
  EXPECT_EQ("<12>", line.priority) << "user facility, warning priority";
  EXPECT_EQ(25u, line.time.size()) << "local time with its offset: " << line.time;
  EXPECT_EQ(std::to_string(getpid()), line.procid);
  EXPECT_EQ("Vemra_Service__one_2__tail_of_a_long_source_name", line.app) << "48 characters, no blanks or delimiters";
  std::string escapedSource = "Vemra Service: one[2\\]#001tail of a long source name";
  EXPECT_EQ("[" VK_SYSLOG_SD_ID " source=\"" + escapedSource + "\" log=\"" + m_logName +
                "\" event_id=\"2147549185\" event_code=\"1\" type=\"warning\" category=\"3\" record=\"1\" user_sid=\"" +
                OwnSid() + "\" data_size=\"3\" strings=\"[\\\"line one\\\\u000aline two\\\\u001b[31m red\\\\u007f "
                "\\\\\\\"\xc3\xa9\\\\ufffd\\\\\\\"\\\"\\]\" data=\"005DFF\"]",
            line.data);
  EXPECT_EQ("(no text for event 0x80010001 of source Vemra Service: one[2]#001tail of a long source name without a "
            "message file)#015#012line one#012line two#033[31m red#177 \"\xc3\xa9\xff\"",
            line.message)
      << "control characters are escaped";
#endif
}

// Where journald listens the event goes there, else to syslog; the old
// RFC 3164 form and nothing at all are the operator's choice.
TEST_F(PlatformEventLogTest, TheJournalTakesEventsWhereItListensElseSyslog) {
#if defined(_WIN32)
  GTEST_SKIP() << kNoSystemLog;
#else
  SyslogListener syslog(PathOf("syslog.sock"));
  ASSERT_TRUE(syslog.bound());
  const BYTE data[] = {'a', '\n', 0x00, 'b'};
  {
    SyslogListener journal(PathOf("journal.sock"), "VK_JOURNAL_SOCKET");
    ASSERT_TRUE(journal.bound());
    ASSERT_TRUE(m_log.ReportData(EVENTLOG_AUDIT_FAILURE, 0x00070005, 2, data, sizeof data, "%s", "one\ntwo"));
    EXPECT_EQ("MESSAGE=" + Unrendered("0x00070005", m_source) + "one#012two\nPRIORITY=5\nSYSLOG_IDENTIFIER=" +
                  m_source + "\nVKDIAG_SOURCE=" + m_source + "\nVKDIAG_LOG=" + m_logName +
                  "\nVKDIAG_EVENT_ID=458757\nVKDIAG_EVENT_CODE=5\nVKDIAG_TYPE=audit-failure\nVKDIAG_CATEGORY=2\n"
                  "VKDIAG_RECORD=1\nVKDIAG_USER_SID=" + OwnSid() + "\nVKDIAG_DATA\n" +
                  std::string("\x04\0\0\0\0\0\0\0a\n\0b\n", 13),
              journal.Next());
    EXPECT_TRUE(syslog.Received().empty()) << "the journal alone";

    setenv("VK_EVENTLOG_SYSLOG", "rfc3164", 1);
    ASSERT_TRUE(m_log.Report(EVENTLOG_ERROR_TYPE, 7, 0, "old"));
    SyslogLine line;
    ASSERT_TRUE(ParseSyslogLine(syslog.Next(), &line));
    EXPECT_EQ(m_source.substr(0, 32), line.tag);
    EXPECT_EQ(Unrendered("0x00000007", m_source) + "old", line.message);
    EXPECT_TRUE(journal.Received().empty()) << "the old form goes to syslog alone";

    setenv("VK_EVENTLOG_SYSLOG", "0", 1);
    ASSERT_TRUE(m_log.Report(EVENTLOG_ERROR_TYPE, 8, 0, "kept in the process"));
    EXPECT_TRUE(journal.Received().empty());
    EXPECT_TRUE(syslog.Received().empty());
  }
  // Nothing listens at the journal's socket any more: syslog, with the
  // record the store gave.
  setenv("VK_JOURNAL_SOCKET", PathOf("journal.sock").c_str(), 1);
  setenv("VK_EVENTLOG_SYSLOG", "1", 1);
  ASSERT_TRUE(m_log.Report(EVENTLOG_INFORMATION_TYPE, 9, 0, "no journal"));
  unsetenv("VK_JOURNAL_SOCKET");
  SyslogLine line;
  ASSERT_TRUE(ParseSyslogLine(syslog.Next(), &line));
  EXPECT_EQ("<14>", line.priority);
  EXPECT_NE(std::string::npos, line.data.find(" record=\"4\" ")) << line.data;
  EXPECT_EQ(Unrendered("0x00000009", m_source) + "no journal", line.message);
#endif
}

// The old form's header is English in every locale: collectors parse that.
TEST_F(PlatformEventLogTest, SystemLogHeaderIsEnglishInAnyLocale) {
#if defined(_WIN32)
  GTEST_SKIP() << kNoSystemLog;
#else
  SyslogListener listener(PathOf("syslog.sock"));
  ASSERT_TRUE(listener.bound());
  setenv("VK_EVENTLOG_SYSLOG", "rfc3164", 1);
  std::string monthBefore = EnglishMonthNow();
  {
    ForeignLocale locale;
    if (locale.name().empty()) GTEST_SKIP() << "no French, German, Spanish or Italian locale is installed";
    VkEventLog log(m_source.c_str(), nullptr);
    log.Report(EVENTLOG_INFORMATION_TYPE, 1, 0, "in a foreign locale");
  }
  std::string monthAfter = EnglishMonthNow();
  std::string text = listener.Next();
  SyslogLine line;
  ASSERT_TRUE(ParseSyslogLine(text, &line)) << text;
  EXPECT_TRUE(line.month == monthBefore || line.month == monthAfter) << text;
  EXPECT_EQ(m_source.substr(0, 32), line.tag);
  EXPECT_EQ(Unrendered("0x00000001", m_source) + "in a foreign locale", line.message);
#endif
}

#if !defined(_WIN32)
// An event store that cannot be written: eventlog.db is a directory.
VK_CHILD_MAIN(report_with_unwritable_event_store) {
  vktest::fs::path root(args.at(0));
  vktest::fs::create_directories(root / "eventlog.db");
  setenv("VK_SYSTEM_ROOT", root.c_str(), 1);
  VkEventLog log("vkdiag-unstored", nullptr);
  if (log.Report(EVENTLOG_ERROR_TYPE, 9, 0, "kept in %s", "the system log")) return 1;
  return GetLastError() == ERROR_SUCCESS ? 2 : 0;
}
#endif

// A refused event still goes, with its fields; only the record is missing.
TEST_F(PlatformEventLogTest, EventsTheStoreRejectsStillReachTheSystemLog) {
#if defined(_WIN32)
  GTEST_SKIP() << kNoSystemLog;
#else
  SyslogListener listener(PathOf("syslog.sock"));
  ASSERT_TRUE(listener.bound());
  vktest::ChildProcess child("report_with_unwritable_event_store", {PathOf("root")});
  EXPECT_EQ(0, child.Wait()) << "the report still fails, with a reason";
  std::string text = listener.Next();
  SyslogLine line;
  ASSERT_TRUE(ParseSyslogLine(text, &line)) << text;
  EXPECT_EQ("vkdiag-unstored", line.app);
  EXPECT_EQ("[" VK_SYSLOG_SD_ID " source=\"vkdiag-unstored\" log=\"Application\" event_id=\"9\" event_code=\"9\""
                " type=\"error\" category=\"0\" user_sid=\"" + OwnSid() +
                "\" strings=\"[\\\"kept in the system log\\\"\\]\"]",
            line.data);
  EXPECT_EQ(Unrendered("0x00000009", "vkdiag-unstored") + "kept in the system log", line.message);
#endif
}

// A text far longer than one datagram reaches the system log whole, as
// several lines that each fit and carry the event's fields, and the report
// says it was delivered.
TEST_F(PlatformEventLogTest, ALongTextReachesTheSystemLogInLinesThatFit) {
#if defined(_WIN32)
  GTEST_SKIP() << kNoSystemLog;
#else
  SyslogListener listener(PathOf("syslog.sock"));
  ASSERT_TRUE(listener.bound());
  std::string text;
  std::string escaped = Unrendered("0x00000001", m_source);
  for (int i = 0; text.size() < 300 * 1024; ++i) {
    std::string word = "word " + std::to_string(i) + " \xc3\xa9";
    text += word + "\n";
    escaped += word + "#012";
  }
  // The socket holds a few datagrams only, so they are read as they come.
  std::vector<std::string> lines;
  std::thread reader([&] {
    size_t received = 0;
    for (std::string datagram = listener.Next(); !datagram.empty(); datagram = listener.Next()) {
      lines.push_back(datagram);
      SyslogLine line;
      if (ParseSyslogLine(datagram, &line)) received += line.message.size();
      if (received >= escaped.size()) break;
    }
  });
  HANDLE source = RegisterEventSourceA(nullptr, m_source.c_str());
  ASSERT_NE(nullptr, source);
  const char* strings[1] = {text.c_str()};
  BOOL reported = ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
  reader.join();
  EXPECT_TRUE(reported);
  std::string joined;
  for (const std::string& datagram : lines) {
    EXPECT_GE(8192u, datagram.size()) << "a line the system log daemon takes";
    SyslogLine line;
    ASSERT_TRUE(ParseSyslogLine(datagram, &line)) << datagram.substr(0, 200);
    EXPECT_EQ(m_source.substr(0, 48), line.app);
    // The strings are too long to go along; the message carries them.
    EXPECT_EQ("[" VK_SYSLOG_SD_ID " source=\"" + m_source + "\" log=\"" + m_logName +
                  "\" event_id=\"1\" event_code=\"1\" type=\"information\" category=\"0\" record=\"1\"]",
              line.data);
    ASSERT_FALSE(line.message.empty());
    EXPECT_NE(0x80, static_cast<unsigned char>(line.message[0]) & 0xC0) << "a line starts on a whole character";
    joined += line.message;
  }
  EXPECT_LT(1u, lines.size());
  EXPECT_TRUE(joined == escaped) << "the text arrives whole, in order";
#endif
}

}  // namespace
