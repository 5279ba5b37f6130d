// Every buffer the system fills for the library, at exactly its size, one
// byte less and one byte more: the answer is Windows' own (Wine's where the
// documentation is silent), and not one byte is written past the size given.
#include <vk/event_log.h>
#include <vk/platform.h>

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "support/registry_fixture.h"
#include "support/test_support.h"

namespace {

constexpr char kGuard = '\x5A';
constexpr size_t kGuardBytes = 16;

// A buffer of `size` bytes followed by guard bytes that must stay untouched.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t size) : m_size(size), m_bytes(size + kGuardBytes, kGuard) {}
  char* data() { return m_bytes.data(); }
  BYTE* bytes() { return reinterpret_cast<BYTE*>(m_bytes.data()); }
  DWORD size() const { return static_cast<DWORD>(m_size); }
  std::string text() const { return std::string(m_bytes.data(), strnlen(m_bytes.data(), m_size)); }
  bool GuardIntact() const {
    for (size_t i = m_size; i < m_bytes.size(); ++i)
      if (m_bytes[i] != kGuard) return false;
    return true;
  }

 private:
  size_t m_size;
  std::vector<char> m_bytes;
};

const char kName[] = "BoundaryNameOf21Chars";  // 21 characters
const size_t kNameLength = sizeof kName - 1;

class RegistryBufferTest : public vktest::RegistryKeyTest {};

TEST_F(RegistryBufferTest, EnumeratedKeyNamesNeedRoomForTheirTerminator) {
  ASSERT_TRUE(Vk::VkRegistry(HKEY_CURRENT_USER, Sub(kName).c_str(), true, KEY_ALL_ACCESS).IsOpen());
  for (size_t size : {kNameLength, kNameLength + 1, kNameLength + 2}) {
    GuardedBuffer name(size);
    DWORD length = name.size();
    LONG result = RegEnumKeyExA(m_key.GetKey(), 0, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (size <= kNameLength) {
      EXPECT_EQ(ERROR_MORE_DATA, result) << size;
    } else {
      EXPECT_EQ(ERROR_SUCCESS, result) << size;
      EXPECT_EQ(kNameLength, length) << size;
      EXPECT_EQ(kName, name.text()) << size;
    }
    EXPECT_TRUE(name.GuardIntact()) << size;
  }
}

TEST_F(RegistryBufferTest, EnumeratedValueNamesAndDataStayInsideTheirBuffers) {
  const char data[] = "value data";  // stored with its terminator: 11 bytes
  ASSERT_TRUE(m_key.WriteString(kName, data));
  for (size_t size : {kNameLength, kNameLength + 1, kNameLength + 2}) {
    GuardedBuffer name(size);
    GuardedBuffer bytes(sizeof data + 4);
    DWORD length = name.size(), dataSize = bytes.size(), type = 0;
    LONG result = RegEnumValueA(m_key.GetKey(), 0, name.data(), &length, nullptr, &type, bytes.bytes(), &dataSize);
    if (size <= kNameLength) {
      EXPECT_EQ(ERROR_MORE_DATA, result) << size;
    } else {
      EXPECT_EQ(ERROR_SUCCESS, result) << size;
      EXPECT_EQ(kNameLength, length) << size;
      EXPECT_EQ(kName, name.text()) << size;
    }
    EXPECT_TRUE(name.GuardIntact()) << size;
  }
  for (size_t size : {sizeof data - 1, sizeof data, sizeof data + 1}) {
    GuardedBuffer name(kNameLength + 1);
    GuardedBuffer bytes(size);
    DWORD length = name.size(), dataSize = bytes.size(), type = 0;
    LONG result = RegEnumValueA(m_key.GetKey(), 0, name.data(), &length, nullptr, &type, bytes.bytes(), &dataSize);
    if (size < sizeof data) {
      EXPECT_EQ(ERROR_MORE_DATA, result) << size;
      EXPECT_EQ(sizeof data, dataSize) << size;
    } else {
      EXPECT_EQ(ERROR_SUCCESS, result) << size;
      EXPECT_EQ(sizeof data, dataSize) << size;
      EXPECT_STREQ(data, bytes.data()) << size;
    }
    EXPECT_TRUE(bytes.GuardIntact()) << size;
  }
}

// When only the data buffer is too small, the size it needs comes back and
// the name buffer and its length stay as they were (Windows-verified in
// Wine's tests). When only the name buffer is, the data comes and the name
// gets as much as fits, terminated, as under Wine.
TEST_F(RegistryBufferTest, EnumeratedValuesFillTheDataBeforeTheName) {
  ASSERT_TRUE(m_key.WriteString("valuename", "datadata"));  // 9 bytes
  GuardedBuffer name(20);
  GuardedBuffer data(4);
  DWORD nameLength = name.size(), dataSize = data.size(), type = 0;
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(m_key.GetKey(), 0, name.data(), &nameLength, nullptr, &type, data.bytes(),
                                           &dataSize));
  EXPECT_EQ(9u, dataSize);
  EXPECT_EQ(20u, nameLength) << "the name's length is left alone";
  EXPECT_EQ(kGuard, name.data()[0]) << "and so is the name";
  EXPECT_TRUE(data.GuardIntact());

  GuardedBuffer shortName(5);
  GuardedBuffer roomy(20);
  nameLength = shortName.size();
  dataSize = roomy.size();
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(m_key.GetKey(), 0, shortName.data(), &nameLength, nullptr, &type,
                                           roomy.bytes(), &dataSize));
  EXPECT_EQ(9u, dataSize);
  EXPECT_STREQ("datadata", roomy.data()) << "the data that fits comes";
  if (!vktest::IsWindowsTarget()) {
    EXPECT_EQ(5u, nameLength);
    EXPECT_EQ("valu", shortName.text()) << "as much of the name as fits";
  }
  EXPECT_TRUE(shortName.GuardIntact());
}

