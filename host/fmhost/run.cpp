#include "host/fmhost/run.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "host/fmhost/screen.h"
#include "host/fmhost/summary.h"
#include "host/framework/console.h"
#include "host/framework/framework.h"
#include "host/loader/module_host.h"
#include "host/mesh/document_mapping.h"
#include "host/mesh/obj_reader.h"
#include "host/mesh/obj_writer.h"
#include "host/mesh/output_file.h"
#include "host/tables/environment.h"

namespace fm::host::fmhost {
namespace {

// The state operation's answer has this bit set while the command is available.
constexpr int32_t kCommandEnabled = 0x40000000;

int Fail(Streams& streams, const std::string& message) {
  streams.err << "fmhost: " << message << '\n';
  streams.err.flush();
  return kExitFailure;
}

// Forwards the framework console to a screen for as long as it lives.
class ConsoleForward {
 public:
  explicit ConsoleForward(Screen& screen) {
    SetConsoleListener([&screen](const std::string& line) { screen.ConsoleLine(line); });
  }
  ~ConsoleForward() { SetConsoleListener(nullptr); }
  ConsoleForward(const ConsoleForward&) = delete;
  ConsoleForward& operator=(const ConsoleForward&) = delete;
};

class UiForward {
 public:
  UiForward(UiLog& log, Screen& screen)
      : log_(log), id_(log.AddListener([&screen](const UiEvent& event) { screen.Show(event); })) {}
  ~UiForward() { log_.RemoveListener(id_); }
  UiForward(const UiForward&) = delete;
  UiForward& operator=(const UiForward&) = delete;

