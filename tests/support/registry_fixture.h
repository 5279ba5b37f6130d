// A registry key of its own for each test, under the current user's
// Software\vkdiag-tests, removed with everything below it afterwards.
#ifndef VK_TESTS_SUPPORT_REGISTRY_FIXTURE_H
#define VK_TESTS_SUPPORT_REGISTRY_FIXTURE_H

#include <vk/registry.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace vktest {

class RegistryKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_path = std::string("Software\\vkdiag-tests\\") + info->name();
    SHDeleteKeyA(HKEY_CURRENT_USER, m_path.c_str());
    ASSERT_TRUE(m_key.Create(HKEY_CURRENT_USER, m_path.c_str(), KEY_ALL_ACCESS));
  }
  void TearDown() override {
    m_key.Close();
    SHDeleteKeyA(HKEY_CURRENT_USER, m_path.c_str());
  }
  std::string Sub(const std::string& name) const { return m_path + "\\" + name; }

  std::string m_path;
  Vk::VkRegistry m_key;
};

}  // namespace vktest

#endif  // VK_TESTS_SUPPORT_REGISTRY_FIXTURE_H
