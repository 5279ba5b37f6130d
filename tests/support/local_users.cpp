#include "support/local_users.h"

#if !defined(_WIN32)

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "machine_layout.h"
#include "support/test_support.h"

extern char** environ;

namespace vktest {

std::string LocalUsersTest::s_skip;
bool LocalUsersTest::s_ready = false;
std::string LocalUsersTest::s_base, LocalUsersTest::s_machine, LocalUsersTest::s_signals, LocalUsersTest::s_program,
    LocalUsersTest::s_group;
gid_t LocalUsersTest::s_gid = 0;
TestUser LocalUsersTest::s_member, LocalUsersTest::s_other;

bool RunCommand(const std::string& command) { return system((command + " >/dev/null 2>&1").c_str()) == 0; }

bool HaveTool(const char* name) {
  return RunCommand(std::string("command -v ") + name) || access((std::string("/usr/sbin/") + name).c_str(), X_OK) == 0;
}

void LocalUsersTest::SetUpTestSuite() {
  s_skip.clear();
  if (geteuid() != 0) {
    s_skip = "making users and a group needs root";
    return;
  }
  if (!HaveTool("useradd") || !HaveTool("groupadd")) {
    s_skip = "useradd or groupadd is missing";
    return;
  }
  char base[] = "/var/tmp/vkdiag-stores-XXXXXX";
  if (!mkdtemp(base)) return;
  s_base = base;
  chmod(s_base.c_str(), 0755);  // every test user passes through
  std::string prefix = "vkt" + std::to_string(getpid());
  s_group = prefix + "g";
  if (!RunCommand("groupadd " + s_group)) return;
  struct group* entry = getgrnam(s_group.c_str());
  if (!entry) return;
  s_gid = entry->gr_gid;
  s_machine = s_base + "/machine";
  mkdir(s_machine.c_str(), 0);
  chown(s_machine.c_str(), 0, s_gid);
  chmod(s_machine.c_str(), vk_posix::kMachineStoreDirectoryMode);  // as the operator's setup leaves it
  s_signals = s_base + "/signals";
  mkdir(s_signals.c_str(), 0);
  chmod(s_signals.c_str(), 01777);
  // A copy of this program that the test users may run, wherever the
  // build lies.
  s_program = s_base + "/vkdiag_tests";
  fs::copy_file("/proc/self/exe", s_program);
  chmod(s_program.c_str(), 0755);
  s_member = MakeUser(prefix + "a", true);
  s_other = MakeUser(prefix + "b", false);
  s_ready = s_member.uid != 0 && s_other.uid != 0;
}

void LocalUsersTest::TearDownTestSuite() {
  for (const TestUser* user : {&s_member, &s_other})
    if (!user->name.empty()) RunCommand("userdel " + user->name);
  if (!s_group.empty()) RunCommand("groupdel " + s_group);
  std::error_code ignored;
  if (!s_base.empty()) fs::remove_all(s_base, ignored);
  s_member = s_other = TestUser();
  s_group.clear();
  s_base.clear();
  s_ready = false;
}

void LocalUsersTest::SetUp() {
  if (!s_skip.empty()) GTEST_SKIP() << s_skip;
  ASSERT_TRUE(s_ready) << "could not make the test users and group";
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(s_machine, ignored)) fs::remove_all(entry.path(), ignored);
  fs::remove_all(s_member.stateHome + "/vkdiag", ignored);
  fs::remove_all(s_other.home + "/.local", ignored);
  SetUpMachineStore();
}

// As vkdiag setup does it: the files, then the registry's root keys and
// their first published copy, in a child, which uses that store from then
// on.
void LocalUsersTest::SetUpMachineStore() {
  int directory = open(s_machine.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(directory, 0);
  std::string problem;
  vk_posix::SetUpMachineStoreFiles(directory, s_machine, s_gid, s_group, &problem);
  close(directory);
  ASSERT_EQ("", problem);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    bool published = false;
    _exit(vk_posix::PublishMachineRegistryRoots(s_machine, s_group, &published) == 0 ? 0 : 1);
  }
  ASSERT_EQ(0, Wait(pid)) << "the registry's root keys were not published";
}

