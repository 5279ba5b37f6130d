// Walking, querying, deleting and watching keys.
#include <vk/registry.h>

#include <stdlib.h>
#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/registry_fixture.h"
#include "support/test_support.h"

namespace {

using Vk::VkRegistry;

class RegistryTreeTest : public vktest::RegistryKeyTest {
 protected:
  void MakeKey(const std::string& relative) {
    ASSERT_TRUE(VkRegistry(HKEY_CURRENT_USER, (m_path + "\\" + relative).c_str(), true, KEY_ALL_ACCESS).IsOpen());
  }
  bool Exists(const std::string& relative) {
    return VkRegistry(HKEY_CURRENT_USER, (m_path + "\\" + relative).c_str(), false, KEY_READ).IsOpen();
  }

};

struct Seen {
  std::vector<std::string> names;
  std::vector<DWORD> indexes;
  size_t stopAfter = 1000;
};

bool CollectKey(const VkRegistry::KeyEntry* entry, LONG_PTR user) {
  Seen* seen = reinterpret_cast<Seen*>(user);
  seen->names.push_back(entry->pszName);
  seen->indexes.push_back(entry->dwIndex);
  return seen->names.size() < seen->stopAfter;
}

bool CollectValue(const VkRegistry::ValueEntry* entry, LONG_PTR user) {
  Seen* seen = reinterpret_cast<Seen*>(user);
  seen->names.push_back(std::string(entry->pszName) + "=" +
                        std::string(reinterpret_cast<const char*>(entry->pData), entry->dwDataSize));
  seen->indexes.push_back(entry->dwIndex);
  return true;
}

TEST_F(RegistryTreeTest, KeyWalksVisitEverySubKeyAndTellHowTheyEnded) {
  Seen none;
  EXPECT_TRUE(m_key.EnumKeys(CollectKey, reinterpret_cast<LONG_PTR>(&none)));
  EXPECT_TRUE(none.names.empty());
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, m_key.GetLastErrorCode());

  MakeKey("b");
  MakeKey("a");
  MakeKey("c");
  Seen all;
  EXPECT_TRUE(m_key.EnumKeys(CollectKey, reinterpret_cast<LONG_PTR>(&all)));
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), all.names);
  EXPECT_EQ((std::vector<DWORD>{0, 1, 2}), all.indexes);

  Seen two;
  two.stopAfter = 2;
  EXPECT_TRUE(m_key.EnumKeys(CollectKey, reinterpret_cast<LONG_PTR>(&two)));
  EXPECT_EQ(2u, two.names.size());
  EXPECT_EQ(ERROR_SUCCESS, m_key.GetLastErrorCode());

  VkRegistry closed;
  Seen nothing;
  EXPECT_FALSE(closed.EnumKeys(CollectKey, reinterpret_cast<LONG_PTR>(&nothing)));
  EXPECT_EQ(ERROR_INVALID_FUNCTION, closed.GetLastErrorCode());
  EXPECT_FALSE(closed.EnumValues(CollectValue, reinterpret_cast<LONG_PTR>(&nothing)));
  EXPECT_TRUE(nothing.names.empty());
}

TEST_F(RegistryTreeTest, ValueWalksHandOutNamesAndData) {
  m_key.WriteString("first", "1");
  m_key.WriteString("second", "22");
  Seen seen;
  EXPECT_TRUE(m_key.EnumValues(CollectValue, reinterpret_cast<LONG_PTR>(&seen)));
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, m_key.GetLastErrorCode());
  ASSERT_EQ(2u, seen.names.size());
  EXPECT_EQ(std::string("first=1") + '\0', seen.names[0]);
  EXPECT_EQ(std::string("second=22") + '\0', seen.names[1]);
}

