// The machine store and the user stores as real local users meet them: a
// member of the store's group writes HKEY_LOCAL_MACHINE and reports events;
// another user reads them, is refused writing as a standard user is on
// Windows, still has its events reach the system log, and neither reaches
// the other's own key. Users and a group are made for the tests and removed
// afterwards, so these tests run as root only.
#include <vk/platform.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "support/local_users.h"
#include "support/test_support.h"
#if defined(VK_TOOL_FROM_TESTS)
#include "support/tool_runner.h"
#endif

#if !defined(_WIN32)
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/syslog_socket.h"
#include "support/system_log_daemons.h"

extern char** environ;
#endif

namespace {

const char kKey[] = "Software\\vkdiag-stores";
const char kSource[] = "vkdiag-stores";
// How soon another user reads a member's write: the copy is published a
// short burst after it, here with room for a loaded machine.
constexpr DWORD kPublishedWithinMs = 2000;
// How long a write may take while another user holds locks: it waits for
// none, so anything near a lock's deadline (10 s) means it waited.
constexpr long long kPromptMs = 3000;
#if !defined(_WIN32)
using Options = vktest::RunOptions;
#endif

#if !defined(_WIN32)
std::string ReadString(HKEY root, const char* path, const char* name, LONG* error) {
  HKEY key = nullptr;
  *error = RegOpenKeyExA(root, path, 0, KEY_READ, &key);
  if (*error != ERROR_SUCCESS) return std::string();
  char text[256] = "";
  DWORD size = sizeof text - 1;
  DWORD type = 0;
  *error = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  return *error == ERROR_SUCCESS ? std::string(text) : std::string();
}

LONG WriteString(HKEY root, const char* path, const char* name, const std::string& text) {
  HKEY key = nullptr;
  LONG error = RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (error != ERROR_SUCCESS) return error;
  error = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return error;
}

// Reports an error event; the Win32 code of the report, 0 when taken.
DWORD Report(const std::string& text) {
  HANDLE source = RegisterEventSourceA(nullptr, kSource);
  if (!source) return GetLastError();
  const char* strings[] = {text.c_str()};
  BOOL reported = ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 0xC0020000, nullptr, 1, 0, strings, nullptr);
  DWORD error = reported ? ERROR_SUCCESS : GetLastError();
  DeregisterEventSource(source);
  return error;
}

// Whether the Application log holds an event with this text.
bool LogHolds(const std::string& text) {
  HANDLE log = OpenEventLogA(nullptr, "Application");
  if (!log) return false;
  std::vector<BYTE> buffer(64 * 1024);
  DWORD read = 0, needed = 0;
  bool found = false;
  while (!found && ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                                 static_cast<DWORD>(buffer.size()), &read, &needed)) {
    for (DWORD offset = 0; offset < read;) {
      auto* record = reinterpret_cast<EVENTLOGRECORD*>(buffer.data() + offset);
      if (record->NumStrings > 0 && text == reinterpret_cast<const char*>(buffer.data() + offset + record->StringOffset))
        found = true;
      offset += record->Length;
    }
  }
  CloseEventLog(log);
  return found;
}

std::vector<std::string> UsersSubKeys() {
  std::vector<std::string> names;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(HKEY_USERS, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(name);
  }
  return names;
}
#endif

// A user's own key, reached through HKEY_CURRENT_USER and below
// HKEY_USERS, which lists it and no other user's. In a process whose
// effective user differs from its real one, as a set-user-ID program's,
// these are the effective user's, whose store holds them.
VK_CHILD_MAIN(stores_own_key) {
#if defined(_WIN32)
  return -1;
#else
  std::string own = "S-1-22-1-" + std::to_string(geteuid());
  if (WriteString(HKEY_CURRENT_USER, kKey, "Effective", "yes") != ERROR_SUCCESS) return 60;
  LONG error = 0;
  if (ReadString(HKEY_USERS, (own + "\\" + kKey).c_str(), "Effective", &error) != "yes") {
    fprintf(stderr, "its own key below HKEY_USERS: error %ld\n", static_cast<long>(error));
    return 61;
  }
  // Such a process ignores the test's machine store (secure_getenv), so
  // .DEFAULT may be missing; the real user's key must not be there.
  std::vector<std::string> users = UsersSubKeys();
  if (std::count(users.begin(), users.end(), own) != 1 ||
      std::count(users.begin(), users.end(), std::string("S-1-22-1-0")) != 0) {
    for (const std::string& name : users) fprintf(stderr, "HKEY_USERS lists %s\n", name.c_str());
    return 62;
  }
  // Its events and trace texts go where the system's go, whatever its
  // caller set; refused by the store, the event still is no failure here.
  Report("from a set-user-ID program");
  OutputDebugStringA("from a set-user-ID program");
  return 0;
#endif
}

