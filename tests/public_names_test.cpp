// A program that includes vkdiag's headers on Linux keeps its own names:
// the headers define no macro, and the Win32 names of the platform layer
// stay in Vk::Win32 until the program asks for them. If a header leaked a
// macro, this file would not compile.
#include <vk/debug_trace.h>
#include <vk/event_log.h>
#include <vk/generic_event_logger.h>
#include <vk/log_file.h>
#include <vk/log_file_opener.h>
#include <vk/method_tracer.h>
#include <vk/msg_lang_list_ex.h>
#include <vk/platform.h>
#include <vk/registry.h>
#include <vk/vemra_log.h>

#include <gtest/gtest.h>

enum class HttpMethod { GET, POST, DELETE };
enum class M { DELETE, TRUE, FALSE, BOOL, INFINITE, ERROR_SUCCESS, MAX_PATH, HKEY_LOCAL_MACHINE };

namespace {

// A program's functions of Win32's names are its own.
int Sleep(int milliseconds) { return milliseconds + 1; }
int GetTickCount() { return 7; }

TEST(PublicNamesTest, AProgramsOwnNamesAreNotTakenByTheHeaders) {
  EXPECT_EQ(2, static_cast<int>(HttpMethod::DELETE));
  EXPECT_EQ(4, static_cast<int>(M::INFINITE));
  EXPECT_EQ(3, Sleep(2));
  EXPECT_EQ(7, GetTickCount());
}

TEST(PublicNamesTest, TheWin32NamesAreThereWhenAskedFor) {
  using namespace Vk::Win32;
  EXPECT_EQ(0, ERROR_SUCCESS);
  EXPECT_EQ(0xFFFFFFFFu, INFINITE);
  EXPECT_EQ(0x00010000ul, DELETE);
  EXPECT_TRUE(FAILED(static_cast<HRESULT>(0x80070005)));
  Vk::VkRegistry key(HKEY_CURRENT_USER, "Software\\vkdiag-tests\\names", true, KEY_ALL_ACCESS);
  EXPECT_TRUE(key.IsOpen());
  EXPECT_EQ(ERROR_SUCCESS, SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\vkdiag-tests\\names"));
}

}  // namespace
