// A component's settings in the registry: values of each type, the reads'
// defaults and error codes, a walk over values and sub-keys, a change
// notification and the removal of the whole tree.
#include <vk/registry.h>

#include <stdio.h>

using namespace Vk::Win32;  // HKEY_CURRENT_USER, KEY_ALL_ACCESS, REG_SZ, ...
using Vk::VkRegistry;

static bool PrintValue(const VkRegistry::ValueEntry* entry, LONG_PTR /*userValue*/) {
  printf("  value %s: type %lu, %lu bytes\n", entry->pszName, static_cast<unsigned long>(entry->dwType),
         static_cast<unsigned long>(entry->dwDataSize));
  return true;  // go on
}

static bool PrintKey(const VkRegistry::KeyEntry* entry, LONG_PTR userValue) {
  ++*reinterpret_cast<int*>(userValue);
  printf("  sub-key %lu: %s\n", static_cast<unsigned long>(entry->dwIndex), entry->pszName);
  return true;
}

int main() {
  const char* path = "Software\\vkdiag-examples\\Registry";
  VkRegistry key(HKEY_CURRENT_USER, path, true, KEY_ALL_ACCESS);  // created when missing
  if (!key.IsOpen()) {
    printf("cannot open the key: error %ld\n", static_cast<long>(key.GetLastErrorCode()));
    return 1;
  }
  key.WriteString("Name", "orders");
  key.WriteString("Home", "%ProgramData%\\Orders", REG_EXPAND_SZ);  // stored unexpanded
  key.WriteDword("Workers", 4);
  key.WriteDword("Verbose", 2);

  DWORD workers = 1;  // the caller's value is the default: a failed read leaves it
  key.ReadDword("Workers", &workers);
  DWORD missing = 7;
  bool read = key.ReadDword("Missing", &missing);
  printf("Workers = %lu; Missing: read %d, error %ld, still %lu\n", static_cast<unsigned long>(workers), read,
         static_cast<long>(key.GetLastErrorCode()), static_cast<unsigned long>(missing));
  bool verbose = true;
  read = key.ReadBool("Verbose", &verbose);  // only a stored 1 is true
  printf("Verbose (2): read %d, value %d\n", read, verbose);

  // The pointer form's text belongs to the object and lives until the next
  // pointer-form read on it, or its end.
  const char* name = key.ReadString("Name");
  printf("Name = %s\n", name ? name : "(none)");
  char home[64];
  DWORD size = sizeof home;  // in: capacity; out: bytes stored, terminator included
  if (key.ReadString("Home", home, &size)) printf("Home = %s (%lu bytes)\n", home, static_cast<unsigned long>(size));
  if (!key.ReadString("Workers")) printf("ReadString of a DWORD: error %ld\n", static_cast<long>(key.GetLastErrorCode()));

  // Sub-keys, then walks with callbacks.
  delete key.OpenSubKey("Plugins\\Archive", true);  // the caller deletes what OpenSubKey returns
  delete key.OpenSubKey("Plugins\\Mail", true);
  printf("values of %s:\n", key.GetPath());
  key.EnumValues(PrintValue, 0);
  VkRegistry plugins(HKEY_CURRENT_USER, "Software\\vkdiag-examples\\Registry\\Plugins", false, KEY_READ);
  int count = 0;
  plugins.EnumKeys(PrintKey, reinterpret_cast<LONG_PTR>(&count));
  printf("%d sub-keys; the walk ended with error %ld (no more items)\n", count,
         static_cast<long>(plugins.GetLastErrorCode()));

  // A change notification: the event is signalled at the next change.
  HANDLE changed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  key.NotifyChange(true, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, changed);
  key.WriteDword("Workers", 8);
  printf("change seen: %s\n", WaitForSingleObject(changed, 5000) == WAIT_OBJECT_0 ? "yes" : "no");
  CloseHandle(changed);

  // Deleting: a key with children only when asked to, a whole tree at once.
  bool deleted = key.DeleteSubKey("Plugins", true);
  printf("DeleteSubKey(Plugins, only if empty): %d, error %ld\n", deleted, static_cast<long>(key.GetLastErrorCode()));
  plugins.Close();
  key.Close();
  deleted = key.DeleteTree(HKEY_CURRENT_USER, "Software\\vkdiag-examples");
  printf("DeleteTree: %d, error %ld\n", deleted, static_cast<long>(key.GetLastErrorCode()));
  return 0;
}