// Holds what another user may hold on a store: for every regular file it
// can open below the directories args[0..n-4], a whole-file record lock, an
// exclusive flock and, for a database, an open read transaction. Writes how
// many files it holds into the file args[n-3], then makes the file args[n-2]
// and keeps them until the file args[n-1] appears.
VK_CHILD_MAIN(stores_hold_everything) {
#if defined(_WIN32)
  return -1;
#else
  std::vector<int> held;
  std::vector<sqlite3*> readers;
  std::error_code ignored;
  for (size_t i = 0; i + 3 < args.size(); ++i) {
    for (auto it = vktest::fs::recursive_directory_iterator(args[i], ignored);
         it != vktest::fs::recursive_directory_iterator(); it.increment(ignored)) {
      std::string path = it->path().string();
      int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      struct stat status;
      if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (fd >= 0) close(fd);
        continue;
      }
      struct flock lock = {};
      lock.l_type = F_RDLCK;
      lock.l_whence = SEEK_SET;
      fcntl(fd, F_SETLK, &lock);
      flock(fd, LOCK_EX | LOCK_NB);
      held.push_back(fd);
      sqlite3* db = nullptr;
      if (sqlite3_open_v2(("file:" + path + "?mode=ro").c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                          nullptr) == SQLITE_OK &&
          sqlite3_exec(db, "BEGIN; SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr) == SQLITE_OK)
        readers.push_back(db);
      else
        sqlite3_close(db);
    }
  }
  vktest::WriteWholeFile(args[args.size() - 3], std::to_string(held.size()));
  vktest::WriteWholeFile(args[args.size() - 2], "");
  bool released = vktest::AwaitFile(args.back());
  for (sqlite3* db : readers) sqlite3_close(db);
  for (int fd : held) close(fd);
  return released ? 0 : 1;
#endif
}

// Reads the member's value args[0] times, whatever each read gives: a
// reader of the store while another user tampers with it.
VK_CHILD_MAIN(stores_read_loop) {
#if defined(_WIN32)
  return -1;
#else
  for (int i = 0; i < std::stoi(args.at(0)); ++i) {
    LONG error = 0;
    ReadString(HKEY_LOCAL_MACHINE, kKey, "Owner", &error);
  }
  return 0;
#endif
}

// A member that tries to plant, link, rename and remove in the store
// (args[0]; the file args[1] lies outside it) and truncates what it may
// write. 0 when every change of a name in the store was refused.
VK_CHILD_MAIN(stores_member_tampers) {
#if defined(_WIN32)
  return -1;
#else
  std::string store = args.at(0), outside = args.at(1);
  if (unlink((store + "/registry.db-shm").c_str()) == 0 || errno != EACCES) return 70;
  if (link(outside.c_str(), (store + "/planted").c_str()) == 0 || (errno != EACCES && errno != EPERM)) return 71;
  if (symlink(outside.c_str(), (store + "/planted").c_str()) == 0 || errno != EACCES) return 72;
  if (rename((store + "/registry.db").c_str(), (store + "/moved.db").c_str()) == 0 || errno != EACCES) return 73;
  // What a member may write it may also truncate: the counter, and the
  // copy it published itself.
  truncate((store + "/registry.changes").c_str(), 0);
  truncate((store + "/published/registry.db").c_str(), 0);
  return 0;
#endif
}

// A member of the group: writes HKEY_LOCAL_MACHINE, reports an event
// (args[0] its text), keeps a secret in its own key (args[1]). A value it
// wrote to the machine and deleted again is never shown to anyone else.
VK_CHILD_MAIN(stores_member_writes) {
#if defined(_WIN32)
  return -1;
#else
  if (WriteString(HKEY_LOCAL_MACHINE, kKey, "Owner", "member") != ERROR_SUCCESS) return 10;
  if (WriteString(HKEY_LOCAL_MACHINE, kKey, "Deleted", "deleted machine secret") != ERROR_SUCCESS) return 15;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return 16;
  LONG deleted = RegDeleteValueA(key, "Deleted");
  RegCloseKey(key);
  if (deleted != ERROR_SUCCESS) return 16;
  if (Report(args.at(0)) != ERROR_SUCCESS) return 11;
  if (!LogHolds(args.at(0))) return 12;
  if (WriteString(HKEY_CURRENT_USER, kKey, "Secret", args.at(1)) != ERROR_SUCCESS) return 13;
  LONG error = 0;
  if (ReadString(HKEY_CURRENT_USER, kKey, "Secret", &error) != args.at(1)) return 14;
  return 0;
#endif
}

// Another user: reads what the member wrote, is refused every write to the
// machine store, cannot reach the member's key (args[0] its uid), and has
// a key of its own. args[1] is the text of the event it reports.
VK_CHILD_MAIN(stores_other_user) {
#if defined(_WIN32)
  return -1;
#else
  LONG error = 0;
  if (ReadString(HKEY_LOCAL_MACHINE, kKey, "Owner", &error) != "member") return 20;
  HKEY key = nullptr;
  // Write access is refused at the open, as Windows refuses a standard user.
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key) != ERROR_ACCESS_DENIED || key) return 21;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
          ERROR_ACCESS_DENIED || key)
    return 36;
  HKEY connected = nullptr;
  if (RegConnectRegistryA(nullptr, HKEY_LOCAL_MACHINE, &connected) != ERROR_SUCCESS) return 37;
  RegCloseKey(connected);
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 21;
  const BYTE forged[] = "other";
  if (RegSetValueExA(key, "Owner", 0, REG_SZ, forged, sizeof forged) != ERROR_ACCESS_DENIED) return 22;
  if (RegDeleteValueA(key, "Owner") != ERROR_ACCESS_DENIED) return 23;
  HKEY made = nullptr;
  if (RegCreateKeyExA(key, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made, nullptr) != ERROR_ACCESS_DENIED)
    return 24;
  RegCloseKey(key);
  if (RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey) != ERROR_ACCESS_DENIED) return 25;
  if (ReadString(HKEY_LOCAL_MACHINE, kKey, "Owner", &error) != "member") return 26;
  if (Report(args.at(1)) != ERROR_ACCESS_DENIED) return 27;
  // The logs are read by root and the group only, as the system's own.
  if (OpenEventLogA(nullptr, "Application") || GetLastError() != ERROR_ACCESS_DENIED) return 29;
  std::string memberKey = "S-1-22-1-" + args.at(0) + "\\" + kKey;
  if (RegOpenKeyExA(HKEY_USERS, memberKey.c_str(), 0, KEY_READ, &key) != ERROR_FILE_NOT_FOUND) return 31;
  if (RegCreateKeyExA(HKEY_USERS, memberKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made, nullptr) !=
      ERROR_ACCESS_DENIED)
    return 32;
  if (WriteString(HKEY_CURRENT_USER, kKey, "Mine", "own") != ERROR_SUCCESS) return 33;
  std::string ownKey = "S-1-22-1-" + std::to_string(getuid());
  if (ReadString(HKEY_USERS, (ownKey + "\\" + kKey).c_str(), "Mine", &error) != "own") return 34;
  std::vector<std::string> users = UsersSubKeys();
  if (users != std::vector<std::string>{".DEFAULT", ownKey}) return 35;
  return 0;
