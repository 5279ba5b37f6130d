// vkdiag: the operator's tool for what the vkdiag library keeps: registry
// settings, event logs and the debug trace, on Windows and on Linux.
// Exit status: 0 done, 1 an operation failed, 2 a usage error.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "tool_error.h"

namespace {

// How many single-letter edits turn a into b.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// Follows the command words of the command line; an unknown one is a usage
// error that names it and the command it resembles. `help WORDS...` is
// `WORDS... --help`.
std::vector<std::string> CheckedArguments(CLI::App& app, int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "help") {
    args.erase(args.begin());
    args.push_back("--help");
  }
  CLI::App* current = &app;
  std::string words;
  for (const std::string& word : args) {
    std::vector<CLI::App*> commands = current->get_subcommands([](CLI::App*) { return true; });
    if (commands.empty() || word.empty() || word[0] == '-') break;
    CLI::App* next = nullptr;
    for (CLI::App* command : commands)
      if (command->get_name() == word) next = command;
    if (!next) {
      std::string closest;
      size_t best = 3;  // more edits than two suggest nothing
      for (CLI::App* command : commands) {
        size_t distance = EditDistance(word, command->get_name());
        if (distance < best) {
          best = distance;
          closest = command->get_name();
        }
      }
      std::string known;
      for (CLI::App* command : commands) known += (known.empty() ? "" : ", ") + command->get_name();
      throw vkdiag::UsageError("unknown command '" + vkdiag::EscapeControls(words + word) + "'" +
                               (closest.empty() ? "; the commands are " + known
                                                : "; did you mean '" + words + closest + "'?"));
    }
    words += word + " ";
    current = next;
  }
  return args;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"The operator's tool for vkdiag: registry, event logs and debug trace."};
  app.name("vkdiag");
  app.require_subcommand(1);
  // The library's version, which the tool is built with: CMake's project version.
  app.set_version_flag("--version", "vkdiag " VKDIAG_VERSION, "print the version of vkdiag and exit");
  // Paths and program names may start with '/'; they are never options.
  app.allow_windows_style_options(false);
  app.footer(
      "Examples:\n"
      "  vkdiag trace on Viewer\n"
      "  vkdiag reg query 'HKLM\\SOFTWARE\\Haldrex\\Vemra' -s\n"
      "  vkdiag events query --type error -c 10\n");
  vkdiag::AddRegCommands(app);
  vkdiag::AddEventsCommands(app);
  vkdiag::AddTraceCommands(app);
  vkdiag::AddStoresCommand(app);
  vkdiag::AddSetupCommand(app);
  try {
    if (argc < 2)
      throw vkdiag::UsageError("a command is required: reg, events, trace, stores or setup");
    std::vector<std::string> args = CheckedArguments(app, argc, argv);
    std::reverse(args.begin(), args.end());  // CLI11 takes them last first
    app.parse(args);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version);
  } catch (const CLI::Error& error) {
    fprintf(stderr, "vkdiag: %s\n", vkdiag::EscapeControls(error.what()).c_str());
    fprintf(stderr, "Run with --help for more information.\n");
    return vkdiag::kExitUsage;
  } catch (const vkdiag::ToolError& error) {
    fflush(stdout);
    fprintf(stderr, "vkdiag: %s\n", error.what());
    if (error.ExitStatus() == vkdiag::kExitUsage) fprintf(stderr, "Run with --help for more information.\n");
    return error.ExitStatus();
  }
  return vkdiag::kExitOk;
}
