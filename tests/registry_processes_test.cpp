// The registry shared by several processes: concurrent writers, a writer
// killed mid-burst, and changes seen by a watcher in another process.
#include <vk/registry.h>

#include <ctype.h>
#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include "machine/shared_counter.h"
#endif

namespace {

using Vk::VkRegistry;

const char kStressKey[] = "Software\\vkdiag-tests\\processes";
constexpr int kKilled = 128 + 9;  // the exit code of a child killed by SIGKILL

VK_CHILD_MAIN(registry_writer) {
  int writer = std::stoi(args.at(0));
  int count = std::stoi(args.at(1));
  VkRegistry key(HKEY_CURRENT_USER, kStressKey, true, KEY_ALL_ACCESS);
  if (!key.IsOpen()) return 2;
  for (int i = 0; i < count; ++i) {
    std::string name = "w" + std::to_string(writer) + "-" + std::to_string(i);
    if (!key.WriteDword(name.c_str(), static_cast<DWORD>(i))) {
      fprintf(stderr, "write %s failed: %ld\n", name.c_str(), static_cast<long>(key.GetLastErrorCode()));
      return 1;
    }
  }
  return 0;
}

// Writes until killed, reporting each write that returned on stdout.
VK_CHILD_MAIN(registry_burst) {
  VkRegistry key(HKEY_CURRENT_USER, kStressKey, true, KEY_ALL_ACCESS);
  FILE* done = fopen(args.at(0).c_str(), "w");
  for (int i = 0;; ++i) {
    std::string name = "burst-" + std::to_string(i);
    if (!key.WriteDword(name.c_str(), static_cast<DWORD>(i))) return 1;
    fprintf(done, "%d\n", i);
    fflush(done);
  }
}

// Sets one value, then lives on until told to end (file args[0]), so that
// only the write can wake a watcher, not the writer's exit.
VK_CHILD_MAIN(registry_touch) {
  VkRegistry key(HKEY_CURRENT_USER, kStressKey, false, KEY_ALL_ACCESS);
  // The value is the tick count just before the write, so that the watcher
  // can tell how long the change took to reach it.
  if (!key.WriteDword("touched", GetTickCount())) return 1;
  return vktest::AwaitFile(args.at(0)) ? 0 : 2;
}

// Makes one kind of change (args[0]) to what the reader of the
// answers-are-fresh tests has just read, with no other write beside it.
VK_CHILD_MAIN(registry_change) {
  VkRegistry key(HKEY_CURRENT_USER, kStressKey, false, KEY_ALL_ACCESS);
  const std::string& change = args.at(0);
  if (change == "set") return key.WriteDword("kept", 2) && key.WriteDword("missing", 3) ? 0 : 1;
  if (change == "delete-value") return key.DeleteValue("doomed") ? 0 : 1;
  if (change == "delete-key") return key.DeleteSubKey("gone", false) ? 0 : 1;
  if (change == "create-key") return VkRegistry(key.GetKey(), "made", true, KEY_ALL_ACCESS).IsOpen() ? 0 : 1;
  return 2;
}

int Change(const char* change) { return vktest::ChildProcess("registry_change", {change}).Wait(); }

// In the registry kept under args[0]: writes args[1] to "value" when there
// is one, and reports what it could do: 0 read and wrote, 1 read only.
VK_CHILD_MAIN(registry_in_root) {
#if defined(_WIN32)
  return -1;  // the change counter belongs to the POSIX store
#else
  setenv("VK_SYSTEM_ROOT", args.at(0).c_str(), 1);
  VkRegistry key(HKEY_LOCAL_MACHINE, "Software\\vkdiag-tests", true, KEY_ALL_ACCESS);
  if (args.size() > 1) return key.WriteDword("value", static_cast<DWORD>(std::stoi(args[1]))) ? 0 : 2;
  DWORD value = 0;
  VkRegistry reader(HKEY_LOCAL_MACHINE, "Software\\vkdiag-tests", false, KEY_READ);
  if (!reader.ReadDword("value", &value) || value != 5) return 3;
  if (reader.WriteDword("value", 6)) return 4;
  VkRegistry writer(HKEY_LOCAL_MACHINE, "Software\\vkdiag-tests", false, KEY_ALL_ACCESS);
  if (writer.WriteDword("value", 6)) return 0;
  return writer.GetLastErrorCode() == ERROR_REGISTRY_IO_FAILED ? 1 : 5;
#endif
}

// In the registry under args[0]: "make" makes a volatile key with a
// sub-key and a value, and a stable key beside it; "after-restart" checks
// that the volatile keys are gone and the stable one stayed, and that the
// name can be made anew; "kept" checks that both kinds are still there.
// Returns the number of the first check that failed, 0 when all passed.
VK_CHILD_MAIN(registry_volatile_in_root) {
#if defined(_WIN32)
  return -1;  // a restart cannot be staged for Windows' own registry
#else
  setenv("VK_SYSTEM_ROOT", args.at(0).c_str(), 1);
  const std::string& step = args.at(1);
  HKEY key = nullptr;
  auto create = [&](const char* path, DWORD options) {
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) RegCloseKey(key);
    return result;
  };
  auto exists = [](const char* path) { return VkRegistry(HKEY_LOCAL_MACHINE, path, false, KEY_READ).IsOpen(); };
  if (step == "make") {
    // The stable key first: keys a volatile create makes on the way are volatile.
    if (create("Software\\Lasting", REG_OPTION_NON_VOLATILE) != ERROR_SUCCESS) return 1;
    if (create("Software\\Session", REG_OPTION_VOLATILE) != ERROR_SUCCESS) return 2;
    if (create("Software\\Session\\Inner", REG_OPTION_VOLATILE) != ERROR_SUCCESS) return 3;
    return VkRegistry(HKEY_LOCAL_MACHINE, "Software\\Session\\Inner", false, KEY_ALL_ACCESS).WriteDword("v", 1) ? 0 : 4;
  }
  if (step == "after-restart") {
    if (exists("Software\\Session") || exists("Software\\Session\\Inner")) return 1;
    if (!exists("Software\\Lasting")) return 2;
    if (create("Software\\Session\\Inner", REG_OPTION_NON_VOLATILE) != ERROR_SUCCESS) return 3;
    return 0;
  }
  return exists("Software\\Session\\Inner") && exists("Software\\Lasting") ? 0 : 1;
#endif
}