#endif
}

// Whether the Application log holds the event args[0] (0) or not (1), as
// a member reads it.
VK_CHILD_MAIN(stores_log_holds) {
#if defined(_WIN32)
  return -1;
#else
  return LogHolds(args.at(0)) ? 0 : 1;
#endif
}

// A member that writes "Phase" = first, tells (file args[0]), waits (file
// args[1]), writes second and tells again (file args[2]).
VK_CHILD_MAIN(stores_member_writes_twice) {
#if defined(_WIN32)
  return -1;
#else
  if (WriteString(HKEY_LOCAL_MACHINE, kKey, "Phase", "first") != ERROR_SUCCESS) return 40;
  vktest::WriteWholeFile(args.at(0), "");
  if (!vktest::AwaitFile(args.at(1))) return 41;
  if (WriteString(HKEY_LOCAL_MACHINE, kKey, "Phase", "second") != ERROR_SUCCESS) return 42;
  vktest::WriteWholeFile(args.at(2), "");
  return 0;
#endif
}

// A reader of the machine store while the member above writes: sees the
// first value, tells (file args[0]), and sees the second once it is
// written (file args[1]), in the same process.
VK_CHILD_MAIN(stores_reader_follows) {
#if defined(_WIN32)
  return -1;
#else
  // What another user reads is the copy the member's process publishes
  // once its write is done; it must come within a bound.
  auto sees = [](const char* phase) {
    LONG error = 0;
    DWORD deadline = GetTickCount() + kPublishedWithinMs;
    while (ReadString(HKEY_LOCAL_MACHINE, kKey, "Phase", &error) != phase)
      if (static_cast<LONG>(GetTickCount() - deadline) > 0) return false;
    return true;
  };
  if (!sees("first")) return 50;
  vktest::WriteWholeFile(args.at(0), "");
  if (!vktest::AwaitFile(args.at(1))) return 51;
  if (!sees("second")) return 52;
  return 0;
#endif
}

// Writes a secret into the key of the user args[1] below HKEY_USERS in the
// one-directory store args[0], as earlier versions kept every user's key
// in the machine store; and keys named like SIDs that are not users' keys.
VK_CHILD_MAIN(stores_old_layout_secret) {
#if defined(_WIN32)
  return -1;
#else
  setenv("VK_SYSTEM_ROOT", args.at(0).c_str(), 1);
  std::string key = "S-1-22-1-" + args.at(1) + "\\" + kKey;
  if (WriteString(HKEY_USERS, key.c_str(), "Secret", "old secret") != ERROR_SUCCESS) return 1;
  std::string machineSid = std::string(kKey) + "\\S-1-5-18";
  if (WriteString(HKEY_LOCAL_MACHINE, machineSid.c_str(), "Kept", "kept below the machine") != ERROR_SUCCESS) return 2;
  return WriteString(HKEY_USERS, ".DEFAULT\\S-1-5-19", "Kept", "kept below default") == ERROR_SUCCESS ? 0 : 3;
#endif
}

