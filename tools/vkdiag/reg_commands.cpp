// vkdiag reg: the registry commands.
#include "commands.h"

namespace vkdiag {

void AddRegCommands(CLI::App& app) {
  CLI::App* reg = app.add_subcommand("reg", "Query and change the registry");
  reg->require_subcommand(1);
  reg->footer(
      "Keys are written HKLM\\..., HKEY_LOCAL_MACHINE\\..., likewise HKCU, HKU and HKCR.\n"
      "Examples:\n"
      "  vkdiag reg query 'HKLM\\SOFTWARE\\Haldrex\\Vemra' -s\n"
      "  vkdiag reg add 'HKLM\\Software\\Haldrex\\Vemra\\Setup' -v Inst_Path -d /opt/vemra\n");
  AddRegQueryCommand(*reg);
  AddRegAddCommand(*reg);
  AddRegDeleteCommand(*reg);
  AddRegExportCommand(*reg);
  AddRegImportCommand(*reg);
  AddRegWatchCommand(*reg);
}

}  // namespace vkdiag
