// vkdiag events logs and clear: the logs with their sources, and clearing
// a log.
#include <stdio.h>

#include "commands.h"
#include "event_message.h"
#include "reg_value.h"
#include "scoped_key.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

// The logs are the subkeys of the Eventlog key, their sources the subkeys
// of each log.
void ListLogs() {
  KeyPath logs = ParseKeyPath(kEventlogKey);
  ScopedKey key;
  LONG rc = key.Open(logs, KEY_READ);
  if (rc == ERROR_FILE_NOT_FOUND) return;  // no source was ever registered
  if (rc != ERROR_SUCCESS) throw SystemError("cannot open " + logs.FullName(), static_cast<DWORD>(rc));
  for (const std::string& log : ReadSubKeyNames(key.Get(), logs.FullName())) {
    printf("%s\n", EscapeControls(log).c_str());
    ScopedKey logKey;
    if (logKey.Open(logs.Child(log), KEY_READ) != ERROR_SUCCESS) continue;
    for (const std::string& source : ReadSubKeyNames(logKey.Get(), logs.Child(log).FullName())) {
      std::string file = EventMessageFileOf(log, source);
      printf("    %s    %s\n", EscapeControls(source).c_str(), file.empty() ? "-" : EscapeControls(file).c_str());
    }
  }
}

// Clears a log that exists, and says how many records went.
void ClearLog(const std::string& log, const std::string& backup) {
  RequireExistingLog(log);
  HANDLE handle = OpenEventLogA(nullptr, log.c_str());
  if (!handle) throw SystemError("cannot open the event log " + EscapeControls(log), GetLastError());
  DWORD records = 0;
  BOOL counted = GetNumberOfEventLogRecords(handle, &records);
  BOOL cleared = ClearEventLogA(handle, backup.empty() ? nullptr : backup.c_str());
  DWORD error = GetLastError();
  CloseEventLog(handle);
  if (!cleared) throw SystemError("cannot clear the event log " + EscapeControls(log), error);
  std::string removed = counted ? std::to_string(records) + (records == 1 ? " record" : " records") : "the records";
  printf("cleared %s: removed %s%s\n", EscapeControls(log).c_str(), removed.c_str(),
         backup.empty() ? "" : (", saved first to " + EscapeControls(backup)).c_str());
}

}  // namespace

void AddEventsLogCommands(CLI::App& events) {
  CLI::App* logs = events.add_subcommand("logs", "List the logs, their sources and each source's message file");
  logs->footer("Example:\n  vkdiag events logs\n");
  logs->callback([] {
    CheckState(StateUse::kReadRegistry);
    ListLogs();
  });

  auto log = std::make_shared<std::string>();
  auto backup = std::make_shared<std::string>();
  CLI::App* clear = events.add_subcommand("clear", "Remove every record of a log");
  clear->add_option("LOG", *log, "the log, e.g. Application")->required();
  clear->add_option("--backup", *backup, "save the records to this new file first; events query --file reads it");
  clear->footer(
      "Says how many records it removed. A log that does not exist is an error that names the logs\n"
      "there are: a mistyped name never clears another log.\n"
      "Example:\n  vkdiag events clear Application --backup application.bak\n");
  clear->callback([log, backup] {
    CheckState(StateUse::kReadEvents);
    ClearLog(*log, *backup);
  });
}

}  // namespace vkdiag