// Reports an event with the text args[0]; returns the report's code.
VK_CHILD_MAIN(stores_report) {
#if defined(_WIN32)
  return -1;
#else
  return static_cast<int>(Report(args.at(0)) & 0xFF);
#endif
}

// Writes HKEY_LOCAL_MACHINE and reads it back, wherever that is.
VK_CHILD_MAIN(stores_private_state) {
#if defined(_WIN32)
  return -1;
#else
  if (WriteString(HKEY_LOCAL_MACHINE, kKey, "Private", "yes") != ERROR_SUCCESS) return 60;
  if (Report("private event") != ERROR_SUCCESS) return 61;
  LONG error = 0;
  return ReadString(HKEY_LOCAL_MACHINE, kKey, "Private", &error) == "yes" ? 0 : 62;
#endif
}

class MachineStoreTest : public vktest::LocalUsersTest {
 protected:
#if !defined(_WIN32)
  // The member writes and reports first, so that the others find a store.
  void MemberWrites(const std::string& event, const std::string& secret, const Options& options = Options()) {
    ASSERT_EQ(0, RunAs(s_member, "stores_member_writes", {event, secret}, options)) << Output(s_member);
  }
#endif
};

#if !defined(_WIN32)
bool Contains(const std::vector<std::string>& lines, const std::string& text) {
  for (const std::string& line : lines)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

mode_t ModeOf(const std::string& path, struct stat* status) {
  if (lstat(path.c_str(), status) != 0) return static_cast<mode_t>(-1);
  return status->st_mode & 07777;
}

// The line the logger wrote for an event, or empty.
std::string LineWith(const std::string& out, const std::string& text) {
  size_t at = out.find(text);
  if (at == std::string::npos) return std::string();
  size_t start = out.rfind('\n', at);
  start = start == std::string::npos ? 0 : start + 1;
  return out.substr(start, out.find('\n', at) - start);
}

#endif

TEST_F(MachineStoreTest, AMemberWritesTheMachineAndAnotherUserOnlyReadsIt) {
#if !defined(_WIN32)
  std::string memberEvent = "member event " + std::to_string(getpid());
  MemberWrites(memberEvent, "member secret");
  std::string otherEvent = "other user's event " + std::to_string(getpid());
  EXPECT_EQ(0, RunAs(s_other, "stores_other_user", {std::to_string(s_member.uid), otherEvent, memberEvent}))
      << Output(s_other);
  EXPECT_EQ(0, RunAs(s_member, "stores_log_holds", {memberEvent})) << "the member's event is kept";
  EXPECT_EQ(1, RunAs(s_member, "stores_log_holds", {otherEvent})) << "the other user's event is not stored";
  // The copy everyone may read holds nothing deleted before it was made.
  std::string copy = vktest::ReadWholeFile(s_machine + "/published/registry.db");
  EXPECT_NE(std::string::npos, copy.find("member")) << "the copy was read";
  EXPECT_EQ(std::string::npos, copy.find("deleted machine secret"));
#endif
}

TEST_F(MachineStoreTest, EachUsersOwnKeyStaysInItsOwnStore) {
#if !defined(_WIN32)
  // Before any member wrote, a user outside the group reaches its own key
  // below HKEY_USERS, as it will once they have.
  EXPECT_EQ(0, RunAs(s_other, "stores_own_key", {})) << Output(s_other);
  MemberWrites("an event", "member secret");
  ASSERT_EQ(0, RunAs(s_other, "stores_other_user", {std::to_string(s_member.uid), "refused", "an event"}))
      << Output(s_other);
  // The machine store holds no user's key; each user's lies in its store.
  std::string machineDb = s_machine + "/registry.db";
  std::string query = "sqlite3 '" + machineDb + "' \"SELECT count(*) FROM keys WHERE name_key LIKE 's-1-%'\"";
  FILE* pipe = popen(query.c_str(), "r");
  ASSERT_NE(nullptr, pipe);
  char answer[32] = "";
  ASSERT_NE(nullptr, fgets(answer, sizeof answer, pipe));
  pclose(pipe);
  EXPECT_STREQ("0\n", answer);
  EXPECT_TRUE(vktest::FileExists(s_member.stateHome + "/vkdiag/registry.db"));
  EXPECT_TRUE(vktest::FileExists(s_other.home + "/.local/state/vkdiag/registry.db"));
  EXPECT_FALSE(vktest::FileExists(s_member.home + "/.local/state/vkdiag/registry.db"));
#endif
}

// A machine store that an earlier version kept in one directory still
// holds users' keys below HKEY_USERS; another user must not reach them
// there.
TEST_F(MachineStoreTest, AUsersKeyLeftInAnOldMachineStoreIsNotReachedByOthers) {
#if !defined(_WIN32)
  ASSERT_EQ(0, vktest::ChildProcess("stores_old_layout_secret", {s_machine, std::to_string(s_member.uid)}).Wait());
  SetUpMachineStore();  // as vkdiag setup moves such a store on
  MemberWrites("an event", "member secret");
  EXPECT_EQ(0, RunAs(s_other, "stores_other_user", {std::to_string(s_member.uid), "refused", "an event"}))
      << Output(s_other);
  // Nor in the copy that everyone may read as a file, which keeps the keys
  // that only look like a user's.
  const std::string copyPath = s_machine + "/published/registry.db";
  std::string copy = vktest::ReadWholeFile(copyPath);
  EXPECT_NE(std::string::npos, copy.find("member")) << "the copy was read";
  EXPECT_EQ(std::string::npos, copy.find("old secret"));
  EXPECT_EQ(std::string::npos, copy.find("S-1-22-1-" + std::to_string(s_member.uid)));
  EXPECT_NE(std::string::npos, copy.find("kept below the machine"));
  EXPECT_NE(std::string::npos, copy.find("kept below default"));

  // A copy made by an earlier version, which held users' keys, is made
  // again by setup, even one stamped as newer than the store.
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(copyPath.c_str(), &db));
  EXPECT_EQ(SQLITE_OK, sqlite3_exec(db,
                                    "DROP TABLE published; CREATE TABLE published(generation INTEGER NOT NULL);"
                                    "INSERT INTO published VALUES(1099511627776);"
                                    "CREATE TABLE planted(secret TEXT); INSERT INTO planted VALUES('planted secret');",
                                    nullptr, nullptr, nullptr));
  sqlite3_close(db);
  SetUpMachineStore();
  copy = vktest::ReadWholeFile(copyPath);
  EXPECT_NE(std::string::npos, copy.find("member")) << "the copy was read";
  EXPECT_EQ(std::string::npos, copy.find("planted secret")) << "the copy of the earlier form was kept";
#endif
}

