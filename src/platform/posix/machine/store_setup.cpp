// Making the shared machine store's files, as root does it once with
// `vkdiag setup`: after that no process of the library makes, links or
// renames anything in the store's directory.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "machine/sqlite_database.h"
#include "machine/state_files.h"
#include "machine/system_root.h"

namespace vk_posix {

namespace {

std::string Mode(mode_t mode) {
  char text[16];
  snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

std::string Owner(const struct stat& status) {
  return std::to_string(status.st_uid) + ":" + std::to_string(status.st_gid);
}

std::string Why(const std::string& shown, const char* doing) {
  return "cannot " + std::string(doing) + " " + shown + ": " + strerror(errno);
}

// Sets root:group and the mode through the descriptor where they differ;
// the change made, or empty.
std::string SetOwnerAndMode(int fd, const struct stat& status, gid_t group, const std::string& groupName, mode_t mode,
                            const std::string& shown, std::string* problem) {
  std::string change;
  if (status.st_uid != 0 || status.st_gid != group) {
    if (fchown(fd, 0, group) != 0) {
      *problem = Why(shown, "set the owner of");
      return change;
    }
    change = "owner root:" + groupName + " (was " + Owner(status) + ")";
  }
  // Set after the owner: a change of owner may clear the set-ID bits.
  if ((status.st_mode & 07777) != mode || !change.empty()) {
    if (fchmod(fd, mode) != 0) {
      *problem = Why(shown, "set the mode of");
      return change;
    }
    if ((status.st_mode & 07777) != mode)
      change += (change.empty() ? "" : ", ") + std::string("mode ") + Mode(mode) + " (was " + Mode(status.st_mode) + ")";
  }
  return change.empty() ? change : "set " + shown + ": " + change;
}

// A live file with other hard links may be a file of elsewhere that a
// member linked into the store: giving it to root and the group, or
// copying what it holds into the store, would hand that file over. It is
// moved aside under a name of its own, unchanged, and the store starts
// the file anew.
bool MoveAside(int directory, const std::string& name, const std::string& shown, std::vector<std::string>* changes,
               std::string* problem) {
  std::string aside = name + ".had-links-" + std::to_string(time(nullptr));
  if (renameat(directory, name.c_str(), directory, aside.c_str()) != 0) {
    *problem = Why(shown, "move aside");
    return false;
  }
  changes->push_back("moved " + shown + " aside to " + aside +
                     ": it has other hard links, so it may be a file of elsewhere; the store starts it anew");
  return true;
}

// One live file: made empty when missing or moved aside for having other
// hard links, and given root, the group and the file mode.
void SetUpLiveFile(int directory, const std::string& name, const std::string& shown, gid_t group,
                   const std::string& groupName, std::vector<std::string>* changes, std::string* problem) {
  struct stat linked;
  if (fstatat(directory, name.c_str(), &linked, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(linked.st_mode) &&
      linked.st_nlink != 1 && !MoveAside(directory, name, shown, changes, problem))
    return;
  int fd = openat(directory, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  bool created = fd >= 0;
  if (!created && errno == EEXIST)
    fd = openat(directory, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    *problem = fd < 0 && errno != ELOOP ? Why(shown, "open")
                                        : shown + " is not a regular file; remove it and run setup again";
    if (fd >= 0) close(fd);
    return;
  }
  if (status.st_nlink != 1) {  // linked meanwhile
    *problem = shown + " gained other hard links while setup ran; run setup again";
    close(fd);
    return;
  }
  std::string change = SetOwnerAndMode(fd, status, group, groupName, kMachineFileMode, shown, problem);
  close(fd);
  if (created && problem->empty())
    changes->push_back("created " + shown + " (root:" + groupName + " " + Mode(kMachineFileMode) + ")");
  else if (!change.empty())
    changes->push_back(change);
}

}  // namespace

std::vector<std::string> SetUpMachineStoreFiles(int directoryFd, const std::string& shownPath, gid_t group,
                                                const std::string& groupName, std::string* problem) {
  std::vector<std::string> changes;
  problem->clear();
  for (const char* name : kMachineStoreFiles) {
    SetUpLiveFile(directoryFd, name, shownPath + "/" + name, group, groupName, &changes, problem);
    if (!problem->empty()) return changes;
  }
  // A database made empty becomes an empty WAL database now, by root; its
  // companions are made again by SQLite only if they were not there.
  bool started = false;
  for (const char* name : kMachineStoreFiles) {
    struct stat status;
    std::string file = name;
    if (file.size() < 3 || file.compare(file.size() - 3, 3, ".db") != 0) continue;
    if (fstatat(directoryFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0 || status.st_size != 0) continue;
    // The directory's own path, as its descriptor names it; only root may
    // change what lies in it.
    char directory[PATH_MAX];
    ssize_t length = readlink(("/proc/self/fd/" + std::to_string(directoryFd)).c_str(), directory, sizeof directory - 1);
    if (length <= 0 || StartWalDatabase(std::string(directory, static_cast<size_t>(length)) + "/" + file) != ERROR_SUCCESS) {
      *problem = "cannot make " + shownPath + "/" + file + " a database";
      return changes;
    }
    started = true;
  }
  for (const char* name : kMachineStoreFiles) {
    if (!started) break;
    SetUpLiveFile(directoryFd, name, shownPath + "/" + name, group, groupName, &changes, problem);
    if (!problem->empty()) return changes;
  }
  std::string shown = shownPath + "/" + kPublishedDirectoryName;
  bool created = mkdirat(directoryFd, kPublishedDirectoryName, 0700) == 0;
  int fd = openat(directoryFd, kPublishedDirectoryName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0) {
    *problem = errno == ELOOP || errno == ENOTDIR ? shown + " is not a directory; remove it and run setup again"
                                                  : Why(shown, "open");
    if (fd >= 0) close(fd);
    return changes;
  }
  std::string change = SetOwnerAndMode(fd, status, group, groupName, kPublishedDirectoryMode, shown, problem);
  close(fd);
  if (created && problem->empty())
    changes.push_back("created " + shown + " (root:" + groupName + " " + Mode(kPublishedDirectoryMode) + ")");
  else if (!change.empty())
    changes.push_back(change);
  return changes;
}

std::string MachineStoreProblem() {
  StoreLocation where = Locate(Store::kMachine);
  if (!where.shared) return std::string();
  if (!where.problem.empty()) return where.problem;
  if (!where.writable) return std::string();  // reads the published copies
  for (const char* name : kMachineStoreFiles) {
    LONG error = CheckLiveFile(where, name);
    if (error == ERROR_FILE_NOT_FOUND) return where.directory + "/" + name + ": missing; run vkdiag setup";
    if (error != ERROR_SUCCESS)
      return where.directory + "/" + name + ": not a file of root and the store's group with mode " +
             Mode(kMachineFileMode) + " and one link; run vkdiag setup";
  }
  return std::string();
}

}  // namespace vk_posix