TEST_F(RegistryTreeTest, ValuesKeepTheNameAndPlaceOfTheirFirstWrite) {
  m_key.WriteString("first", "1");
  m_key.WriteString("second", "2");
  m_key.WriteString("third", "3");
  m_key.WriteString("FIRST", "11");
  m_key.DeleteValue("second");
  m_key.WriteString("second", "22");
  Seen seen;
  EXPECT_TRUE(m_key.EnumValues(CollectValue, reinterpret_cast<LONG_PTR>(&seen)));
  ASSERT_EQ(3u, seen.names.size());
  EXPECT_EQ(std::string("first=11") + '\0', seen.names[0]) << "a rewrite keeps the name and the place";
  if (vktest::IsWindowsTarget()) return;  // Wine lists values by name; Windows promises no order
  EXPECT_EQ(std::string("third=3") + '\0', seen.names[1]);
  EXPECT_EQ(std::string("second=22") + '\0', seen.names[2]) << "a value written anew goes last";
}

// A walk by index goes on from where the last call stopped; a change of the
// key in between, or a jump, must still answer the index asked for.
TEST_F(RegistryTreeTest, EnumerationAnswersTheIndexAskedForAfterChangesAndJumps) {
  for (const char* name : {"v0", "v1", "v2", "v3", "v4"}) {
    ASSERT_TRUE(m_key.WriteDword(name, 1));
    MakeKey(std::string("k") + (name + 1));
  }
  auto valueAt = [&](DWORD index) {
    char name[16] = "";
    DWORD length = sizeof name;
    return m_key.EnumValue(index, name, &length) ? std::string(name) : std::string("<none>");
  };
  auto keyAt = [&](DWORD index) {
    char name[16] = "";
    DWORD length = sizeof name;
    return m_key.EnumKey(index, name, &length) ? std::string(name) : std::string("<none>");
  };
  EXPECT_EQ("v0", valueAt(0));
  EXPECT_EQ("v1", valueAt(1));
  EXPECT_EQ("k0", keyAt(0));
  EXPECT_EQ("k1", keyAt(1));
  ASSERT_TRUE(m_key.DeleteValue("v1"));
  ASSERT_TRUE(m_key.DeleteSubKey("k1", false));
  EXPECT_EQ("v3", valueAt(2)) << "the walk must not go on from before the deletion";
  EXPECT_EQ("k3", keyAt(2));
  EXPECT_EQ("v4", valueAt(3));
  EXPECT_EQ("k4", keyAt(3));
  EXPECT_EQ("<none>", valueAt(4));
  EXPECT_EQ("v0", valueAt(0)) << "a jump back";
  EXPECT_EQ("v3", valueAt(2)) << "a jump forward";
  EXPECT_EQ("k2", keyAt(1));
}

// The key's last write time as its parent's enumeration and the key's own
// information report it.
struct WriteTimes {
  unsigned long long own;
  unsigned long long listed;
};

unsigned long long Ticks(const FILETIME& time) {
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

WriteTimes WriteTimesOf(HKEY parent, const char* name) {
  FILETIME own = {}, listed = {};
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(parent, name, 0, KEY_READ, &key));
  EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, nullptr, nullptr, &own));
  RegCloseKey(key);
  char listedName[64];
  DWORD length = sizeof listedName;
  EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExA(parent, 0, listedName, &length, nullptr, nullptr, nullptr, &listed));
  return {Ticks(own), Ticks(listed)};
}

TEST_F(RegistryTreeTest, WritingAndDeletingValuesMoveTheKeysWriteTime) {
  MakeKey("timed");
  WriteTimes created = WriteTimesOf(m_key.GetKey(), "timed");
  EXPECT_EQ(created.own, created.listed);
  Sleep(30);
  VkRegistry timed(m_key.GetKey(), "timed", false, KEY_ALL_ACCESS);
  ASSERT_TRUE(timed.WriteDword("v", 1));
  WriteTimes written = WriteTimesOf(m_key.GetKey(), "timed");
  EXPECT_GT(written.own, created.own);
  EXPECT_EQ(written.own, written.listed);
  Sleep(30);
  ASSERT_TRUE(timed.DeleteValue("v"));
  WriteTimes deleted = WriteTimesOf(m_key.GetKey(), "timed");
  EXPECT_GT(deleted.own, written.own);
}

