// What the registry's database file holds by itself, without its write-ahead
// log: a copy of that one file (a backup, say) must have every value that
// was flushed, and every value of a process that has ended normally.
#include <vk/registry.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "support/registry_fixture.h"
#include "support/test_support.h"

#if !defined(_WIN32)
#include <sqlite3.h>
#endif

namespace {

const char kDurableKey[] = "Software\\vkdiag-tests\\durable";

VK_CHILD_MAIN(registry_write_and_exit) {
  Vk::VkRegistry key(HKEY_CURRENT_USER, kDurableKey, true, KEY_ALL_ACCESS);
  return key.WriteDword(args.at(0).c_str(), 1) ? 0 : 1;
}

// Copies registry.db alone to args[0] and exits with how many values named
// args[1] the copy holds (255 when it cannot be read). A child does it: the
// process that uses the store must never open and close the database file
// itself, since closing any descriptor of a file drops the process's POSIX
// locks on it, SQLite's among them.
VK_CHILD_MAIN(registry_count_in_copy) {
  int count = 255;
#if !defined(_WIN32)
  std::filesystem::copy_file(std::string(getenv("VK_SYSTEM_ROOT")) + "/registry.db", args.at(0));
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(args.at(0).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM vals WHERE name = ?", -1, &query, nullptr);
    sqlite3_bind_text(query, 1, args.at(1).c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(query) == SQLITE_ROW) count = sqlite3_column_int(query, 0);
    sqlite3_finalize(query);
  }
  sqlite3_close(db);
#endif
  return count;
}

class RegistryDatabaseFileTest : public vktest::ScratchDirTest {
 protected:
  void SetUp() override {
    if (vktest::IsWindowsTarget()) GTEST_SKIP() << "the database file belongs to the POSIX registry store";
    vktest::ScratchDirTest::SetUp();
  }

  // How many values of that name a copy of registry.db alone holds.
  int ValuesInCopyOfDatabaseFile(const std::string& name) {
    return vktest::ChildProcess("registry_count_in_copy", {PathOf("registry-copy.db"), name}).Wait();
  }
};

TEST_F(RegistryDatabaseFileTest, AFlushedValueIsInTheDatabaseFileItself) {
  Vk::VkRegistry key(HKEY_CURRENT_USER, kDurableKey, true, KEY_ALL_ACCESS);
  ASSERT_TRUE(key.WriteDword("flushed", 1));
  ASSERT_TRUE(key.Flush());
  EXPECT_EQ(1, ValuesInCopyOfDatabaseFile("flushed"));
}

TEST_F(RegistryDatabaseFileTest, AProcessThatEndsLeavesItsWritesInTheDatabaseFile) {
  // This process keeps its own connection open all along, as a long-running
  // host would: the file must still have the other process's value.
  Vk::VkRegistry(HKEY_CURRENT_USER, kDurableKey, true, KEY_ALL_ACCESS).WriteDword("opened", 1);
  vktest::ChildProcess child("registry_write_and_exit", {"exited"});
  ASSERT_TRUE(child.started());
  ASSERT_EQ(0, child.Wait());
  EXPECT_EQ(1, ValuesInCopyOfDatabaseFile("exited"));
}

// Checkpoints run beside the writers, but a writer that never pauses still
// brings the write-ahead log back to its beginning now and then: its file
// stays within a few thousand pages instead of growing with every write.
TEST_F(RegistryDatabaseFileTest, TheWriteAheadLogStaysBoundedUnderEndlessWrites) {
  Vk::VkRegistry key(HKEY_CURRENT_USER, kDurableKey, true, KEY_ALL_ACCESS);
  const DWORD writes = 12000;  // one 2 KiB page each
  for (DWORD i = 0; i < writes; ++i) ASSERT_TRUE(key.WriteDword("counted", i));
  std::error_code error;
  auto size = std::filesystem::file_size(std::string(getenv("VK_SYSTEM_ROOT")) + "/registry.db-wal", error);
  ASSERT_FALSE(error);
  EXPECT_LT(size, 6000u * 2072u) << "the log holds " << size / 2072 << " pages";
}

}  // namespace