// Sets the number that the own-writes test has just read.
VK_CHILD_MAIN(registry_set_kept) {
  return VkRegistry(HKEY_CURRENT_USER, kStressKey, false, KEY_ALL_ACCESS).WriteDword("kept", 2) ? 0 : 1;
}

// Stands in for a writer killed after its commit and before its second move
// of the change counter: takes the writers' lock and moves the counter as a
// writer does, tells the reader (file args[0]), waits for it (file args[1]),
// commits a new number for "dying" straight into the store and dies.
VK_CHILD_MAIN(registry_dies_after_commit) {
#if defined(_WIN32)
  return -1;  // the change counter belongs to the POSIX store
#else
  vk_posix::SharedCounter counter("registry.changes", vk_posix::Store::kMachine);
  if (!counter.Lock() || !counter.Increment()) return 2;
  vktest::WriteWholeFile(args.at(0), "moved");
  if (!vktest::AwaitFile(args.at(1))) return 6;
  sqlite3* db = nullptr;
  std::string store = std::string(getenv("VK_SYSTEM_ROOT")) + "/registry.db";
  if (sqlite3_open(store.c_str(), &db) != SQLITE_OK) return 3;
  sqlite3_busy_timeout(db, 10000);
  const char* commit = "UPDATE vals SET data=x'02000000', change=change+1 WHERE name_key='dying'";
  if (sqlite3_exec(db, commit, nullptr, nullptr, nullptr) != SQLITE_OK || sqlite3_changes(db) != 1) return 4;
  kill(getpid(), SIGKILL);
  return 5;
#endif
}

