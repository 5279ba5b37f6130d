// The debug trace, switched on per program by the registry and read once per
// process, so every case runs in a child process of its own.
#include <vk/debug_trace.h>
#include <vk/registry.h>

#include <string>
#include <thread>
#include <vector>

#include "support/debug_capture.h"
#include "support/test_support.h"

namespace {

const char kTraceKey[] = "SOFTWARE\\Haldrex\\Vemra\\TraceLib";

std::string ExecutableName() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string name = PathFindFileNameA(path);
  return name.substr(0, name.size() - std::string(PathFindExtensionA(name.c_str())).size());
}

VK_CHILD_MAIN(trace_calls) {
  DebugTrace(nullptr, "plain %d", 1);
  DebugTrace("Tag", "tagged %s", "x");
  DebugTrace("", "empty tag");
  DebugTrace("Tag", "%s", std::string(1500, 'm').c_str());
  DebugTraceText("literal %s %d");
  DebugTraceLines("T1", "a\r\nb\r\nc");
  DebugTraceLines("T2", "no line end");
  return 0;
}

// Two threads race for the first call; the settings are read once.
VK_CHILD_MAIN(trace_race) {
  std::thread first([] { ReadTraceSettings(); });
  std::thread second([] { ReadTraceSettings(); });
  first.join();
  second.join();
  DebugTrace(nullptr, "after race");
  return 0;
}

class DebugTraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_capture = std::make_unique<vktest::DebugCapture>();
    if (!m_capture->listening()) GTEST_SKIP() << "the debugger output channel cannot be listened to here";
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kTraceKey);
  }
  void TearDown() override { SHDeleteKeyA(HKEY_LOCAL_MACHINE, kTraceKey); }

  void SetSwitch(DWORD type, const void* data, DWORD size) {
    Vk::VkRegistry key(HKEY_LOCAL_MACHINE, kTraceKey, true, KEY_ALL_ACCESS);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.GetKey(), ExecutableName().c_str(), 0, type,
                                            static_cast<const BYTE*>(data), size));
  }
  void SetDword(DWORD value) { SetSwitch(REG_DWORD, &value, sizeof value); }

  std::vector<std::string> RunChild(const char* name) {
    vktest::ChildProcess child(name, {});
    EXPECT_TRUE(child.started());
    std::vector<std::string> texts = m_capture->Collect(child.pid(), 1500);
    EXPECT_EQ(0, child.Wait());
    return texts;
  }

  std::unique_ptr<vktest::DebugCapture> m_capture;
};

TEST_F(DebugTraceTest, OffWithoutKeyValueOrWithZero) {
  EXPECT_TRUE(RunChild("trace_calls").empty());
  Vk::VkRegistry(HKEY_LOCAL_MACHINE, kTraceKey, true, KEY_ALL_ACCESS).WriteDword("someOtherProgram", 1);
  EXPECT_TRUE(RunChild("trace_calls").empty()) << "a value for another program";
  SetDword(0);
  EXPECT_TRUE(RunChild("trace_calls").empty());
}

TEST_F(DebugTraceTest, OnForThisProgramWithEveryDecoration) {
  SetDword(1);
  std::vector<std::string> texts = RunChild("trace_calls");
  ASSERT_EQ(7u, texts.size());
  EXPECT_EQ("plain 1", texts[0]);
  EXPECT_EQ(0u, texts[1].find("Tag PID=0x"));
  EXPECT_NE(std::string::npos, texts[1].find(" TID=0x"));
  EXPECT_EQ(texts[1].size() - 10, texts[1].find(": tagged x"));
  EXPECT_EQ(0u, texts[2].find(" PID=0x")) << "an empty tag still decorates";
  size_t colon = texts[3].find(": ");
  EXPECT_EQ(1023u, texts[3].size() - colon - 2) << "messages are cut at 1,023 characters";
  EXPECT_EQ("literal %s %d", texts[4]);
  EXPECT_EQ("T1 a\r\nT1 b\r\n", texts[5]);
  EXPECT_EQ("", texts[6]);
}

TEST_F(DebugTraceTest, TextValuesCountByTheirFirstFourBytes) {
  SetSwitch(REG_SZ, "1", 2);
  EXPECT_EQ(7u, RunChild("trace_calls").size());
  SetSwitch(REG_SZ, "1234", 5);
  EXPECT_TRUE(RunChild("trace_calls").empty()) << "more than four bytes never switch it on";
}

TEST_F(DebugTraceTest, RacingFirstCallsReadTheSettingsOnce) {
  SetDword(2);
  std::vector<std::string> texts = RunChild("trace_race");
  ASSERT_EQ(1u, texts.size());
  EXPECT_EQ("after race", texts[0]);
}

}  // namespace
