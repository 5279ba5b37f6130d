// Error lines, method tracing and registry switches of the log file writer.
#include <vk/log_file.h>
#include <vk/method_tracer.h>
#include <vk/registry.h>

#include <string>

#include "support/test_support.h"

namespace {

using Vk::VkLogFile;
using vktest::ReadWholeFile;

class LogFileExtrasTest : public vktest::ScratchDirTest {};

// A system text: Windows' own, which the POSIX layer keeps, or Wine's.
std::string SystemText(const char* windows, const char* wine) { return vktest::RunningUnderWine() ? wine : windows; }

TEST_F(LogFileExtrasTest, ErrorLinesCarryTheSystemTextWithoutItsLineBreak) {
  std::string path = PathOf("errors.log");
  {
    VkLogFile log(path.c_str(), true, VkLogFile::VKLF_CRLF);
    log.WriteErrorCode(5);
    log.WriteErrorCode(0);
    log.WriteHResult(static_cast<HRESULT>(0x80040205));
    log.WriteHResult(static_cast<HRESULT>(0x80040200));
    SetLastError(ERROR_FILE_NOT_FOUND);
    log.WriteLastError();
  }
  std::string expected = "LastError: " + SystemText("Access is denied.", "Access denied.") + " (5)\r\n" +
                         "LastError: " + SystemText("The operation completed successfully.", "Success.") +
                         " (0)\r\n" + "LastError: IDispatch error #5 (0x80040205)\r\n" +
                         "LastError: Unknown error 0x80040200 (0x80040200)\r\n" + "LastError: " +
                         SystemText("The system cannot find the file specified.", "File not found.") + " (2)\r\n";
  EXPECT_EQ(expected, ReadWholeFile(path));
}

TEST_F(LogFileExtrasTest, TracersNameTheMethodAndDoNotStack) {
  std::string path = PathOf("tracer.log");
  {
    VkLogFile log(path.c_str(), true, VkLogFile::VKLF_METHOD | VkLogFile::VKLF_CRLF);
    {
      Vk::VkMethodTracer outer(log, "Outer", true);
      log.Write("in outer");
      {
        Vk::VkMethodTracer inner(log, "Inner", true);
        log.Write("in inner");
      }
      log.Write("back in outer");
    }
    Vk::VkMethodTracer quiet(log, "Quiet", false);
    log.Write("quietly");
  }
  EXPECT_EQ(
      "Outer : Method begin\r\nOuter : in outer\r\nInner : Method begin\r\nInner : in inner\r\n"
      "Inner : Method end\r\nback in outer\r\nMethod end\r\nQuiet : quietly\r\n",
      ReadWholeFile(path));
}

class RegistrySwitchTest : public vktest::ScratchDirTest {
 protected:
  void SetUp() override {
    vktest::ScratchDirTest::SetUp();
    SHDeleteKeyA(HKEY_CURRENT_USER, kKey);
    m_key.Create(HKEY_CURRENT_USER, kKey, KEY_ALL_ACCESS);
  }
  void TearDown() override {
    m_key.Close();
    SHDeleteKeyA(HKEY_CURRENT_USER, kKey);
    vktest::ScratchDirTest::TearDown();
  }
  bool EnabledAfter(bool start, bool enable, const char* value) {
    VkLogFile log(PathOf("switch.log").c_str(), start, 0);
    if (enable)
      log.EnableFromRegistry(HKEY_CURRENT_USER, kKey, value);
    else
      log.DisableFromRegistry(HKEY_CURRENT_USER, kKey, value);
    return log.IsEnabled();
  }

  static constexpr const char* kKey = "Software\\vkdiag-tests\\switches";
  Vk::VkRegistry m_key;
};

TEST_F(RegistrySwitchTest, OnlyADwordOfOneMeansTrue) {
  m_key.WriteDword("zero", 0);
  m_key.WriteDword("one", 1);
  m_key.WriteDword("two", 2);
  m_key.WriteString("text", "1");
  EXPECT_TRUE(EnabledAfter(false, true, "one"));
  EXPECT_FALSE(EnabledAfter(true, true, "zero"));
  EXPECT_FALSE(EnabledAfter(true, true, "two"));
  EXPECT_FALSE(EnabledAfter(true, false, "one"));
  EXPECT_TRUE(EnabledAfter(false, false, "two"));
  EXPECT_TRUE(EnabledAfter(true, true, "text")) << "a text value changes nothing";
  EXPECT_FALSE(EnabledAfter(false, false, "missing"));
  VkLogFile log(PathOf("x.log").c_str(), true, 0);
  log.EnableFromRegistry(HKEY_CURRENT_USER, "Software\\vkdiag-tests\\no-such-key", "one");
  EXPECT_TRUE(log.IsEnabled());
}

}  // namespace
