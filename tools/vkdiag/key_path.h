// Registry key paths as an operator writes them: HKLM\SOFTWARE\X or
// HKEY_LOCAL_MACHINE\SOFTWARE\X, likewise HKCU, HKU and HKCR.
#ifndef VKDIAG_KEY_PATH_H
#define VKDIAG_KEY_PATH_H

#include "win32.h"

#include <string>

namespace vkdiag {

struct KeyPath {
  HKEY root = nullptr;
  std::string rootName;  // the long form, HKEY_LOCAL_MACHINE
  std::string subKey;    // without leading or trailing backslash; empty for the root itself

  // The full name in the long form, as regedit and reg print it.
  std::string FullName() const { return subKey.empty() ? rootName : rootName + "\\" + subKey; }
  KeyPath Child(const std::string& name) const;
};

// Throws a usage error for an unknown root or an empty path component.
KeyPath ParseKeyPath(const std::string& text);

// A key as a .reg file names it, read as the registry editor reads it: the
// root by its full name in any case (HKEY_LOCAL_MACHINE, not HKLM), then
// the path, where empty names are skipped as RegCreateKeyEx skips them
// ("A\\B\" is A\B). False for a name without such a root.
bool ParseFullKeyName(const std::string& text, KeyPath* path);

// The level of a key below the top of the registry, as Windows counts it
// for its limit of 512: the roots are the second level, the current
// user's key (HKEY_USERS\<SID>) the third, HKEY_CLASSES_ROOT
// (HKEY_LOCAL_MACHINE\SOFTWARE\Classes) the fourth.
size_t KeyLevel(const KeyPath& path);

}  // namespace vkdiag

#endif  // VKDIAG_KEY_PATH_H