// Names with letters of the upper half of Latin-1: a key and a value the
// test's process makes, and a key with a value the child makes.
const char kLocaleKey[] = "Software\\vkdiag-tests\\locales";
const char kParentKey[] = "\xC4pfel";
const char kParentValue[] = "\xC9t\xE9";
const char kChildKey[] = "\xD6l";
const char kChildValue[] = "\xDC";
constexpr int kNoSuchLocale = 77;

// Switches to the Latin-1 locale args[0] (found below args[1] on POSIX),
// where tolower() folds the upper half, then finds the test process's key
// and value by their names and adds its own.
VK_CHILD_MAIN(registry_in_locale) {
#if !defined(_WIN32)
  setenv("LOCPATH", args.at(1).c_str(), 1);
#endif
  volatile int upper = 0xC4;  // tolower() of a constant may be folded as in the "C" locale
  if (!setlocale(LC_CTYPE, args.at(0).c_str()) || tolower(upper) != 0xE4) return kNoSuchLocale;
  VkRegistry parent(HKEY_CURRENT_USER, (std::string(kLocaleKey) + "\\" + kParentKey).c_str(), false, KEY_ALL_ACCESS);
  if (!parent.IsOpen()) return 1;
  DWORD value = 0;
  if (!parent.ReadDword(kParentValue, &value) || value != 1) return 2;
  std::string upperCase = std::string(kLocaleKey) + "\\\xC4PFEL";
  if (!VkRegistry(HKEY_CURRENT_USER, upperCase.c_str(), false, KEY_READ).IsOpen()) return 4;
  VkRegistry child(HKEY_CURRENT_USER, (std::string(kLocaleKey) + "\\" + kChildKey).c_str(), true, KEY_ALL_ACCESS);
  if (!child.WriteDword(kChildValue, 2)) return 3;
  return 0;
}

class RegistryProcessesTest : public vktest::ScratchDirTest {
 protected:
  void SetUp() override {
    vktest::ScratchDirTest::SetUp();
    SHDeleteKeyA(HKEY_CURRENT_USER, kStressKey);
    ASSERT_TRUE(VkRegistry(HKEY_CURRENT_USER, kStressKey, true, KEY_ALL_ACCESS).IsOpen());
  }
  void TearDown() override {
    SHDeleteKeyA(HKEY_CURRENT_USER, kStressKey);
    vktest::ScratchDirTest::TearDown();
  }
};

TEST_F(RegistryProcessesTest, ConcurrentWritersLoseNothing) {
  const int writers = 4;
  const int writes = vktest::RunningUnderWine() ? 100 : 1000;
  std::vector<std::unique_ptr<vktest::ChildProcess>> children;
  for (int w = 0; w < writers; ++w)
    children.push_back(std::make_unique<vktest::ChildProcess>(
        "registry_writer", std::vector<std::string>{std::to_string(w), std::to_string(writes)}));
  for (auto& child : children) EXPECT_EQ(0, child->Wait());
  VkRegistry key(HKEY_CURRENT_USER, kStressKey, false, KEY_READ);
  EXPECT_EQ(static_cast<DWORD>(writers * writes), key.GetValueCount());
  for (int w = 0; w < writers; ++w) {
    DWORD value = 0;
    std::string last = "w" + std::to_string(w) + "-" + std::to_string(writes - 1);
    EXPECT_TRUE(key.ReadDword(last.c_str(), &value));
    EXPECT_EQ(static_cast<DWORD>(writes - 1), value);
  }
}

TEST_F(RegistryProcessesTest, WatcherSeesAnotherProcessChangeAKey) {
  VkRegistry key(HKEY_CURRENT_USER, kStressKey, false, KEY_ALL_ACCESS);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(key.NotifyChange(false, REG_NOTIFY_CHANGE_LAST_SET, event));
  vktest::ChildProcess child("registry_touch", {PathOf("end")});
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 10000)) << "not woken while the writer lives";
  DWORD woken = GetTickCount();
  vktest::WriteWholeFile(PathOf("end"), "");
  EXPECT_EQ(0, child.Wait());
  DWORD written = 0;
  ASSERT_TRUE(key.ReadDword("touched", &written));
  RecordProperty("wake_ms", static_cast<int>(woken - written));
  CloseHandle(event);
}

