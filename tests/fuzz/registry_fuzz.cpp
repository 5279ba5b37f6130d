// Registry paths, value names and data through the Win32 calls: whatever
// the input, a value that was written reads back unchanged, and the key it
// was written to can be listed and deleted.
#include <vk/platform.h>

#include <stdlib.h>
#include <string.h>

#include <vector>

#include "fuzz_support.h"

namespace {

const char kFuzzRoot[] = "Software\\VkFuzz";

void Check(bool condition) {
  if (!condition) abort();
}

// Lists every value of the key with buffers of the sizes the key reports.
void ListValues(HKEY key) {
  DWORD longestName = 0, longestData = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName,
                       &longestData, nullptr, nullptr) != ERROR_SUCCESS)
    return;
  std::vector<char> name(longestName + 1);
  std::vector<BYTE> data(longestData);
  for (DWORD index = 0;; ++index) {
    DWORD nameSize = static_cast<DWORD>(name.size()), dataSize = static_cast<DWORD>(data.size());
    LONG result = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, nullptr, data.data(), &dataSize);
    if (result != ERROR_SUCCESS) break;
    Check(nameSize < name.size() && name[nameSize] == '\0');
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  vk_fuzz::StateDirectory();
  FuzzedDataProvider input(bytes, size);
  std::string subKey = input.ConsumeRandomLengthString(400);
  std::string valueName = input.ConsumeRandomLengthString(300);
  DWORD type = input.ConsumeIntegralInRange<DWORD>(0, 11);
  // RegSetValueExA reads the byte after a text's data, as Windows does, to
  // keep a terminator the size left out: the buffer holds one more.
  BYTE after = input.ConsumeIntegral<BYTE>();
  std::vector<BYTE> data = input.ConsumeRemainingBytes<BYTE>();
  const size_t given = data.size();
  data.push_back(after);

  HKEY root = nullptr;
  Check(RegCreateKeyExA(HKEY_CURRENT_USER, kFuzzRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr) ==
        ERROR_SUCCESS);
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    if (RegSetValueExA(key, valueName.c_str(), 0, type, data.data(), static_cast<DWORD>(given)) == ERROR_SUCCESS) {
      std::vector<BYTE> back(given + 2);
      DWORD backType = 0, backSize = static_cast<DWORD>(back.size());
      Check(RegQueryValueExA(key, valueName.c_str(), nullptr, &backType, back.data(), &backSize) == ERROR_SUCCESS);
      Check(backType == type);
      Check(backSize >= given && backSize <= given + 1 && (given == 0 || memcmp(back.data(), data.data(), given) == 0));
    }
    ListValues(key);
    RegCloseKey(key);
    HKEY again = nullptr;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &again) == ERROR_SUCCESS) RegCloseKey(again);
  }
  RegCloseKey(root);
  Check(SHDeleteKeyA(HKEY_CURRENT_USER, kFuzzRoot) == ERROR_SUCCESS);
  return 0;
}
