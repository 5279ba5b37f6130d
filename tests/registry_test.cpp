// The registry key wrapper on the real registry of each target. Under Wine
// these tests check the POSIX registry's behaviour against Windows'.
#include <vk/registry.h>

#include <string.h>

#include <string>
#include <vector>

#include "support/registry_fixture.h"
#include "support/test_support.h"

namespace {

using Vk::VkRegistry;

class RegistryTest : public vktest::RegistryKeyTest {};

TEST_F(RegistryTest, PathsAreNormalisedBeforeTheyReachThePlatform) {
  VkRegistry key;
  std::string messy = "\\\\" + m_path + "\\Alpha\\Beta\\";
  ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, messy.c_str(), KEY_ALL_ACCESS));
  EXPECT_EQ(m_path + "\\Alpha\\Beta", key.GetPath());
  std::string twoTrailing = m_path + "\\Alpha\\Beta\\\\";
  EXPECT_TRUE(key.Open(HKEY_CURRENT_USER, twoTrailing.c_str(), false, KEY_READ));
  EXPECT_EQ(m_path + "\\Alpha\\Beta\\", key.GetPath());
  EXPECT_TRUE(key.Open(m_key.GetKey(), "\\\\", false, KEY_READ)) << "backslashes only name the parent itself";
  EXPECT_STREQ("", key.GetPath());
}

TEST_F(RegistryTest, EmptyPathsFailWithInvalidData) {
  EXPECT_FALSE(m_key.Open(m_key.GetKey(), "", false, KEY_READ));
  EXPECT_EQ(ERROR_INVALID_DATA, m_key.GetLastErrorCode());
  EXPECT_TRUE(m_key.IsOpen()) << "an empty path below the held key keeps it";
  EXPECT_TRUE(m_key.WriteDword("still", 1));
  VkRegistry other(HKEY_CURRENT_USER, m_path.c_str(), false, KEY_READ);
  EXPECT_FALSE(other.Open(HKEY_CURRENT_USER, nullptr, false, KEY_READ));
  EXPECT_FALSE(other.IsOpen()) << "below another parent the object ends closed";
}

TEST_F(RegistryTest, OpeningRelativeToTheHeldKeyReplacesIt) {
  ASSERT_TRUE(VkRegistry(m_key.GetKey(), "Child", true, KEY_ALL_ACCESS).IsOpen());
  VkRegistry key(HKEY_CURRENT_USER, m_path.c_str(), false, KEY_ALL_ACCESS);
  EXPECT_TRUE(key.Open(key.GetKey(), "Child", false, KEY_READ));
  EXPECT_STREQ("Child", key.GetPath());
  EXPECT_FALSE(key.Open(key.GetKey(), "Missing", false, KEY_READ));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.GetLastErrorCode());
  EXPECT_FALSE(key.IsOpen());
}

TEST_F(RegistryTest, ClosedObjectsFailEveryValueOperationWithInvalidFunction) {
  VkRegistry closed;
  DWORD number = 7;
  EXPECT_FALSE(closed.ReadDword("x", &number));
  EXPECT_EQ(ERROR_INVALID_FUNCTION, closed.GetLastErrorCode());
  EXPECT_FALSE(closed.WriteString("x", nullptr));
  EXPECT_EQ(ERROR_INVALID_FUNCTION, closed.GetLastErrorCode()) << "the guard comes before argument checks";
  EXPECT_EQ(nullptr, closed.ReadString("x"));
  EXPECT_FALSE(closed.Close());
  EXPECT_EQ(ERROR_INVALID_FUNCTION, closed.GetLastErrorCode());
  bool flag = true;
  EXPECT_FALSE(closed.ReadBool("x", nullptr));
  EXPECT_EQ(ERROR_INVALID_DATA, closed.GetLastErrorCode()) << "ReadBool checks its pointer first";
  EXPECT_FALSE(closed.ReadBool("x", &flag));
  EXPECT_TRUE(flag);
}

