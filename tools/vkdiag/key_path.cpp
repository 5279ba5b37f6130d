#include "key_path.h"

#include <string.h>

#include <algorithm>

#include "tool_error.h"

namespace vkdiag {

namespace {

struct RootName {
  const char* shortName;
  const char* longName;
  HKEY root;
};

const RootName kRoots[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKU", "HKEY_USERS", HKEY_USERS},
    {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
};

bool SameName(const std::string& a, const char* b) {
  if (a.size() != strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
  return true;
}

// What to say about a key whose root is not known: keys are written with
// backslashes, which an unquoted key loses to the shell.
std::string RootHint(const std::string& text) {
  if (text.find('/') != std::string::npos && text.find('\\') == std::string::npos)
    return "keys are written with backslashes, as 'HKLM\\Software\\Example'";
  for (const RootName& root : kRoots) {
    for (const char* name : {root.shortName, root.longName}) {
      size_t length = strlen(name);
      if (text.size() > length && SameName(text.substr(0, length), name))
        return "the backslashes seem lost: quote the key, as 'HKLM\\Software\\Example'";
    }
  }
  return "expected HKLM, HKCU, HKU, HKCR or their HKEY_ names";
}

}  // namespace

KeyPath KeyPath::Child(const std::string& name) const {
  KeyPath child = *this;
  child.subKey = subKey.empty() ? name : subKey + "\\" + name;
  return child;
}

KeyPath ParseKeyPath(const std::string& text) {
  std::string rest = text;
  while (!rest.empty() && rest.back() == '\\') rest.pop_back();
  size_t split = rest.find('\\');
  std::string rootText = rest.substr(0, split);
  KeyPath path;
  for (const RootName& root : kRoots) {
    if (SameName(rootText, root.shortName) || SameName(rootText, root.longName)) {
      path.root = root.root;
      path.rootName = root.longName;
    }
  }
  if (!path.root) throw UsageError("unknown registry root in '" + EscapeControls(text) + "': " + RootHint(text));
  if (split != std::string::npos) path.subKey = rest.substr(split + 1);
  if (path.subKey.find("\\\\") != std::string::npos || (split != std::string::npos && path.subKey.empty()) ||
      (!path.subKey.empty() && path.subKey.front() == '\\'))
    throw UsageError("empty key name in '" + EscapeControls(text) + "'");
  return path;
}

bool ParseFullKeyName(const std::string& text, KeyPath* path) {
  size_t split = text.find('\\');
  std::string rootText = text.substr(0, split);
  *path = KeyPath();
  for (const RootName& root : kRoots) {
    if (SameName(rootText, root.longName)) {
      path->root = root.root;
      path->rootName = root.longName;
    }
  }
  if (!path->root) return false;
  if (split == std::string::npos) return true;
  for (size_t start = split + 1; start <= text.size();) {
    size_t end = text.find('\\', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) path->subKey += (path->subKey.empty() ? "" : "\\") + text.substr(start, end - start);
    start = end + 1;
  }
  return true;
}

size_t KeyLevel(const KeyPath& path) {
  size_t level = path.root == HKEY_CURRENT_USER ? 3 : path.root == HKEY_CLASSES_ROOT ? 4 : 2;
  if (path.subKey.empty()) return level;
  return level + 1 + static_cast<size_t>(std::count(path.subKey.begin(), path.subKey.end(), '\\'));
}

}  // namespace vkdiag
