// vkdiag setup as an administrator runs it, below a scratch root (--root)
// so the machine's own /var/lib and /run are never touched: the group, the
// machine store and the debug channel's directory get their owners and
// modes, a second run changes nothing, and links are never followed.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"
#include "support/tool_runner.h"

#if !defined(_WIN32)
#include <grp.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using vktest::RunTool;
using vktest::ToolResult;

#if !defined(_WIN32)
struct Status {
  uid_t uid = static_cast<uid_t>(-1);
  gid_t gid = static_cast<gid_t>(-1);
  mode_t mode = 0;
};

// A database holding one row of its own, as a registry an earlier version
// left holds its keys.
bool MakeDatabaseWithRow(const std::string& path, const std::string& row) {
  sqlite3* db = nullptr;
  bool made = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db, ("CREATE TABLE kept(text); INSERT INTO kept VALUES('" + row + "')").c_str(), nullptr,
                           nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return made;
}

std::string RowOf(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_stmt* query = nullptr;
  std::string row;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, "SELECT text FROM kept", -1, &query, nullptr) == SQLITE_OK &&
      sqlite3_step(query) == SQLITE_ROW)
    row = reinterpret_cast<const char*>(sqlite3_column_text(query, 0));
  sqlite3_finalize(query);
  sqlite3_close(db);
  return row;
}

Status StatusOf(const std::string& path) {
  struct stat info;
  Status status;
  if (lstat(path.c_str(), &info) == 0) status = {info.st_uid, info.st_gid, info.st_mode};
  return status;
}

bool GroupExists(const std::string& name, gid_t* gid = nullptr) {
  struct group* found = getgrnam(name.c_str());
  if (found && gid) *gid = found->gr_gid;
  return found != nullptr;
}

// A system group of the test's own, made before and removed after each test.
class SetupTest : public vktest::ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    if (geteuid() != 0) GTEST_SKIP() << "setup needs root (it sets owners and makes a group)";
    m_group = "vkdt" + std::to_string(vktest::GetCurrentProcessIdForTests());
    m_root = m_dir.string();
  }
  void TearDown() override {
    if (GroupExists(m_group)) vktest::RunProgram("groupdel", {m_group});
    ScratchDirTest::TearDown();
  }
  gid_t MakeGroup() {
    vktest::RunProgram("groupadd", {"--system", m_group});
    gid_t gid = 0;
    EXPECT_TRUE(GroupExists(m_group, &gid));
    return gid;
  }
  ToolResult RunSetup() { return RunTool({"setup", "--root", m_root, "--group", m_group}); }

  std::string m_group;
  std::string m_root;
};

class SetupRefusalTest : public ::testing::Test {};

#else

// Windows keeps the registry, event logs and debug output itself: setup
// makes nothing there.
class SetupTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_SKIP() << "Windows keeps the registry, event logs and debug output itself"; }
};
class SetupRefusalTest : public SetupTest {};

#endif

