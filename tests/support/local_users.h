// Real local users and a real group for tests of what one user's access
// means to another's: a group, a member of it and another user, each with
// a home of its own, made for a test suite and removed afterwards. Making
// them needs root and useradd/groupadd; elsewhere the suite is skipped with
// the reason. On Windows the suite is skipped: the stores whose users these
// tests tell apart belong to the POSIX layer.
#ifndef VK_TESTS_SUPPORT_LOCAL_USERS_H
#define VK_TESTS_SUPPORT_LOCAL_USERS_H

#include <gtest/gtest.h>

#if defined(_WIN32)

namespace vktest {

class LocalUsersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_SKIP() << "the machine and user stores are the POSIX layer's; Windows keeps its own registry";
  }
};

}  // namespace vktest

#else

#include <sys/types.h>

#include <string>
#include <vector>

namespace vktest {

struct TestUser {
  std::string name;
  uid_t uid = 0;
  gid_t gid = 0;
  std::string home;
  std::string stateHome;  // empty: the library finds the home itself
};

// How a child runs as a test user.
struct RunOptions {
  mode_t umask = 022;
  std::string machineStore;    // empty: the suite's own
  std::string syslogSocket;    // empty: no system log
  std::string program;         // empty: a child function of this program
  bool effectiveOnly = false;  // the user's identity as the effective one, root the real one
  std::vector<std::string> environment;  // NAME=value lines added last, winning over the suite's
};

// Runs a shell command quietly; whether it succeeded.
bool RunCommand(const std::string& command);
// Whether a system tool is on PATH or in /usr/sbin.
bool HaveTool(const char* name);

// A fixture whose suite makes the group (s_group), its member (s_member,
// whose state goes to $XDG_STATE_HOME) and another user (s_other, whose
// state goes below its home), a machine store directory root:group 2775
// (s_machine, set up as `vkdiag setup` sets it up), a directory for signal
// files every user may write
// (s_signals) and a copy of this program every user may run. Each test
// starts from stores nobody has made yet.
class LocalUsersTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;

  // Starts a child function of this program (or options.program) as the
  // user, with the user's groups, the suite's machine store and the umask
  // asked for. Its output goes to a file that Output reads.
  static pid_t StartAs(const TestUser& user, const std::string& child, const std::vector<std::string>& args,
                       const RunOptions& options = RunOptions());
  // The exit status of a started child; 128 + the signal when one ended it.
  static int Wait(pid_t pid);
  static int RunAs(const TestUser& user, const std::string& child, const std::vector<std::string>& args,
                   const RunOptions& options = RunOptions());
  static std::string Output(const TestUser& user);
  // Makes the machine store's files as `vkdiag setup` makes them; each test
  // starts with a store set up and empty.
  static void SetUpMachineStore();
  // A signal file's path, which every test user may make.
  static std::string Signal(const std::string& name);

  static std::string s_skip;
  static bool s_ready;
  static std::string s_base, s_machine, s_signals, s_program, s_group;
  static gid_t s_gid;
  static TestUser s_member, s_other;

 private:
  static TestUser MakeUser(const std::string& name, bool member);
  static std::string OutputPath(const TestUser& user);
};

}  // namespace vktest

#endif  // !_WIN32

#endif  // VK_TESTS_SUPPORT_LOCAL_USERS_H