// A user whose home (0700, its own) lies in the suite's directory.
TestUser LocalUsersTest::MakeUser(const std::string& name, bool member) {
  TestUser user;
  user.home = s_base + "/home-" + name;
  std::string command = "useradd -M -N -s /bin/false -d " + user.home + (member ? " -G " + s_group : "") + " " + name;
  if (!RunCommand(command)) return user;
  user.name = name;
  struct passwd* entry = getpwnam(name.c_str());
  if (!entry) return user;
  user.uid = entry->pw_uid;
  user.gid = entry->pw_gid;
  mkdir(user.home.c_str(), 0700);
  chown(user.home.c_str(), user.uid, user.gid);
  if (member) {
    user.stateHome = user.home + "/state";
    mkdir(user.stateHome.c_str(), 0700);
    chown(user.stateHome.c_str(), user.uid, user.gid);
  }
  return user;
}

pid_t LocalUsersTest::StartAs(const TestUser& user, const std::string& child, const std::vector<std::string>& args,
                              const RunOptions& options) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry; ++entry) {
    std::string variable = *entry;
    std::string name = variable.substr(0, variable.find('='));
    if (name.compare(0, 3, "VK_") != 0 && name != "XDG_STATE_HOME" && name != "HOME") env.push_back(variable);
  }
  env.push_back("VK_MACHINE_STORE=" + (options.machineStore.empty() ? s_machine : options.machineStore));
  env.push_back("VK_MACHINE_STORE_GROUP=" + s_group);
  env.push_back("HOME=/nonexistent");  // the library must not need it
  if (!user.stateHome.empty()) env.push_back("XDG_STATE_HOME=" + user.stateHome);
  env.push_back(options.syslogSocket.empty() ? "VK_EVENTLOG_SYSLOG=0" : "VK_EVENTLOG_SYSLOG=1");
  if (!options.syslogSocket.empty()) env.push_back("VK_SYSLOG_SOCKET=" + options.syslogSocket);
  for (const std::string& variable : options.environment) {
    std::string name = variable.substr(0, variable.find('=') + 1);
    env.erase(std::remove_if(env.begin(), env.end(), [&](const std::string& kept) { return kept.rfind(name, 0) == 0; }),
              env.end());
    env.push_back(variable);
  }
  std::string program = options.program.empty() ? s_program : options.program;
  std::vector<std::string> argv = {program};
  if (options.program.empty()) argv.push_back("--vk-child=" + child);
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> argp, envp;
  for (std::string& arg : argv) argp.push_back(&arg[0]);
  for (std::string& variable : env) envp.push_back(&variable[0]);
  argp.push_back(nullptr);
  envp.push_back(nullptr);
  std::string output = OutputPath(user);
  std::vector<gid_t> groups = {user.gid};
  if (user.name == s_member.name) groups.push_back(s_gid);
  pid_t pid = fork();
  if (pid != 0) return pid;
  int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0 || chdir(s_base.c_str()) != 0 ||
      setgroups(groups.size(), groups.data()) != 0)
    _exit(126);
  // As a set-user-ID program runs: the real user stays, the effective one
  // changes.
  bool switched = options.effectiveOnly ? setresgid(0, user.gid, 0) == 0 && setresuid(0, user.uid, 0) == 0
                                        : setgid(user.gid) == 0 && setuid(user.uid) == 0;
  if (!switched) _exit(126);
  umask(options.umask);
  execve(program.c_str(), argp.data(), envp.data());
  _exit(127);
}

int LocalUsersTest::Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int LocalUsersTest::RunAs(const TestUser& user, const std::string& child, const std::vector<std::string>& args,
                          const RunOptions& options) {
  return Wait(StartAs(user, child, args, options));
}

std::string LocalUsersTest::OutputPath(const TestUser& user) { return s_base + "/output-" + user.name; }
std::string LocalUsersTest::Output(const TestUser& user) { return ReadWholeFile(OutputPath(user)); }
std::string LocalUsersTest::Signal(const std::string& name) { return s_signals + "/" + name; }

}  // namespace vktest

#endif  // !_WIN32
