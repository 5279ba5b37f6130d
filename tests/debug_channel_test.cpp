// Where the debug texts of a program go on Linux and who may send them
// there: the user's own channel in the runtime directory, made private by
// the listener, and a shared channel that only its group may write.
#include <gtest/gtest.h>

#include <vk/platform.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/test_support.h"
#include "support/tool_runner.h"

#if !defined(_WIN32)
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace {

#if !defined(_WIN32)
// Sends one text through the platform's channel, as a traced program does.
VK_CHILD_MAIN(send_debug_text) {
  OutputDebugStringA(args.at(0).c_str());
  return 0;
}

// Sends one raw datagram to a socket path: 0 when the kernel took it,
// else the errno value.
VK_CHILD_MAIN(send_raw_datagram) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (args.at(0).size() >= sizeof address.sun_path) return ENAMETOOLONG;
  memcpy(address.sun_path, args[0].c_str(), args[0].size() + 1);
  std::string datagram = std::string(4, '\0') + args.at(1);
  int sender = socket(AF_UNIX, SOCK_DGRAM, 0);
  if (sender < 0) return errno;
  int result = sendto(sender, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&address),
                      sizeof address) < 0
                   ? errno
                   : 0;
  close(sender);
  return result;
}

using vktest::ScopedEnv;

bool WaitUntilListening(vktest::ToolProcess& listener) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (listener.ErrorSoFar().find("listening") == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline || listener.ErrorSoFar().find("vkdiag:") != std::string::npos)
      return listener.ErrorSoFar().find("listening") != std::string::npos;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A scratch directory with a short name: a socket path has room for 107
// characters only.
class ShortScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vkch-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    m_dir = pattern;
    chmod(m_dir.c_str(), 0755);
  }
  void TearDown() override {
    std::error_code ignored;
    vktest::fs::remove_all(m_dir, ignored);
  }
  std::string PathOf(const std::string& name) const { return m_dir + "/" + name; }

  std::string m_dir;
};

mode_t ModeOf(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

// The same environment as a user's session without VK_SYSTEM_ROOT: the
// runtime directory is a private one of the test's.
class UserChannelTest : public ShortScratchTest {
 protected:
  void SetUp() override {
    ShortScratchTest::SetUp();
    m_runtime = PathOf("runtime");
    mkdir(m_runtime.c_str(), 0700);
    m_noRoot.reset(new ScopedEnv("VK_SYSTEM_ROOT", nullptr));
    m_xdg.reset(new ScopedEnv("XDG_RUNTIME_DIR", m_runtime.c_str()));
  }
  void TearDown() override {
    m_xdg.reset();
    m_noRoot.reset();
    ShortScratchTest::TearDown();
  }

  std::string m_runtime;
  std::unique_ptr<ScopedEnv> m_noRoot;
  std::unique_ptr<ScopedEnv> m_xdg;
};

// A shared channel directory is set-group-ID, as /run/vkdiag is: the
// listener's socket takes its group, and only that group's programs may
// send besides the owner.
class SharedChannelTest : public ShortScratchTest {
 protected:
  static constexpr gid_t kChannelGroup = 54321;  // any group no one else is in
  static constexpr uid_t kSender = 65534;

  void SetUp() override {
    ShortScratchTest::SetUp();
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run senders as other users";
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs setpriv to run senders as other users";
    m_root = PathOf("shared");
    mkdir(m_root.c_str(), 0700);
    ASSERT_EQ(0, chown(m_root.c_str(), 0, kChannelGroup));
    ASSERT_EQ(0, chmod(m_root.c_str(), 02775));
    m_env.reset(new ScopedEnv("VK_SYSTEM_ROOT", m_root.c_str()));
  }
  void TearDown() override {
    m_env.reset();
    ShortScratchTest::TearDown();
  }
  // Runs a child of this executable as the sender, in the given group only.
  int RunAsSender(gid_t group, const std::string& child, const std::vector<std::string>& args) {
    std::vector<std::string> command = {"--reuid=" + std::to_string(kSender), "--regid=" + std::to_string(group),
                                        "--clear-groups", "--", SelfPath(), "--vk-child=" + child};
    command.insert(command.end(), args.begin(), args.end());
    vktest::ToolProcess process("setpriv", command);
    if (!process.started()) return -1;
    return process.Wait().exitCode;
  }
  static std::string SelfPath() {
    char path[1024] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
  }

  std::string m_root;
  std::unique_ptr<ScopedEnv> m_env;
};

#else

class UserChannelTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_SKIP() << "Windows has one debug-output channel per session, kept by the system"; }
};
class SharedChannelTest : public UserChannelTest {};

#endif

