#include "machine/state_files.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "kernel/errors.h"

namespace vk_posix {

bool TrustedStateOwner(const struct stat& file, const std::string& directory) {
  if (file.st_uid == geteuid() || file.st_uid == 0) return true;
  struct stat parent;
  if (stat(directory.c_str(), &parent) != 0) return false;
  if (parent.st_uid == file.st_uid) return true;
  bool groupStore = (parent.st_mode & S_IWGRP) != 0 && (parent.st_mode & S_IWOTH) == 0;
  return groupStore && file.st_gid == parent.st_gid;
}

int OpenStateFile(const std::string& directory, const std::string& name, int flags, mode_t mode, DWORD* error,
                  gid_t group) {
  if (directory.empty()) {  // no safe place for the state: never the root directory
    *error = ERROR_PATH_NOT_FOUND;
    return -1;
  }
  std::string path = directory + "/" + name;
  // O_NONBLOCK: a FIFO planted in the name does not hold the open up; it
  // is then refused as not a regular file.
  const int safe = O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  bool created = false;
  int fd = -1;
  // An exclusive create first, so that a file this call made gets its mode
  // set, and one that was there keeps its own.
  if (flags & O_CREAT) {
    do fd = open(path.c_str(), (flags | O_EXCL | safe), mode);
    while (fd < 0 && errno == EINTR);
    created = fd >= 0;
  }
  // Asked for O_EXCL, only a file this call made will do.
  if (fd < 0 && !(flags & O_EXCL)) {
    do fd = open(path.c_str(), (flags & ~(O_CREAT | O_TRUNC)) | safe);
    while (fd < 0 && errno == EINTR);
  }
  if (fd < 0) {
    // O_NOFOLLOW reports a symbolic link as ELOOP.
    *error = errno == ELOOP ? ERROR_ACCESS_DENIED : Win32ErrorFromErrno(errno);
    return -1;
  }
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || !TrustedStateOwner(status, directory) ||
      (created && fchmod(fd, mode) != 0)) {
    close(fd);
    *error = ERROR_ACCESS_DENIED;
    return -1;
  }
  // Where the directory does not hand its group on, the file is given it:
  // the group's other members write it too.
  if (created && group != static_cast<gid_t>(-1) && status.st_gid != group &&
      fchown(fd, static_cast<uid_t>(-1), group) != 0) {
    unlink(path.c_str());
    close(fd);
    *error = ERROR_ACCESS_DENIED;
    return -1;
  }
  if ((flags & O_TRUNC) && ftruncate(fd, 0) != 0) {
    *error = Win32ErrorFromErrno(errno);
    close(fd);
    return -1;
  }
  *error = ERROR_SUCCESS;
  return fd;
}

namespace {

LONG CheckStoreFile(const std::string& directory, const std::string& name, bool mayBeEmpty, LONG notAStore) {
  struct stat status;
  if (lstat((directory + "/" + name).c_str(), &status) != 0)
    return errno == ENOENT ? ERROR_SUCCESS : static_cast<LONG>(Win32ErrorFromErrno(errno));
  bool usable = S_ISREG(status.st_mode) && (mayBeEmpty || status.st_size > 0) && TrustedStateOwner(status, directory);
  return usable ? ERROR_SUCCESS : notAStore;
}

}  // namespace

LONG CheckDatabaseFile(const std::string& directory, const std::string& name, LONG notAStore) {
  return CheckStoreFile(directory, name, false, notAStore);
}

LONG CheckCompanionFile(const std::string& directory, const std::string& name, LONG notAStore) {
  return CheckStoreFile(directory, name, true, notAStore);
}

bool IsLiveFile(const struct stat& status, gid_t group) {
  return S_ISREG(status.st_mode) && status.st_uid == 0 && status.st_gid == group &&
         (status.st_mode & 07777) == kMachineFileMode && status.st_nlink == 1;
}

LONG CheckLiveFile(const StoreLocation& where, const std::string& name) {
  struct stat status;
  if (lstat((where.directory + "/" + name).c_str(), &status) != 0)
    return errno == ENOENT ? ERROR_FILE_NOT_FOUND : static_cast<LONG>(Win32ErrorFromErrno(errno));
  return IsLiveFile(status, where.group) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

namespace {

// Opens without following a link or blocking on a FIFO; -1 with the Win32
// code in *error, a link counting as ERROR_ACCESS_DENIED.
int OpenNoFollow(const std::string& path, int flags, DWORD* error) {
  int fd;
  do fd = open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) *error = errno == ELOOP ? ERROR_ACCESS_DENIED : Win32ErrorFromErrno(errno);
  return fd;
}

}  // namespace

int OpenLiveFile(const StoreLocation& where, const std::string& name, int flags, DWORD* error) {
  int fd = OpenNoFollow(where.directory + "/" + name, flags, error);
  if (fd < 0) return -1;
  struct stat status;
  if (fstat(fd, &status) != 0 || !IsLiveFile(status, where.group)) {
    close(fd);
    *error = ERROR_ACCESS_DENIED;
    return -1;
  }
  *error = ERROR_SUCCESS;
  return fd;
}

int OpenPublishedCopy(const StoreLocation& where, const std::string& name, DWORD* error) {
  int fd = OpenNoFollow(where.published + "/" + name, O_RDONLY, error);
  if (fd < 0) return -1;
  struct stat status;
  bool published = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1 &&
                   (status.st_mode & 07777) == kPublishedFileMode &&
                   (status.st_uid == 0 || status.st_gid == where.group);
  if (!published) {
    close(fd);
    *error = ERROR_ACCESS_DENIED;
    return -1;
  }
  *error = ERROR_SUCCESS;
  return fd;
}

}  // namespace vk_posix
