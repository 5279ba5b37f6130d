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

}  // namespace vkdiag

#endif  // VKDIAG_KEY_PATH_H
