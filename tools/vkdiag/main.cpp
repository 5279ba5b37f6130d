// vkdiag: the operator's tool for what the vkdiag library keeps: registry
// settings, event logs and the debug trace, on Windows and on Linux.
// Exit status: 0 done, 1 an operation failed, 2 a usage error.
#include <stdio.h>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "tool_error.h"

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
    app.parse(argc, argv);
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
    return error.ExitStatus();
  }
  return vkdiag::kExitOk;
}