TEST_F(MachineStoreTest, StoresGetTheirModesWhateverTheUmask) {
#if !defined(_WIN32)
  Options open;
  open.umask = 0;
  MemberWrites("an event", "member secret", open);
  Options closed;
  closed.umask = 0777;
  ASSERT_EQ(0, RunAs(s_other, "stores_other_user", {std::to_string(s_member.uid), "refused", "an event"}, closed))
      << Output(s_other);
  struct stat status;
  // The live files stay root's and the group's, shut to everyone else, and
  // the copy everyone else reads is readable by all and changed by none.
  for (const char* name : {"registry.db", "registry.db-wal", "registry.db-shm", "registry.changes", "eventlog.db",
                           "eventlog.db-wal", "eventlog.db-shm"}) {
    std::string path = s_machine + "/" + name;
    EXPECT_EQ(0660u, ModeOf(path, &status)) << path;
    EXPECT_EQ(0u, status.st_uid) << path;
    EXPECT_EQ(s_gid, status.st_gid) << path;
  }
  std::string copy = s_machine + "/published/registry.db";
  EXPECT_EQ(0644u, ModeOf(copy, &status)) << copy;
  EXPECT_EQ(s_gid, status.st_gid) << copy;
  for (const vktest::TestUser* user : {&s_member, &s_other}) {
    std::string store = (user->stateHome.empty() ? user->home + "/.local/state" : user->stateHome) + "/vkdiag";
    EXPECT_EQ(0700u, ModeOf(store, &status)) << store;
    EXPECT_EQ(user->uid, status.st_uid) << store;
    // SQLite removes the WAL files of a private store with its last connection.
    for (const char* name : {"registry.db", "registry.changes"}) {
      std::string path = store + "/" + name;
      EXPECT_EQ(0600u, ModeOf(path, &status)) << path;
      EXPECT_EQ(user->uid, status.st_uid) << path;
    }
  }
#endif
}

// Earlier versions made the user's state directory 0755 and its files
// 0644: every other user could read that user's keys and events.
TEST_F(MachineStoreTest, AUserStateDirectoryLeftOpenToOthersIsMadePrivate) {
#if !defined(_WIN32)
  std::string store = s_other.home + "/.local/state/vkdiag";
  for (const std::string& directory : {s_other.home + "/.local", s_other.home + "/.local/state", store}) {
    ASSERT_EQ(0, mkdir(directory.c_str(), 0755)) << directory;
    ASSERT_EQ(0, chown(directory.c_str(), s_other.uid, s_other.gid)) << directory;
    ASSERT_EQ(0, chmod(directory.c_str(), 0755)) << directory;
  }
  Options options;
  options.machineStore = s_base + "/never-set-up";
  EXPECT_EQ(0, RunAs(s_other, "stores_private_state", {}, options)) << Output(s_other);
  struct stat status;
  EXPECT_EQ(0700u, ModeOf(store, &status));
  EXPECT_EQ(s_other.uid, status.st_uid);
#endif
}

