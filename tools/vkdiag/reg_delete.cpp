// vkdiag reg delete: removes a value, all values, or a key with its subtree.
#include <stdio.h>

#include "commands.h"
#include "key_path.h"
#include "reg_value.h"
#include "scoped_key.h"
#include "terminal.h"
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

// How many keys (the key itself included) and values a tree holds.
struct TreeCount {
  unsigned long keys = 0;
  unsigned long values = 0;
};

void CountTree(const KeyPath& path, TreeCount* count) {
  ScopedKey key;
  OpenOrThrow(key, path, KEY_READ);
  ++count->keys;
  DWORD values = 0;
  if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr) == ERROR_SUCCESS)
    count->values += values;
  for (const std::string& name : ReadSubKeyNames(key.Get(), path.FullName())) CountTree(path.Child(name), count);
}

std::string Counted(unsigned long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// As reg.exe asks before it deletes a key; with no terminal to ask on, the
// deletion needs -f.
bool Confirmed(const KeyPath& path) {
  if (!InputIsTerminal())
    throw UsageError("deleting " + EscapeControls(path.FullName()) + " with everything below it needs -f when no terminal can be asked");
  fprintf(stderr, "Permanently delete the registry key %s? (Yes/No) ", EscapeControls(path.FullName()).c_str());
  fflush(stderr);
  char answer[16] = "";
  if (!fgets(answer, sizeof answer, stdin)) return false;
  return answer[0] == 'y' || answer[0] == 'Y';
}

void DeleteFromKey(const DeleteOptions& options) {
  KeyPath path = ParseKeyPath(options.key);
  bool deletesValues = options.defaultValue || options.allValues || !options.valueName.empty();
  if (!deletesValues) {
    if (path.subKey.empty()) throw UsageError("a root key cannot be deleted");
    TreeCount count;
    CountTree(path, &count);
    if (!options.force && !Confirmed(path)) throw Failure("nothing deleted");
    LONG rc = SHDeleteKeyA(path.root, path.subKey.c_str());
    if (rc != ERROR_SUCCESS) throw SystemError("cannot delete " + EscapeControls(path.FullName()), static_cast<DWORD>(rc));
    printf("deleted %s: %s, %s\n", EscapeControls(path.FullName()).c_str(), Counted(count.keys, "key", "keys").c_str(),
           Counted(count.values, "value", "values").c_str());
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
  printf("deleted %s in %s\n", Counted(static_cast<unsigned long>(names.size()), "value", "values").c_str(),
         EscapeControls(path.FullName()).c_str());
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
  remove->add_flag("-f,--force", options->force, "delete a key without asking");
  remove->footer(
      "Without a value option the key and everything below it are deleted, after asking as reg.exe\n"
      "asks (or with -f; without a terminal to ask on, -f is needed). Says what it deleted.\n"
      "Examples:\n"
      "  vkdiag reg delete 'HKCU\\Software\\Example' -v Retries\n"
      "  vkdiag reg delete 'HKCU\\Software\\Example' -f\n");
  remove->callback([options] {
    CheckState(StateUse::kReadRegistry);
    DeleteFromKey(*options);
  });
}

}  // namespace vkdiag