TEST_F(RegistryTreeTest, SingleEnumerationChecksItsArguments) {
  char name[8];
  BYTE data[8];
  DWORD length = sizeof name;
  EXPECT_FALSE(m_key.EnumValue(0, name, &length, nullptr, data, nullptr));
  EXPECT_EQ(ERROR_INVALID_DATA, m_key.GetLastErrorCode());
  MakeKey("much-too-long-for-eight");
  length = sizeof name;
  EXPECT_FALSE(m_key.EnumKey(0, name, &length));
  EXPECT_EQ(ERROR_MORE_DATA, m_key.GetLastErrorCode());
}

TEST_F(RegistryTreeTest, KeyInformationCountsWithoutTerminators) {
  MakeKey("abcd");
  m_key.WriteString("name5", "1234567");
  EXPECT_EQ(1u, m_key.GetSubKeyCount());
  EXPECT_TRUE(m_key.HasSubKeys());
  EXPECT_EQ(4u, m_key.GetMaxSubKeyLen());
  EXPECT_EQ(1u, m_key.GetValueCount());
  EXPECT_EQ(5u, m_key.GetMaxValueNameLen());
  EXPECT_EQ(16u, m_key.GetMaxValueLen()) << "Windows counts texts as it stores them, in UTF-16";
  const BYTE binary[20] = {};
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_key.GetKey(), "bin", 0, REG_BINARY, binary, sizeof binary));
  EXPECT_EQ(20u, m_key.GetMaxValueLen()) << "other data as it is";
  VkRegistry closed;
  EXPECT_EQ(0u, closed.GetSubKeyCount());
  EXPECT_EQ(ERROR_INVALID_FUNCTION, closed.GetLastErrorCode());
}

TEST_F(RegistryTreeTest, DeletionRestrictedToEmptyKeys) {
  MakeKey("full");
  VkRegistry(HKEY_CURRENT_USER, (m_path + "\\full").c_str(), false, KEY_ALL_ACCESS).WriteDword("v", 1);
  EXPECT_FALSE(m_key.DeleteSubKey("full", true));
  EXPECT_EQ(ERROR_KEY_HAS_CHILDREN, m_key.GetLastErrorCode());
  EXPECT_TRUE(Exists("full"));
  EXPECT_FALSE(m_key.DeleteSubKey("absent", true));
  EXPECT_EQ(ERROR_INVALID_FUNCTION, m_key.GetLastErrorCode());
  EXPECT_TRUE(m_key.DeleteSubKey("full", false));
  EXPECT_FALSE(Exists("full"));

  MakeKey("parent\\child");
  EXPECT_FALSE(m_key.DeleteSubKey("parent", false)) << "a key with sub-keys is refused";
  EXPECT_EQ(ERROR_ACCESS_DENIED, m_key.GetLastErrorCode());

  MakeKey("self");
  VkRegistry self(HKEY_CURRENT_USER, (m_path + "\\self").c_str(), false, KEY_ALL_ACCESS);
  self.WriteDword("v", 1);
  EXPECT_FALSE(self.DeleteKey(true)) << "the held key's own values count";
  EXPECT_EQ(ERROR_KEY_HAS_CHILDREN, self.GetLastErrorCode());
  self.DeleteValue("v");
  EXPECT_TRUE(self.DeleteKey(true));
  EXPECT_FALSE(self.IsOpen());
  EXPECT_FALSE(Exists("self"));
}

TEST_F(RegistryTreeTest, WalksWithoutACallbackFailBeforeTheFirstEntry) {
  MakeKey("sub");
  m_key.WriteDword("value", 1);
  EXPECT_FALSE(m_key.EnumKeys(nullptr, 0));
  EXPECT_EQ(ERROR_INVALID_DATA, m_key.GetLastErrorCode());
  EXPECT_FALSE(m_key.EnumValues(nullptr, 0));
  EXPECT_EQ(ERROR_INVALID_DATA, m_key.GetLastErrorCode());
  Seen seen;
  EXPECT_TRUE(m_key.EnumKeys(CollectKey, reinterpret_cast<LONG_PTR>(&seen))) << "the key stays usable";
  EXPECT_EQ(1u, seen.names.size());
}