TEST_F(MachineStoreTest, AReaderFollowsTheWritesOfAMemberWhileBothRun) {
#if !defined(_WIN32)
  for (const char* name : {"written-first", "read-first", "written-second"}) unlink(Signal(name).c_str());
  pid_t writer = StartAs(s_member, "stores_member_writes_twice",
                         {Signal("written-first"), Signal("read-first"), Signal("written-second")});
  ASSERT_TRUE(vktest::AwaitFile(Signal("written-first")));
  int read = RunAs(s_other, "stores_reader_follows", {Signal("read-first"), Signal("written-second")});
  EXPECT_EQ(0, Wait(writer)) << Output(s_member);
  EXPECT_EQ(0, read) << Output(s_other);
#endif
}

TEST_F(MachineStoreTest, RefusedEventsStillReachTheSystemLog) {
#if !defined(_WIN32)
  MemberWrites("an event", "member secret");
  // Open to every user: the test users send to it.
  vktest::SyslogSocket syslog(s_base + "/syslog.sock", 0666);
  ASSERT_TRUE(syslog.bound());
  Options options;
  options.syslogSocket = s_base + "/syslog.sock";
  std::string refused = "refused but logged " + std::to_string(getpid());
  EXPECT_EQ(static_cast<int>(ERROR_ACCESS_DENIED), RunAs(s_other, "stores_report", {refused}, options));
  std::string stored = "stored and logged " + std::to_string(getpid());
  EXPECT_EQ(0, RunAs(s_member, "stores_report", {stored}, options));
  std::vector<std::string> lines = syslog.Received();
  EXPECT_TRUE(Contains(lines, " " + std::string(kSource) + " ")) << testing::PrintToString(lines);
  EXPECT_TRUE(Contains(lines, refused)) << testing::PrintToString(lines);
  EXPECT_TRUE(Contains(lines, stored)) << testing::PrintToString(lines);
#endif
}

TEST_F(MachineStoreTest, ASetUserIdProgramUsesTheEffectiveUsersKey) {
#if !defined(_WIN32)
#if defined(__SANITIZE_ADDRESS__)
  // Such a process may not read its own /proc files or be traced, so the
  // sanitizer runtime neither reads its options nor can stop it for the
  // leak check at exit, and fails it.
  GTEST_SKIP() << "the address sanitizer's runtime fails a process with two user identities";
#endif
  MemberWrites("an event", "member secret");
  // Its caller points every variable at places of its own; none is used.
  std::string hostile = s_base + "/hostile";
  vktest::fs::create_directories(hostile + "/root");
  vktest::fs::create_directories(hostile + "/state");
  vktest::fs::create_directories(hostile + "/runtime/vkdiag");
  vktest::fs::create_directories(hostile + "/store");
  vktest::SyslogSocket syslog(hostile + "/syslog.sock", 0666);
  ASSERT_TRUE(syslog.bound());
  Options options;
  options.effectiveOnly = true;
  options.environment = {"VK_SYSTEM_ROOT=" + hostile + "/root",        "XDG_STATE_HOME=" + hostile + "/state",
                         "XDG_RUNTIME_DIR=" + hostile + "/runtime",    "VK_SYSLOG_SOCKET=" + hostile + "/syslog.sock",
                         "VK_EVENTLOG_SYSLOG=1",                        "VK_MACHINE_STORE=" + hostile + "/store",
                         "TMPDIR=" + hostile};
  EXPECT_EQ(0, RunAs(s_other, "stores_own_key", {}, options)) << Output(s_other);
  for (const char* place : {"/root", "/state", "/runtime/vkdiag", "/store"})
    EXPECT_TRUE(vktest::fs::is_empty(hostile + place)) << place << " was used";
  EXPECT_TRUE(syslog.Received().empty()) << "the caller's system log socket got the event";
#endif
}

// Another user holds every lock it can take on anything it can open in the
// store: nobody waits for it. It can open the published copy alone.
TEST_F(MachineStoreTest, NoLockAnotherUserHoldsStallsAWriter) {
#if !defined(_WIN32)
  MemberWrites("an event", "member secret");
  for (const char* name : {"held", "holding", "release"}) unlink(Signal(name).c_str());
  pid_t holder =
      StartAs(s_other, "stores_hold_everything", {s_machine, Signal("held"), Signal("holding"), Signal("release")});
  ASSERT_TRUE(vktest::AwaitFile(Signal("holding"))) << Output(s_other);
  EXPECT_EQ("1", vktest::ReadWholeFile(Signal("held"))) << "the published copy, and no live file";
  auto timed = [](const std::function<int()>& run, int* result) {
    auto start = std::chrono::steady_clock::now();
    *result = run();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  };
  int memberResult = -1, rootResult = -1;
  long long member = timed([&] { return RunAs(s_member, "stores_member_writes", {"while held", "secret"}); },
                           &memberResult);
  long long root = -1;
#if defined(VK_TOOL_FROM_TESTS)
  vktest::TestUser administrator{"root", 0, 0, s_base + "/home-root", s_base + "/home-root"};
  vktest::fs::create_directories(administrator.stateHome);
  Options tool;
  tool.program = vktest::ToolPath();
  root = timed([&] {
    return RunAs(administrator, "", {"reg", "add", std::string("HKLM\\") + kKey, "-v", "Root", "-d", "yes"}, tool);
  }, &rootResult);
  EXPECT_EQ(0, rootResult) << Output(administrator);
#endif
  vktest::WriteWholeFile(Signal("release"), "");
  EXPECT_EQ(0, Wait(holder)) << Output(s_other);
  EXPECT_EQ(0, memberResult) << Output(s_member) << "its write, report and read back of the event";
  RecordProperty("member_ms", static_cast<int>(member));
  RecordProperty("root_ms", static_cast<int>(root));
  // Far below every deadline a wait for another process has: no wait at all.
  EXPECT_LT(member, kPromptMs);
  EXPECT_LT(root, kPromptMs);
#endif
}