TEST_F(RegistryTest, NumbersAndFlags) {
  ASSERT_TRUE(m_key.WriteDword("one", 1));
  ASSERT_TRUE(m_key.WriteDword("two", 2));
  ASSERT_TRUE(m_key.WriteString("text", "1"));
  DWORD number = 99;
  EXPECT_TRUE(m_key.ReadDword("two", &number));
  EXPECT_EQ(2u, number);
  number = 99;
  EXPECT_FALSE(m_key.ReadDword("missing", &number));
  EXPECT_EQ(ERROR_INVALID_DATATYPE, m_key.GetLastErrorCode()) << "a missing value reads as the wrong type";
  EXPECT_EQ(99u, number);
  EXPECT_FALSE(m_key.ReadDword("text", &number));
  EXPECT_EQ(ERROR_INVALID_DATATYPE, m_key.GetLastErrorCode());
  bool flag = false;
  EXPECT_TRUE(m_key.ReadBool("one", &flag));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(m_key.ReadBool("two", &flag));
  EXPECT_FALSE(flag) << "only 1 means true";
  flag = true;
  EXPECT_FALSE(m_key.ReadBool("missing", &flag));
  EXPECT_TRUE(flag);
  long asLong = 0;
  int asInt = 0;
  EXPECT_TRUE(m_key.ReadLong("two", &asLong));
  EXPECT_TRUE(m_key.ReadInt("two", &asInt));
  EXPECT_EQ(2, asLong);
  EXPECT_EQ(2, asInt);
}

TEST_F(RegistryTest, StringsInBothForms) {
  ASSERT_TRUE(m_key.WriteString("abc", "abc"));
  ASSERT_TRUE(m_key.WriteString("empty", ""));
  ASSERT_TRUE(m_key.WriteString("expand", "%TEMP%\\x", REG_EXPAND_SZ));
  EXPECT_FALSE(m_key.WriteString("bad", "x", REG_DWORD));
  EXPECT_EQ(ERROR_UNSUPPORTED_TYPE, m_key.GetLastErrorCode());
  m_key.WriteDword("number", 5);

  char buffer[16];
  DWORD size = sizeof buffer;
  EXPECT_TRUE(m_key.ReadString("abc", buffer, &size));
  EXPECT_EQ(4u, size) << "the terminator is stored";
  size = 2;
  EXPECT_FALSE(m_key.ReadString("abc", buffer, &size));
  EXPECT_EQ(ERROR_MORE_DATA, m_key.GetLastErrorCode());
  EXPECT_EQ(4u, size);

  EXPECT_STREQ("abc", m_key.ReadString("abc"));
  EXPECT_STREQ("", m_key.ReadString("empty"));
  EXPECT_STREQ("%TEMP%\\x", m_key.ReadString("expand")) << "stored and read back unexpanded";
  EXPECT_EQ(nullptr, m_key.ReadString("number"));
  EXPECT_EQ(ERROR_MORE_DATA, m_key.GetLastErrorCode());
  EXPECT_EQ(nullptr, m_key.ReadString("missing"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, m_key.GetLastErrorCode());
  EXPECT_FALSE(m_key.ReadDword("missing", nullptr));
}

// Texts past a page of the store, and past what a process keeps of what it
// read, come back whole, also after being rewritten shorter or longer.
TEST_F(RegistryTest, LongTextsComeBackWholeAfterRewrites) {
  for (size_t length : {300u, 5000u, 100000u, 20u, 70000u}) {
    std::string text(length, 'x');
    for (size_t i = 0; i < length; i += 97) text[i] = static_cast<char>('a' + i % 26);
    ASSERT_TRUE(m_key.WriteString("long", text.c_str())) << length;
    const char* read = m_key.ReadString("long");
    ASSERT_NE(nullptr, read) << length;
    EXPECT_EQ(text, read) << length;
  }
}

TEST_F(RegistryTest, PointerReadsAreTerminatedAndPrivateToTheirObject) {
  const BYTE raw[] = {'x', 'y', 'z', 'Q'};  // stored without a terminator: no NUL after the data
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_key.GetKey(), "raw", 0, REG_SZ, raw, 3));
  const BYTE one[] = {'q', 'Q'};
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_key.GetKey(), "one", 0, REG_SZ, one, 1));
  m_key.WriteString("empty", "");
  VkRegistry other(HKEY_CURRENT_USER, m_path.c_str(), false, KEY_READ);
  const char* first = m_key.ReadString("raw");
  const char* second = other.ReadString("empty");
  ASSERT_NE(nullptr, first);
  ASSERT_NE(nullptr, second);
  EXPECT_STREQ("xyz", first);
  EXPECT_STREQ("", second);
  EXPECT_NE(first, second);
  EXPECT_STREQ("q", other.ReadString("one"));
}