TEST_F(SetupTest, FirstRunMakesGroupAndDirectoriesAndASecondChangesNothing) {
#if !defined(_WIN32)
  ASSERT_FALSE(GroupExists(m_group));
  std::string rootsState = m_root + "/root-state";
  ToolResult first;
  {
    // Where root's own store would be made: setup makes none.
    vktest::ScopedEnv noSingleRoot("VK_SYSTEM_ROOT", nullptr);
    vktest::ScopedEnv stateHome("XDG_STATE_HOME", rootsState.c_str());
    first = RunSetup();
  }
  ASSERT_EQ(0, first.exitCode) << first.err;
  EXPECT_FALSE(vktest::FileExists(rootsState + "/vkdiag")) << "setup made a store for root's own user";
  gid_t gid = 0;
  ASSERT_TRUE(GroupExists(m_group, &gid)) << "made with groupadd";
  EXPECT_NE(first.out.find("created the system group " + m_group), std::string::npos) << first.out;
  EXPECT_NE(first.out.find("on this host: --root works below a directory, but groups are the host's"),
            std::string::npos)
      << "a group made for --root is the host's, and setup says so: " << first.out;
  // The store's directory is root's alone to change; the channel's lets
  // the group's listeners bind; every file the store needs is made, shut
  // to all but root and the group.
  struct Made {
    const char* path;
    mode_t mode;
    const char* shown;
  } made[] = {{"/var/lib/vkdiag", S_IFDIR | 0755, "0755"},
              {"/run/vkdiag", S_IFDIR | 02775, "2775"},
              {"/var/lib/vkdiag/published", S_IFDIR | 02775, "2775"},
              {"/var/lib/vkdiag/registry.db", S_IFREG | 0660, "0660"},
              {"/var/lib/vkdiag/registry.db-wal", S_IFREG | 0660, "0660"},
              {"/var/lib/vkdiag/registry.db-shm", S_IFREG | 0660, "0660"},
              {"/var/lib/vkdiag/registry.changes", S_IFREG | 0660, "0660"},
              {"/var/lib/vkdiag/eventlog.db", S_IFREG | 0660, "0660"},
              {"/var/lib/vkdiag/eventlog.db-wal", S_IFREG | 0660, "0660"},
              {"/var/lib/vkdiag/eventlog.db-shm", S_IFREG | 0660, "0660"}};
  for (const Made& expected : made) {
    Status status = StatusOf(m_root + expected.path);
    EXPECT_EQ(0u, status.uid) << expected.path;
    EXPECT_EQ(gid, status.gid) << expected.path;
    EXPECT_EQ(expected.mode, status.mode) << expected.path << " whatever the umask";
    EXPECT_NE(first.out.find("created " + m_root + expected.path + " (root:" + m_group + " " + expected.shown + ")"),
              std::string::npos)
        << first.out;
  }
  // Users outside the group read a copy of the registry from the start.
  Status copy = StatusOf(m_root + "/var/lib/vkdiag/published/registry.db");
  EXPECT_EQ(static_cast<mode_t>(S_IFREG | 0644), copy.mode);
  EXPECT_NE(first.out.find("published " + m_root + "/var/lib/vkdiag/published/registry.db"), std::string::npos)
      << first.out;

  ToolResult second = RunSetup();
  EXPECT_EQ(0, second.exitCode) << second.err;
  EXPECT_EQ("nothing changed: group " + m_group + ", " + m_root + "/var/lib/vkdiag and " + m_root +
                "/run/vkdiag are set up\n",
            second.out);
#endif
}

TEST_F(SetupTest, SetsDriftedOwnersAndModesAndTheStoreFilesForTheGroup) {
#if !defined(_WIN32)
  gid_t gid = MakeGroup();
  std::string store = m_root + "/var/lib/vkdiag";
  vktest::fs::create_directories(store);
  vktest::fs::create_directories(m_root + "/run/vkdiag");
  chmod(store.c_str(), 0700);
  chown(store.c_str(), 65534, 65534);
  chmod((m_root + "/run/vkdiag").c_str(), 0755);
  // A store as an earlier version left it: the group could write the
  // directory and the files belonged to whoever made them.
  ASSERT_TRUE(MakeDatabaseWithRow(store + "/registry.db", "data"));
  chmod((store + "/registry.db").c_str(), 0664);
  chown((store + "/registry.db").c_str(), 65534, 65534);
  // A planted link: its target is neither changed nor given to the group,
  // and setup stops until it is gone.
  std::string outside = PathOf("outside.txt");
  vktest::WriteWholeFile(outside, "secret");
  chmod(outside.c_str(), 0600);
  ASSERT_EQ(0, symlink(outside.c_str(), (store + "/eventlog.db").c_str()));
  ToolResult refused = RunSetup();
  EXPECT_EQ(1, refused.exitCode);
  EXPECT_NE(refused.err.find(store + "/eventlog.db is not a regular file"), std::string::npos) << refused.err;
  Status target = StatusOf(outside);
  EXPECT_EQ(0u, target.gid);
  EXPECT_EQ(static_cast<mode_t>(S_IFREG | 0600), target.mode) << "the link was not followed";
  EXPECT_EQ("secret", vktest::ReadWholeFile(outside));
  ASSERT_EQ(0, unlink((store + "/eventlog.db").c_str()));

  ToolResult result = RunSetup();
  ASSERT_EQ(0, result.exitCode) << result.err;
  Status directory = StatusOf(store);
  EXPECT_EQ(0u, directory.uid);
  EXPECT_EQ(gid, directory.gid);
  EXPECT_EQ(static_cast<mode_t>(S_IFDIR | 0755), directory.mode);
  EXPECT_EQ(static_cast<mode_t>(S_IFDIR | 02775), StatusOf(m_root + "/run/vkdiag").mode);
  Status file = StatusOf(store + "/registry.db");
  EXPECT_EQ(0u, file.uid);
  EXPECT_EQ(gid, file.gid);
  EXPECT_EQ(static_cast<mode_t>(S_IFREG | 0660), file.mode);
  EXPECT_EQ("data", RowOf(store + "/registry.db")) << "what the store held is kept";
  EXPECT_NE(refused.out.find("set " + store + ": owner root:" + m_group + " (was 65534:65534), mode 0755 (was 0700)"),
            std::string::npos)
      << refused.out;
  EXPECT_NE(refused.out.find("set " + store + "/registry.db: owner root:" + m_group +
                             " (was 65534:65534), mode 0660 (was 0664)"),
            std::string::npos)
      << refused.out;

  ToolResult again = RunSetup();
  EXPECT_NE(again.out.find("nothing changed"), std::string::npos) << again.out;

  // A registry that is no database stays as it is, and setup says so.
  vktest::WriteWholeFile(store + "/registry.db", "damaged");
  vktest::WriteWholeFile(store + "/registry.db-wal", "");
  ToolResult damaged = RunSetup();
  EXPECT_EQ(0, damaged.exitCode) << "everything else is set up";
  EXPECT_NE(damaged.err.find("warning: cannot publish the registry's root keys in " + store), std::string::npos)
      << damaged.err;
  EXPECT_EQ(std::string::npos, damaged.out.find("nothing changed")) << damaged.out;
  EXPECT_TRUE(vktest::ReadWholeFile(store + "/registry.db") == "damaged") << "the damaged file was changed";
#endif
}

