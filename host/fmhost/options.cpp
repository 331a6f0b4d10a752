#include "host/fmhost/options.h"

#include <CLI/CLI.hpp>

#include <map>
#include <string>

namespace fm::host::fmhost {

std::string DefaultPluginFolder() { return FM_DEFAULT_PLUGIN_DIR; }

std::optional<int> ParseOptions(int argc, const char* const* argv, Options& options,
                                std::ostream& out, std::ostream& err) {
  CLI::App app{
      "Loads the modules of a plug-in folder, opens a mesh file as a document, selects its "
      "objects, runs a registered command on them and writes the result.",
      "fmhost"};
  app.get_formatter()->column_width(24);
  app.footer(
      "The result is INPUT.obj with only the merged faces rewritten: every other line (vertices, "
      "texture coordinates, normals, groups, materials, smoothing groups, lines, points, curves, "
      "surfaces, comments, statements fmhost does not know) is kept byte for byte, in the file's "
      "order whatever order the triangles were handed over in: a quad takes its first "
      "triangle's line and its second triangle's line goes. An object "
      "with a face of more than four corners is left as it is, and said so. A merged face of "
      "corners that differ in form is written in the form they share. A run that fails writes "
      "nothing.\n"
      "\n"
      "OUTPUT.obj: '-' is standard output (the report then goes to standard error). An existing "
      "file is replaced only when the whole run succeeded, and keeps its permissions and owner; "
      "a symbolic link is followed (the file it leads to is replaced, the link stays); a device "
      "or FIFO is written to directly, never replaced. An interrupted run leaves no temporary "
      "file and no changed output.\n"
      "\n"
      "Refused, with one 'fmhost: FILE:LINE: what' line and no output: malformed numbers or "
      "indices, numbers or indices out of range, a face whose own corners differ in form, NUL "
      "bytes, control bytes in a statement's first word.\n"
      "\n"
      "Exit status: 0 success; 1 failure (unreadable or malformed input, unwritable output, no "
      "modules, unknown object or command, failed undo check); 2 usage error. With --json a "
      "failure also prints {\"error\": ..., \"exitCode\": N} on standard output.");
  // Paths such as /home/me/mesh.obj are files, not "/option" switches, on every platform.
  app.allow_windows_style_options(false);
  app.add_option("INPUT.obj", options.input, "OBJ file to open as a document")->type_name("");
  app.add_option("-o,--output", options.output,
                 "where to write the result (OBJ), '-' for standard output; written only when "
                 "the whole run succeeds")
      ->type_name("OUTPUT.obj");
  app.add_option("--plugins", options.plugins,
                 "plug-in folder whose modules are loaded (default: " + DefaultPluginFolder() + ")")
      ->type_name("DIR");
  app.add_option("--select", options.select,
                 "select only the top-level objects of these names (default: all of them); "
                 "when INPUT.obj follows the names, the last of them is taken as INPUT.obj")
      ->type_name("NAME");
  app.add_option("--command", options.command,
                 "the registered command to run, by id or name (default: the only one)")
      ->type_name("ID|NAME");
  app.add_option("--order", options.order,
                 "the order each object's triangles are handed to the command in: 'auto' (the "
                 "default) keeps the file's order where the command reads pairs in it that merge "
                 "every triangle, and otherwise recognises second triangles written after the "
                 "first ones (per material run) and, where that pairs more, hands each pair over "
                 "together; 'file' always keeps the file's order")
      ->transform(CLI::CheckedTransformer(
          std::map<std::string, FaceOrder>{{"auto", FaceOrder::kAuto}, {"file", FaceOrder::kFile}}))
      ->type_name("auto|file");
  app.add_flag("--json", options.json,
               "print a machine-readable summary on standard output instead of the progress bar "
               "(the console report then goes to standard error)");
  app.add_flag("--undo-check", options.undoCheck,
               "undo the run afterwards and verify that the document equals the input again");
  app.add_flag("--list", options.list,
               "show the loaded modules and their commands, then stop (takes no INPUT.obj or -o)");
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
  // `--select A in.obj -o out.obj`: the names take every word up to the next option, the input
  // file too. With no input given elsewhere, the last word is the input; a lone word after
  // --select stays a name, or the selection would silently become "everything".
  if (options.input.empty() && options.select.size() >= 2 && !options.list) {
    options.input = options.select.back();
    options.select.pop_back();
  }
  if (options.list) {
    if (!options.input.empty() || !options.output.empty()) {
      err << "fmhost: --list shows the modules and stops: it takes no input or output file (see "
             "fmhost --help)\n";
      return 2;
    }
  } else {
    if (options.input.empty()) {
      err << "fmhost: no input file given (see fmhost --help)\n";
      return 2;
    }
    if (options.output.empty()) {
      err << "fmhost: no output file given: use -o OUTPUT.obj (see fmhost --help)\n";
      return 2;
    }
    if (options.json && options.output == kStandardOutputPath) {
      err << "fmhost: --json and -o - would both write to standard output: write the result to a "
             "file (see fmhost --help)\n";
      return 2;
    }
  }
  return std::nullopt;
}

}  // namespace fm::host::fmhost
