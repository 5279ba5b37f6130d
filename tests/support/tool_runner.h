// Runs the built vkdiag program as an operator would: a command line in,
// standard output, standard error and the exit status out.
#ifndef VK_TESTS_SUPPORT_TOOL_RUNNER_H
#define VK_TESTS_SUPPORT_TOOL_RUNNER_H

#include <memory>
#include <string>
#include <vector>

namespace vktest {

struct ToolResult {
  int exitCode = -1;
  std::string out;  // line ends as LF on every target
  std::string err;
};

// A running vkdiag; its output goes to files that can be read meanwhile.
class ToolProcess {
 public:
  explicit ToolProcess(const std::vector<std::string>& args);
  // Another program, found as the system finds a command.
  ToolProcess(const std::string& program, const std::vector<std::string>& args);
  ~ToolProcess();
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  bool started() const;
  // Standard error so far.
  std::string ErrorSoFar() const;
  // The file that receives standard output.
  std::string OutputPath() const;
  // Waits for the exit; -1 when it did not start.
  ToolResult Wait();

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

ToolResult RunTool(const std::vector<std::string>& args);
ToolResult RunProgram(const std::string& program, const std::vector<std::string>& args);
// The built program, found relative to the test executable.
std::string ToolPath();

}  // namespace vktest

#endif  // VK_TESTS_SUPPORT_TOOL_RUNNER_H
