// vkdiag reg add: creates a key, or sets one value of it.
#include "commands.h"
#include "key_path.h"
#include "reg_value.h"
#include "scoped_key.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

struct AddOptions {
  std::string key;
  std::string valueName;
  bool defaultValue = false;
  std::string type = "REG_SZ";
  std::string data;
  bool force = false;
  bool dataGiven = false;  // -d or -t: a value to set
};

void AddValue(const AddOptions& options) {
  KeyPath path = ParseKeyPath(options.key);
  bool setsValue = options.defaultValue || !options.valueName.empty();
  // Everything that can be wrong with the input is found before the
  // registry is touched.
  DWORD type = ParseTypeName(options.type);
  std::vector<BYTE> data = ParseValueData(type, options.data);
  // As reg.exe: data sets the default value only when asked to by name.
  if (!setsValue && options.dataGiven)
    throw UsageError("-d and -t set a value: name it with -v, or the default value with --default");
  if (!setsValue && path.subKey.empty()) throw UsageError("a root key cannot be created");

  ScopedKey key;
  LONG rc = key.Create(path, KEY_READ | KEY_WRITE);
  if (rc != ERROR_SUCCESS) throw SystemError("cannot create " + EscapeControls(path.FullName()), static_cast<DWORD>(rc));
  if (!setsValue) return;
  std::string name = options.defaultValue ? std::string() : options.valueName;
  RegValue existing;
  if (!options.force && ReadValue(key.Get(), name, &existing) == ERROR_SUCCESS)
    throw Failure("the value " + (name.empty() ? std::string("(Default)") : EscapeControls(name)) + " of " +
                  EscapeControls(path.FullName()) + " exists already; -f overwrites it");
  rc = RegSetValueExA(key.Get(), name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
  if (rc != ERROR_SUCCESS) throw SystemError("cannot set " + EscapeControls(name) + " in " + EscapeControls(path.FullName()), static_cast<DWORD>(rc));
}

}  // namespace

void AddRegAddCommand(CLI::App& reg) {
  auto options = std::make_shared<AddOptions>();
  CLI::App* add = reg.add_subcommand("add", "Create a key, or set a value in it");
  add->add_option("KEY", options->key, "the key; created with its parents when missing")->required();
  CLI::Option* name = add->add_option("-v,--value", options->valueName, "the value to set");
  add->add_flag("--default", options->defaultValue, "set the default (unnamed) value")->excludes(name);
  CLI::Option* type = add->add_option("-t,--type", options->type,
                  "REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY or REG_NONE");
  CLI::Option* data = add->add_option("-d,--data", options->data,
                  "the data: text; for REG_MULTI_SZ texts separated by \\0; for REG_DWORD and REG_QWORD a number "
                  "(decimal or 0x hex); for REG_BINARY and REG_NONE hex digits");
  add->add_flag("-f,--force", options->force, "overwrite a value that exists");
  add->footer(
      "Examples:\n"
      "  vkdiag reg add 'HKLM\\Software\\Haldrex\\Vemra\\Setup' -v Inst_Path -d /opt/vemra\n"
      "  vkdiag reg add 'HKCU\\Software\\Example' -v Retries -t REG_DWORD -d 0x10 -f\n"
      "  vkdiag reg add 'HKCU\\Software\\Example' -v Paths -t REG_MULTI_SZ -d 'a\\0b'\n");
  add->callback([options, type, data] {
    CheckState(StateUse::kAny);
    options->dataGiven = type->count() > 0 || data->count() > 0;
    AddValue(*options);
  });
}

}  // namespace vkdiag