// A reader that has just read keys and values, present and missing, sees
// another process's changes of each at its next read, whichever kind of
// change it was.
TEST_F(RegistryProcessesTest, ReadsAfterAnotherProcessWroteSeeItsChanges) {
  VkRegistry key(HKEY_CURRENT_USER, kStressKey, false, KEY_ALL_ACCESS);
  ASSERT_TRUE(key.WriteDword("kept", 1));
  ASSERT_TRUE(key.WriteDword("doomed", 4));
  ASSERT_TRUE(VkRegistry(key.GetKey(), "gone", true, KEY_ALL_ACCESS).IsOpen());
  DWORD value = 0;
  for (int round = 0; round < 2; ++round) {
    EXPECT_TRUE(key.ReadDword("kept", &value));
    EXPECT_FALSE(key.ReadDword("missing", &value));
    EXPECT_TRUE(key.ReadDword("doomed", &value));
    EXPECT_TRUE(VkRegistry(key.GetKey(), "gone", false, KEY_READ).IsOpen());
    EXPECT_FALSE(VkRegistry(key.GetKey(), "made", false, KEY_READ).IsOpen());
  }
  ASSERT_EQ(0, Change("set"));
  EXPECT_TRUE(key.ReadDword("kept", &value));
  EXPECT_EQ(2u, value);
  EXPECT_TRUE(key.ReadDword("missing", &value));
  EXPECT_EQ(3u, value);
  ASSERT_EQ(0, Change("delete-value"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key.GetKey(), "doomed", nullptr, nullptr, nullptr, nullptr));
  ASSERT_EQ(0, Change("delete-key"));
  VkRegistry gone(key.GetKey(), "gone", false, KEY_READ);
  EXPECT_FALSE(gone.IsOpen());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, gone.GetLastErrorCode());
  ASSERT_EQ(0, Change("create-key"));
  EXPECT_TRUE(VkRegistry(key.GetKey(), "made", false, KEY_READ).IsOpen());
}

// A process's own write keeps what it read only while no other process has
// written since: a number read before another process changed it is not
// answered again after this process writes something else, whichever kind
// of write that is.
TEST_F(RegistryProcessesTest, OwnWritesKeepNothingAnotherProcessChanged) {
  struct OwnWrite {
    const char* what;
    std::function<bool(VkRegistry&)> write;
  };
  const std::vector<OwnWrite> ownWrites = {
      {"a value set", [](VkRegistry& key) { return key.WriteDword("other", 7); }},
      {"a value deleted", [](VkRegistry& key) { return key.DeleteValue("other"); }},
      {"a key created",
       [](VkRegistry& key) { return VkRegistry(key.GetKey(), "own", true, KEY_ALL_ACCESS).IsOpen(); }}};
  for (const OwnWrite& ownWrite : ownWrites) {
    SCOPED_TRACE(ownWrite.what);
    VkRegistry key(HKEY_CURRENT_USER, kStressKey, false, KEY_ALL_ACCESS);
    ASSERT_TRUE(key.WriteDword("kept", 1));
    ASSERT_TRUE(key.WriteDword("other", 1));
    key.DeleteSubKey("own", false);
    DWORD value = 0;
    EXPECT_TRUE(key.ReadDword("kept", &value));
    EXPECT_EQ(1u, value);
    ASSERT_EQ(0, vktest::ChildProcess("registry_set_kept", {}).Wait());
    ASSERT_TRUE(ownWrite.write(key));
    EXPECT_TRUE(key.ReadDword("kept", &value));
    EXPECT_EQ(2u, value);
  }
}

