// vkdiag reg watch: a line each time a key (or its subtree) changes,
// through RegNotifyChangeKeyValue.
#include <stdio.h>
#include <time.h>

#include "commands.h"
#include "scoped_key.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

constexpr DWORD kWatchFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

struct WatchOptions {
  std::string key;
  bool subtree = false;
  long count = 0;
  double timeout = 0;
};

// Closes the event at the end of the watch.
class ScopedEvent {
 public:
  ScopedEvent() : m_hEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
  ~ScopedEvent() {
    if (m_hEvent) CloseHandle(m_hEvent);
  }
  ScopedEvent(const ScopedEvent&) = delete;
  ScopedEvent& operator=(const ScopedEvent&) = delete;
  HANDLE Get() const { return m_hEvent; }

 private:
  HANDLE m_hEvent;
};

void Arm(const ScopedKey& key, const WatchOptions& options, HANDLE event, const KeyPath& path) {
  LONG rc = RegNotifyChangeKeyValue(key.Get(), options.subtree ? TRUE : FALSE, kWatchFilter, event, TRUE);
  if (rc != ERROR_SUCCESS) throw SystemError("cannot watch " + EscapeControls(path.FullName()), static_cast<DWORD>(rc));
}

void Watch(const WatchOptions& options) {
  KeyPath path = ParseKeyPath(options.key);
  ScopedKey key;
  OpenOrThrow(key, path, KEY_NOTIFY | KEY_READ);
  ScopedEvent event;
  if (!event.Get()) throw SystemError("cannot create an event", GetLastError());
  Arm(key, options, event.Get(), path);
  fprintf(stderr, "vkdiag: watching %s%s\n", EscapeControls(path.FullName()).c_str(),
          options.subtree ? " and its subtree" : "");
  DWORD wait = options.timeout > 0 ? static_cast<DWORD>(options.timeout * 1000) : INFINITE;
  for (long seen = 0; options.count == 0 || seen < options.count; ++seen) {
    DWORD rc = WaitForSingleObject(event.Get(), wait);
    if (rc == WAIT_TIMEOUT) return;
    if (rc != WAIT_OBJECT_0) throw SystemError("cannot wait for a change", GetLastError());
    // Armed again before printing, so a change meanwhile is not lost.
    Arm(key, options, event.Get(), path);
    time_t now = time(nullptr);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%H:%M:%S", localtime(&now));
    printf("%s changed %s\n", stamp, EscapeControls(path.FullName()).c_str());
    fflush(stdout);
  }
}

}  // namespace

void AddRegWatchCommand(CLI::App& reg) {
  auto options = std::make_shared<WatchOptions>();
  CLI::App* watch = reg.add_subcommand("watch", "Print a line each time a key changes");
  watch->add_option("KEY", options->key, "the key")->required();
  watch->add_flag("-s,--subtree", options->subtree, "also changes below the key");
  watch->add_option("--count", options->count, "stop after this many changes (0: never)")
      ->check(CLI::NonNegativeNumber);
  watch->add_option("--timeout", options->timeout, "stop after this many seconds without a change (0: never)")
      ->check(CLI::NonNegativeNumber);
  watch->footer(
      "A change is a value set or deleted, or a subkey created or deleted.\n"
      "Example:\n"
      "  vkdiag reg watch 'HKLM\\SOFTWARE\\Haldrex\\Vemra' -s --count 1\n");
  watch->callback([options] {
    CheckState(StateUse::kReadRegistry);
    Watch(*options);
  });
}

}  // namespace vkdiag