 private:
  UiLog& log_;
  int id_;
};

std::string Join(const std::vector<std::string>& items) {
  std::string joined;
  for (const std::string& item : items) joined += (joined.empty() ? "" : ", ") + item;
  return joined;
}

std::string CommandLabel(const HostedCommand& command) {
  return std::to_string(command.id) + " \"" + command.name + "\"";
}

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

void List(const ModuleHost& host, const std::string& folder, bool json, std::ostream& out) {
  const std::vector<LoadedModuleInfo> modules = host.Modules();
  const std::vector<const HostedCommand*> commands = host.Commands();
  if (json) {
    std::string text = "{\n  \"plugins\": " + JsonString(folder) + ",\n  \"modules\": [";
    for (size_t m = 0; m < modules.size(); ++m) {
      text += std::string(m ? "," : "") + "\n    {\"file\": " + JsonString(modules[m].file) +
              ", \"commands\": [";
      bool first = true;
      for (const HostedCommand* command : commands) {
        if (command->module != modules[m].file) continue;
        text += std::string(first ? "" : ", ") + "{\"id\": " + std::to_string(command->id) +
                ", \"name\": " + JsonString(command->name) +
                ", \"help\": " + JsonString(command->help) + "}";
        first = false;
      }
      text += "]}";
    }
    text += modules.empty() ? "]\n}\n" : "\n  ]\n}\n";
    out << text;
    return;
  }
  out << "plug-in folder " << folder << '\n';
  for (const LoadedModuleInfo& module : modules) {
    out << "  module " << module.file << '\n';
    // What the file declared to the framework: its module records (newest first), each with its
    // dependencies and translation units. Flags are shown as stored, with the construction bits
    // (CONSTRUCTED | DEFINITION = 0x201) the records give themselves.
    for (const ModuleRecordInfo& record : module.records) {
      out << "    framework module \"" << record.id.text << "\" " << Hex(record.id.packed)
          << " flags " << Hex(record.flags) << " owner \"" << record.owner << "\"\n";
      for (const LiteralInfo& dependency : record.dependencies) {
        out << "      depends on \"" << dependency.text << "\" " << Hex(dependency.packed) << '\n';
      }
      for (const TranslationUnitInfo& unit : record.units) {
        out << "      unit \"" << unit.id.text << "\" flags " << Hex(unit.flags) << '\n';
      }
    }
    bool any = false;
    for (const HostedCommand* command : commands) {
      if (command->module != module.file) continue;
      out << "    command " << CommandLabel(*command);
      if (!command->help.empty()) out << "  help: " << command->help;
      out << '\n';
      any = true;
    }
    if (!any) out << "    (no commands)\n";
  }
}

const HostedCommand* ChooseCommand(const ModuleHost& host, const std::string& wanted,
                                   std::string& error) {
  const std::vector<const HostedCommand*> commands = host.Commands();
  std::vector<std::string> labels;
  for (const HostedCommand* command : commands) labels.push_back(CommandLabel(*command));
  if (commands.empty()) {
    error = "the modules registered no command";
    return nullptr;
  }
  if (wanted.empty()) {
    if (commands.size() == 1) return commands.front();
    error = std::to_string(commands.size()) +
            " commands are registered, choose one with --command: " + Join(labels);
    return nullptr;
  }
  char* end = nullptr;
  const long long id = std::strtoll(wanted.c_str(), &end, 10);
  const bool numeric = end != wanted.c_str() && *end == '\0';
  for (const HostedCommand* command : commands) {
    if ((numeric && command->id == id) || command->name == wanted) return command;
  }
  error = "no command " + wanted + " is registered (registered: " + Join(labels) + ")";
  return nullptr;
}

// The first way in which `after` differs from `before`, or "" when they are equal.
std::string Difference(const mesh::MeshObject& before, const mesh::MeshObject& after) {
  if (before.name != after.name) return "its name differs";
  if (before.points != after.points) return "its points differ";
  if (before.polygons.size() != after.polygons.size()) {
    return "it has " + std::to_string(after.polygons.size()) + " polygons instead of " +
           std::to_string(before.polygons.size());
  }
  for (size_t i = 0; i < before.polygons.size(); ++i) {
    if (before.polygons[i] != after.polygons[i]) return "polygon " + std::to_string(i) + " differs";
  }
  if (before.uvw.size() != after.uvw.size()) return "its texture coordinates differ in number";
  for (size_t i = 0; i < before.uvw.size(); ++i) {
    if (before.uvw[i] != after.uvw[i]) {
      return "the texture coordinates of polygon " + std::to_string(i) + " differ";
    }
  }
  if (before.groups.size() != after.groups.size()) return "its polygon selections differ in number";
  for (size_t g = 0; g < before.groups.size(); ++g) {
    if (before.groups[g] != after.groups[g]) {
      return "polygon selection '" + before.groups[g].name + "' differs";
    }
  }
  return {};
}

bool UndoCheck(Document& document, const std::vector<PolygonObject*>& objects,
               const mesh::MeshFile& input, std::string& error) {
  if (document.Undo().GroupOpen()) {
    error = "undo check failed: the command left its undo group open";
    return false;
  }
  if (!document.Undo().Undo()) {
    error = "undo check failed: the run left nothing to undo";
    return false;
  }
  mesh::MeshFile undone = input;
  if (!mesh::TakeMeshObjects(objects, undone, error)) {
    error = "undo check failed: " + error;
    return false;
  }
  for (size_t o = 0; o < input.objects.size(); ++o) {
    const std::string difference = Difference(input.objects[o], undone.objects[o]);
    if (!difference.empty()) {
      error = "undo check failed: after undo, object '" + input.objects[o].name + "': " +
              difference;
      return false;
    }
  }
  return true;
}

}  // namespace

int Run(const Options& options, Streams& streams) {
  namespace fs = std::filesystem;
  std::string error;
  mesh::MeshFile input;
  if (!options.list) {
    if (!mesh::ReadObjFile(options.input, input, error)) return Fail(streams, error);
    for (const std::string& note : input.notes) streams.err << "fmhost: note: " << note << '\n';
    for (const std::string& name : options.select) {
      bool found = false;
      for (const mesh::MeshObject& object : input.objects) found = found || object.name == name;
      if (!found) {
        std::vector<std::string> names;
        for (const mesh::MeshObject& object : input.objects) names.push_back(object.name);
        return Fail(streams, options.input + ": no object named '" + name + "' (objects: " +
                                 Join(names) + ")");
      }
    }
    // Find an unwritable destination before any work; the result itself is written at the end.
    mesh::OutputFile probe;
    if (!probe.Open(options.output, error)) return Fail(streams, error);
  }

  ResetFramework();
  Environment environment;
  const Screen::Mode mode = options.json ? Screen::Mode::kSummary
                            : streams.outIsTerminal ? Screen::Mode::kTerminal
                                                    : Screen::Mode::kPlain;
  Screen screen(streams.out, streams.err, mode);
  ConsoleForward console(screen);
  UiForward ui(environment.Ui(), screen);

  ModuleHost host(environment);
  const bool loaded = host.LoadFolder(options.plugins);
  for (const std::string& warning : host.Warnings()) {
    streams.err << "fmhost: warning: " << warning << '\n';
  }
  if (!loaded) {
    for (size_t i = 0; i + 1 < host.Errors().size(); ++i) {
      streams.err << "fmhost: " << host.Errors()[i] << '\n';
    }
    return Fail(streams, host.Errors().empty() ? options.plugins + ": the modules did not load"
                                               : host.Errors().back());
  }
  if (options.list) {
    List(host, options.plugins, options.json, streams.out);
    return kExitSuccess;
  }
  const HostedCommand* command = ChooseCommand(host, options.command, error);
  if (command == nullptr) return Fail(streams, error);

  Document& document = environment.NewDocument(fs::path(options.input).filename().string());
  const std::vector<PolygonObject*> objects = mesh::AddMeshObjects(input, document);
  for (PolygonObject* object : objects) {
    bool selected = options.select.empty();
    for (const std::string& name : options.select) selected = selected || object->Name() == name;
    object->SetSelected(selected);
  }

  if (std::optional<int32_t> state = host.State(command->id, &document)) {
    if ((*state & kCommandEnabled) == 0) {
      return Fail(streams, "command " + CommandLabel(*command) +
                               " is not available for this document");
    }
  }
  const auto start = std::chrono::steady_clock::now();
  const std::optional<bool> executed = host.Execute(command->id, &document);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  screen.Finish();
  if (!executed.has_value()) {
    return Fail(streams, "command " + CommandLabel(*command) + " cannot be executed");
  }
  if (!*executed) return Fail(streams, "command " + CommandLabel(*command) + " failed");

  mesh::MeshFile result = input;
  result.notes.clear();
  if (!mesh::TakeMeshObjects(objects, result, error)) return Fail(streams, error);
  if (options.undoCheck && !UndoCheck(document, objects, input, error)) {
    return Fail(streams, error);
  }
  std::string text;
  if (!mesh::FormatObj(result, text, error)) return Fail(streams, error);
  mesh::OutputFile output;
  if (!output.Open(options.output, error) || !output.Commit(text, error)) {
    return Fail(streams, error);
  }

  RunSummary summary;
  summary.input = options.input;
  summary.output = options.output;
  summary.commandId = command->id;
  summary.commandName = command->name;
  summary.seconds = seconds;
  summary.undoChecked = options.undoCheck;
  for (size_t o = 0; o < objects.size(); ++o) {
    summary.objects.push_back(ObjectSummary{
        input.objects[o].name, objects[o]->IsSelected(),
        static_cast<int64_t>(input.objects[o].polygons.size()),
        static_cast<int64_t>(result.objects[o].polygons.size()),
        QuadsMade(input.objects[o].polygons, result.objects[o].polygons)});
  }
  if (options.json) {
    streams.out << ToJson(summary);
  } else {
    int64_t before = 0, after = 0;
    for (const ObjectSummary& object : summary.objects) {
      before += object.polygonsBefore;
      after += object.polygonsAfter;
    }
    if (options.undoCheck) streams.out << "undo check passed: the document equals the input again\n";
    streams.out << "wrote " << options.output << ": " << summary.objects.size()
                << (summary.objects.size() == 1 ? " object, " : " objects, ") << before
                << " polygons before, " << after << " after\n";
  }
  streams.out.flush();
  return kExitSuccess;
}

int Main(int argc, const char* const* argv, Streams& streams) {
  Options options;
  if (std::optional<int> exit = ParseOptions(argc, argv, options, streams.out, streams.err)) {
    return *exit;
  }
  return Run(options, streams);
}

}  // namespace fm::host::fmhost