// A member administers the store's content, not its names: what it plants,
// links, renames or truncates there changes no file outside the store and
// ends no reader's process.
TEST_F(MachineStoreTest, AMembersTamperingReachesNothingOutsideAndEndsNoReader) {
#if !defined(_WIN32)
  MemberWrites("an event", "member secret");
  std::string outside = s_base + "/outside.txt";
  vktest::WriteWholeFile(outside, "precious");
  chmod(outside.c_str(), 0666);
  pid_t ownReader = StartAs(s_member, "stores_read_loop", {"20000"});
  pid_t otherReader = StartAs(s_other, "stores_read_loop", {"20000"});
  EXPECT_EQ(0, RunAs(s_member, "stores_member_tampers", {s_machine, outside})) << Output(s_member);
  EXPECT_EQ(0, Wait(ownReader)) << "no signal ends a reader";
  EXPECT_EQ(0, Wait(otherReader)) << "no signal ends a reader";
  MemberWrites("after tampering", "member secret");
  EXPECT_EQ("precious", vktest::ReadWholeFile(outside));
  struct stat status;
  ASSERT_EQ(0, lstat(outside.c_str(), &status));
  EXPECT_EQ(0u, status.st_uid);
  EXPECT_EQ(0666u, status.st_mode & 07777u);
#endif
}

// A live file whose owner, mode or links differ from what setup gave it is
// refused, and `vkdiag stores` names it.
TEST_F(MachineStoreTest, ALiveFileSetupDidNotLeaveSoIsRefusedByName) {
#if !defined(_WIN32)
  MemberWrites("an event", "member secret");
  struct Drift {
    const char* file;
    std::function<int(const std::string&)> apply;
    std::function<int(const std::string&)> undo;
  } drifts[] = {
      {"registry.db", [](const std::string& path) { return chmod(path.c_str(), 0666); },
       [](const std::string& path) { return chmod(path.c_str(), 0660); }},
      {"registry.db-shm", [&](const std::string& path) { return chown(path.c_str(), s_member.uid, s_gid); },
       [](const std::string& path) { return chown(path.c_str(), 0, static_cast<gid_t>(-1)); }},
      {"registry.changes", [&](const std::string& path) { return link(path.c_str(), (s_base + "/link").c_str()); },
       [&](const std::string&) { return unlink((s_base + "/link").c_str()); }},
  };
  for (const Drift& drift : drifts) {
    SCOPED_TRACE(drift.file);
    std::string path = s_machine + "/" + drift.file;
    ASSERT_EQ(0, drift.apply(path));
    EXPECT_EQ(10, RunAs(s_member, "stores_member_writes", {"refused", "secret"})) << "the write is refused";
#if defined(VK_TOOL_FROM_TESTS)
    Options tool;
    tool.program = vktest::ToolPath();
    EXPECT_EQ(1, RunAs(s_member, "", {"stores"}, tool));
    EXPECT_NE(std::string::npos, Output(s_member).find(path)) << Output(s_member);
#endif
    ASSERT_EQ(0, drift.undo(path));
  }
  MemberWrites("once set right again", "member secret");
#endif
}

TEST_F(MachineStoreTest, WithoutAMachineStoreAUserKeepsAPrivateStateAndSaysNothing) {
#if !defined(_WIN32)
  Options options;
  options.machineStore = s_base + "/never-set-up";
  EXPECT_EQ(0, RunAs(s_other, "stores_private_state", {}, options));
  EXPECT_EQ("", Output(s_other));
  std::string store = s_other.home + "/.local/state/vkdiag";
  EXPECT_TRUE(vktest::FileExists(store + "/eventlog.db"));
  EXPECT_FALSE(vktest::FileExists(options.machineStore));
  struct stat status;
  EXPECT_EQ(0600u, ModeOf(store + "/eventlog.db", &status));
#endif
}