// A process that rewrites what it last read is not misled into writing
// nothing when another process changed the value since.
TEST_F(RegistryProcessesTest, RewriteOfAValueAnotherProcessChangedIsWritten) {
  VkRegistry key(HKEY_CURRENT_USER, kStressKey, false, KEY_ALL_ACCESS);
  ASSERT_TRUE(key.WriteDword("kept", 1));
  DWORD value = 0;
  EXPECT_TRUE(key.ReadDword("kept", &value));
  ASSERT_EQ(0, vktest::ChildProcess("registry_set_kept", {}).Wait());
  ASSERT_TRUE(key.WriteDword("kept", 1));
  EXPECT_TRUE(key.ReadDword("kept", &value));
  EXPECT_EQ(1u, value);
}

// A rewrite of the same type and data stays no change when this process
// must ask the store about it, because another process wrote meanwhile.
TEST_F(RegistryProcessesTest, RewriteAfterAnotherProcessWroteElsewhereChangesNothing) {
  VkRegistry key(HKEY_CURRENT_USER, kStressKey, false, KEY_ALL_ACCESS);
  ASSERT_TRUE(key.WriteDword("same", 5));
  ASSERT_EQ(0, vktest::ChildProcess("registry_set_kept", {}).Wait());
  VkRegistry watched(HKEY_CURRENT_USER, kStressKey, false, KEY_READ);
  HANDLE rewritten = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(watched.NotifyChange(false, REG_NOTIFY_CHANGE_LAST_SET, rewritten));
  EXPECT_TRUE(key.WriteDword("same", 5));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(rewritten, 300));
  CloseHandle(rewritten);
}

// The names of a key's sub-keys, walked by index without class or time.
std::vector<std::string> SubKeyNames(HKEY key) {
  std::vector<std::string> names;
  char name[256];
  DWORD length = sizeof name;
  for (DWORD index = 0; RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++index, length = sizeof name)
    names.push_back(name);
  return names;
}

// A walk of sub-key names, which the POSIX layer answers from its cache,
// sees the keys this process and another one made and deleted since the
// last walk.
TEST_F(RegistryProcessesTest, WalksOfSubKeyNamesSeeEveryNewAndDeletedKey) {
  VkRegistry key(HKEY_CURRENT_USER, kStressKey, false, KEY_ALL_ACCESS);
  ASSERT_TRUE(VkRegistry(key.GetKey(), "gone", true, KEY_ALL_ACCESS).IsOpen());
  ASSERT_TRUE(key.WriteDword("kept", 1));
  EXPECT_EQ(std::vector<std::string>{"gone"}, SubKeyNames(key.GetKey()));
  EXPECT_EQ(std::vector<std::string>{"gone"}, SubKeyNames(key.GetKey()));
  ASSERT_TRUE(VkRegistry(key.GetKey(), "own", true, KEY_ALL_ACCESS).IsOpen());
  EXPECT_EQ((std::vector<std::string>{"gone", "own"}), SubKeyNames(key.GetKey()));
  ASSERT_EQ(0, Change("delete-key"));
  ASSERT_EQ(0, Change("create-key"));
  EXPECT_EQ((std::vector<std::string>{"made", "own"}), SubKeyNames(key.GetKey()));
  ASSERT_TRUE(key.DeleteSubKey("own", false));
  EXPECT_EQ(std::vector<std::string>{"made"}, SubKeyNames(key.GetKey()));
}

// Starts the stand-in for a writer killed after its commit, and returns
// once it has moved the change counter, with the number "dying" at 1.
class DyingWriter {
 public:
  DyingWriter() : m_base(BasePath()), m_writer("registry_dies_after_commit", {m_base + ".moved", m_base + ".read"}) {
    vktest::AwaitFile(m_base + ".moved");
  }
  ~DyingWriter() {
    remove((m_base + ".moved").c_str());
    remove((m_base + ".read").c_str());
  }
  bool moved() const { return vktest::FileExists(m_base + ".moved"); }
  // Lets it commit and die; its exit code.
  int Finish() {
    vktest::WriteWholeFile(m_base + ".read", "read");
    return m_writer.Wait();
  }

