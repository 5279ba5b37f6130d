// vkdiag trace: the per-program trace switches under
// HKLM\SOFTWARE\Haldrex\Vemra\TraceLib and a listener for what the
// programs then send to the debugger output channel.
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <chrono>
#include <string>
#include <vector>

#include "commands.h"
#include "debug_listener.h"
#include "key_path.h"
#include "reg_value.h"
#include "scoped_key.h"
#include "tool_error.h"
#include "trace_switch.h"

namespace vkdiag {

namespace {

// The switches' key as the tool names keys.
std::string TraceKeyPath() { return std::string("HKEY_LOCAL_MACHINE\\") + Vk::kTraceSwitchKey; }

// The switch of a program given by path or by name, extension or not.
std::string ProgramValueName(const std::string& program) {
  size_t length = 0;
  const char* name = Vk::TraceSwitchName(program.c_str(), &length);
  if (length == 0) throw UsageError("no program name in '" + EscapeControls(program) + "'");
  return std::string(name, length);
}

void SetSwitch(const std::string& program, DWORD on) {
  std::string name = ProgramValueName(program);
  KeyPath path = ParseKeyPath(TraceKeyPath());
  ScopedKey key;
  LONG rc = key.Create(path, KEY_WRITE);
  if (rc != ERROR_SUCCESS) throw SystemError("cannot create " + path.FullName(), static_cast<DWORD>(rc));
  rc = RegSetValueExA(key.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
  if (rc != ERROR_SUCCESS) throw SystemError("cannot set " + EscapeControls(name) + " in " + path.FullName(), static_cast<DWORD>(rc));
}

void ListSwitches() {
  KeyPath path = ParseKeyPath(TraceKeyPath());
  ScopedKey key;
  LONG rc = key.Open(path, KEY_READ);
  if (rc == ERROR_FILE_NOT_FOUND) return;  // no program was ever switched
  if (rc != ERROR_SUCCESS) throw SystemError("cannot open " + path.FullName(), static_cast<DWORD>(rc));
  for (const RegValue& value : ReadValues(key.Get(), path.FullName())) {
    if (value.name.empty()) continue;
    printf("%-24s %s\n", EscapeControls(value.name).c_str(), Vk::TraceSwitchIsOn(value.data.data(), value.data.size()) ? "on" : "off");
  }
}

// The lines of a text, without their CR LF or LF, as a debug-output
// viewer shows them; other control characters are escaped.
std::vector<std::string> ShownLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(EscapeControls(line));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (lines.empty()) lines.push_back(std::string());
  return lines;
}

void Listen(long count, double timeoutSeconds, DebugChannel which) {
  DebugListener listener(which);
  fprintf(stderr, "vkdiag: listening on %s\n", EscapeControls(listener.Where()).c_str());
  int wait = timeoutSeconds > 0 ? static_cast<int>(timeoutSeconds * 1000) : -1;
  DebugText received;
  for (long done = 0; (count == 0 || done < count) && listener.Next(wait, &received); ++done) {
    auto now = std::chrono::system_clock::now();
    time_t seconds = std::chrono::system_clock::to_time_t(now);
    long millis = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    struct tm local = *localtime(&seconds);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    // "[pid]", or "[pid user]" for a text another user sent.
    std::string sender = std::to_string(received.pid);
    if (!received.otherUser.empty()) sender += " " + EscapeControls(received.otherUser);
    for (const std::string& line : ShownLines(received.text))
      printf("%s.%03ld [%s] %s\n", stamp, millis, sender.c_str(), line.c_str());
    fflush(stdout);
  }
}

}  // namespace

void AddTraceCommands(CLI::App& app) {
  CLI::App* trace = app.add_subcommand("trace", "Switch a program's debug trace and watch its output");
  trace->require_subcommand(1);
  trace->footer("Examples:\n  vkdiag trace on demo_host\n  vkdiag trace listen --count 10 --timeout 5\n");

  auto program = std::make_shared<std::string>();
  CLI::App* on = trace->add_subcommand("on", "Switch the trace on for a program (from its next start)");
  on->add_option("PROGRAM", *program, "the executable's name, e.g. Viewer or Viewer.exe")->required();
  on->footer("Example:\n  vkdiag trace on Viewer.exe\n");
  on->callback([program] {
    CheckState(StateUse::kAny);
    SetSwitch(*program, 1);
  });

  CLI::App* off = trace->add_subcommand("off", "Switch the trace off for a program");
  off->add_option("PROGRAM", *program, "the executable's name")->required();
  off->footer("Example:\n  vkdiag trace off Viewer\n");
  off->callback([program] {
    CheckState(StateUse::kAny);
    SetSwitch(*program, 0);
  });

  CLI::App* list = trace->add_subcommand("list", "List the programs with a trace switch and its state");
  list->footer("Example:\n  vkdiag trace list\n");
  list->callback([] {
    CheckState(StateUse::kReadRegistry);
    ListSwitches();
  });

  auto count = std::make_shared<long>(0);
  auto timeout = std::make_shared<double>(0);
  auto user = std::make_shared<bool>(false);
  auto machine = std::make_shared<bool>(false);
  CLI::App* listen = trace->add_subcommand("listen", "Print what programs send to the debugger output channel");
  listen->add_option("--count", *count, "stop after this many texts (0: never)")->check(CLI::NonNegativeNumber);
  listen->add_option("--timeout", *timeout, "stop after this many seconds without a text (0: never)")
      ->check(CLI::NonNegativeNumber);
  CLI::Option* userFlag =
      listen->add_flag("--user", *user, "listen on this user's own channel (Linux: $XDG_RUNTIME_DIR/vkdiag)");
  listen->add_flag("--machine", *machine, "listen on the machine channel (Linux: /run/vkdiag)")->excludes(userFlag);
  listen->footer("Each text is printed with its local time and the sender's process identifier.\n"
                 "On Linux the default channel is $VK_SYSTEM_ROOT's when set, else the machine channel\n"
                 "for root and members of the group vkdiag, else the user's own.\n"
                 "Example:\n  vkdiag trace listen --timeout 10\n  vkdiag trace listen --user\n");
  listen->callback([count, timeout, user, machine] {
    CheckState(StateUse::kAny);
    Listen(*count, *timeout,
           *user ? DebugChannel::kUser : *machine ? DebugChannel::kMachine : DebugChannel::kDefault);
  });
}

}  // namespace vkdiag
