// The event logs there are, for commands that name one.
#include "event_message.h"

#include <algorithm>

#include "key_path.h"
#include "reg_value.h"
#include "scoped_key.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

std::string LowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// Log names compare without case, as the registry compares keys.
bool SameName(const std::string& a, const std::string& b) { return LowerCase(a) == LowerCase(b); }

}  // namespace

std::vector<std::string> ExistingLogs() {
  std::vector<std::string> logs = {"Application", "Security", "System"};
  KeyPath path = ParseKeyPath(kEventlogKey);
  ScopedKey key;
  if (key.Open(path, KEY_READ) == ERROR_SUCCESS)
    for (const std::string& log : ReadSubKeyNames(key.Get(), path.FullName()))
      if (std::none_of(logs.begin(), logs.end(), [&](const std::string& known) { return SameName(known, log); }))
        logs.push_back(log);
  std::sort(logs.begin(), logs.end(), [](const std::string& a, const std::string& b) { return LowerCase(a) < LowerCase(b); });
  return logs;
}

void RequireExistingLog(const std::string& log) {
  std::vector<std::string> logs = ExistingLogs();
  if (std::any_of(logs.begin(), logs.end(), [&](const std::string& known) { return SameName(known, log); })) return;
  std::string names;
  for (const std::string& known : logs) names += (names.empty() ? "" : ", ") + EscapeControls(known);
  throw Failure("there is no event log '" + EscapeControls(log) + "'; the logs are " + names);
}

}  // namespace vkdiag
