// Helpers shared by the tests: scratch directories, whole-file reads and
// child processes that run a named function of this test executable.
#ifndef VK_TESTS_SUPPORT_TEST_SUPPORT_H
#define VK_TESTS_SUPPORT_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <vk/platform.h>

#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// The tests call Win32 as a Windows program does, on every target.
using namespace Vk::Win32;

namespace vktest {

namespace fs = std::filesystem;

// A fresh directory per test, removed afterwards.
class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Path of a file in the scratch directory, in the platform's own form.
  std::string PathOf(const std::string& name) const;

  fs::path m_dir;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);
// Waits for a file that another process or thread makes as its signal;
// false after a minute, so that a broken partner fails the test instead of
// hanging it.
bool AwaitFile(const std::string& path);

// Runs under Wine rather than on real Windows or Linux.
bool RunningUnderWine();
int GetCurrentProcessIdForTests();
// This machine's own name, as the registry's connect call knows it.
std::string LocalMachineName();
bool IsWindowsTarget();

// A child process runs one registered function of this executable and
// exits with its result.
using ChildMain = std::function<int(const std::vector<std::string>& args)>;
bool RegisterChild(const std::string& name, ChildMain main);
// Dispatches argv to a registered child; returns -1 when argv names none.
int RunChildIfRequested(int argc, char** argv);

// A small tmpfs mounted on a fresh directory, for tests of full disks; it is
// unmounted when the object ends. Mounting needs root and a machine that
// allows it: where it cannot be made, mounted() is false and reason() says
// why, for the test's skip.
class SmallDisk {
 public:
  SmallDisk(const std::string& path, size_t bytes);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return m_mounted; }
  const std::string& reason() const { return m_reason; }
  const std::string& path() const { return m_path; }
  // Takes every block that is left into the file "filler"; Free removes it.
  void Fill();
  void Free();
  void Unmount();

 private:
  std::string m_path;
  std::string m_reason;
  bool m_mounted = false;
};

// A child's exit status holds only the low byte of the code it returned:
// what Wait reports for a child that returned this code.
inline int ExitStatusOf(unsigned long code) { return static_cast<int>(code & 0xFF); }

class ChildProcess {
 public:
  ChildProcess(const std::string& name, const std::vector<std::string>& args);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return m_started; }
  unsigned long pid() const;
  int Wait();   // exit code
  void Kill();  // hard kill, no cleanup in the child

 private:
  bool m_started = false;
  bool m_waited = false;
  int m_exitCode = -1;
#if defined(_WIN32)
  void* m_process = nullptr;
#else
  int m_pid = -1;
#endif
};

#if !defined(_WIN32)
// Sets (or with nullptr unsets) a variable for the children started in
// this scope, and puts back what was there at its end.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    const char* old = getenv(name);
    m_had = old != nullptr;
    if (old) m_old = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (m_had)
      setenv(m_name.c_str(), m_old.c_str(), 1);
    else
      unsetenv(m_name.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::string m_old;
  bool m_had = false;
};
#endif

}  // namespace vktest

#define VK_CHILD_MAIN(name)                                                               \
  static int name##_child(const std::vector<std::string>& args);                          \
  static const bool name##_registered = ::vktest::RegisterChild(#name, name##_child);     \
  static int name##_child([[maybe_unused]] const std::vector<std::string>& args)

#endif  // VK_TESTS_SUPPORT_TEST_SUPPORT_H
