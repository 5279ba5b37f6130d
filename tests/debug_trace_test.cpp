// The debug trace, switched on per program by the registry and read once per
// process, so every case runs in a child process of its own.
#include <vk/debug_trace.h>
#include <vk/registry.h>

#include <atomic>
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

// Threads race for the first call, which reads the settings, in rounds
// that each start from the counts of a freshly loaded module. Every read
// that finds the switch on raises the enabled count, so a second read in a
// round shows as a count above 1 (exit code 3).
constexpr int kRaceRounds = 100;
constexpr int kRacers = 4;

VK_CHILD_MAIN(trace_race) {
  for (int round = 0; round < kRaceRounds; ++round) {
    Vk::DebugTraceState::g_lSettingsPending.store(1);
    Vk::DebugTraceState::g_lTraceEnabled.store(0);
    std::atomic<int> arrived{0};
    auto racer = [&arrived] {
      arrived.fetch_add(1);
      while (arrived.load() < kRacers) {
      }
      ReadTraceSettings();
    };
    std::vector<std::thread> racers;
    for (int i = 0; i < kRacers; ++i) racers.emplace_back(racer);
    for (std::thread& thread : racers) thread.join();
    if (Vk::DebugTraceState::g_lTraceEnabled.load() != 1) return 3;
    DebugTrace(nullptr, "round %d", round);
  }
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
  std::vector<std::string> texts = RunChild("trace_race");  // expects exit code 0
  ASSERT_EQ(static_cast<size_t>(kRaceRounds), texts.size());
  for (int round = 0; round < kRaceRounds; ++round) EXPECT_EQ("round " + std::to_string(round), texts[round]);
}

}  // namespace
