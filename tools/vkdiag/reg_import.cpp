// vkdiag reg import: applies a .reg file once all of it has been parsed and
// checked, so that a file that fails changes nothing.
#include <stdio.h>

#include "commands.h"
#include "file_io.h"
#include "reg_file.h"
#include "scoped_key.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

// Whether this user may make the changes a key of the file asks for, asked
// of the deepest key of its path that exists (the key itself when it is
// there), before anything is changed: a file half of whose keys lie where
// the user may not write fails before its first change.
void CheckMayApply(const RegFileKey& entry) {
  KeyPath existing = entry.path;
  existing.subKey.clear();
  bool whole = true;
  for (size_t start = 0; start < entry.path.subKey.size();) {
    size_t end = entry.path.subKey.find('\\', start);
    if (end == std::string::npos) end = entry.path.subKey.size();
    KeyPath next = existing.Child(entry.path.subKey.substr(start, end - start));
    ScopedKey probe;
    if (probe.Open(next, KEY_READ) != ERROR_SUCCESS) {
      whole = false;
      break;
    }
    existing = next;
    start = end + 1;
  }
  if (entry.remove && !whole) return;  // nothing there to delete
  ScopedKey key;
  REGSAM access = entry.remove ? static_cast<REGSAM>(DELETE | KEY_ENUMERATE_SUB_KEYS) : KEY_CREATE_SUB_KEY | KEY_SET_VALUE;
  LONG rc = key.Open(existing, access);
  if (rc != ERROR_SUCCESS)
    throw SystemError("cannot change " + EscapeControls(entry.path.FullName()) + " (nothing was imported)",
                      static_cast<DWORD>(rc));
}

void ApplyKey(const RegFileKey& entry) {
  const std::string name = EscapeControls(entry.path.FullName());
  if (entry.remove) {
    LONG rc = SHDeleteKeyA(entry.path.root, entry.path.subKey.c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) throw SystemError("cannot delete " + name, static_cast<DWORD>(rc));
    return;
  }
  ScopedKey key;
  LONG rc = key.Create(entry.path, KEY_WRITE);
  if (rc != ERROR_SUCCESS) throw SystemError("cannot create " + name, static_cast<DWORD>(rc));
  for (const RegFileValue& value : entry.values) {
    const char* valueName = value.value.name.c_str();
    if (value.remove) {
      rc = RegDeleteValueA(key.Get(), valueName);
      if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;  // already gone is what was asked
    } else {
      rc = RegSetValueExA(key.Get(), valueName, 0, value.value.type, value.value.data.data(),
                          static_cast<DWORD>(value.value.data.size()));
    }
    if (rc != ERROR_SUCCESS)
      throw SystemError("cannot write " + EscapeControls(value.value.name) + " in " + name, static_cast<DWORD>(rc));
  }
}

}  // namespace

void AddRegImportCommand(CLI::App& reg) {
  auto file = std::make_shared<std::string>();
  CLI::App* importer = reg.add_subcommand("import", "Apply a .reg file");
  importer->add_option("FILE", *file, "a .reg file of either form (version 5.00 or REGEDIT4)")->required();
  importer->footer(
      "[-KEY] deletes a key with its subtree, \"name\"=- deletes a value. The file is read as the\n"
      "registry editor reads it, and all of it is read and checked first: a file with a line the\n"
      "editor would skip, a name longer or a key deeper than Windows allows, or a key this user may\n"
      "not change, changes nothing; the error names the line and what was expected there.\n"
      "Example:\n"
      "  vkdiag reg import vemra.reg\n");
  importer->callback([file] {
    CheckState(StateUse::kAny);
    std::vector<std::string> warnings;
    std::vector<RegFileKey> keys = ReadRegFile(ReadWholeFile(*file), *file, &warnings);
    for (const std::string& warning : warnings) fprintf(stderr, "%s\n", EscapeControls(warning).c_str());
    for (const RegFileKey& key : keys) CheckMayApply(key);
    for (const RegFileKey& key : keys) ApplyKey(key);
  });
}

}  // namespace vkdiag
