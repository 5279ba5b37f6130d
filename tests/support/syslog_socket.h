// A datagram socket at a path of the test's that stands in for /dev/log:
// the system-log forwarder is pointed at it (VK_SYSLOG_SOCKET) and the
// test reads what arrived. POSIX only.
#ifndef VKDIAG_TESTS_SUPPORT_SYSLOG_SOCKET_H
#define VKDIAG_TESTS_SUPPORT_SYSLOG_SOCKET_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace vktest {

// Points the system log forwarder at a socket while it lives, through
// VK_SYSLOG_SOCKET or VK_JOURNAL_SOCKET, and turns it off again after.
class SystemLogAt {
 public:
  SystemLogAt(const char* variable, const std::string& path);
  ~SystemLogAt();
  SystemLogAt(const SystemLogAt&) = delete;
  SystemLogAt& operator=(const SystemLogAt&) = delete;

 private:
  const char* m_variable;
};

class SyslogSocket {
 public:
  // Binds at path and gives the socket the mode (0666 lets every user send).
  explicit SyslogSocket(const std::string& path, mode_t mode = 0600);
  ~SyslogSocket();
  SyslogSocket(const SyslogSocket&) = delete;
  SyslogSocket& operator=(const SyslogSocket&) = delete;

  bool bound() const { return m_bound; }
  // The next datagram; empty when none came within the wait, which only
  // guards against a hang.
  std::string Next(int timeoutMs = 5000);
  // Every datagram already sent, without waiting.
  std::vector<std::string> Received();

 private:
  std::string m_path;
  int m_fd = -1;
  bool m_bound = false;
};

}  // namespace vktest

#endif  // VKDIAG_TESTS_SUPPORT_SYSLOG_SOCKET_H
