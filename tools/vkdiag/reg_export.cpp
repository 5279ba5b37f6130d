// vkdiag reg export: a key and its subtree as a .reg file.
#include <stdio.h>

#include "commands.h"
#include "file_io.h"
#include "reg_file.h"
#include "scoped_key.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

struct ExportOptions {
  std::string key;
  std::string file;
  bool regedit4 = false;
};

// The key, then each subkey's tree in enumeration order, as the editor
// walks it.
void CollectTree(const KeyPath& path, std::vector<RegFileKey>* keys) {
  ScopedKey key;
  OpenOrThrow(key, path, KEY_READ);
  RegFileKey entry;
  entry.path = path;
  for (RegValue& value : ReadValues(key.Get(), path.FullName())) entry.values.push_back({std::move(value), false});
  keys->push_back(std::move(entry));
  std::vector<std::string> subKeys = ReadSubKeyNames(key.Get(), path.FullName());
  key.Close();
  for (const std::string& name : subKeys) CollectTree(path.Child(name), keys);
}

}  // namespace

void AddRegExportCommand(CLI::App& reg) {
  auto options = std::make_shared<ExportOptions>();
  CLI::App* exporter = reg.add_subcommand("export", "Write a key and its subtree to a .reg file");
  exporter->add_option("KEY", options->key, "the key")->required();
  exporter->add_option("FILE", options->file, "the .reg file to write (replaced when it exists); - for standard output")
      ->required();
  exporter->add_flag("--regedit4", options->regedit4, "write the older ANSI REGEDIT4 form");
  exporter->footer(
      "The file is byte for byte what Windows' registry editor writes: UTF-16LE with a byte-order mark\n"
      "and CRLF line ends, texts in the ANSI code page of this system converted to UTF-16.\n"
      "Example:\n"
      "  vkdiag reg export 'HKLM\\SOFTWARE\\Haldrex\\Vemra' vemra.reg\n"
      "  vkdiag reg export 'HKCU\\Software\\Example' - --regedit4 | less\n");
  exporter->callback([options] {
    KeyPath path = ParseKeyPath(options->key);  // a bad key is a usage error first
    CheckState(StateUse::kReadRegistry);
    std::vector<RegFileKey> keys;
    CollectTree(path, &keys);
    std::string file = WriteRegFile(keys, options->regedit4 ? RegFileFormat::kRegedit4 : RegFileFormat::kVersion5);
    if (options->file != "-") {
      WriteWholeFile(options->file, file);
    } else if (fwrite(file.data(), 1, file.size(), stdout) != file.size() || fflush(stdout) != 0) {
      throw Failure("cannot write to standard output");
    }
  });
}

}  // namespace vkdiag
