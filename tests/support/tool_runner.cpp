#include "support/tool_runner.h"

#include <vk/platform.h>

#include <stdio.h>

#include <atomic>
#include <filesystem>

#include "support/test_support.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace vktest {

namespace {

std::string WithoutCarriageReturns(std::string text) {
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) plain += text[i];
  return plain;
}

std::string OutputFile(const char* stream) {
  static std::atomic<int> counter{0};
  return (std::filesystem::temp_directory_path() /
          ("vkdiag-tool-" + std::to_string(GetCurrentProcessIdForTests()) + "-" + std::to_string(++counter) + "." +
           stream))
      .string();
}

}  // namespace

std::string ToolPath() {
  char self[1024] = "";
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string path = std::filesystem::path(self).parent_path().string() + "/" VK_TOOL_FROM_TESTS;
#if defined(_WIN32)
  for (char& c : path)
    if (c == '/') c = '\\';
#endif
  return path;
}

#if defined(_WIN32)

struct ToolProcess::State {
  std::string outPath = OutputFile("out");
  std::string errPath = OutputFile("err");
  PROCESS_INFORMATION info = {};
  bool started = false;
};

namespace {

// The quoting CommandLineToArgvW and the C runtime undo.
std::string Quote(const std::string& arg) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

HANDLE InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ToolProcess::ToolProcess(const std::vector<std::string>& args) : ToolProcess(ToolPath(), args) {}

ToolProcess::ToolProcess(const std::string& program, const std::vector<std::string>& args) : m_state(new State) {
  std::string command = Quote(program);
  for (const std::string& arg : args) command += " " + Quote(arg);
  HANDLE out = InheritableFile(m_state->outPath, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err = InheritableFile(m_state->errPath, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE in = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  m_state->started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                    &m_state->info) != FALSE;
  for (HANDLE handle : {out, err, in})
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

ToolProcess::~ToolProcess() {
  if (m_state->started) {
    Wait();
    CloseHandle(m_state->info.hThread);
    CloseHandle(m_state->info.hProcess);
    m_state->started = false;
  }
  DeleteFileA(m_state->outPath.c_str());
  DeleteFileA(m_state->errPath.c_str());
}

ToolResult ToolProcess::Wait() {
  ToolResult result;
  if (!m_state->started) return result;
  WaitForSingleObject(m_state->info.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(m_state->info.hProcess, &code);
  result.exitCode = static_cast<int>(code);
  result.out = WithoutCarriageReturns(ReadWholeFile(m_state->outPath));
  result.err = WithoutCarriageReturns(ReadWholeFile(m_state->errPath));
  return result;
}

#else

struct ToolProcess::State {
  std::string outPath = OutputFile("out");
  std::string errPath = OutputFile("err");
  pid_t pid = -1;
  bool started = false;
  bool waited = false;
  int exitCode = -1;
};

ToolProcess::ToolProcess(const std::vector<std::string>& args) : ToolProcess(ToolPath(), args) {}

ToolProcess::ToolProcess(const std::string& program, const std::vector<std::string>& args) : m_state(new State) {
  const std::string& tool = program;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(tool.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, m_state->outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, m_state->errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  m_state->started = posix_spawnp(&m_state->pid, tool.c_str(), &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
}

ToolProcess::~ToolProcess() {
  Wait();
  unlink(m_state->outPath.c_str());
  unlink(m_state->errPath.c_str());
}

ToolResult ToolProcess::Wait() {
  ToolResult result;
  if (!m_state->started) return result;
  if (!m_state->waited) {
    int status = 0;
    while (waitpid(m_state->pid, &status, 0) < 0) {
    }
    m_state->exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    m_state->waited = true;
  }
  result.exitCode = m_state->exitCode;
  result.out = ReadWholeFile(m_state->outPath);
  result.err = ReadWholeFile(m_state->errPath);
  return result;
}

#endif

bool ToolProcess::started() const { return m_state->started; }

std::string ToolProcess::OutputPath() const { return m_state->outPath; }

std::string ToolProcess::ErrorSoFar() const { return WithoutCarriageReturns(ReadWholeFile(m_state->errPath)); }

ToolResult RunTool(const std::vector<std::string>& args) {
  ToolProcess tool(args);
  return tool.Wait();
}

ToolResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
  ToolProcess process(program, args);
  return process.Wait();
}

}  // namespace vktest