// A text stored without its terminator reads back with one after it when
// the buffer has room for it, through RegQueryValueExA and RegEnumValueA;
// the size stays the data's, and a buffer of exactly that size gets none.
// Other types get none. Wine's tests of this pass on Windows.
TEST_F(RegistryBufferTest, TextsStoredWithoutTerminatorGetOneWhereThereIsRoom) {
  const BYTE raw[] = {'x', 'y', 'z', 'Q'};  // no NUL after the three bytes stored
  for (DWORD type : {static_cast<DWORD>(REG_SZ), static_cast<DWORD>(REG_EXPAND_SZ), static_cast<DWORD>(REG_MULTI_SZ),
                     static_cast<DWORD>(REG_BINARY)}) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_key.GetKey(), "raw", 0, type, raw, 3));
    for (size_t size : {3u, 4u}) {
      bool terminated = type != REG_BINARY && size == 4;
      std::string expected = terminated ? std::string("xyz", 4) : std::string("xyz") + kGuard;
      GuardedBuffer queried(size);
      DWORD dataSize = queried.size();
      EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(m_key.GetKey(), "raw", nullptr, nullptr, queried.bytes(), &dataSize));
      EXPECT_EQ(3u, dataSize);
      EXPECT_EQ(expected, std::string(queried.data(), 4)) << type << " " << size;
      GuardedBuffer listed(size);
      char name[8];
      DWORD nameLength = sizeof name;
      dataSize = listed.size();
      EXPECT_EQ(ERROR_SUCCESS, RegEnumValueA(m_key.GetKey(), 0, name, &nameLength, nullptr, nullptr, listed.bytes(),
                                             &dataSize));
      EXPECT_EQ(3u, dataSize);
      EXPECT_EQ(expected, std::string(listed.data(), 4)) << type << " " << size;
    }
  }
}

// A class buffer too small gets as much of the class as it holds and that
// length, with ERROR_MORE_DATA; one of no size is left alone (Windows-
// verified in Wine's tests).
TEST_F(RegistryBufferTest, KeyClassesAreCutToTheirBuffer) {
  HKEY key = nullptr;
  char className[] = "classname";  // 9 characters
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(m_key.GetKey(), "classy", 0, className, 0, KEY_ALL_ACCESS, nullptr, &key,
                                           nullptr));
  for (size_t size : {1u, 4u, 9u, 10u}) {
    GuardedBuffer buffer(size);
    DWORD length = buffer.size();
    DWORD values = 99;
    LONG result = RegQueryInfoKeyA(key, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                                   nullptr, nullptr, nullptr);
    EXPECT_EQ(size < 10 ? ERROR_MORE_DATA : ERROR_SUCCESS, result) << size;
    EXPECT_EQ(size < 10 ? size - 1 : 9u, length) << size;
    EXPECT_EQ(std::string(className, size < 10 ? size - 1 : 9), buffer.text()) << size;
    EXPECT_EQ(0u, values) << "the other answers come all the same";
    EXPECT_TRUE(buffer.GuardIntact()) << size;
  }
  if (!vktest::RunningUnderWine()) {
    char untouched[4] = "abc";
    DWORD length = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, untouched, &length, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0u, length);
    EXPECT_STREQ("abc", untouched);
  }
  RegCloseKey(key);
}

