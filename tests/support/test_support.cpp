#include "support/test_support.h"

#include <vk/platform.h>

#include <fstream>
#include <map>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace vktest {

namespace {

std::map<std::string, ChildMain>& Children() {
  static std::map<std::string, ChildMain> children;
  return children;
}

const char kChildFlag[] = "--vk-child=";

std::string SelfPath() {
  char path[1024] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  return path;
}

}  // namespace

void ScratchDirTest::SetUp() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name)
    if (c == '/') c = '_';
  m_dir = fs::temp_directory_path() / ("vkdiag-test-" + std::to_string(GetCurrentProcessIdForTests()) + "-" + name);
  fs::remove_all(m_dir);
  fs::create_directories(m_dir);
}

void ScratchDirTest::TearDown() {
  std::error_code ignored;
  fs::remove_all(m_dir, ignored);
}

bool AwaitFile(const std::string& path) {
  for (int i = 0; i < 6000; ++i) {
    if (FileExists(path)) return true;
    Sleep(10);
  }
  return false;
}

std::string ScratchDirTest::PathOf(const std::string& name) const { return (m_dir / name).string(); }

SmallDisk::SmallDisk(const std::string& path, size_t bytes) : m_path(path) {
  fs::create_directories(path);
#if defined(_WIN32)
  (void)bytes;
  m_reason = "no small file system can be mounted here";
#else
  std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (geteuid() != 0) m_reason = "mounting a small tmpfs needs root";
  else if (mount("vkdiag-full", path.c_str(), "tmpfs", 0, options.c_str()) != 0)
    m_reason = "this machine refuses to mount a tmpfs here";
  else
    m_mounted = true;
#endif
}

SmallDisk::~SmallDisk() { Unmount(); }

void SmallDisk::Fill() {
#if !defined(_WIN32)
  int fd = open((m_path + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // Whole pages first, then single bytes for what a page no longer holds.
  const std::string block(4096, 'f');
  while (write(fd, block.data(), block.size()) > 0) {
  }
  while (write(fd, "f", 1) > 0) {
  }
  close(fd);
#endif
}

void SmallDisk::Free() {
  std::error_code ignored;
  fs::remove(fs::path(m_path) / "filler", ignored);
}

void SmallDisk::Unmount() {
#if !defined(_WIN32)
  if (m_mounted) umount2(m_path.c_str(), MNT_DETACH);
#endif
  m_mounted = false;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(path, ignored);
}

bool IsWindowsTarget() {
#if defined(_WIN32)
  return true;
#else
  return false;
#endif
}

bool RunningUnderWine() {
#if defined(_WIN32)
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

bool RegisterChild(const std::string& name, ChildMain main) {
  Children()[name] = std::move(main);
  return true;
}

int RunChildIfRequested(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]).rfind(kChildFlag, 0) != 0) return -1;
  std::string name = std::string(argv[1]).substr(sizeof kChildFlag - 1);
  auto it = Children().find(name);
  if (it == Children().end()) return 127;
  return it->second(std::vector<std::string>(argv + 2, argv + argc));
}

#if defined(_WIN32)

ChildProcess::ChildProcess(const std::string& name, const std::vector<std::string>& args) {
  std::string command = "\"" + SelfPath() + "\" " + kChildFlag + name;
  for (const std::string& arg : args) command += " \"" + arg + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    CloseHandle(info.hThread);
    m_process = info.hProcess;
    m_started = true;
  }
}

ChildProcess::~ChildProcess() {
  if (m_started && !m_waited) Wait();
  if (m_process) CloseHandle(m_process);
}

int ChildProcess::Wait() {
  if (!m_started || m_waited) return m_exitCode;
  WaitForSingleObject(m_process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(m_process, &code);
  m_exitCode = static_cast<int>(code);
  m_waited = true;
  return m_exitCode;
}

void ChildProcess::Kill() {
  if (m_started && !m_waited) TerminateProcess(m_process, 137);
}

unsigned long ChildProcess::pid() const { return m_process ? GetProcessId(m_process) : 0; }

int GetCurrentProcessIdForTests() { return static_cast<int>(GetCurrentProcessId()); }

std::string LocalMachineName() {
  char name[256] = "";
  DWORD length = sizeof name;
  GetComputerNameA(name, &length);
  return name;
}

#else

ChildProcess::ChildProcess(const std::string& name, const std::vector<std::string>& args) {
  std::string self = SelfPath();
  std::string flag = kChildFlag + name;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(self.c_str()));
  argv.push_back(const_cast<char*>(flag.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  m_started = posix_spawn(&m_pid, self.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
}

ChildProcess::~ChildProcess() {
  if (m_started && !m_waited) Wait();
}

int ChildProcess::Wait() {
  if (!m_started || m_waited) return m_exitCode;
  int status = 0;
  while (waitpid(m_pid, &status, 0) < 0) {
  }
  m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  m_waited = true;
  return m_exitCode;
}

void ChildProcess::Kill() {
  if (m_started && !m_waited) kill(m_pid, SIGKILL);
}

unsigned long ChildProcess::pid() const { return static_cast<unsigned long>(m_pid); }

int GetCurrentProcessIdForTests() { return static_cast<int>(getpid()); }

std::string LocalMachineName() {
  char name[256] = "";
  gethostname(name, sizeof name - 1);
  return name;
}

#endif

}  // namespace vktest