TEST_F(RegistryTest, ReadOnlyHandlesRefuseWrites) {
  VkRegistry reader(HKEY_CURRENT_USER, m_path.c_str(), false, KEY_READ);
  EXPECT_FALSE(reader.WriteDword("x", 1));
  EXPECT_EQ(ERROR_ACCESS_DENIED, reader.GetLastErrorCode());
  EXPECT_FALSE(reader.DeleteValue("x"));
}

// Windows checks the parent handle's access for reading and writing its
// values, not for making a sub-key below it.
TEST_F(RegistryTest, ReadOnlyKeysStillCreateSubKeys) {
  VkRegistry reader(HKEY_CURRENT_USER, m_path.c_str(), false, KEY_READ);
  VkRegistry* child = reader.OpenSubKey("Made", true);
  ASSERT_NE(nullptr, child) << reader.GetLastErrorCode();
  EXPECT_TRUE(child->WriteDword("v", 1)) << "the new key has the access it was asked for";
  delete child;
  HKEY created = nullptr;
  DWORD disposition = 0;
  EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(reader.GetKey(), "Raw", 0, nullptr, 0, KEY_READ, nullptr, &created,
                                           &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
  RegCloseKey(created);
  EXPECT_FALSE(reader.WriteDword("x", 1)) << "the parent handle itself stays read-only";
}

// Empty names inside or at the end of a sub-key path are skipped, as
// Windows does; a path that starts with a backslash is refused.
TEST_F(RegistryTest, SubKeyPathsSkipEmptyNamesButNotALeadingBackslash) {
  HKEY parent = m_key.GetKey();
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(parent, "X\\", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
  RegCloseKey(key);
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(parent, "X\\\\", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
  RegCloseKey(key);
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(parent, "X\\\\\\", 0, KEY_READ, &key));
  RegCloseKey(key);

  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(parent, "Y\\\\Z", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegCloseKey(key);
  EXPECT_TRUE(VkRegistry(parent, "Y\\Z", false, KEY_READ).IsOpen()) << "a doubled backslash separates two names";
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(parent, "Y\\\\\\Z\\\\", 0, KEY_READ, &key));
  RegCloseKey(key);

  for (const char* leading : {"\\X", "\\\\X", "\\"}) {
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegOpenKeyExA(parent, leading, 0, KEY_READ, &key)) << leading;
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegCreateKeyExA(parent, leading, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                                  nullptr)) << leading;
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegDeleteKeyA(parent, leading)) << leading;
    EXPECT_EQ(ERROR_BAD_PATHNAME, SHDeleteKeyA(parent, leading)) << leading;
  }
  EXPECT_EQ(ERROR_BAD_PATHNAME, RegCreateKeyExA(parent, "\\W", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  EXPECT_FALSE(VkRegistry(parent, "W", false, KEY_READ).IsOpen());
  EXPECT_TRUE(VkRegistry(parent, "X", false, KEY_READ).IsOpen()) << "nothing was deleted";

  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(parent, "Y\\\\Z\\"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(parent, "X\\"));
  EXPECT_FALSE(VkRegistry(parent, "X", false, KEY_READ).IsOpen());
  EXPECT_FALSE(VkRegistry(parent, "Y\\Z", false, KEY_READ).IsOpen());
}

TEST_F(RegistryTest, ValuesAndNamesIgnoreCase) {
  m_key.WriteDword("Mixed", 3);
  DWORD value = 0;
  EXPECT_TRUE(m_key.ReadDword("MIXED", &value));
  EXPECT_EQ(3u, value);
  EXPECT_TRUE(VkRegistry(HKEY_CURRENT_USER, (m_path + "\\CaseKey").c_str(), true, KEY_ALL_ACCESS).IsOpen());
  VkRegistry again(HKEY_CURRENT_USER, (m_path + "\\CASEKEY").c_str(), false, KEY_READ);
  EXPECT_TRUE(again.IsOpen());
  char name[32];
  DWORD length = sizeof name;
  EXPECT_TRUE(m_key.EnumKey(0, name, &length));
  EXPECT_STREQ("CaseKey", name) << "names keep the case they were written with";
  EXPECT_EQ(7u, length);
}

TEST_F(RegistryTest, OpenSubKeyAndAttach) {
  VkRegistry* child = m_key.OpenSubKey("Missing", false);
  EXPECT_EQ(nullptr, child);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, m_key.GetLastErrorCode());
  child = m_key.OpenSubKey("Made", true);
  ASSERT_NE(nullptr, child);
  EXPECT_TRUE(child->WriteDword("v", 1));
  delete child;

  HKEY raw = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, m_path.c_str(), 0, KEY_READ, &raw));
  VkRegistry attached;
  EXPECT_TRUE(attached.Attach(raw));
  EXPECT_EQ(nullptr, attached.GetPath());
  EXPECT_TRUE(attached.Close());
}

