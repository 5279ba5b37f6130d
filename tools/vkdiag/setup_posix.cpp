// vkdiag setup on Linux: the system group; the machine store's directory,
// root's alone to change, with every file the store needs made and given
// to root and the group; and the machine debug channel's directory, where
// the group's listeners bind (machine_layout.h). Changes only
// what differs, says each change on a line of its own, and never follows a
// symbolic link: a link where a directory belongs is an error.
#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "commands.h"
#include "machine_layout.h"
#include "tool_error.h"

extern char** environ;

namespace vkdiag {

namespace {

using vk_posix::kMachineDirectoryMode;
using vk_posix::kMachineRuntimeDirectory;
using vk_posix::kMachineStoreDirectory;
constexpr mode_t kParentMode = 0755;

struct SetupOptions {
  std::string root = "/";
  std::string group = vk_posix::kMachineGroup;
};

// A descriptor closed when the block ends.
class Fd {
 public:
  explicit Fd(int fd = -1) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return m_fd; }
  int Release() {
    int fd = m_fd;
    m_fd = -1;
    return fd;
  }

 private:
  int m_fd;
};

class Setup {
 public:
  explicit Setup(const SetupOptions& options) : m_options(options) {}

  void Run() {
    gid_t group = EnsureGroup();
    Fd root(open(m_options.root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root.Get() < 0) throw Failure("cannot open " + Shown(m_options.root) + ": " + strerror(errno));
    std::string name;
    Fd storeParent(OpenParents(root.Get(), kMachineStoreDirectory, &name));
    Fd store(EnsureDirectory(storeParent.Get(), name.c_str(), kMachineStoreDirectory, group,
                             vk_posix::kMachineStoreDirectoryMode));
    SetUpStoreFiles(store.Get(), kMachineStoreDirectory, group);
    Fd runtimeParent(OpenParents(root.Get(), kMachineRuntimeDirectory, &name));
    CreateRuntimeWithTmpfiles(runtimeParent.Get(), name.c_str());
    Fd runtime(EnsureDirectory(runtimeParent.Get(), name.c_str(), kMachineRuntimeDirectory, group,
                               kMachineDirectoryMode));
    PublishRegistryRoots();
    if (!m_changed)
      printf("nothing changed: group %s, %s and %s are set up\n", m_options.group.c_str(),
             Shown(Under(kMachineStoreDirectory)).c_str(), Shown(Under(kMachineRuntimeDirectory)).c_str());
  }

 private:
  std::string Under(const std::string& path) const {
    std::string root = m_options.root;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root == "/" ? path : root + path;
  }
  static std::string Shown(const std::string& path) { return EscapeControls(path); }
  void Say(const std::string& line) {
    printf("%s\n", line.c_str());
    fflush(stdout);
    m_changed = true;
  }

  // Runs a program with its arguments; its exit status, or -1 when it
  // could not be started (errno says why).
  static int RunProgram(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (rc != 0) {
      errno = rc;
      return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  static bool LookUpGroup(const std::string& name, gid_t* gid) {
    struct group entry;
    struct group* found = nullptr;
    std::vector<char> buffer(16384);
    if (getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return false;
    *gid = found->gr_gid;
    return true;
  }

  gid_t EnsureGroup() {
    gid_t gid;
    if (LookUpGroup(m_options.group, &gid)) return gid;
    int rc = RunProgram({"groupadd", "--system", m_options.group});
    if (rc < 0) throw Failure(std::string("cannot run groupadd: ") + strerror(errno));
    if (rc != 0 || !LookUpGroup(m_options.group, &gid))
      throw Failure("groupadd --system " + m_options.group + " failed (exit " + std::to_string(rc) + ")");
    // Groups are the host's, below --root as well: the files made there
    // belong to the host's group of that name.
    Say("created the system group " + m_options.group + " (gid " + std::to_string(gid) + ")" +
        (Under("/") == "/" ? "" : " on this host: --root works below a directory, but groups are the host's"));
    return gid;
  }

  // A directory that must exist above the ones set up (made 0755 when a
  // scratch root lacks it), never through a link.
  int OpenParent(int parent, const char* name, const std::string& path) {
    if (mkdirat(parent, name, kParentMode) == 0) Say("created " + Shown(Under(path)));
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw Failure("cannot open " + Shown(Under(path)) + " without following a link: " + strerror(errno));
    return fd;
  }

  // Opens the directories above the last name of an absolute path, below
  // the root, each as OpenParent does; *last receives that name.
  int OpenParents(int root, const std::string& path, std::string* last) {
    int fd = fcntl(root, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) throw Failure(std::string("cannot open the root: ") + strerror(errno));
    size_t start = 1;
    for (size_t slash = path.find('/', start); slash != std::string::npos; slash = path.find('/', start)) {
      Fd above(fd);
      fd = OpenParent(above.Get(), path.substr(start, slash - start).c_str(), path.substr(0, slash));
      start = slash + 1;
    }
    *last = path.substr(start);
    return fd;
  }

  // Makes the directory root:group with the mode, or sets what differs.
  int EnsureDirectory(int parent, const char* name, const std::string& path, gid_t group, mode_t directoryMode) {
    std::string shown = Shown(Under(path));
    bool created = mkdirat(parent, name, 0700) == 0;
    if (!created && errno != EEXIST) throw Failure("cannot create " + shown + ": " + strerror(errno));
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ELOOP || errno == ENOTDIR)
        throw Failure(shown + " is a symbolic link or not a directory; remove it and run setup again");
      throw Failure("cannot open " + shown + ": " + strerror(errno));
    }
    Fd owned(fd);
    std::string change = SetOwnerAndMode(fd, group, directoryMode, shown);
    char mode[8];
    snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(directoryMode));
    if (created)
      Say("created " + shown + " (root:" + m_options.group + " " + mode + ")");
    else if (!change.empty())
      Say(change);
    return owned.Release();
  }

  // Sets root:group and the mode where they differ; returns what was
  // changed, or empty.
  std::string SetOwnerAndMode(int fd, gid_t group, mode_t mode, const std::string& shown) {
    struct stat info;
    if (fstat(fd, &info) != 0) throw Failure("cannot examine " + shown + ": " + strerror(errno));
    std::string change;
    char was[64];
    if (info.st_uid != 0 || info.st_gid != group) {
      if (fchown(fd, 0, group) != 0) throw Failure("cannot set the owner of " + shown + ": " + strerror(errno));
      snprintf(was, sizeof was, "%u:%u", static_cast<unsigned>(info.st_uid), static_cast<unsigned>(info.st_gid));
      change = "owner root:" + m_options.group + " (was " + was + ")";
    }
    // Set after the owner: a change of owner may clear the set-ID bits.
    if ((info.st_mode & 07777) != mode || !change.empty()) {
      if (fchmod(fd, mode) != 0) throw Failure("cannot set the mode of " + shown + ": " + strerror(errno));
      if ((info.st_mode & 07777) != mode) {
        snprintf(was, sizeof was, "mode %04o (was %04o)", static_cast<unsigned>(mode),
                 static_cast<unsigned>(info.st_mode & 07777));
        change += (change.empty() ? "" : ", ") + std::string(was);
      }
    }
    return change.empty() ? change : "set " + shown + ": " + change;
  }

  // The store's files: every one made when missing, root's and the
  // group's with the machine's file mode (the layer knows which).
  void SetUpStoreFiles(int directory, const std::string& path, gid_t group) {
    std::string problem;
    for (const std::string& change :
         vk_posix::SetUpMachineStoreFiles(directory, Shown(Under(path)), group, m_options.group, &problem))
      Say(change);
    if (!problem.empty()) throw Failure(problem);
  }

  // The registry's root keys and the copy that users outside the group
  // read, so that they find their own key below HKEY_USERS from the start.
  // Done last: a store whose registry cannot be opened (damaged, or held by
  // a member) still has everything else set up, and the operator is told.
  void PublishRegistryRoots() {
    std::string store = Under(kMachineStoreDirectory);
    bool published = false;
    long error = vk_posix::PublishMachineRegistryRoots(store, m_options.group, &published);
    if (error != 0) {
      fprintf(stderr,
              "vkdiag: warning: cannot publish the registry's root keys in %s: %s; users outside the group read "
              "an older copy, or no machine key at all, until a member writes one\n",
              Shown(store).c_str(), SystemMessage(static_cast<DWORD>(error)).c_str());
      m_changed = true;  // not "nothing changed": something is wrong
      return;
    }
    if (published)
      Say("published " + Shown(store) + "/" + vk_posix::kPublishedDirectoryName +
          "/registry.db, the registry's root keys for users outside the group");
  }

  // On the real machine the runtime directory comes from the
  // systemd-tmpfiles entry, so it is made again at each boot; elsewhere
  // setup makes it itself.
  void CreateRuntimeWithTmpfiles(int parent, const char* name) {
    if (Under("/") != "/" || m_options.group != vk_posix::kMachineGroup) return;
    if (access(VK_TMPFILES_ENTRY, R_OK) != 0) return;
    struct stat info;
    bool existed = fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) == 0;
    int rc = RunProgram({"systemd-tmpfiles", "--create", VK_TMPFILES_ENTRY});
    if (rc < 0) return;  // no systemd-tmpfiles here
    if (!existed && fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) == 0)
      Say(std::string("created ") + kMachineRuntimeDirectory + " with systemd-tmpfiles (" + VK_TMPFILES_ENTRY + ")");
  }

