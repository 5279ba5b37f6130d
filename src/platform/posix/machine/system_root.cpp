#include "machine/system_root.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <pthread.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace vk_posix {

namespace {

constexpr mode_t kSystemRootDirectoryMode = 0755;
constexpr mode_t kSystemRootFileMode = 0644;
constexpr mode_t kUserDirectoryMode = 0700;
constexpr mode_t kUserFileMode = 0600;

// Makes the missing directories of the path; with `exact`, each made gets
// exactly `mode`, whatever the umask.
bool MakeDirectories(const std::string& path, mode_t mode, bool exact = false) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string prefix = path.substr(0, slash);
    if (mkdir(prefix.c_str(), mode) == 0) {
      if (exact) chmod(prefix.c_str(), mode);
    } else if (errno != EEXIST) {
      return false;
    }
    if (slash == std::string::npos) return true;
  }
}

// The variables that choose where state lives. Test suites point them at
// stores of their own, so they need not touch the machine's. They are safe
// to honour: they only choose where the process looks. A machine store must
// still be root's and of the named group, and what a process may write
// there the kernel decides by the files' owners and modes, so no variable
// grants a right the user lacks. A set-user-ID or set-group-ID program
// ignores them all (secure_getenv): its caller must not choose the stores
// its effective user's rights apply to.
std::string Variable(const char* name) {
  const char* value = secure_getenv(name);
  return value ? value : "";
}

// The user's home directory from the password database. Not $HOME, which a
// program run under another user's identity may still carry; never a shared
// directory such as /tmp, where another user could make the store first.
std::string PasswordHome() {
  struct passwd entry;
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/')
    return found->pw_dir;
  return std::string();
}

