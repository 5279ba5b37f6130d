// vkdiag reg delete: removes a value, all values, or a key with its subtree.
#include "commands.h"
#include "key_path.h"
#include "reg_value.h"
#include "scoped_key.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

struct DeleteOptions {
  std::string key;
  std::string valueName;
  bool defaultValue = false;
  bool allValues = false;
  bool force = false;
};

void DeleteFromKey(const DeleteOptions& options) {
  KeyPath path = ParseKeyPath(options.key);
  bool deletesValues = options.defaultValue || options.allValues || !options.valueName.empty();
  if (!deletesValues) {
    if (path.subKey.empty()) throw UsageError("a root key cannot be deleted");
    LONG rc = SHDeleteKeyA(path.root, path.subKey.c_str());
    if (rc != ERROR_SUCCESS) throw SystemError("cannot delete " + EscapeControls(path.FullName()), static_cast<DWORD>(rc));
    return;
  }
  ScopedKey key;
  OpenOrThrow(key, path, KEY_READ | KEY_SET_VALUE);
  std::vector<std::string> names;
  if (options.allValues) {
    for (const RegValue& value : ReadValues(key.Get(), path.FullName())) names.push_back(value.name);
  } else {
    names.push_back(options.defaultValue ? std::string() : options.valueName);
  }
  for (const std::string& name : names) {
    LONG rc = RegDeleteValueA(key.Get(), name.c_str());
    if (rc != ERROR_SUCCESS)
      throw SystemError("cannot delete " + (name.empty() ? std::string("(Default)") : EscapeControls(name)) + " in " +
                            EscapeControls(path.FullName()),
                        static_cast<DWORD>(rc));
  }
}

}  // namespace

void AddRegDeleteCommand(CLI::App& reg) {
  auto options = std::make_shared<DeleteOptions>();
  CLI::App* remove = reg.add_subcommand("delete", "Delete a value, all values of a key, or a key with its subtree");
  remove->add_option("KEY", options->key, "the key")->required();
  CLI::Option* name = remove->add_option("-v,--value", options->valueName, "delete only this value");
  CLI::Option* unnamed = remove->add_flag("--default", options->defaultValue, "delete only the default value");
  CLI::Option* all = remove->add_flag("--all-values", options->allValues, "delete every value, keep the subkeys");
  name->excludes(unnamed)->excludes(all);
  unnamed->excludes(all);
  remove->add_flag("-f,--force", options->force, "accepted for reg's habit; vkdiag never asks");
  remove->footer(
      "Without a value option the key and everything below it are deleted.\n"
      "Examples:\n"
      "  vkdiag reg delete 'HKCU\\Software\\Example' -v Retries\n"
      "  vkdiag reg delete 'HKCU\\Software\\Example' -f\n");
  remove->callback([options] { DeleteFromKey(*options); });
}

}  // namespace vkdiag