 private:
  static std::string BasePath() {
    std::string name = "vkdiag-dying-" + std::to_string(vktest::GetCurrentProcessIdForTests());
    return (vktest::fs::temp_directory_path() / name).string();
  }
  const std::string m_base;
  vktest::ChildProcess m_writer;
};

// A writer that dies between its commit and its second move of the change
// counter leaves no process trusting what it read before that commit, and
// writing goes on afterwards.
TEST_F(RegistryProcessesTest, WriterKilledAfterItsCommitLeavesNoStaleAnswer) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "the change counter belongs to the POSIX store";
  VkRegistry key(HKEY_CURRENT_USER, kStressKey, false, KEY_ALL_ACCESS);
  ASSERT_TRUE(key.WriteDword("dying", 1));
  DWORD value = 0;
  EXPECT_TRUE(key.ReadDword("dying", &value));
  DyingWriter writer;
  ASSERT_TRUE(writer.moved());
  EXPECT_TRUE(key.ReadDword("dying", &value)) << "read while the write is under way";
  EXPECT_EQ(1u, value);
  EXPECT_EQ(kKilled, writer.Finish());
  EXPECT_TRUE(key.ReadDword("dying", &value));
  EXPECT_EQ(2u, value);
  EXPECT_TRUE(key.ReadDword("dying", &value));
  EXPECT_EQ(2u, value);
  ASSERT_TRUE(key.WriteDword("dying", 3));
  EXPECT_TRUE(VkRegistry(HKEY_CURRENT_USER, kStressKey, false, KEY_READ).ReadDword("dying", &value));
  EXPECT_EQ(3u, value);
}

// A watcher that began while such a writer was under way, so that the
// count it knows is the writer's odd one, still wakes for its commit.
TEST_F(RegistryProcessesTest, WriterKilledAfterItsCommitStillWakesAWatcher) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "the change counter belongs to the POSIX store";
  VkRegistry key(HKEY_CURRENT_USER, kStressKey, false, KEY_ALL_ACCESS);
  ASSERT_TRUE(key.WriteDword("dying", 1));
  DyingWriter writer;
  ASSERT_TRUE(writer.moved());
  HANDLE changed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(key.NotifyChange(false, REG_NOTIFY_CHANGE_LAST_SET, changed));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(changed, 0));
  EXPECT_EQ(kKilled, writer.Finish());
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(changed, 5000));
  CloseHandle(changed);
}

// Key and value names compare the same way in every process, whatever
// locale it runs in.
TEST(RegistryLocaleTest, ProcessesInDifferentLocalesFindTheSameNames) {
  std::string locale = ".1252";
  vktest::fs::path locales = vktest::fs::temp_directory_path() /
                             ("vkdiag-locales-" + std::to_string(vktest::GetCurrentProcessIdForTests()));
#if !defined(_WIN32)
  // A locale of its own, since a machine may have no Latin-1 locale installed.
  locale = "de_DE.ISO-8859-1";
  vktest::fs::create_directories(locales / locale);
  std::string build = "localedef -i de_DE -f ISO-8859-1 '" + (locales / locale).string() + "' >/dev/null 2>&1";
  if (system(build.c_str()) != 0) {
    vktest::fs::remove_all(locales);
    GTEST_SKIP() << "localedef cannot build a Latin-1 locale here";
  }
#endif
  SHDeleteKeyA(HKEY_CURRENT_USER, kLocaleKey);
  VkRegistry made(HKEY_CURRENT_USER, (std::string(kLocaleKey) + "\\" + kParentKey).c_str(), true, KEY_ALL_ACCESS);
  ASSERT_TRUE(made.WriteDword(kParentValue, 1));
  int result = vktest::ChildProcess("registry_in_locale", {locale, locales.string()}).Wait();
  vktest::fs::remove_all(locales);
  if (result == kNoSuchLocale) {
    SHDeleteKeyA(HKEY_CURRENT_USER, kLocaleKey);
    GTEST_SKIP() << "the child cannot switch to " << locale;
  }
  EXPECT_EQ(0, result) << "1: key not found, 2: value not found, 3: no key of its own, 4: ASCII case not folded";
  VkRegistry theirs(HKEY_CURRENT_USER, (std::string(kLocaleKey) + "\\" + kChildKey).c_str(), false, KEY_READ);
  DWORD value = 0;
  EXPECT_TRUE(theirs.ReadDword(kChildValue, &value));
  EXPECT_EQ(2u, value);
  EXPECT_EQ(2u, VkRegistry(HKEY_CURRENT_USER, kLocaleKey, false, KEY_READ).GetSubKeyCount()) << "no duplicates";
  SHDeleteKeyA(HKEY_CURRENT_USER, kLocaleKey);
}