TEST_F(RegistryBufferTest, ValueDataReportsTheSizeItNeeds) {
  const BYTE data[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_key.GetKey(), "binary", 0, REG_BINARY, data, sizeof data));
  for (size_t size : {sizeof data - 1, sizeof data, sizeof data + 1}) {
    GuardedBuffer bytes(size);
    DWORD dataSize = bytes.size(), type = 0;
    LONG result = RegQueryValueExA(m_key.GetKey(), "binary", nullptr, &type, bytes.bytes(), &dataSize);
    EXPECT_EQ(size < sizeof data ? ERROR_MORE_DATA : ERROR_SUCCESS, result) << size;
    EXPECT_EQ(sizeof data, dataSize) << size;
    if (result == ERROR_SUCCESS) {
      EXPECT_EQ(0, memcmp(data, bytes.data(), sizeof data));
    }
    EXPECT_TRUE(bytes.GuardIntact()) << size;
  }
}

TEST(SystemBufferTest, ModuleFileNameIsCutAndTerminatedInsideItsBuffer) {
  char full[MAX_PATH * 4] = "";
  DWORD length = GetModuleFileNameA(nullptr, full, sizeof full);
  ASSERT_GT(length, 0u);
  for (DWORD size : {length, length + 1, length + 2}) {
    GuardedBuffer name(size);
    SetLastError(ERROR_SUCCESS);
    DWORD result = GetModuleFileNameA(nullptr, name.data(), name.size());
    if (size <= length) {
      EXPECT_EQ(size, result) << size;
      EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError()) << size;
      // Windows since Vista ends the cut name with a terminator; Wine, like
      // Windows XP, fills the last byte with the name's next character.
      EXPECT_EQ(std::string(full, size - 1), std::string(name.data(), size - 1)) << size;
      EXPECT_TRUE(name.data()[size - 1] == '\0' || name.data()[size - 1] == full[size - 1]) << size;
    } else {
      EXPECT_EQ(length, result) << size;
      EXPECT_EQ(full, name.text()) << size;
    }
    EXPECT_TRUE(name.GuardIntact()) << size;
  }
}

TEST(SystemBufferTest, SystemMessagesFitTheirBufferOrFail) {
  char full[512] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                ERROR_ACCESS_DENIED, 0, full, sizeof full, nullptr);
  ASSERT_GT(length, 0u);
  for (DWORD size : {length, length + 1, length + 2}) {
    GuardedBuffer text(size);
    SetLastError(ERROR_SUCCESS);
    DWORD result = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  ERROR_ACCESS_DENIED, 0, text.data(), text.size(), nullptr);
    if (size <= length) {
      EXPECT_EQ(0u, result) << size;
      EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError()) << size;
    } else {
      EXPECT_EQ(length, result) << size;
      EXPECT_EQ(full, text.text()) << size;
    }
    EXPECT_TRUE(text.GuardIntact()) << size;
  }
}

TEST(SystemBufferTest, LocaleInformationCountsItsTerminator) {
  const LCID german = 0x0407;
  int needed = GetLocaleInfoA(german, LOCALE_SABBREVLANGNAME, nullptr, 0);
  ASSERT_EQ(4, needed);  // "DEU" and its terminator
  for (int size : {needed - 1, needed, needed + 1}) {
    GuardedBuffer text(static_cast<size_t>(size));
    SetLastError(ERROR_SUCCESS);
    int result = GetLocaleInfoA(german, LOCALE_SABBREVLANGNAME, text.data(), size);
    if (size < needed) {
      EXPECT_EQ(0, result) << size;
      EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError()) << size;
    } else {
      EXPECT_EQ(needed, result) << size;
      EXPECT_EQ("DEU", text.text()) << size;
    }
    EXPECT_TRUE(text.GuardIntact()) << size;
  }
}

class SearchPathBufferTest : public vktest::ScratchDirTest {};