TEST_F(SetupTest, AFileHardLinkedIntoTheStoreIsNotGivenToTheGroup) {
#if !defined(_WIN32)
  gid_t gid = MakeGroup();
  std::string store = m_root + "/var/lib/vkdiag";
  vktest::fs::create_directories(store);
  std::string outside = PathOf("outside.txt");
  vktest::WriteWholeFile(outside, "secret");
  chmod(outside.c_str(), 0600);
  ASSERT_EQ(0, link(outside.c_str(), (store + "/registry.db").c_str()));
  ToolResult result = RunSetup();
  ASSERT_EQ(0, result.exitCode) << result.err;
  Status target = StatusOf(outside);
  EXPECT_EQ(0u, target.uid);
  EXPECT_NE(gid, target.gid);
  EXPECT_EQ(static_cast<mode_t>(S_IFREG | 0600), target.mode);
  EXPECT_EQ("secret", vktest::ReadWholeFile(outside)) << "neither its content nor its rights reach the store";
  EXPECT_NE(result.out.find("moved " + store + "/registry.db aside"), std::string::npos) << result.out;
  struct stat fresh;
  ASSERT_EQ(0, lstat((store + "/registry.db").c_str(), &fresh));
  EXPECT_EQ(1u, fresh.st_nlink);
  EXPECT_EQ(gid, fresh.st_gid);
  EXPECT_NE(std::string::npos, vktest::ReadWholeFile(store + "/registry.db").find("SQLite format 3"))
      << "the store starts the file anew";
#endif
}

TEST_F(SetupTest, ALinkWhereTheStoreBelongsIsRefusedNotFollowed) {
#if !defined(_WIN32)
  MakeGroup();
  std::string elsewhere = PathOf("elsewhere");
  vktest::fs::create_directories(elsewhere);
  chmod(elsewhere.c_str(), 0700);
  vktest::fs::create_directories(m_root + "/var/lib");
  ASSERT_EQ(0, symlink(elsewhere.c_str(), (m_root + "/var/lib/vkdiag").c_str()));
  ToolResult result = RunSetup();
  EXPECT_EQ(1, result.exitCode);
  EXPECT_NE(result.err.find("symbolic link"), std::string::npos) << result.err;
  EXPECT_EQ(static_cast<mode_t>(S_IFDIR | 0700), StatusOf(elsewhere).mode);
  EXPECT_EQ(0u, StatusOf(elsewhere).gid);
#endif
}

TEST_F(SetupRefusalTest, AnotherUserIsToldItNeedsRootAndNothingIsMade) {
#if !defined(_WIN32)
  std::string root = vktest::fs::temp_directory_path().string() + "/vkdiag-setup-" +
                     std::to_string(vktest::GetCurrentProcessIdForTests());
  vktest::fs::create_directories(root);
  chmod(root.c_str(), 0777);
  ToolResult result;
  if (geteuid() == 0) {
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs setpriv to run as another user";
    result = vktest::RunProgram("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "--",
                                            vktest::ToolPath(), "setup", "--root", root});
  } else {
    result = RunTool({"setup", "--root", root});
  }
  EXPECT_EQ(1, result.exitCode);
  EXPECT_NE(result.err.find("setup must be run as root"), std::string::npos) << result.err;
  EXPECT_TRUE(vktest::fs::is_empty(root));
  vktest::fs::remove_all(root);
  EXPECT_EQ(2, RunTool({"setup", "--group", "Bad Name"}).exitCode) << "a usage error, whoever runs it";
#endif
}

}  // namespace