TEST_F(RegistryTest, ConnectAcceptsEveryFormOfTheLocalName) {
  std::string host = vktest::LocalMachineName();
  for (std::string name : {host, "\\" + host, "\\\\" + host}) {
    VkRegistry remote;
    EXPECT_TRUE(remote.Connect(name.c_str(), HKEY_LOCAL_MACHINE)) << name << ": " << remote.GetLastErrorCode();
    EXPECT_TRUE(remote.IsRemote());
    EXPECT_EQ(nullptr, remote.GetPath());
  }
  VkRegistry remote;
  EXPECT_FALSE(remote.OpenRemote(host.c_str(), HKEY_LOCAL_MACHINE, "", false, KEY_READ));
  EXPECT_EQ(ERROR_INVALID_DATA, remote.GetLastErrorCode());
  EXPECT_TRUE(remote.IsOpen()) << "an empty path leaves the remote root held";
  EXPECT_TRUE(remote.IsRemote());
  EXPECT_TRUE(remote.OpenRemote(host.c_str(), HKEY_LOCAL_MACHINE, "Software\\vkdiag-tests-remote", true, KEY_ALL_ACCESS));
  EXPECT_TRUE(remote.IsRemote());
  remote.Close();
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\vkdiag-tests-remote");
  EXPECT_FALSE(remote.Connect("no-such-host.invalid", HKEY_LOCAL_MACHINE));
}

TEST_F(RegistryTest, LocalNamesAndOthersWhenConnecting) {
  if (vktest::IsWindowsTarget()) GTEST_SKIP() << "Wine accepts only the computer's own name";
  for (const char* name : {"", ".", "localhost", "\\\\localhost", "\\."}) {
    VkRegistry remote;
    EXPECT_TRUE(remote.Connect(name, HKEY_LOCAL_MACHINE)) << name;
  }
  VkRegistry remote;
  EXPECT_FALSE(remote.Connect("no-such-host.invalid", HKEY_LOCAL_MACHINE));
  EXPECT_EQ(ERROR_BAD_NETPATH, remote.GetLastErrorCode());
  EXPECT_FALSE(remote.Connect("localhost", HKEY_CURRENT_USER)) << "only the machine-wide roots are reachable";
}

