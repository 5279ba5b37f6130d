// vkdbgview: shows what programs send to the debugger output channel on
// Linux, with the time and the sender's process identifier; the
// counterpart of a debug-output viewer on Windows.
//   vkdbgview [--root DIR] [--count N] [--timeout SECONDS]
#include <CLI/CLI.hpp>

#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// The same place the platform layer sends to.
std::string DefaultRoot() {
  if (const char* root = getenv("VK_SYSTEM_ROOT"); root && *root) return root;
  if (access("/var/lib/vkdiag", W_OK) == 0) return "/var/lib/vkdiag";
  const char* state = getenv("XDG_STATE_HOME");
  const char* home = getenv("HOME");
  return (state && *state ? std::string(state) : std::string(home ? home : "/tmp") + "/.local/state") + "/vkdiag";
}

void PrintText(uint32_t pid, const char* text, size_t length) {
  struct timeval now;
  gettimeofday(&now, nullptr);
  struct tm local;
  localtime_r(&now.tv_sec, &local);
  char stamp[32];
  strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
  printf("%s.%03ld [%u] %.*s\n", stamp, static_cast<long>(now.tv_usec / 1000), pid, static_cast<int>(length), text);
  fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Shows the texts that programs send to the debugger output channel."};
  std::string root = DefaultRoot();
  long count = 0;
  double timeout = 0;
  app.add_option("--root", root, "state directory of the platform layer (VK_SYSTEM_ROOT)");
  app.add_option("--count", count, "exit after this many texts (0: never)");
  app.add_option("--timeout", timeout, "exit after this many seconds without a text (0: never)");
  CLI11_PARSE(app, argc, argv);

  std::string path = root + "/debug-output.sock";
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    fprintf(stderr, "vkdbgview: socket path too long: %s\n", path.c_str());
    return 1;
  }
  strcpy(address.sun_path, path.c_str());
  int listener = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  unlink(path.c_str());  // a socket left by an earlier viewer
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    fprintf(stderr, "vkdbgview: cannot listen on %s: %s\n", path.c_str(), strerror(errno));
    return 1;
  }
  fprintf(stderr, "vkdbgview: listening on %s\n", path.c_str());

  std::vector<char> datagram(70000);
  struct pollfd ready = {listener, POLLIN, 0};
  int wait = timeout > 0 ? static_cast<int>(timeout * 1000) : -1;
  for (long received = 0; count == 0 || received < count;) {
    int rc = poll(&ready, 1, wait);
    if (rc == 0) break;
    if (rc < 0) {
      if (errno == EINTR) continue;
      break;
    }
    ssize_t n = recv(listener, datagram.data(), datagram.size(), 0);
    if (n < static_cast<ssize_t>(sizeof(uint32_t))) continue;
    uint32_t pid = 0;
    memcpy(&pid, datagram.data(), sizeof pid);
    PrintText(pid, datagram.data() + sizeof pid, static_cast<size_t>(n) - sizeof pid);
    ++received;
  }
  close(listener);
  unlink(path.c_str());
  return 0;
}