// A process made by fork() while the parent's checkpointer thread copies
// the write-ahead log uses the registry at once: the thread holds nothing
// of SQLite's that the child would inherit held.
TEST(RegistryForkTest, ChildrenForkedWhileCheckpointsRunUseTheRegistry) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "fork() belongs to POSIX";
#if defined(__SANITIZE_ADDRESS__)
  // GCC 12's AddressSanitizer takes no allocator lock around fork(): a child
  // forked while another thread allocates inherits the lock held and hangs
  // in its first malloc, whatever the library does.
  GTEST_SKIP() << "this AddressSanitizer's allocator is not fork-safe; the native leg runs it";
#endif
#if !defined(_WIN32)
  const char forkKey[] = "Software\\vkdiag-tests\\fork";
  VkRegistry key(HKEY_CURRENT_USER, forkKey, true, KEY_ALL_ACCESS);
  ASSERT_TRUE(key.IsOpen());
  DWORD counted = 0;
  for (int round = 0; round < 30; ++round) {
    // About a thousand pages, one per write: the checkpointer starts.
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(key.WriteDword("counted", ++counted));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      VkRegistry mine(HKEY_CURRENT_USER, forkKey, false, KEY_ALL_ACCESS);
      DWORD value = 0;
      _exit(mine.ReadDword("counted", &value) && value == counted && mine.WriteDword("child", 1) ? 0 : 1);
    }
    int status = 0;
    pid_t done = 0;
    for (int wait = 0; wait < 2000 && done == 0; ++wait) {
      done = waitpid(child, &status, WNOHANG);
      if (done == 0) Sleep(10);
    }
    if (done == 0) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      FAIL() << "the child of round " << round << " hung";
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
  }
  SHDeleteKeyA(HKEY_CURRENT_USER, forkKey);
#endif
}

// Other processes trust what they read until a write moves the shared
// change counter, so a process that cannot move it must not write.
TEST(RegistryChangeCounterTest, WithoutTheCounterAProcessReadsButDoesNotWrite) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "the change counter belongs to the POSIX store";
  vktest::fs::path root = vktest::fs::temp_directory_path() / ("vkdiag-counter-" + std::to_string(vktest::GetCurrentProcessIdForTests()));
  vktest::fs::remove_all(root);
  vktest::fs::create_directories(root);
  EXPECT_EQ(0, vktest::ChildProcess("registry_in_root", {root.string(), "5"}).Wait());
  vktest::fs::remove(root / "registry.changes");
  vktest::fs::create_directory(root / "registry.changes");
  EXPECT_EQ(1, vktest::ChildProcess("registry_in_root", {root.string()}).Wait());
  vktest::fs::remove_all(root);
}

// Runs SQL on the registry database under root, as another version of the
// library or a restart would have left it.
void ChangeStore(const vktest::fs::path& root, const char* sql) {
#if !defined(_WIN32)
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open((root / "registry.db").c_str(), &db));
  sqlite3_busy_timeout(db, 10000);
  EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql, nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
  sqlite3_close(db);