TEST_F(RegistryTest, DeletedKeysFailThroughStaleHandles) {
  VkRegistry child(HKEY_CURRENT_USER, Sub("Doomed").c_str(), true, KEY_ALL_ACCESS);
  ASSERT_TRUE(child.IsOpen());
  EXPECT_TRUE(m_key.DeleteSubKey("Doomed", false));
  EXPECT_FALSE(child.WriteDword("x", 1));
  EXPECT_EQ(ERROR_KEY_DELETED, child.GetLastErrorCode());
}

// Each read right after a write of the same process returns what that write
// left: a new number, a new type, a removed value, and data too large for
// the POSIX layer's cache replacing a small value it had kept.
TEST_F(RegistryTest, ReadsAfterOwnWritesSeeWhatTheyLeft) {
  DWORD number = 0;
  ASSERT_TRUE(m_key.WriteDword("v", 1));
  EXPECT_TRUE(m_key.ReadDword("v", &number));
  EXPECT_EQ(1u, number);
  ASSERT_TRUE(m_key.WriteDword("V", 2));
  EXPECT_TRUE(m_key.ReadDword("v", &number));
  EXPECT_EQ(2u, number);

  ASSERT_TRUE(m_key.WriteString("v", "text"));
  EXPECT_FALSE(m_key.ReadDword("v", &number));
  EXPECT_EQ(ERROR_INVALID_DATATYPE, m_key.GetLastErrorCode());
  EXPECT_STREQ("text", m_key.ReadString("v"));

  ASSERT_TRUE(m_key.DeleteValue("v"));
  EXPECT_EQ(nullptr, m_key.ReadString("v"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, m_key.GetLastErrorCode());

  std::string large(9000, 'x');
  ASSERT_TRUE(m_key.WriteString("v", "small"));
  EXPECT_STREQ("small", m_key.ReadString("v"));
  ASSERT_TRUE(m_key.WriteString("v", large.c_str()));
  const char* read = m_key.ReadString("v");
  ASSERT_NE(nullptr, read);
  EXPECT_EQ(large, read);

  VkRegistry doomed(HKEY_CURRENT_USER, Sub("Doomed").c_str(), true, KEY_ALL_ACCESS);
  ASSERT_TRUE(doomed.WriteDword("d", 1));
  ASSERT_TRUE(m_key.DeleteSubKey("Doomed", false));
  EXPECT_FALSE(doomed.WriteDword("d", 2));
  EXPECT_FALSE(VkRegistry(HKEY_CURRENT_USER, Sub("Doomed").c_str(), false, KEY_READ).IsOpen());
  EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(doomed.GetKey(), "d", nullptr, nullptr, nullptr, nullptr));
}

// A text whose size leaves out its terminator while a NUL follows (the
// strlen() slip) is stored with it, as Windows stores it; other types and
// texts followed by no NUL are stored as given. Wine's tests of this pass on
// Windows.
TEST_F(RegistryTest, TextsSetWithoutTheirTerminatorKeepIt) {
  const char followedByNul[] = "xyz";
  const char followedByMore[] = "xyzQ";
  for (DWORD type : {static_cast<DWORD>(REG_SZ), static_cast<DWORD>(REG_EXPAND_SZ), static_cast<DWORD>(REG_MULTI_SZ),
                     static_cast<DWORD>(REG_BINARY)}) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_key.GetKey(), "slip", 0, type,
                                            reinterpret_cast<const BYTE*>(followedByNul), 3));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_key.GetKey(), "bare", 0, type,
                                            reinterpret_cast<const BYTE*>(followedByMore), 3));
    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(m_key.GetKey(), "slip", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(type == REG_BINARY ? 3u : 4u, size) << type;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(m_key.GetKey(), "bare", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(3u, size) << type;
  }
}