TEST_F(SearchPathBufferTest, AFoundPathFitsOrReportsTheSizeItNeeds) {
  vktest::WriteWholeFile(PathOf("found.txt"), "x");
  std::string directory = PathOf("");
  char full[MAX_PATH * 2] = "";
  DWORD length = SearchPathA(directory.c_str(), "found.txt", nullptr, sizeof full, full, nullptr);
  ASSERT_GT(length, 0u);
  for (DWORD size : {length, length + 1, length + 2}) {
    GuardedBuffer path(size);
    DWORD result = SearchPathA(directory.c_str(), "found.txt", nullptr, path.size(), path.data(), nullptr);
    if (size <= length) {
      EXPECT_EQ(length + 1, result) << size;
    } else {
      EXPECT_EQ(length, result) << size;
      EXPECT_EQ(full, path.text()) << size;
    }
    EXPECT_TRUE(path.GuardIntact()) << size;
  }
}

// The event record buffer of ReadEventLogA, in a log of its own. Wine's
// event log keeps no events, so there the answer cannot be asked of it;
// Windows documents it: a buffer too small for the next record fails with
// ERROR_INSUFFICIENT_BUFFER, the record's size in the bytes needed, and the
// reader stays before that record.
class EventRecordBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (vktest::RunningUnderWine()) GTEST_SKIP() << "Wine's event log keeps no events to read back";
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, LogKey().c_str());
    m_log.RegisterSource(kLogName, kSource, "x.dll", nullptr, 7, 0);
    HANDLE reader = OpenEventLogA(nullptr, kLogName);
    ASSERT_NE(nullptr, reader);
    ClearEventLogA(reader, nullptr);
    CloseEventLog(reader);
  }
  void TearDown() override {
    m_log.CloseEventSource();
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, LogKey().c_str());
  }
  static std::string LogKey() { return std::string("SYSTEM\\CurrentControlSet\\Services\\Eventlog\\") + kLogName; }

  static constexpr const char* kLogName = "vkdiag-record-buffer";
  static constexpr const char* kSource = "vkdiag-record-buffer-source";
  Vk::VkEventLog m_log;
};

TEST_F(EventRecordBufferTest, ARecordFitsExactlyOrIsLeftForTheNextRead) {
  const char text[] = "a record read into a buffer of its own size";
  const BYTE data[] = {1, 2, 3};  // ends the record off a DWORD boundary
  ASSERT_TRUE(m_log.ReportData(EVENTLOG_INFORMATION_TYPE, 9, 0, data, sizeof data, "%s", text));
  HANDLE reader = OpenEventLogA(nullptr, kLogName);
  ASSERT_NE(nullptr, reader);
  BYTE probe[8];
  DWORD read = 0, needed = 0;
  ASSERT_FALSE(ReadEventLogA(reader, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, probe, sizeof probe, &read,
                             &needed));
  ASSERT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  ASSERT_LT(sizeof(EVENTLOGRECORD), needed);
  CloseEventLog(reader);

  for (DWORD size : {needed - 1, needed, needed + 1}) {
    reader = OpenEventLogA(nullptr, kLogName);
    ASSERT_NE(nullptr, reader);
    GuardedBuffer record(size);
    read = 0;
    DWORD stillNeeded = 0;
    BOOL done = ReadEventLogA(reader, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, record.bytes(),
                              record.size(), &read, &stillNeeded);
    EXPECT_TRUE(record.GuardIntact()) << size;
    if (size < needed) {
      EXPECT_FALSE(done) << size;
      EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError()) << size;
      EXPECT_EQ(needed, stillNeeded) << size;
      EXPECT_EQ(0u, read) << size;
      // The record was not passed over: a buffer that fits gets it next.
      GuardedBuffer again(needed);
      EXPECT_TRUE(ReadEventLogA(reader, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, again.bytes(),
                                again.size(), &read, &stillNeeded))
          << size;
      EXPECT_EQ(needed, read) << size;
      EXPECT_TRUE(again.GuardIntact()) << size;
    } else {
      EXPECT_TRUE(done) << size;
      EXPECT_EQ(needed, read) << size;
      EVENTLOGRECORD header;
      memcpy(&header, record.bytes(), sizeof header);
      DWORD trailer = 0;
      memcpy(&trailer, record.bytes() + needed - sizeof trailer, sizeof trailer);
      EXPECT_EQ(needed, header.Length) << size;
      EXPECT_EQ(needed, trailer) << size;
      EXPECT_EQ(9u, header.EventID) << size;
      EXPECT_STREQ(text, record.data() + header.StringOffset) << size;
      EXPECT_EQ(0, memcmp(data, record.bytes() + header.DataOffset, sizeof data)) << size;
    }
    CloseEventLog(reader);
  }
}

}  // namespace
