// Where the debugger output channel's sockets live, and how a listener
// makes their directories. Three channels, one socket name:
//   - with $VK_SYSTEM_ROOT: that directory alone (tests, the demo, a
//     single-user embedding);
//   - the machine channel in kMachineRuntimeDirectory (root and the group,
//     made by `vkdiag setup` or systemd-tmpfiles), which root and the group
//     may send to;
//   - a user's own channel in $XDG_RUNTIME_DIR/vkdiag (0700), for that
//     user's programs only.
#include "machine_layout.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace vk_posix {

namespace {

constexpr mode_t kUserChannelMode = 0700;
constexpr mode_t kSingleRootMode = 0755;

// A runtime directory that only this user can change.
bool IsOwnPrivateDirectory(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
         (info.st_mode & 022) == 0;
}

std::string Describe(const std::string& path, const char* what) { return path + ": " + what; }

std::string DescribeErrno(const std::string& path, const char* doing) {
  return path + ": cannot " + doing + ": " + strerror(errno);
}

// Opens a directory without following a link in its last name.
int OpenDirectory(const std::string& path) {
  int fd;
  do {
    fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Makes the directory (not its parents) with exactly `mode` when missing,
// then checks what is there: a directory, not a link, of `owner` (or of
// root when `rootMayOwn`). A mode other than `mode` is set anew when
// `fixMode`; `gid` (when not -1) is the group a new one gets.
std::string MakeCheckedDirectory(const std::string& path, uid_t owner, bool rootMayOwn, mode_t mode, bool fixMode,
                                 gid_t gid) {
  if (mkdir(path.c_str(), 0700) == 0) {
    int fd = OpenDirectory(path);
    if (fd < 0) return DescribeErrno(path, "open");
    bool ok = (gid == static_cast<gid_t>(-1) || fchown(fd, static_cast<uid_t>(-1), gid) == 0) && fchmod(fd, mode) == 0;
    int error = errno;
    close(fd);
    errno = error;
    if (!ok) return DescribeErrno(path, "set the owner and mode of");
    return std::string();
  }
  if (errno != EEXIST) return DescribeErrno(path, "create");
  int fd = OpenDirectory(path);
  if (fd < 0) {
    if (errno == ELOOP || errno == ENOTDIR) return Describe(path, "is not a directory (a link or another file); refused");
    return DescribeErrno(path, "open");
  }
  struct stat info;
  std::string problem;
  if (fstat(fd, &info) != 0) {
    problem = DescribeErrno(path, "examine");
  } else if (info.st_uid != owner && !(rootMayOwn && info.st_uid == 0)) {
    problem = Describe(path, "belongs to another user; refused");
  } else if (fixMode && (info.st_mode & 07777) != mode && fchmod(fd, mode) != 0) {
    problem = DescribeErrno(path, "set the mode of");
  } else if (!fixMode && (info.st_mode & 002) != 0) {
    problem = Describe(path, "is writable by every user; refused");
  }
  close(fd);
  return problem;
}

// mkdir -p for the parents of a single root, as the stores make them.
void MakeParents(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    mkdir(path.substr(0, slash).c_str(), kSingleRootMode);
}

gid_t MachineGroup() {
  struct group entry;
  struct group* found = nullptr;
  std::vector<char> buffer(16384);
  if (getgrnam_r(kMachineGroup, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->gr_gid;
  return static_cast<gid_t>(-1);
}

}  // namespace

std::string SingleRootDirectory() {
  const char* configured = secure_getenv("VK_SYSTEM_ROOT");
  return configured && *configured ? std::string(configured) : std::string();
}

std::string UserChannelDirectory() {
  const char* runtime = secure_getenv("XDG_RUNTIME_DIR");
  std::string base;
  if (runtime && *runtime == '/') {
    base = runtime;
  } else {
    base = "/run/user/" + std::to_string(geteuid());
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (!IsOwnPrivateDirectory(base)) return std::string();
  return base + "/vkdiag";
}

std::string PrepareSingleRootDirectory(const std::string& directory) {
  MakeParents(directory);
  // A single root that root made for everybody may be used too.
  return MakeCheckedDirectory(directory, geteuid(), true, kSingleRootMode, false, static_cast<gid_t>(-1));
}

std::string PrepareUserChannelDirectory(const std::string& directory) {
  if (directory.empty())
    return "this user has no runtime directory of their own ($XDG_RUNTIME_DIR is not set or not private)";
  return MakeCheckedDirectory(directory, geteuid(), false, kUserChannelMode, true, static_cast<gid_t>(-1));
}

std::string PrepareMachineChannelDirectory() {
  const std::string directory = kMachineRuntimeDirectory;
  // Setup makes it, with its group and mode; a listener never does, not
  // even root's, which would leave it root's alone.
  struct stat info;
  if (lstat(directory.c_str(), &info) != 0 && errno == ENOENT)
    return directory + " does not exist: run 'vkdiag setup' as root";
  return MakeCheckedDirectory(directory, 0, false, kMachineDirectoryMode, false, MachineGroup());
}

}  // namespace vk_posix
