#include "support/syslog_socket.h"

#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace vktest {

namespace {

// Larger than any datagram the forwarder sends.
constexpr size_t kLongestDatagram = 256 * 1024;

}  // namespace

SystemLogAt::SystemLogAt(const char* variable, const std::string& path) : m_variable(variable) {
  setenv(variable, path.c_str(), 1);
  setenv("VK_EVENTLOG_SYSLOG", "1", 1);
}

SystemLogAt::~SystemLogAt() {
  setenv("VK_EVENTLOG_SYSLOG", "0", 1);
  unsetenv(m_variable);
}

SyslogSocket::SyslogSocket(const std::string& path, mode_t mode) : m_path(path) {
  m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (m_fd < 0 || path.size() >= sizeof address.sun_path) return;
  strcpy(address.sun_path, path.c_str());
  m_bound = bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && chmod(path.c_str(), mode) == 0;
}

SyslogSocket::~SyslogSocket() {
  if (m_fd >= 0) close(m_fd);
  if (m_bound) unlink(m_path.c_str());
}

std::string SyslogSocket::Next(int timeoutMs) {
  struct pollfd ready = {m_fd, POLLIN, 0};
  if (poll(&ready, 1, timeoutMs) != 1) return std::string();
  std::vector<char> line(kLongestDatagram);
  ssize_t n = recv(m_fd, line.data(), line.size(), 0);
  return n > 0 ? std::string(line.data(), static_cast<size_t>(n)) : std::string();
}

std::vector<std::string> SyslogSocket::Received() {
  std::vector<std::string> lines;
  std::vector<char> line(kLongestDatagram);
  ssize_t n;
  while ((n = recv(m_fd, line.data(), line.size(), MSG_DONTWAIT)) > 0)
    lines.emplace_back(line.data(), static_cast<size_t>(n));
  return lines;
}

}  // namespace vktest
