#include "support/system_log_daemons.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/test_support.h"

namespace vktest {

namespace {

constexpr int kPolls = 6000;  // of 10 ms: a minute
const char kJournald[] = "/lib/systemd/systemd-journald";
// A volatile journal that reads nothing of the machine's and passes nothing on.
const char kJournaldConfig[] = "[Journal]\nStorage=volatile\nReadKMsg=no\nForwardToSyslog=no\nForwardToWall=no\n";

// In journald's child: a private mount namespace with fresh /run/systemd
// and /run/log, and the configuration in /run/systemd/journald.conf.d.
const char* PrivateJournalMounts() {
  if (unshare(CLONE_NEWNS) != 0) return "unshare(CLONE_NEWNS)";
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return "making / private";
  for (const char* path : {"/run/systemd", "/run/log"})
    if (mount("tmpfs", path, "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0) return path;
  if (mkdir("/run/systemd/journald.conf.d", 0755) != 0) return "journald.conf.d";
  int fd = open("/run/systemd/journald.conf.d/test.conf", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0 || write(fd, kJournaldConfig, sizeof kJournaldConfig - 1) != sizeof kJournaldConfig - 1)
    return "journald.conf.d/test.conf";
  close(fd);
  return nullptr;
}

}  // namespace

void Daemon::Spawn(const std::vector<std::string>& argv, const std::string& output, const char* (*setup)()) {
  m_output = output;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  m_pid = fork();
  if (m_pid == 0) {
    dup2(out, 1);
    dup2(out, 2);
    const char* failed = setup ? setup() : nullptr;
    if (!failed) execv(args[0], args.data());
    const char* what = failed ? failed : args[0];
    (void)!write(2, what, strlen(what));
    _exit(127);
  }
  if (out >= 0) close(out);
  m_reason = m_pid > 0 ? "" : "fork failed";
}

bool Daemon::AwaitPath(const std::string& path) {
  for (int i = 0; i < kPolls; ++i) {
    if (access(path.c_str(), F_OK) == 0) return true;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      m_reason = "it ended at once: " + ReadWholeFile(m_output);
      return false;
    }
    Sleep(10);
  }
  m_reason = "it did not start within a minute";
  return false;
}

void Daemon::Stop() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < kPolls / 2 && waitpid(m_pid, &status, WNOHANG) == 0; ++i) Sleep(10);
  if (waitpid(m_pid, &status, WNOHANG) == 0) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &status, 0);
  }
  m_pid = -1;
}

Journald::Journald(const std::string& directory) {
  if (geteuid() != 0) {
    m_reason = "a journald of the test's own needs root";
    return;
  }
  if (access(kJournald, X_OK) != 0) {
    m_reason = "systemd-journald is not installed (Debian package systemd)";
    return;
  }
  Spawn({kJournald}, directory + "/journald.out", PrivateJournalMounts);
  if (m_pid > 0 && !AwaitPath(socket())) m_reason = "journald in a mount namespace of its own: " + m_reason;
}

std::string Journald::socket() const {
  return "/proc/" + std::to_string(m_pid) + "/root/run/systemd/journal/socket";
}

std::string Journald::Entries(const std::string& match) const {
  std::string command = "journalctl --no-pager --all -o json -D /proc/" + std::to_string(m_pid) +
                        "/root/run/log/journal '" + match + "' 2>/dev/null";
  std::string lines;
  for (int i = 0; i < kPolls / 10 && lines.empty(); ++i) {
    if (i > 0) Sleep(100);
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) break;
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) lines.append(buffer, n);
    pclose(pipe);
  }
  return lines;
}

Rsyslog::Rsyslog(const std::string& directory, const std::string& config) : m_directory(directory) {
  if (access(Path(), X_OK) != 0) {
    m_reason = "rsyslogd is not installed (Debian package rsyslog)";
    return;
  }
  WriteWholeFile(directory + "/rsyslog.conf",
                 "global(workDirectory=\"" + directory + "\")\n" + config);
  Start();
}

void Rsyslog::Start() {
  Spawn({Path(), "-n", "-f", m_directory + "/rsyslog.conf", "-i", m_directory + "/rsyslog.pid"},
        m_directory + "/rsyslog.out");
}

int FreeLoopbackPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  struct sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

bool AwaitLoopbackListener(int port) {
  struct sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  for (int i = 0; i < kPolls; ++i) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    if (connected) return true;
    Sleep(10);
  }
  return false;
}

std::string AwaitText(const std::string& path, const std::string& text) {
  for (int i = 0; i < kPolls; ++i) {
    std::string content = ReadWholeFile(path);
    if (content.find(text) != std::string::npos) return content;
    Sleep(10);
  }
  return ReadWholeFile(path);
}

}  // namespace vktest