TEST_F(UserChannelTest, ListenerMakesAPrivateChannelThatTheUsersProgramsReach) {
#if !defined(_WIN32)
  vktest::ToolProcess listener({"trace", "listen", "--user", "--count", "1", "--timeout", "20"});
  ASSERT_TRUE(listener.started());
  ASSERT_TRUE(WaitUntilListening(listener)) << listener.ErrorSoFar();
  std::string directory = m_runtime + "/vkdiag";
  EXPECT_EQ(static_cast<mode_t>(S_IFDIR | 0700), ModeOf(directory)) << "made when missing, private whatever the umask";
  EXPECT_EQ(static_cast<mode_t>(S_IFSOCK | 0600), ModeOf(directory + "/debug-output.sock"));

  vktest::ChildProcess sender("send_debug_text", {"to my own viewer\r\n"});
  ASSERT_TRUE(sender.started());
  unsigned long pid = sender.pid();
  EXPECT_EQ(0, sender.Wait());
  vktest::ToolResult result = listener.Wait();
  EXPECT_EQ(0, result.exitCode) << result.err;
  EXPECT_NE(result.out.find("[" + std::to_string(pid) + "] to my own viewer\n"), std::string::npos) << result.out;
#endif
}

TEST_F(UserChannelTest, ListenerRefusesAChannelDirectoryThatIsALink) {
#if !defined(_WIN32)
  std::string elsewhere = PathOf("elsewhere");
  mkdir(elsewhere.c_str(), 0755);
  ASSERT_EQ(0, symlink(elsewhere.c_str(), (m_runtime + "/vkdiag").c_str()));
  vktest::ToolResult result = vktest::RunTool({"trace", "listen", "--user", "--timeout", "1"});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_NE(result.err.find("refused"), std::string::npos) << result.err;
  EXPECT_FALSE(vktest::FileExists(elsewhere + "/debug-output.sock")) << "nothing bound through the link";
  EXPECT_EQ(static_cast<mode_t>(S_IFDIR | 0755), ModeOf(elsewhere)) << "the link's target keeps its mode";
#endif
}

TEST_F(UserChannelTest, ARuntimeDirectoryOthersMayWriteIsNotTheUsersOwn) {
#if !defined(_WIN32)
  chmod(m_runtime.c_str(), 0777);
  vktest::ToolResult result = vktest::RunTool({"trace", "listen", "--user", "--timeout", "1"});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_NE(result.err.find("no runtime directory"), std::string::npos) << result.err;
  EXPECT_FALSE(vktest::FileExists(m_runtime + "/vkdiag"));
#endif
}

TEST_F(UserChannelTest, ListenerRefusesAChannelDirectoryOfAnotherUser) {
#if !defined(_WIN32)
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give the directory to another user";
  std::string directory = m_runtime + "/vkdiag";
  mkdir(directory.c_str(), 0700);
  ASSERT_EQ(0, chown(directory.c_str(), 65534, 65534));
  vktest::ToolResult result = vktest::RunTool({"trace", "listen", "--user", "--timeout", "1"});
  EXPECT_EQ(1, result.exitCode);
  EXPECT_NE(result.err.find("another user"), std::string::npos) << result.err;
#endif
}

TEST_F(SharedChannelTest, TheGroupMaySendAndOthersAreRefusedByTheKernel) {
#if !defined(_WIN32)
  vktest::ToolProcess listener({"trace", "listen", "--count", "1", "--timeout", "20"});
  ASSERT_TRUE(listener.started());
  ASSERT_TRUE(WaitUntilListening(listener)) << listener.ErrorSoFar();
  std::string socketPath = m_root + "/debug-output.sock";
  struct stat info;
  ASSERT_EQ(0, lstat(socketPath.c_str(), &info));
  EXPECT_EQ(kChannelGroup, info.st_gid) << "the socket takes the directory's group";
  EXPECT_EQ(0660u, info.st_mode & 07777u);

  EXPECT_EQ(EACCES, RunAsSender(kChannelGroup + 1, "send_raw_datagram", {socketPath, "from a stranger\r\n"}))
      << "a user outside the group cannot write the socket";
  EXPECT_EQ(0, RunAsSender(kChannelGroup, "send_debug_text", {"from the group\r\n"}));
  vktest::ToolResult result = listener.Wait();
  EXPECT_EQ(0, result.exitCode) << result.err;
  // The kernel names the sender, another user than the listener's.
  struct passwd* sender = getpwuid(kSender);
  std::string name = sender ? sender->pw_name : std::to_string(kSender);
  EXPECT_NE(result.out.find(" " + name + "] from the group\n"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("stranger"), std::string::npos) << result.out;
#endif
}

}  // namespace