TEST_F(RegistryTreeTest, DeletingANullSubKeyDeletesNothing) {
  ASSERT_TRUE(m_key.WriteDword("kept", 1));
  for (bool onlyIfEmpty : {false, true}) {
    EXPECT_FALSE(m_key.DeleteSubKey(nullptr, onlyIfEmpty));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, m_key.GetLastErrorCode());
  }
  DWORD value = 0;
  EXPECT_TRUE(VkRegistry(HKEY_CURRENT_USER, m_path.c_str(), false, KEY_READ).ReadDword("kept", &value))
      << "the held key is still there";
  EXPECT_TRUE(m_key.ReadDword("kept", &value)) << "and still held";
}

TEST_F(RegistryTreeTest, TreesAreDeletedDepthFirst) {
  MakeKey("tree\\one\\deep");
  MakeKey("tree\\two");
  VkRegistry worker;
  EXPECT_FALSE(worker.DeleteTree(HKEY_CURRENT_USER, (m_path + "\\nothing").c_str()));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, worker.GetLastErrorCode());
  EXPECT_TRUE(worker.DeleteTree(HKEY_CURRENT_USER, (m_path + "\\tree").c_str()));
  EXPECT_EQ(ERROR_SUCCESS, worker.GetLastErrorCode());
  EXPECT_FALSE(Exists("tree"));

  MakeKey("bypath\\one\\deep");
  MakeKey("bypath\\two");
  EXPECT_FALSE(worker.DeleteTreeByPath(HKEY_CURRENT_USER, (m_path + "\\nothing").c_str(), false));
  EXPECT_EQ(ERROR_INVALID_FUNCTION, worker.GetLastErrorCode());
  EXPECT_TRUE(worker.DeleteTreeByPath(HKEY_CURRENT_USER, (m_path + "\\bypath").c_str(), false));
  EXPECT_FALSE(Exists("bypath"));
}

TEST_F(RegistryTreeTest, TreeDeletionByPathStopsAtAKeyItMayNotDelete) {
  MakeKey("guarded\\a");
  MakeKey("guarded\\b");
  VkRegistry(HKEY_CURRENT_USER, (m_path + "\\guarded\\a").c_str(), false, KEY_ALL_ACCESS).WriteDword("v", 1);
  VkRegistry worker;
  EXPECT_FALSE(worker.DeleteTreeByPath(HKEY_CURRENT_USER, (m_path + "\\guarded").c_str(), true));
  EXPECT_EQ(ERROR_KEY_HAS_CHILDREN, worker.GetLastErrorCode());
  EXPECT_TRUE(Exists("guarded\\a"));
  EXPECT_TRUE(Exists("guarded\\b")) << "it stopped at the first key it could not delete";
}

// Windows keeps a key at most 512 levels below the top of the registry,
// which lies above HKEY_USERS: the current user's key is the third level
// and the test's key, Software\vkdiag-tests\<name> below it, the sixth.
constexpr int kTestKeyLevel = 6;
constexpr int kDeepestLevel = 512;

// Makes the chain deep\d\d... below the test's key down to the deepest
// level the registry allows, one level per call (Windows creates at most 32
// levels in one call), and leaves the deepest key held by *deepest.
void MakeDeepestChain(HKEY testKey, VkRegistry* deepest) {
  ASSERT_TRUE(deepest->Open(testKey, "deep", true, KEY_ALL_ACCESS));
  for (int level = kTestKeyLevel + 2; level <= kDeepestLevel; ++level)
    ASSERT_TRUE(deepest->Open(deepest->GetKey(), "d", true, KEY_ALL_ACCESS))
        << "level " << level << ": " << deepest->GetLastErrorCode();
}

