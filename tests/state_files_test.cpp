// The POSIX state directory as another local user could prepare it: links
// planted at the store's file names, an empty database, a full disk. Each
// is refused with an error; nothing outside the directory is touched and no
// signal ends the process.
#include <vk/registry.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <memory>
#include <string>

#include "support/test_support.h"

#if !defined(_WIN32)
#include <poll.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#endif
#if defined(__linux__)
#include <sys/inotify.h>
#endif

namespace {

// In the state directory args[0]: writes a value (args[1] = "write") or
// reads one; exits with the Win32 code of the step that failed, 0 if none.
VK_CHILD_MAIN(registry_step_in_root) {
#if defined(_WIN32)
  return -1;
#else
  setenv("VK_SYSTEM_ROOT", args.at(0).c_str(), 1);
  Vk::VkRegistry key;
  if (!key.Open(HKEY_LOCAL_MACHINE, "Software\\vkdiag-tests", args.at(1) == "write", KEY_ALL_ACCESS))
    return static_cast<int>(key.GetLastErrorCode());
  if (args.at(1) == "write" && !key.WriteDword("value", 5)) return static_cast<int>(key.GetLastErrorCode());
  return 0;
#endif
}

// Keeps the store of the state directory args[0] open (its WAL and shared
// memory with it): says so by making the file args[1], and holds it until
// the file args[2] appears.
VK_CHILD_MAIN(registry_hold_in_root) {
#if defined(_WIN32)
  return -1;
#else
  setenv("VK_SYSTEM_ROOT", args.at(0).c_str(), 1);
  Vk::VkRegistry key(HKEY_LOCAL_MACHINE, "Software\\vkdiag-tests", false, KEY_READ);
  DWORD value = 0;
  if (!key.ReadDword("value", &value)) return 1;
  vktest::WriteWholeFile(args.at(1), "holding");
  return vktest::AwaitFile(args.at(2)) ? 0 : 2;
#endif
}

class StateFilesTest : public vktest::ScratchDirTest {
 protected:
  void SetUp() override {
    if (vktest::IsWindowsTarget()) GTEST_SKIP() << "the state directory belongs to the POSIX layer";
    vktest::ScratchDirTest::SetUp();
    m_root = (m_dir / "state").string();
    vktest::fs::create_directories(m_root);
    m_outside = (m_dir / "victim.txt").string();
    vktest::WriteWholeFile(m_outside, "precious bytes that no store may touch");
  }

  int Step(const std::string& what) { return vktest::ChildProcess("registry_step_in_root", {m_root, what}).Wait(); }
  void Plant(const std::string& name, const std::string& target) {
    vktest::fs::create_symlink(target, vktest::fs::path(m_root) / name);
  }
  bool VictimIntact() { return vktest::ReadWholeFile(m_outside) == "precious bytes that no store may touch"; }

