// vkdiag reg query: a key's values in the layout of Windows' reg query, or
// one JSON object per key.
#include <stdio.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "json_text.h"
#include "key_path.h"
#include "reg_value.h"
#include "scoped_key.h"
#include "text_encoding.h"
#include "tool_error.h"

namespace vkdiag {

namespace {

struct QueryOptions {
  std::string key;
  std::string valueName;
  bool defaultValue = false;
  bool subtree = false;
  std::string format = "text";
};

std::string ShownName(const std::string& name) { return name.empty() ? "(Default)" : EscapeControls(name); }

void PrintTextValue(const RegValue& value) {
  printf("    %s    %s    %s\n", ShownName(value.name).c_str(), TypeName(value.type).c_str(),
         EscapeControls(FormatValueData(value)).c_str());
}

void PrintTextKey(const KeyPath& path, const std::vector<RegValue>& values) {
  printf("%s\n", EscapeControls(path.FullName()).c_str());
  for (const RegValue& value : values) PrintTextValue(value);
  printf("\n");
}

nlohmann::ordered_json JsonData(const RegValue& value) {
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return AnsiToUtf8(TextOf(value.data));
    case REG_MULTI_SZ: {
      nlohmann::ordered_json strings = nlohmann::ordered_json::array();
      for (const std::string& piece : SplitMultiString(value.data)) strings.push_back(AnsiToUtf8(piece));
      return strings;
    }
    case REG_DWORD:
    case REG_QWORD:
      if (value.data.size() == (value.type == REG_DWORD ? 4u : 8u)) {
        unsigned long long number = 0;
        for (size_t i = value.data.size(); i-- > 0;) number = (number << 8) | value.data[i];
        return number;
      }
      break;
    default:
      break;
  }
  return HexDigits(value.data);
}

void PrintJsonKey(const KeyPath& path, const std::vector<RegValue>& values, const std::vector<std::string>* subKeys) {
  nlohmann::ordered_json record;
  record["key"] = AnsiToUtf8(path.FullName());
  record["values"] = nlohmann::ordered_json::array();
  for (const RegValue& value : values)
    record["values"].push_back(
        {{"name", AnsiToUtf8(value.name)}, {"type", TypeName(value.type)}, {"data", JsonData(value)}});
  if (subKeys) {
    record["subkeys"] = nlohmann::ordered_json::array();
    for (const std::string& name : *subKeys) record["subkeys"].push_back(AnsiToUtf8(name));
  }
  printf("%s\n", JsonText(record).c_str());
}

// Prints one key and, with -s, everything below it in enumeration order,
// in reg query's layout: an empty line first; a key's name, its values and
// an empty line when it has values to show, or when it lies below the key
// asked for in a walk; without -s the names of its subkeys after that. The
// default value asked for alone and not set shows as reg shows it,
// "(value not set)", and is no failure.
void QueryKey(const KeyPath& path, const QueryOptions& options, bool top) {
  ScopedKey key;
  OpenOrThrow(key, path, KEY_READ);
  bool oneValue = options.defaultValue || !options.valueName.empty();
  std::vector<RegValue> values;
  bool defaultNotSet = false;
  if (oneValue) {
    RegValue value;
    LONG rc = ReadValue(key.Get(), options.defaultValue ? std::string() : options.valueName, &value);
    if (rc == ERROR_SUCCESS) {
      values.push_back(value);
    } else if (top && !options.subtree && options.defaultValue && rc == ERROR_FILE_NOT_FOUND) {
      defaultNotSet = true;
    } else if (top && !options.subtree) {
      throw SystemError("cannot read " + ShownName(value.name) + " in " + EscapeControls(path.FullName()),
                        static_cast<DWORD>(rc));
    }
  } else {
    values = ReadValues(key.Get(), path.FullName());
    // reg lists the default value before the named ones.
    std::stable_partition(values.begin(), values.end(), [](const RegValue& value) { return value.name.empty(); });
  }
  std::vector<std::string> subKeys = ReadSubKeyNames(key.Get(), path.FullName());
  if (options.format == "json") {
    bool shown = !oneValue || !values.empty() || defaultNotSet;
    if (shown) PrintJsonKey(path, values, options.subtree || oneValue ? nullptr : &subKeys);
  } else {
    if (top) printf("\n");  // reg query opens with an empty line too
    if (defaultNotSet) {
      printf("%s\n    (Default)    REG_SZ    (value not set)\n", EscapeControls(path.FullName()).c_str());
    } else if (!values.empty() || (options.subtree && !top && !oneValue)) {
      PrintTextKey(path, values);
    }
    if (!options.subtree && !oneValue) {
      for (const std::string& name : subKeys) printf("%s\n", EscapeControls(path.Child(name).FullName()).c_str());
    }
  }
  key.Close();
  if (options.subtree)
    for (const std::string& name : subKeys) QueryKey(path.Child(name), options, false);
}

}  // namespace

void AddRegQueryCommand(CLI::App& reg) {
  auto options = std::make_shared<QueryOptions>();
  CLI::App* query = reg.add_subcommand("query", "Show the values of a key (and of its subkeys with -s)");
  query->add_option("KEY", options->key, "the key, e.g. HKLM\\SOFTWARE\\Haldrex")->required();
  CLI::Option* name = query->add_option("-v,--value", options->valueName, "show only this value");
  query->add_flag("--default", options->defaultValue, "show only the default (unnamed) value")->excludes(name);
  query->add_flag("-s,--subtree", options->subtree, "walk all subkeys");
  query->add_option("--format", options->format, "text (reg's layout) or json (one object per key)")
      ->check(CLI::IsMember({"text", "json"}));
  query->footer(
      "Examples:\n"
      "  vkdiag reg query 'HKLM\\SOFTWARE\\Haldrex\\Vemra\\TraceLib'\n"
      "  vkdiag reg query 'HKLM\\SOFTWARE\\Haldrex' -s --format json\n"
      "  vkdiag reg query 'HKLM\\Software\\Haldrex\\Vemra\\Setup' -v Inst_Path\n");
  query->callback([options] {
    KeyPath path = ParseKeyPath(options->key);  // a bad key is a usage error first
    CheckState(StateUse::kReadRegistry);
    QueryKey(path, *options, true);
  });
}

}  // namespace vkdiag