bool GroupId(const std::string& name, gid_t* gid) {
  struct group entry;
  struct group* found = nullptr;
  std::vector<char> buffer(65536);
  if (getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return false;
  *gid = found->gr_gid;
  return true;
}

bool MemberOf(gid_t group) {
  if (geteuid() == 0 || getegid() == group) return true;
  int count = getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  count = getgroups(count, groups.data());
  return count > 0 && std::find(groups.begin(), groups.begin() + count, group) != groups.begin() + count;
}

// $XDG_STATE_HOME/vkdiag, else HOME/.local/state/vkdiag; made private to
// the user whatever the umask. One that is already there is made private
// too: earlier versions left it open to every user. A directory there that
// is not this user's own (or a link) is not used: empty.
std::string UserStoreDirectory(const std::string& stateHome) {
  std::string base = stateHome;
  if (base.empty() || base[0] != '/') {
    std::string home = PasswordHome();
    if (home.empty()) return std::string();
    base = home + "/.local/state";
  }
  std::string directory = base + "/vkdiag";
  MakeDirectories(directory, kUserDirectoryMode, true);
  int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return std::string();
  struct stat status;
  bool own = fstat(fd, &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == geteuid() &&
             ((status.st_mode & 07777) == kUserDirectoryMode || fchmod(fd, kUserDirectoryMode) == 0);
  close(fd);
  return own ? directory : std::string();
}

// The machine store is there when its directory is root's and of its
// group.
bool MachineStoreThere(const std::string& directory, gid_t group, struct stat* status) {
  return lstat(directory.c_str(), status) == 0 && S_ISDIR(status->st_mode) && status->st_uid == 0 &&
         status->st_gid == group;
}

struct Inputs {
  std::string systemRoot, machineStore, machineGroup, stateHome;
  uid_t user = 0;
  bool userStore = true;  // false: pinned to the machine store alone
  bool operator==(const Inputs& other) const {
    return systemRoot == other.systemRoot && machineStore == other.machineStore &&
           machineGroup == other.machineGroup && stateHome == other.stateHome && user == other.user &&
           userStore == other.userStore;
  }
};

struct Layout {
  Inputs inputs;
  StoreLayout kind = StoreLayout::kPrivate;
  StoreLocation machine;
  StoreLocation user;
};

Inputs CurrentInputs() {
  Inputs inputs;
  inputs.systemRoot = Variable("VK_SYSTEM_ROOT");
  inputs.machineStore = Variable("VK_MACHINE_STORE");
  inputs.machineGroup = Variable("VK_MACHINE_STORE_GROUP");
  inputs.stateHome = Variable("XDG_STATE_HOME");
  inputs.user = geteuid();
  return inputs;
}

Layout WorkOut(const Inputs& inputs) {
  Layout layout;
  layout.inputs = inputs;
  if (!inputs.systemRoot.empty()) {
    MakeDirectories(inputs.systemRoot, kSystemRootDirectoryMode);
    layout.kind = StoreLayout::kSystemRoot;
    layout.machine.directory = inputs.systemRoot;
    layout.machine.fileMode = kSystemRootFileMode;
    layout.user = layout.machine;
    return layout;
  }
  if (inputs.userStore) layout.user.directory = UserStoreDirectory(inputs.stateHome);
  layout.user.fileMode = kUserFileMode;
  std::string machineDirectory = inputs.machineStore.empty() ? kMachineStoreDirectory : inputs.machineStore;
  std::string groupName = inputs.machineGroup.empty() ? kMachineGroup : inputs.machineGroup;
  gid_t group = 0;
  struct stat status;
  if (GroupId(groupName, &group) && MachineStoreThere(machineDirectory, group, &status)) {
    layout.kind = StoreLayout::kTwoStores;
    layout.machine.directory = machineDirectory;
    layout.machine.fileMode = kMachineFileMode;
    layout.machine.group = group;
    layout.machine.writable = MemberOf(group);
    layout.machine.shared = true;
    layout.machine.published = machineDirectory + "/" + kPublishedDirectoryName;
    // A directory that others than root may change (as earlier versions
    // left it) could hold anything a member planted: unusable until setup.
    if (status.st_mode & (S_IWGRP | S_IWOTH))
      layout.machine.problem = machineDirectory + ": others than root may change it; run vkdiag setup";
  } else {
    layout.kind = StoreLayout::kPrivate;
    layout.machine = layout.user;
  }
  return layout;
}

// The layout last worked out, kept while its inputs stay the same: the
// registry asks on every call. Made anew in a forked child.
std::mutex* g_layoutLock = new std::mutex;
std::shared_ptr<const Layout>* g_layout = new std::shared_ptr<const Layout>;
// What PinMachineStore set, used instead of the variables; kept in a
// forked child.
std::unique_ptr<Inputs>* g_pinned = new std::unique_ptr<Inputs>;

std::shared_ptr<const Layout> Current() {
  static bool registered = [] {
    pthread_atfork(nullptr, nullptr, [] {
      g_layoutLock = new (g_layoutLock) std::mutex;
      g_layout = new std::shared_ptr<const Layout>;  // the parent's is left behind, never freed
    });
    return true;
  }();
  (void)registered;
  std::lock_guard<std::mutex> guard(*g_layoutLock);
  Inputs inputs = *g_pinned ? **g_pinned : CurrentInputs();
  if (!*g_layout || !((*g_layout)->inputs == inputs)) *g_layout = std::make_shared<const Layout>(WorkOut(inputs));
  return *g_layout;
}

}  // namespace

StoreLayout CurrentLayout() { return Current()->kind; }

void PinMachineStore(const std::string& directory, const std::string& groupName) {
  std::unique_ptr<Inputs> pinned(new Inputs);
  pinned->machineStore = directory;
  pinned->machineGroup = groupName;
  pinned->user = geteuid();
  pinned->userStore = false;
  std::lock_guard<std::mutex> guard(*g_layoutLock);
  *g_pinned = std::move(pinned);
}

StoreLocation Locate(Store store) {
  std::shared_ptr<const Layout> layout = Current();
  return store == Store::kMachine ? layout->machine : layout->user;
}

std::string SystemRoot() { return Locate(Store::kMachine).directory; }

// The effective user, whose store holds the key and whose rights apply.
std::string CurrentUserKeyName() { return "S-1-22-1-" + std::to_string(geteuid()); }

std::string MachineStoreGroupName() {
  std::string name = Current()->inputs.machineGroup;
  return name.empty() ? kMachineGroup : name;
}

bool StoreFileExists(Store store, const std::string& name, std::string* path) {
  StoreLocation where = Locate(store);
  *path = (where.shared && !where.writable ? where.published : where.directory) + "/" + name;
  struct stat status;
  return !where.directory.empty() && lstat(path->c_str(), &status) == 0;
}

bool IsSharedMachineStore(const std::string& directory) {
  std::shared_ptr<const Layout> layout = Current();
  return layout->machine.shared && directory == layout->machine.directory;
}

}  // namespace vk_posix
