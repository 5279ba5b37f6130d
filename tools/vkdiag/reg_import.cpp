// vkdiag reg import: applies a .reg file once all of it has been parsed.
#include "commands.h"
#include "file_io.h"
#include "reg_file.h"
#include "scoped_key.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

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
      "[-KEY] deletes a key with its subtree, \"name\"=- deletes a value. A file with a syntax error\n"
      "changes nothing; the error names the line and what was expected there.\n"
      "Example:\n"
      "  vkdiag reg import vemra.reg\n");
  importer->callback([file] {
    CheckState(StateUse::kAny);
    std::vector<RegFileKey> keys = ReadRegFile(ReadWholeFile(*file), *file);
    for (const RegFileKey& key : keys) ApplyKey(key);
  });
}

}  // namespace vkdiag
