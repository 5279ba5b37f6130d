// Real system log daemons, each started for one test and stopped with it:
// systemd-journald in a mount namespace of its own, and rsyslogd with the
// test's configuration. The machine's own logging is not touched. POSIX
// only, and root only: where a daemon cannot start, reason() says why, for
// the test's skip.
#ifndef VKDIAG_TESTS_SUPPORT_SYSTEM_LOG_DAEMONS_H
#define VKDIAG_TESTS_SUPPORT_SYSTEM_LOG_DAEMONS_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace vktest {

class Daemon {
 public:
  Daemon() = default;
  ~Daemon() { Stop(); }
  Daemon(const Daemon&) = delete;
  Daemon& operator=(const Daemon&) = delete;

  // Empty while it runs; otherwise why it does not.
  const std::string& reason() const { return m_reason; }
  // Ends it with SIGTERM and waits, at most half a minute before SIGKILL.
  void Stop();

 protected:
  // Starts argv[0] with its output into the file. In the child, `setup`
  // runs first (system calls only: the test's threads are gone there); it
  // returns what failed, or null.
  void Spawn(const std::vector<std::string>& argv, const std::string& output, const char* (*setup)() = nullptr);
  // Waits up to a minute for the path to appear while the daemon lives.
  bool AwaitPath(const std::string& path);

  std::string m_reason;
  std::string m_output;
  pid_t m_pid = -1;
};

// systemd-journald with a journal of its own: /run/systemd and /run/log are
// fresh tmpfs mounts in its namespace, reached from outside through
// /proc/PID/root.
class Journald : public Daemon {
 public:
  explicit Journald(const std::string& directory);
  // Its native protocol socket.
  std::string socket() const;
  // journalctl's JSON lines (-o json, whole fields) for the entries that
  // match FIELD=value, once there is one; empty after a minute.
  std::string Entries(const std::string& match) const;
};

class Rsyslog : public Daemon {
 public:
  // Writes directory/rsyslog.conf (the directory is its work directory
  // too) and starts rsyslogd on it.
  Rsyslog(const std::string& directory, const std::string& config);
  void Start();
  static const char* Path() { return "/usr/sbin/rsyslogd"; }

 private:
  std::string m_directory;
};

// A TCP port on 127.0.0.1 that nothing listens on now.
int FreeLoopbackPort();
// Whether something accepts connections on 127.0.0.1:port within a minute.
bool AwaitLoopbackListener(int port);
// Waits up to a minute for the file to hold the text; its content then.
std::string AwaitText(const std::string& path, const std::string& text);

}  // namespace vktest

#endif  // VKDIAG_TESTS_SUPPORT_SYSTEM_LOG_DAEMONS_H