#else
  (void)root;
  (void)sql;
#endif
}

// Volatile keys end with the boot they were made in: the first process
// after a restart finds them gone with their subtrees, and stable keys
// where they were. The restart is staged by giving the keys another boot.
TEST(RegistryVolatileTest, VolatileKeysEndWithTheBootTheyWereMadeIn) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "a restart cannot be staged for Windows' own registry";
  vktest::fs::path root = vktest::fs::temp_directory_path() / ("vkdiag-volatile-" + std::to_string(vktest::GetCurrentProcessIdForTests()));
  vktest::fs::remove_all(root);
  vktest::fs::create_directories(root);
  ASSERT_EQ(0, vktest::ChildProcess("registry_volatile_in_root", {root.string(), "make"}).Wait());
  EXPECT_EQ(0, vktest::ChildProcess("registry_volatile_in_root", {root.string(), "kept"}).Wait())
      << "a new process of the same boot keeps them";
  ChangeStore(root, "UPDATE volatile_keys SET boot='an earlier boot'");
  EXPECT_EQ(0, vktest::ChildProcess("registry_volatile_in_root", {root.string(), "after-restart"}).Wait());
  vktest::fs::remove_all(root);
}

// A store made before volatile keys were kept has no table for them: the
// first writer adds it, and every key stays.
TEST(RegistryVolatileTest, AStoreOfAnEarlierVersionKeepsItsKeys) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "checks the POSIX store's files; Windows keeps its own registry";
  vktest::fs::path root = vktest::fs::temp_directory_path() / ("vkdiag-upgrade-" + std::to_string(vktest::GetCurrentProcessIdForTests()));
  vktest::fs::remove_all(root);
  vktest::fs::create_directories(root);
  ASSERT_EQ(0, vktest::ChildProcess("registry_volatile_in_root", {root.string(), "make"}).Wait());
  ChangeStore(root, "DROP TABLE volatile_keys");
  EXPECT_EQ(0, vktest::ChildProcess("registry_volatile_in_root", {root.string(), "kept"}).Wait());
  vktest::fs::remove_all(root);
}

TEST_F(RegistryProcessesTest, KilledWriterLeavesEveryReturnedWrite) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "checks the POSIX store's files; Windows keeps its own registry";
  std::string done = (vktest::fs::temp_directory_path() /
                      ("vkdiag-burst-done-" + std::to_string(vktest::GetCurrentProcessIdForTests()) + ".txt"))
                         .string();
  remove(done.c_str());
  vktest::ChildProcess child("registry_burst", {done});
  // Killed in the middle of its burst, once it has returned some writes.
  auto returnedSoFar = [&] {
    std::string lines = vktest::ReadWholeFile(done);
    return std::count(lines.begin(), lines.end(), '\n');
  };
  for (int i = 0; i < 6000 && returnedSoFar() < 50; ++i) Sleep(10);
  child.Kill();
  child.Wait();
  std::vector<int> returned;
  {
    FILE* file = fopen(done.c_str(), "r");
    ASSERT_NE(nullptr, file);
    int i = 0;
    while (fscanf(file, "%d", &i) == 1) returned.push_back(i);
    fclose(file);
  }
  remove(done.c_str());
  ASSERT_FALSE(returned.empty());
  VkRegistry key(HKEY_CURRENT_USER, kStressKey, false, KEY_READ);
  for (int i : returned) {
    DWORD value = 0;
    ASSERT_TRUE(key.ReadDword(("burst-" + std::to_string(i)).c_str(), &value)) << i;
  }
  std::string check = std::string("sqlite3 '") + getenv("VK_SYSTEM_ROOT") + "/registry.db' 'PRAGMA integrity_check;'";
  FILE* pipe = popen(check.c_str(), "r");
  ASSERT_NE(nullptr, pipe);
  char verdict[64] = "";
  fgets(verdict, sizeof verdict, pipe);
  pclose(pipe);
  EXPECT_STREQ("ok\n", verdict);
}

}  // namespace
