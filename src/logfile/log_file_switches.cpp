// Switching a writer on or off from a flag in the registry.
#include <vk/log_file.h>
#include <vk/registry.h>

namespace Vk {

bool VkLogFile::ReadRegistrySwitch(HKEY root, const char* subKey, const char* valueName, bool* flag) const {
  VkRegistry key(root, subKey, false, KEY_READ);
  return key.IsOpen() && key.ReadBool(valueName, flag);
}

void VkLogFile::EnableFromRegistry(HKEY root, const char* subKey, const char* valueName) {
  bool flag = false;
  if (ReadRegistrySwitch(root, subKey, valueName, &flag)) SetEnabled(flag);
}

void VkLogFile::DisableFromRegistry(HKEY root, const char* subKey, const char* valueName) {
  bool flag = false;
  if (ReadRegistrySwitch(root, subKey, valueName, &flag)) SetEnabled(!flag);
}

}  // namespace Vk
