#include "host/fmhost/run.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "host/fmhost/material_libraries.h"
#include "host/fmhost/pair_reading.h"
#include "host/fmhost/screen.h"
#include "host/fmhost/summary.h"
#include "host/framework/console.h"
#include "host/framework/framework.h"
#include "host/framework/memory.h"
#include "host/framework/strings.h"
#include "host/loader/module_host.h"
#include "host/mesh/document_mapping.h"
#include "host/mesh/face_trace.h"
#include "host/mesh/input_file.h"
#include "host/mesh/obj_reader.h"
#include "host/mesh/obj_writer.h"
#include "host/mesh/output_file.h"
#include "host/mesh/printable.h"
#include "host/mesh/triangle_order.h"
#include "host/scene/records.h"
#include "host/tables/environment.h"

namespace fm::host::fmhost {
namespace {

// The state operation's answer has this bit set while the command is available.
constexpr int32_t kCommandEnabled = 0x40000000;

// Longest failure line fmhost prints; a file's bytes can make a message of any length.
constexpr size_t kMessageLimit = 480;

int Fail(Streams& streams, const std::string& message) {
  const std::string line = mesh::Printable(message, kMessageLimit);
  streams.err << "fmhost: " << line << '\n';
  streams.err.flush();
  if (streams.failuresAsJson) {
    streams.out << FailureJson(line, kExitFailure);
    streams.out.flush();
  }
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

// `executed`: whether the command ran at all. When it did not (nothing to give it), there is
// nothing to undo and the document must still equal the input.
bool UndoCheck(Document& document, const std::vector<PolygonObject*>& objects,
               const mesh::MeshFile& input, const mesh::HandOverOrders& handOver, bool executed,
               std::string& error) {
  if (executed && document.Undo().GroupOpen()) {
    error = "undo check failed: the command left its undo group open";
    return false;
  }
  if (executed && !document.Undo().Undo()) {
    error = "undo check failed: the run left nothing to undo";
    return false;
  }
  const std::string difference = mesh::DocumentDifference(input, objects, handOver);
  if (!difference.empty()) {
    error = "undo check failed: after undo, " + difference;
    return false;
  }
  return true;
}

std::string FileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

}  // namespace

int Run(const Options& options, Streams& streams) {
  std::string error;
  // With the result on standard output, everything else goes to the error stream, as with --json.
  const bool toStandardOutput = options.output == kStandardOutputPath;
  std::ostream& report = toStandardOutput ? streams.err : streams.out;
  const Screen::Mode mode = options.json || toStandardOutput ? Screen::Mode::kSummary
                            : streams.outIsTerminal          ? Screen::Mode::kTerminal
                                                             : Screen::Mode::kPlain;
  Screen screen(streams.out, streams.err, mode);
  // Said only once the run has succeeded, so that a failing run prints its one line alone.
  std::vector<std::string> warnings;

  mesh::InputFile inputFile;
  mesh::MeshFile input;
  mesh::OutputFile output;
  // The text before the first face starts the result whatever the command does. A result that
  // replaces a file, and so appears only complete, gets it written on a second thread while the
  // document is built and the command runs (joined before `output` goes).
  size_t writtenAhead = 0;
  bool aheadFailed = false;
  std::string aheadError;
  std::jthread ahead;
  using Clock = std::chrono::steady_clock;
  const auto Since = [](Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  RunSummary summary;
  // Whether the command walks the object of that name (every object, unless some are chosen).
  const auto Selected = [&](const std::string& name) {
    return options.select.empty() ||
           std::find(options.select.begin(), options.select.end(), name) != options.select.end();
  };
  // A command's working space for an object is at most a copy of its polygons and a number for
  // each (the merge keeps a link per polygon). In the host application that memory comes from what
  // its allocator already holds; a headless run has touched none yet, and fresh memory costs more
  // to fault in than the command takes to fill it. So a block of that size, for the largest object
  // the command will walk, is made ready on a core the run leaves idle, and the command's first such
  // request takes it: reserved for all the file's faces as soon as the reader's second thread is
  // through (the first one then reads on alone), and for the largest object once it is known (a
  // block that suits it stays, made ready no further than it needs; another is replaced).
  const auto WorkingSpace = [](size_t polygons) {
    return polygons * (sizeof(PolygonRecord) + sizeof(int32_t));
  };
  // Not left behind by a run that stops early.
  struct DropReserveAtEnd {
    ~DropReserveAtEnd() { DropReservedBlock(); }
  } dropReserveAtEnd;
  if (!options.list) {
    const auto readStart = Clock::now();
    const std::string reading = "Reading " + FileName(options.input);
    const bool read = mesh::ReadObjFile(
        options.input, inputFile, input, error,
        [&](int percent) { screen.Progress(reading, percent); },
        [&](size_t faces) { ReserveClearedBlock(WorkingSpace(faces)); });
    screen.Finish();
    summary.readSeconds = Since(readStart);
    if (!read) return Fail(streams, error);
    for (const std::string& name : options.select) {
      bool found = false;
      for (const mesh::MeshObject& object : input.objects) found = found || object.name == name;
      for (const mesh::LeftObject& object : input.leftObjects) found = found || object.name == name;
      if (!found) {
        std::vector<std::string> names;
        for (const mesh::MeshObject& object : input.objects) names.push_back(object.name);
        for (const mesh::LeftObject& object : input.leftObjects) names.push_back(object.name);
        return Fail(streams, options.input + ": no object named '" + name + "' (objects: " +
                                 Join(names) + ")");
      }
    }
    // An unwritable destination is found before any work; the result is written at the end.
    const bool opened =
        toStandardOutput ? output.OpenStandardOutput(error) : output.Open(options.output, error);
    if (!opened) return Fail(streams, error);
    constexpr size_t kWriteAheadFrom = size_t{1} << 20;
    if (output.kind() == mesh::OutputFile::Kind::kReplace &&
        mesh::UnchangedStart(input) >= kWriteAheadFrom) {
      const std::string_view start = inputFile.Text().substr(0, mesh::UnchangedStart(input));
      try {
        ahead = std::jthread([&, start] {
          // The system copies it from file to file, so its mapped pages are handed back before
          // anything else: they would otherwise stay resident, beside the memory the document and
          // the command take now. Where the system cannot copy it, it is read from the mapping
          // again, in pieces, each handed back once written.
          inputFile.Release(0, start.size());
          constexpr size_t kPiece = size_t{8} << 20;
          for (size_t at = 0; at < start.size() && !aheadFailed; at += kPiece) {
            aheadFailed = !output.AppendFromFile(inputFile.Descriptor(), at,
                                                 start.substr(at, kPiece), aheadError);
            inputFile.Release(at, std::min(start.size(), at + kPiece));
          }
        });
        writtenAhead = start.size();
      } catch (const std::system_error&) {
        // Then it is written with the rest.
      }
    }
    // The text before the first face is not read again (it goes out file to file, or is faulted in
    // again if it must): handed back as it is written ahead, or at once.
    if (!ahead.joinable()) inputFile.Release(0, mesh::UnchangedStart(input));
    if (!toStandardOutput) {
      const std::string materials =
          MissingMaterialLibraries(input.materialLibraries, options.input, options.output);
      if (!materials.empty()) warnings.push_back(materials);
    }
  }

  // The command's working space, now for the largest object it will walk.
  if (!options.list) {
    uint32_t largest = 0;
    for (const mesh::MeshObject& object : input.objects) {
      if (Selected(object.name)) largest = std::max(largest, object.faceCount);
    }
    ReserveClearedBlock(WorkingSpace(largest));
  }

  mesh::FaceTrace trace;
  {
    ResetFramework();
    Environment environment;
    ConsoleForward console(screen);
    UiForward ui(environment.Ui(), screen);
    ModuleHost host(environment);
    const bool loaded = host.LoadFolder(options.plugins);
    if (!loaded) {
      std::string reasons;
      for (const std::string& reason : host.Errors()) reasons += (reasons.empty() ? "" : "; ") + reason;
      return Fail(streams, reasons.empty() ? options.plugins + ": the modules did not load" : reasons);
    }
    for (const std::string& warning : host.Warnings()) warnings.push_back(warning);
    if (options.list) {
      for (const std::string& warning : warnings) streams.err << "fmhost: warning: " << warning << '\n';
      List(host, options.plugins, options.json, streams.out);
      return kExitSuccess;
    }
    const HostedCommand* command = ChooseCommand(host, options.command, error);
    if (command == nullptr) return Fail(streams, error);

    Document& document = environment.NewDocument(FileName(options.input));
    const std::vector<PolygonObject*> objects = mesh::AddMeshObjects(input, document);
    std::vector<std::string> walked;
    // How the command will read each walked object's pairs, asked before it changes them.
    std::vector<PairReading> readings(objects.size());
    std::vector<std::string> orderHints(objects.size());
    std::vector<std::string> ordersRead(objects.size());
    std::vector<bool> reordered(objects.size(), false);
    mesh::HandOverOrders handOver(objects.size());
    for (size_t o = 0; o < objects.size(); ++o) {
      PolygonObject* object = objects[o];
      const bool selected = Selected(object->Name());
      object->SetSelected(selected);
      // The command prints each name as it reads it back from the host: a name that is not UTF-8
      // comes back re-encoded, byte by byte.
      if (selected) walked.push_back(RoundTripUtf8(object->Name()));
      if (!selected) continue;
      // Read through the object as const: asking it for writable polygons counts as changing them,
      // and an undo capture would then copy them.
      const PolygonObject& built = *object;
      readings[o] = ReadPairLayout(built.Polygons());
      if (readings[o].layout != PairLayout::kNone) {
        ordersRead[o] = readings[o].layout == PairLayout::kHalves
                            ? "the file's order: the first half with the second"
                            : "the file's order: each triangle with the next";
        // A layout that merges every triangle is the file's; one that leaves triangles may have
        // been read from a pair at polygon 0 by chance, in an order that pairs otherwise.
        if (options.order == FaceOrder::kFile || mesh::CommandMergesEveryTriangle(built.Polygons()))
          continue;
      }
      // See whether the order is one that triangulating tools write, which the object can be
      // handed over in so that the command reads its pairs (where the file's order gives a layout,
      // only when the recognised order pairs more). Only the order changes; the command still makes
      // every merge.
      mesh::TriangleOrderResult found = mesh::RecogniseTriangleOrder(
          built.Polygons(), mesh::MaterialRunIds(input.objects[o]));
      const bool recognised = found.order == mesh::TriangleOrder::kRecognised;
      if (recognised && options.order == FaceOrder::kAuto &&
          mesh::HandOverInOrder(input, input.objects[o], found.handOver, *object)) {
        handOver[o] = std::move(found.handOver);
        reordered[o] = true;
        readings[o] = ReadPairLayout(built.Polygons());
        ordersRead[o] = found.description;
      } else if (readings[o].layout != PairLayout::kNone) {
        continue;  // the file's layout stays, as read above
      } else if (recognised) {
        ordersRead[o] = "the file's order";
        orderHints[o] = "faces ordered with " + found.description +
                        ", which the command does not read (--order auto hands them over paired)";
      } else {
        ordersRead[o] = options.order == FaceOrder::kAuto ? found.description : "the file's order";
      }
    }

    // A file without faces and objects leaves nothing to select, and nothing to change: the
    // command is not available then and the result is the input as it is.
    std::vector<std::string> consoleLines;
    bool executedAtAll = false;
    if (!objects.empty()) {
      if (std::optional<int32_t> state = host.State(command->id, &document)) {
        if ((*state & kCommandEnabled) == 0) {
          return Fail(streams, "command " + CommandLabel(*command) +
                                   " is not available for this document");
        }
      }
      const size_t firstEvent = environment.Ui().Events().size();
      const auto start = Clock::now();
      const std::optional<bool> executed = host.Execute(command->id, &document);
      summary.seconds = Since(start);
      DropReservedBlock();
      screen.Finish();
      if (!executed.has_value()) {
        return Fail(streams, "command " + CommandLabel(*command) + " cannot be executed");
      }
      if (!*executed) return Fail(streams, "command " + CommandLabel(*command) + " failed");
      executedAtAll = true;
      const std::vector<UiEvent>& events = environment.Ui().Events();
      for (size_t e = firstEvent; e < events.size(); ++e) {
        if (events[e].kind == UiEventKind::PrintLine) consoleLines.push_back(events[e].text);
      }
    }

    if (!mesh::TraceFaces(input, objects, trace, error, handOver)) return Fail(streams, error);
    if (options.undoCheck &&
        !UndoCheck(document, objects, input, handOver, executedAtAll, error)) {
      return Fail(streams, error);
    }
    const std::vector<int64_t> walkedQuads = ReportedQuads(consoleLines, walked);
    summary.commandId = command->id;
    summary.commandName = command->name;
    size_t nextWalked = 0, nextLeft = 0;
    const auto AddLeftObjects = [&](size_t objectsBefore) {
      for (; nextLeft < input.leftObjects.size() &&
             input.leftObjects[nextLeft].objectsBefore == objectsBefore;
           ++nextLeft) {
        const mesh::LeftObject& left = input.leftObjects[nextLeft];
        ObjectSummary object;
        object.name = left.name;
        object.polygonsBefore = object.polygonsAfter = int64_t{left.faceCount};
        object.leftAsIs = "line " + std::to_string(left.faceLine) + " has a face of " +
                          std::to_string(left.corners) +
                          " corners, and a polygon object holds at most four";
        summary.objects.push_back(std::move(object));
      }
    };
    size_t nextRewritten = 0;
    for (size_t o = 0; o < objects.size(); ++o) {
      AddLeftObjects(o);
      ObjectSummary object;
      object.name = input.objects[o].name;
      object.selected = objects[o]->IsSelected();
      object.polygonsBefore = int64_t{input.objects[o].faceCount};
      object.polygonsAfter = trace.polygonsAfter[o];
      const FoldCount folds = CountFolds(input, input.objects[o], trace, nextRewritten);
      if (object.selected) {
        object.quadsMade = walkedQuads[nextWalked++];
        const PairReading& reading = readings[o];
        object.layout = reading.layout == PairLayout::kHalves     ? "halves"
                        : reading.layout == PairLayout::kAdjacent ? "adjacent"
                                                                  : "none";
        object.half = reading.half;
        object.polygon0PairsWith = reading.polygon0PairsWith;
        object.orderHint = orderHints[o];
        object.order = ordersRead[o];
        object.reordered = reordered[o];
        object.mergedQuads = folds.merged;
        object.foldedQuads = folds.folded;
      }
      summary.objects.push_back(std::move(object));
    }
    AddLeftObjects(objects.size());
  }  // the document, its undo history and the modules are let go before the result is written

  const auto writeStart = Clock::now();
  if (ahead.joinable()) ahead.join();
  if (aheadFailed) return Fail(streams, aheadError);
  const std::string writing =
      "Writing " + (toStandardOutput ? std::string("to standard output") : FileName(options.output));
  std::string outputError;
  uint64_t released = 0;
  const std::string_view text = inputFile.Text();
  // Runs of the input as it is are copied from file to file where the system can.
  const mesh::TextSink sink = [&](std::string_view piece) {
    const auto at =
        reinterpret_cast<uintptr_t>(piece.data()) - reinterpret_cast<uintptr_t>(text.data());
    if (at < text.size() && piece.size() <= text.size() - at) {
      return output.AppendFromFile(inputFile.Descriptor(), at, piece, outputError);
    }
    return output.Append(piece, outputError);
  };
  // Input pages already written out are not needed again: the writer's progress says how far
  // through the text it has come.
  const auto progress = [&](int percent) {
    screen.Progress(writing, percent);
    const uint64_t end = percent >= 100 ? text.size() : text.size() / 100 * uint64_t(percent);
    if (end >= released + (uint64_t{64} << 20) || (end == text.size() && end > released)) {
      inputFile.Release(released, end);
      released = end;
    }
  };
  if (!inputFile.Unchanged(error)) return Fail(streams, error);
  mesh::WriteReport writeReport;
  const bool written = mesh::WriteEditedObj(text, input, trace, sink, error, progress, &writeReport,
                                            0, writtenAhead, inputFile.Descriptor());
  summary.mergedWithoutTexcoords = writeReport.facesWithoutTexcoords;
  summary.mergedWithoutNormals = writeReport.facesWithoutNormals;
  screen.Finish();
  if (!written) return Fail(streams, outputError.empty() ? error : outputError);
  if (!output.Commit(error)) return Fail(streams, error);
  summary.writeSeconds = Since(writeStart);

  for (const std::string& warning : warnings) {
    streams.err << "fmhost: warning: " << mesh::Printable(warning, kMessageLimit) << '\n';
  }
  summary.input = options.input;
  summary.output = options.output;
  summary.undoChecked = options.undoCheck;
  if (options.json) {
    streams.out << ToJson(summary);
  } else {
    int64_t before = 0, after = 0;
    for (const ObjectSummary& object : summary.objects) {
      before += object.polygonsBefore;
      after += object.polygonsAfter;
    }
    for (const std::string& line : ReportLines(summary)) report << line << '\n';
    if (options.undoCheck) report << "undo check passed: the document equals the input again\n";
    report << "wrote " << (toStandardOutput ? std::string("standard output") : options.output)
           << ": " << summary.objects.size()
                << (summary.objects.size() == 1 ? " object, " : " objects, ") << before
                << " polygons before, " << after << " after\n";
  }
  report.flush();
  return kExitSuccess;
}

int Main(int argc, const char* const* argv, Streams& streams) {
  Options options;
  // --json asks for JSON on standard output whatever happens, so a usage error gives one too.
  bool json = false;
  for (int a = 1; a < argc; ++a) json = json || std::string_view(argv[a]) == "--json";
  std::ostringstream usageErrors;
  if (std::optional<int> exit = ParseOptions(argc, argv, options, streams.out, usageErrors)) {
    std::string message = usageErrors.str();
    streams.err << message;
    streams.err.flush();
    if (json && *exit != kExitSuccess) {
      if (message.rfind("fmhost: ", 0) == 0) message.erase(0, 8);
      while (!message.empty() && message.back() == '\n') message.pop_back();
      streams.out << FailureJson(message, *exit);
      streams.out.flush();
    }
    return *exit;
  }
  streams.failuresAsJson = options.json;
  return Run(options, streams);
}

}  // namespace fm::host::fmhost