TEST_F(RegistryTreeTest, TheDeepestTreeTheRegistryAllowsIsDeleted) {
  VkRegistry deepest;
  ASSERT_NO_FATAL_FAILURE(MakeDeepestChain(m_key.GetKey(), &deepest));
  if (!vktest::RunningUnderWine()) {
    VkRegistry deeper(deepest.GetKey(), "d", true, KEY_ALL_ACCESS);
    EXPECT_FALSE(deeper.IsOpen()) << "no key below the deepest level";
    if (!vktest::IsWindowsTarget()) {
      EXPECT_EQ(ERROR_INVALID_PARAMETER, deeper.GetLastErrorCode());
    }
  }
  deepest.Close();
  VkRegistry worker;
  EXPECT_TRUE(worker.DeleteTree(HKEY_CURRENT_USER, Sub("deep").c_str())) << worker.GetLastErrorCode();
  EXPECT_FALSE(Exists("deep"));
}

TEST_F(RegistryTreeTest, TheDeepestTreeTheRegistryAllowsIsDeletedByPath) {
  if (vktest::RunningUnderWine())
    GTEST_SKIP() << "Wine refuses to open sub-key paths as long as this walk builds (234)";
  VkRegistry deepest;
  ASSERT_NO_FATAL_FAILURE(MakeDeepestChain(m_key.GetKey(), &deepest));
  deepest.Close();
  VkRegistry worker;
  EXPECT_TRUE(worker.DeleteTreeByPath(HKEY_CURRENT_USER, Sub("deep").c_str(), false)) << worker.GetLastErrorCode();
  EXPECT_FALSE(Exists("deep"));
}

TEST_F(RegistryTreeTest, APathReachingBelowTheDeepestLevelCreatesNothing) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "Wine does not enforce Windows' depth limit";
  VkRegistry deepest;
  ASSERT_NO_FATAL_FAILURE(MakeDeepestChain(m_key.GetKey(), &deepest));
  std::string aboveDeepest = "deep";
  for (int level = kTestKeyLevel + 2; level < kDeepestLevel; ++level) aboveDeepest += "\\d";
  VkRegistry parent(m_key.GetKey(), aboveDeepest.c_str(), false, KEY_ALL_ACCESS);
  ASSERT_TRUE(parent.IsOpen());
  HKEY created = nullptr;
  EXPECT_EQ(ERROR_INVALID_PARAMETER,
            RegCreateKeyExA(parent.GetKey(), "x\\y", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr));
  EXPECT_EQ(nullptr, created);
  EXPECT_FALSE(VkRegistry(parent.GetKey(), "x", false, KEY_READ).IsOpen()) << "the level that fitted is not kept";
}

