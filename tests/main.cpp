// Test entry point: runs a child function when asked to, else the tests.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

int main(int argc, char** argv) {
  int childResult = vktest::RunChildIfRequested(argc, argv);
  if (childResult >= 0) return childResult;

  std::filesystem::path privateRoot;
#if !defined(_WIN32)
  // The POSIX platform keeps its registry, event log and debug channel under
  // VK_SYSTEM_ROOT; the tests get a private one, inherited by their children.
  if (!getenv("VK_SYSTEM_ROOT")) {
    std::filesystem::path root = std::filesystem::temp_directory_path() /
                                 ("vkdiag-root-" + std::to_string(vktest::GetCurrentProcessIdForTests()));
    std::filesystem::create_directories(root);
    setenv("VK_SYSTEM_ROOT", root.c_str(), 1);
    privateRoot = root;
  }
  setenv("VK_EVENTLOG_SYSLOG", "0", 0);
#endif
  ::testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  std::error_code ignored;
  if (!privateRoot.empty()) std::filesystem::remove_all(privateRoot, ignored);
  return result;
}
