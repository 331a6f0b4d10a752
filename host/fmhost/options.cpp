#include "host/fmhost/options.h"

#include <CLI/CLI.hpp>

namespace fm::host::fmhost {

std::string DefaultPluginFolder() { return FM_DEFAULT_PLUGIN_DIR; }

std::optional<int> ParseOptions(int argc, const char* const* argv, Options& options,
                                std::ostream& out, std::ostream& err) {
  CLI::App app{
      "Loads the modules of a plug-in folder, opens a mesh file as a document, selects its "
      "objects, runs a registered command on them and writes the result.",
      "fmhost"};
  app.get_formatter()->column_width(24);
  // Paths such as /home/me/mesh.obj are files, not "/option" switches, on every platform.
  app.allow_windows_style_options(false);
  app.add_option("INPUT.obj", options.input, "OBJ file to open as a document")->type_name("");
  app.add_option("-o,--output", options.output,
                 "where to write the result (OBJ); written only when the whole run succeeds")
      ->type_name("OUTPUT.obj");
  app.add_option("--plugins", options.plugins,
                 "plug-in folder whose modules are loaded (default: " + DefaultPluginFolder() + ")")
      ->type_name("DIR");
  app.add_option("--select", options.select,
                 "select only the top-level objects of these names (default: all of them)")
      ->type_name("NAME");
  app.add_option("--command", options.command,
                 "the registered command to run, by id or name (default: the only one)")
      ->type_name("ID|NAME");
  app.add_flag("--json", options.json,
               "print a machine-readable summary on standard output instead of the progress bar "
               "(the console report then goes to standard error)");
  app.add_flag("--undo-check", options.undoCheck,
               "undo the run afterwards and verify that the document equals the input again");
  app.add_flag("--list", options.list, "show the loaded modules and their commands, then stop");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    err << "fmhost: " << e.what() << " (see fmhost --help)\n";
    return 2;
  }
  if (options.plugins.empty()) options.plugins = DefaultPluginFolder();
  if (!options.list) {
    if (options.input.empty()) {
      err << "fmhost: no input file given (see fmhost --help)\n";
      return 2;
    }
    if (options.output.empty()) {
      err << "fmhost: no output file given: use -o OUTPUT.obj (see fmhost --help)\n";
      return 2;
    }
  }
  return std::nullopt;
}

}  // namespace fm::host::fmhost