// In an empty registry kept under args[0]: every way of deleting the keys
// behind the predefined handles is refused with ERROR_ACCESS_DENIED, and
// the current user's key works afterwards. Returns the number of the first
// check that failed, 0 when all passed.
VK_CHILD_MAIN(registry_delete_predefined) {
#if defined(_WIN32)
  return -1;  // the test does not run on Windows
#else
  setenv("VK_SYSTEM_ROOT", args.at(0).c_str(), 1);
  std::string currentUser = "S-1-22-1-" + std::to_string(getuid());
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS) return 1;
  if (RegDeleteKeyA(HKEY_CURRENT_USER, "") != ERROR_ACCESS_DENIED) return 2;
  if (RegDeleteKeyA(handle, "") != ERROR_ACCESS_DENIED) return 3;
  if (SHDeleteKeyA(handle, "") != ERROR_ACCESS_DENIED) return 4;
  if (RegDeleteKeyA(HKEY_USERS, currentUser.c_str()) != ERROR_ACCESS_DENIED) return 5;
  if (RegDeleteKeyA(HKEY_CLASSES_ROOT, "") != ERROR_ACCESS_DENIED) return 6;
  if (SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes") != ERROR_ACCESS_DENIED) return 7;
  if (SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE") != ERROR_ACCESS_DENIED) return 8;
  RegCloseKey(handle);
  if (!VkRegistry(HKEY_CURRENT_USER, "Software\\App", true, KEY_ALL_ACCESS).WriteDword("v", 1)) return 9;
  VkRegistry worker;
  if (worker.DeleteTree(HKEY_CURRENT_USER, "\\") || worker.GetLastErrorCode() != ERROR_ACCESS_DENIED) return 10;
  if (VkRegistry(HKEY_CURRENT_USER, "Software", false, KEY_READ).IsOpen()) return 11;  // below it, all went
  VkRegistry after(HKEY_CURRENT_USER, "Software\\After", true, KEY_ALL_ACCESS);
  DWORD value = 0;
  if (!after.WriteDword("v", 2) || !after.ReadDword("v", &value) || value != 2) return 12;
  if (worker.DeleteTree(HKEY_CLASSES_ROOT, "\\") || worker.GetLastErrorCode() != ERROR_ACCESS_DENIED) return 13;
  if (!VkRegistry(HKEY_CLASSES_ROOT, ".txt", true, KEY_ALL_ACCESS).IsOpen()) return 14;
  // A key that a program made right below a root is no hive: it may go.
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_USERS}) {
    if (!VkRegistry(root, "vkdiag-made-here", true, KEY_ALL_ACCESS).IsOpen()) return 15;
    if (RegDeleteKeyA(root, "vkdiag-made-here") != ERROR_SUCCESS) return 16;
  }
  if (RegDeleteKeyA(HKEY_USERS, ".DEFAULT") != ERROR_ACCESS_DENIED &&
      RegDeleteKeyA(HKEY_USERS, ".DEFAULT") != ERROR_FILE_NOT_FOUND)
    return 17;
  return 0;
#endif
}

TEST(RegistryPredefinedKeysTest, TheKeysBehindPredefinedHandlesAreNeverDeleted) {
  if (vktest::IsWindowsTarget())
    GTEST_SKIP() << "would try to delete the machine's current user key; Wine deletes it where Windows refuses";
  vktest::fs::path root = vktest::fs::temp_directory_path() /
                          ("vkdiag-predefined-" + std::to_string(vktest::GetCurrentProcessIdForTests()));
  vktest::fs::remove_all(root);
  vktest::fs::create_directories(root);
  EXPECT_EQ(0, vktest::ChildProcess("registry_delete_predefined", {root.string()}).Wait());
  vktest::fs::remove_all(root);
}

// Whether a watch of the test's key, on a handle of its own, is signalled
// by change().
template <typename Change>
bool Signalled(const std::string& path, bool subtree, DWORD filter, Change change) {
  VkRegistry watched(HKEY_CURRENT_USER, path.c_str(), false, KEY_READ);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_TRUE(watched.NotifyChange(subtree, filter, event));
  change();
  bool signalled = WaitForSingleObject(event, 300) == WAIT_OBJECT_0;
  CloseHandle(event);
  return signalled;
}

TEST_F(RegistryTreeTest, NotificationFiltersSelectTheChanges) {
  m_key.WriteDword("old", 1);
  MakeKey("sub");
  VkRegistry sub(m_key.GetKey(), "sub", false, KEY_ALL_ACCESS);
  EXPECT_TRUE(Signalled(m_path, false, REG_NOTIFY_CHANGE_LAST_SET, [&] { m_key.DeleteValue("old"); }));
  EXPECT_TRUE(Signalled(m_path, false, REG_NOTIFY_CHANGE_LAST_SET, [&] { m_key.WriteDword("new", 1); }));
  EXPECT_TRUE(Signalled(m_path, false, REG_NOTIFY_CHANGE_LAST_SET, [&] { m_key.WriteDword("new", 2); }));
  EXPECT_FALSE(Signalled(m_path, false, REG_NOTIFY_CHANGE_NAME, [&] { m_key.WriteDword("new", 3); }));
  EXPECT_FALSE(Signalled(m_path, false, REG_NOTIFY_CHANGE_LAST_SET, [&] { sub.WriteDword("below", 1); }))
      << "the key alone is watched";
  EXPECT_TRUE(Signalled(m_path, true, REG_NOTIFY_CHANGE_LAST_SET, [&] { sub.WriteDword("below", 2); }));
  EXPECT_TRUE(Signalled(m_path, false, REG_NOTIFY_CHANGE_NAME, [&] { m_key.DeleteSubKey("sub", false); }));
}