#if defined(VK_TOOL_FROM_TESTS)
TEST_F(MachineStoreTest, TheToolShowsEachUserItsStoresAndWhatItMayDo) {
#if !defined(_WIN32)
  std::string tool = s_base + "/vkdiag";
  std::error_code ignored;
  vktest::fs::copy_file(vktest::ToolPath(), tool, vktest::fs::copy_options::overwrite_existing, ignored);
  chmod(tool.c_str(), 0755);
  Options options;
  options.program = tool;
  ASSERT_EQ(0, RunAs(s_member, "", {"stores"}, options)) << Output(s_member);
  EXPECT_EQ("layout: machine store and user store\nmachine: " + s_machine + " (read and write: root or group " +
                s_group + ")\nuser: " + s_member.stateHome + "/vkdiag\n",
            Output(s_member));
  ASSERT_EQ(0, RunAs(s_other, "", {"stores"}, options)) << Output(s_other);
  EXPECT_EQ("layout: machine store and user store\nmachine: " + s_machine +
                " (read only, from its published copy: not in group " + s_group + ")\nuser: " + s_other.home +
                "/.local/state/vkdiag\n",
            Output(s_other));
#endif
}
#endif

TEST_F(MachineStoreTest, EventsOfMembersAndOthersReachARealSystemLogger) {
#if !defined(_WIN32)
  MemberWrites("an event", "member secret");
  std::string socket = s_base + "/rsyslog.sock";
  vktest::Rsyslog logger(s_base, "module(load=\"imuxsock\" SysSock.Use=\"off\")\n"
                                 "input(type=\"imuxsock\" Socket=\"" + socket + "\" UseSpecialParser=\"off\")\n"
                                 "template(name=\"line\" type=\"string\""
                                 " string=\"%pri% %app-name% %procid% %structured-data% %msg%\\n\")\n"
                                 "*.* action(type=\"omfile\" file=\"" + s_base + "/rsyslog.out\" template=\"line\")\n");
  if (!logger.reason().empty()) GTEST_SKIP() << logger.reason();
  ASSERT_TRUE(vktest::AwaitFile(socket));
  ASSERT_EQ(0, chmod(socket.c_str(), 0666)) << "open to every user, as /dev/log is";
  Options options;
  options.syslogSocket = socket;
  std::string stored = "stored event " + std::to_string(getpid());
  std::string refused = "refused event " + std::to_string(getpid()) + "\x1b[2J";
  pid_t member = StartAs(s_member, "stores_report", {stored}, options);
  int memberResult = Wait(member);
  pid_t other = StartAs(s_other, "stores_report", {refused}, options);
  int otherResult = Wait(other);
  EXPECT_EQ(0, memberResult) << Output(s_member);
  EXPECT_EQ(static_cast<int>(ERROR_ACCESS_DENIED), otherResult) << Output(s_other);
  // LOG_USER | LOG_ERR is priority 11; the reporter's process and the
  // record the store gave it, none for a refused event. Control characters
  // arrive escaped: as JSON in the strings, as rsyslog does in the message.
  auto expected = [](pid_t pid, const std::string& record, const std::string& json, const std::string& text) {
    return "11 " + std::string(kSource) + " " + std::to_string(pid) + " [" VK_SYSLOG_SD_ID " source=\"" + kSource +
           "\" log=\"Application\" event_id=\"3221356544\" event_code=\"0\" type=\"error\" category=\"0\"" + record +
           " strings=\"[\\\"" + json + "\\\"\\]\"] (no text for event 0xC0020000 of source " + kSource +
           " without a message file)#015#012" + text;
  };
  std::string out = s_base + "/rsyslog.out";
  EXPECT_EQ(expected(member, " record=\"2\"", stored, stored), LineWith(vktest::AwaitText(out, stored), stored));
  std::string id = std::to_string(getpid());
  std::string escaped = "refused event " + id + "#033[2J";
  EXPECT_EQ(expected(other, "", "refused event " + id + "\\\\u001b[2J", escaped),
            LineWith(vktest::AwaitText(out, escaped), escaped));
#endif
}

#if defined(VK_TOOL_FROM_TESTS)
// What vkdiag stores prints comes partly from the environment: a name with
// control characters must not reach the terminal as they are.
TEST(StoresToolTest, ShowsWhereTheStateIsWithControlCharactersEscaped) {
#if defined(_WIN32)
  vktest::ToolResult result = vktest::RunTool({"stores"});
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ("layout: the system's registry and event logs\n", result.out);
#else
  std::string saved = getenv("VK_SYSTEM_ROOT");
  std::string root = saved + "/odd\x1b[2Jname";
  vktest::fs::create_directories(root);
  setenv("VK_SYSTEM_ROOT", root.c_str(), 1);
  vktest::ToolResult result = vktest::RunTool({"stores"});
  setenv("VK_SYSTEM_ROOT", saved.c_str(), 1);
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ("layout: one directory (VK_SYSTEM_ROOT)\nstate: " + saved + "/odd\\x1B[2Jname\n", result.out);
#endif
}
#endif

}  // namespace