// Windows limits a value's name to 16,383 characters: a longer name is
// refused when set and names no value when read or deleted.
TEST_F(RegistryTest, ValueNamesStopAt16383Characters) {
  std::string longest(16383, 'v');
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(m_key.GetKey(), longest.c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>("x"), 2));
  DWORD size = 0;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(m_key.GetKey(), longest.c_str(), nullptr, nullptr, nullptr, &size));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(m_key.GetKey(), longest.c_str()));
  for (size_t length : {16384u, 20000u}) {
    std::string overlong(length, 'v');
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueExA(m_key.GetKey(), overlong.c_str(), 0, REG_SZ,
                                                      reinterpret_cast<const BYTE*>("x"), 2)) << length;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(m_key.GetKey(), overlong.c_str(), nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(m_key.GetKey(), overlong.c_str())) << length;
  }
  EXPECT_EQ(0u, m_key.GetValueCount()) << "nothing was stored";
}

// A volatile key takes only volatile sub-keys (ERROR_CHILD_MUST_BE_VOLATILE),
// also on the way down a path; every key a volatile create makes is
// volatile, and an existing key keeps what it is whatever the option.
TEST_F(RegistryTest, VolatileKeysTakeOnlyVolatileSubKeys) {
  auto create = [&](HKEY parent, const char* path, DWORD options, DWORD* disposition) {
    HKEY key = nullptr;
    LONG result = RegCreateKeyExA(parent, path, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key, disposition);
    if (key) RegCloseKey(key);
    return result;
  };
  HKEY parent = m_key.GetKey();
  DWORD disposition = 0;
  ASSERT_EQ(ERROR_SUCCESS, create(parent, "vol", REG_OPTION_VOLATILE, &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
  EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE, create(parent, "vol\\stable", REG_OPTION_NON_VOLATILE, &disposition));
  EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE, create(parent, "vol\\a\\b", REG_OPTION_NON_VOLATILE, &disposition));
  EXPECT_FALSE(VkRegistry(parent, "vol\\a", false, KEY_READ).IsOpen()) << "nothing of the path was made";
  EXPECT_EQ(ERROR_SUCCESS, create(parent, "vol\\kid", REG_OPTION_VOLATILE, &disposition));
  EXPECT_EQ(ERROR_SUCCESS, create(parent, "vol", REG_OPTION_NON_VOLATILE, &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
  EXPECT_EQ(ERROR_SUCCESS, create(parent, "path\\to\\leaf", REG_OPTION_VOLATILE, &disposition));
  EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE, create(parent, "path\\to\\other", REG_OPTION_NON_VOLATILE, &disposition))
      << "the keys made on the way are volatile too";
  EXPECT_EQ(ERROR_SUCCESS, create(parent, "stable\\vol", REG_OPTION_VOLATILE, &disposition))
      << "a volatile key may lie below a stable one";
  EXPECT_TRUE(m_key.DeleteSubKey("vol\\kid", false));
  EXPECT_TRUE(m_key.DeleteSubKey("vol", false)) << "volatile keys are deleted as any other";
}

TEST_F(RegistryTest, OverlongKeyNamesFail) {
  std::string overlong = Sub(std::string(256, 'k'));
  VkRegistry key;
  EXPECT_FALSE(key.Create(HKEY_CURRENT_USER, overlong.c_str(), KEY_ALL_ACCESS));
  EXPECT_NE(ERROR_SUCCESS, key.GetLastErrorCode());
  if (vktest::IsWindowsTarget()) return;  // Wine refuses names well below 255 characters (234)
  std::string longest = Sub(std::string(255, 'k'));
  EXPECT_TRUE(key.Create(HKEY_CURRENT_USER, longest.c_str(), KEY_ALL_ACCESS));
  std::string wide;
  for (int i = 0; i < 255; ++i) wide += "\xC3\xA9";  // 255 characters in 510 bytes of UTF-8
  EXPECT_TRUE(key.Create(HKEY_CURRENT_USER, Sub(wide).c_str(), KEY_ALL_ACCESS)) << "the limit counts characters";
  EXPECT_FALSE(key.Create(HKEY_CURRENT_USER, Sub(wide + "\xC3\xA9").c_str(), KEY_ALL_ACCESS));
}

}  // namespace