// Writing a value again with the type and data it has is no change, as
// under Wine: no watcher wakes and the key's last write time stays.
TEST_F(RegistryTreeTest, RewritingTheSameDataChangesNothing) {
  ASSERT_TRUE(m_key.WriteDword("same", 5));
  ASSERT_TRUE(m_key.WriteString("text", "same"));
  FILETIME before = {};
  ASSERT_TRUE(m_key.QueryInfoKey(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &before));
  Sleep(20);
  EXPECT_FALSE(Signalled(m_path, false, REG_NOTIFY_CHANGE_LAST_SET, [&] {
    EXPECT_TRUE(m_key.WriteDword("same", 5));
    EXPECT_TRUE(m_key.WriteString("text", "same"));
  }));
  FILETIME after = {};
  ASSERT_TRUE(m_key.QueryInfoKey(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &after));
  EXPECT_EQ(before.dwLowDateTime, after.dwLowDateTime);
  EXPECT_EQ(before.dwHighDateTime, after.dwHighDateTime);
  DWORD five = 5;
  EXPECT_TRUE(Signalled(m_path, false, REG_NOTIFY_CHANGE_LAST_SET, [&] {
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(m_key.GetKey(), "same", 0, REG_BINARY, reinterpret_cast<BYTE*>(&five), sizeof five));
  })) << "the same bytes as another type are a change";
  EXPECT_TRUE(Signalled(m_path, false, REG_NOTIFY_CHANGE_LAST_SET, [&] { EXPECT_TRUE(m_key.WriteString("text", "other")); }));
}

// As under Wine, filter bits it does not know are ignored and a filter that
// selects nothing is taken: such a watch waits, but no value wakes it.
TEST_F(RegistryTreeTest, NotificationFiltersIgnoreUnknownBits) {
  EXPECT_TRUE(Signalled(m_path, false, 0x100 | REG_NOTIFY_CHANGE_LAST_SET, [&] { m_key.WriteDword("v", 1); }));
  EXPECT_FALSE(Signalled(m_path, false, 0, [&] { m_key.WriteDword("v", 2); }));
}

TEST_F(RegistryTreeTest, NotificationSignalsAChange) {
  VkRegistry closed;
  EXPECT_FALSE(closed.NotifyChange(false, REG_NOTIFY_CHANGE_LAST_SET));
  EXPECT_EQ(ERROR_INVALID_FUNCTION, closed.GetLastErrorCode());

  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(nullptr, event);
  ASSERT_TRUE(m_key.NotifyChange(false, REG_NOTIFY_CHANGE_LAST_SET, event));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 50));
  VkRegistry writer(HKEY_CURRENT_USER, m_path.c_str(), false, KEY_ALL_ACCESS);
  writer.WriteDword("changed", 1);
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 5000));

  CloseHandle(event);
  EXPECT_TRUE(Signalled(m_path, true, REG_NOTIFY_CHANGE_NAME, [&] { MakeKey("sub\\deeper"); })) << "a subtree change";

  // The synchronous form blocks until a change comes, so the writer cannot
  // know when the wait has begun: it writes until the call returns, and a
  // write made before the wait began only costs one more round.
  std::atomic<bool> returned{false};
  std::thread changes([this, &returned] {
    VkRegistry key(HKEY_CURRENT_USER, m_path.c_str(), false, KEY_ALL_ACCESS);
    for (DWORD round = 0; round < 200 && !returned.load(); ++round) {
      key.WriteDword("later", round);
      Sleep(50);
    }
  });
  EXPECT_TRUE(m_key.NotifyChange(false, REG_NOTIFY_CHANGE_LAST_SET)) << "the synchronous form returns after the change";
  returned.store(true);
  changes.join();
}

}  // namespace