  SetupOptions m_options;
  bool m_changed = false;
};

bool ValidGroupName(const std::string& name) {
  if (name.empty() || name.size() > 32 || !(islower(static_cast<unsigned char>(name[0])) || name[0] == '_'))
    return false;
  for (char c : name)
    if (!(islower(static_cast<unsigned char>(c)) || isdigit(static_cast<unsigned char>(c)) || c == '_' || c == '-'))
      return false;
  return true;
}

}  // namespace

void AddSetupCommand(CLI::App& app) {
  auto options = std::make_shared<SetupOptions>();
  CLI::App* setup = app.add_subcommand("setup", std::string("Make the group ") + vk_posix::kMachineGroup + ", " +
                                                    kMachineStoreDirectory + " and " + kMachineRuntimeDirectory +
                                                    " with their owners and modes (root)");
  setup->add_option("--root", options->root,
                    "work below this directory instead of / (for tests and images); the group is still the host's");
  setup->add_option("--group", options->group,
                    std::string("the group that may write the machine store (default ") + vk_posix::kMachineGroup + ")");
  setup->footer("Run again at any time: it changes only what differs and says so.\n"
                "Example:\n  sudo vkdiag setup\n");
  setup->callback([options] {
    if (!ValidGroupName(options->group)) throw UsageError("not a group name: '" + EscapeControls(options->group) + "'");
    if (geteuid() != 0)
      throw Failure("setup must be run as root: it makes the group " + options->group + " and the directories " +
                    kMachineStoreDirectory + " and " + kMachineRuntimeDirectory);
    Setup(*options).Run();
  });
}

}  // namespace vkdiag