  std::string m_root;
  std::string m_outside;
};

TEST_F(StateFilesTest, ALinkAtTheChangeCounterIsRefusedAndItsTargetKept) {
  ASSERT_EQ(0, Step("write"));
  vktest::fs::remove(vktest::fs::path(m_root) / "registry.changes");
  Plant("registry.changes", m_outside);
  EXPECT_EQ(ERROR_SUCCESS, Step("read"));
  EXPECT_EQ(vktest::ExitStatusOf(ERROR_REGISTRY_IO_FAILED), Step("write"));
  EXPECT_TRUE(VictimIntact());
}

// A change counter that another user made is not this store's: whoever
// owns it could hold the writers up or make readers trust stale answers.
TEST_F(StateFilesTest, AChangeCounterOfAnotherOwnerIsRefused) {
#if !defined(_WIN32)
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give the counter to another user";
  ASSERT_EQ(0, Step("write"));
  std::string counter = m_root + "/registry.changes";
  std::string planted = std::string(8, '\0');
  vktest::fs::remove(counter);
  vktest::WriteWholeFile(counter, planted);
  ASSERT_EQ(0, chown(counter.c_str(), 65534, 65534));
  ASSERT_EQ(0, chmod(counter.c_str(), 0666));
  EXPECT_EQ(ERROR_SUCCESS, Step("read"));
  EXPECT_EQ(vktest::ExitStatusOf(ERROR_REGISTRY_IO_FAILED), Step("write"));
  EXPECT_EQ(planted, vktest::ReadWholeFile(counter)) << "the foreign counter was moved";
#endif
}

TEST_F(StateFilesTest, ALinkAtADatabaseNameIsNeverFollowed) {
  Plant("registry.db", m_outside);
  EXPECT_NE(0, Step("write"));
  EXPECT_TRUE(VictimIntact());

  vktest::fs::remove(vktest::fs::path(m_root) / "registry.db");
  std::string dangling = (m_dir / "made-through-a-link.db").string();
  Plant("registry.db", dangling);
  EXPECT_NE(0, Step("write"));
  EXPECT_FALSE(vktest::FileExists(dangling));
}

TEST_F(StateFilesTest, LinksAtTheLogFilesBesideADatabaseAreRefused) {
  ASSERT_EQ(0, Step("write"));
  for (const char* name : {"registry.db-wal", "registry.db-shm"}) {
    vktest::fs::remove(vktest::fs::path(m_root) / name);
    Plant(name, m_outside);
    EXPECT_NE(0, Step("write")) << name;
    EXPECT_TRUE(VictimIntact()) << name;
    vktest::fs::remove(vktest::fs::path(m_root) / name);
  }
}

TEST_F(StateFilesTest, AnEmptyDatabaseIsAnErrorNotANewStore) {
  vktest::WriteWholeFile((vktest::fs::path(m_root) / "registry.db").string(), "");
  EXPECT_EQ(vktest::ExitStatusOf(ERROR_REGISTRY_CORRUPT), Step("write"));
  EXPECT_EQ(0u, vktest::fs::file_size(vktest::fs::path(m_root) / "registry.db"));
}

TEST_F(StateFilesTest, NewStateFilesGetTheirModesWhateverTheUmask) {
#if !defined(_WIN32)
  mode_t previous = umask(0);
  int result = Step("write");
  umask(previous);
  ASSERT_EQ(0, result);
  for (const char* name : {"registry.db", "registry.changes"}) {
    struct stat status;
    ASSERT_EQ(0, lstat((m_root + "/" + name).c_str(), &status)) << name;
    EXPECT_EQ(0644u, status.st_mode & 07777u) << name;
  }
#endif
}

// A new database is made under a scratch name and then moved into place.
// Whoever may write the directory can swap a link in for the scratch file
// as soon as SQLite closes it; the mode and group the file gets then must
// not land on the link's target.
TEST_F(StateFilesTest, ALinkSwappedInForADatabaseBeingMadeIsNotFollowed) {
#if !defined(__linux__)
  GTEST_SKIP() << "watches the directory with inotify";
#else
  ASSERT_EQ(0, chmod(m_outside.c_str(), 0600));
  int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, m_root.c_str(), IN_CLOSE_WRITE), 0);
  std::atomic<bool> stop{false};
  std::atomic<int> swaps{0};
  std::thread swapper([&] {
    std::string planted = m_root + "/planted-link";
    alignas(inotify_event) char events[8192];
    while (!stop) {
      pollfd ready = {watch, POLLIN, 0};
      if (poll(&ready, 1, 100) <= 0) continue;
      ssize_t length = read(watch, events, sizeof events);
      for (ssize_t at = 0; at < length;) {
        const inotify_event* event = reinterpret_cast<const inotify_event*>(events + at);
        std::string name = event->len ? event->name : "";
        bool scratch = name.find(".new-") != std::string::npos && name.find("-wal") == std::string::npos &&
                       name.find("-shm") == std::string::npos && name.find("-journal") == std::string::npos;
        if (scratch && symlink(m_outside.c_str(), planted.c_str()) == 0 &&
            rename(planted.c_str(), (m_root + "/" + name).c_str()) == 0)
          ++swaps;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
  });
  // The swap may come too late to matter, so the store is made anew a few
  // times; a followed link shows as the target's changed mode.
  auto targetMode = [&] {
    struct stat status;
    return stat(m_outside.c_str(), &status) == 0 ? status.st_mode & 07777u : 0u;
  };
  for (int attempt = 0; attempt < 30 && targetMode() == 0600u; ++attempt) {
    for (const char* name : {"registry.db", "registry.db-wal", "registry.db-shm"}) unlink((m_root + "/" + name).c_str());
    Step("write");
  }
  stop = true;
  swapper.join();
  close(watch);
  ASSERT_GT(swaps.load(), 0) << "no scratch database was seen";
  EXPECT_EQ(0600u, targetMode());
  EXPECT_TRUE(VictimIntact());
#endif
}

// A full disk where the change counter must be made anew while another
// process keeps the store open: an error, no SIGBUS.
TEST_F(StateFilesTest, AFullDiskFailsWithDiskFullAndNoSignal) {
#if !defined(_WIN32)
  auto disk = std::make_unique<vktest::SmallDisk>(m_root, 512 * 1024);
  if (!disk->mounted()) GTEST_SKIP() << disk->reason();
  ASSERT_EQ(0, Step("write"));
  std::string holding = PathOf("holding"), release = PathOf("release");
  vktest::ChildProcess holder("registry_hold_in_root", {m_root, holding, release});
  ASSERT_TRUE(vktest::AwaitFile(holding));
  unlink((m_root + "/registry.changes").c_str());
  disk->Fill();
  int read = Step("read");
  int write = Step("write");
  vktest::WriteWholeFile(release, "");
  EXPECT_EQ(0, holder.Wait());
  disk.reset();
  EXPECT_EQ(0, read) << "a read needs no new disk space";
  EXPECT_EQ(vktest::ExitStatusOf(ERROR_DISK_FULL), write);

  // With nothing holding the store open, its shared memory cannot be made.
  disk = std::make_unique<vktest::SmallDisk>(m_root, 512 * 1024);
  ASSERT_TRUE(disk->mounted());
  ASSERT_EQ(0, Step("write"));
  disk->Fill();
  write = Step("write");
  disk.reset();
  EXPECT_EQ(vktest::ExitStatusOf(ERROR_DISK_FULL), write);
#endif
}

}  // namespace
