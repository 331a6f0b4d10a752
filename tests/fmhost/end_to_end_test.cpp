// fmhost run from outside on mesh files, with the module the build produces: the quads other tools
// triangulated come back, every kind of bad input fails cleanly, and the options do what they say.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#include "examples/example_meshes.h"
#include "host/fmhost/run.h"
#include "host/mesh/printable.h"
#include "process.h"

namespace fm::host::fmhost {
namespace {

namespace fs = std::filesystem;
using examples::Form;
using examples::Part;
using examples::QuadMesh;

class FmhostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = fs::temp_directory_path() /
                 test::ScratchName(std::string("fmhost-e2e-") +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(directory_);
    fs::create_directories(directory_ / "work");
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(directory_);
  }

  // Files the test makes live in work/; the process's captured streams go beside it.
  std::string Path(const std::string& name) const { return (directory_ / "work" / name).string(); }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
    return Path(name);
  }
  std::vector<std::string> WorkEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory_ / "work")) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  test::ProcessResult Fmhost(std::vector<std::string> arguments) const {
#ifdef FM_MACOS_MODULE
    // The macOS module file's run: its plug-in folder unless the test names one itself.
    if (std::find(arguments.begin(), arguments.end(), "--plugins") == arguments.end())
      arguments.insert(arguments.end(), {"--plugins", FM_PLUGIN_DIR});
#endif
    return test::RunProcess(FMHOST_EXE, arguments, directory_.string());
  }
  static std::string PluginFolder() {
#ifdef FM_MACOS_MODULE
    return FM_PLUGIN_DIR;
#else
    return DefaultPluginFolder();
#endif
  }
  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // The lines of `text` that are face statements, or those that are not.
  static std::vector<std::string> LinesOf(const std::string& text, bool faces) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      if ((line.rfind("f ", 0) == 0) == faces) lines.push_back(line);
    }
    return lines;
  }
  // The written file is `input` with its faces replaced by those of `expected`: every other line
  // is kept, in order, and the faces are `expected`'s, in order.
  static void ExpectFaces(const std::string& path, const std::string& input,
                          const std::string& expected) {
    const std::string written = Contents(path);
    EXPECT_EQ(LinesOf(written, false), LinesOf(input, false));
    EXPECT_EQ(LinesOf(written, true), LinesOf(expected, true));
  }

  fs::path directory_;
};

size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST_F(FmhostTest, TriangulatedQuadMeshesComeBackAsTheirQuads) {
  struct Case {
    const char* name;
    QuadMesh mesh;
    Form form;
  };
  const Case cases[] = {
      {"torus side by side", examples::Torus(12, 8), Form::kSideBySide},
      {"torus halves", examples::Torus(12, 8), Form::kHalves},
      {"panel side by side", examples::Panel(6, 4), Form::kSideBySide},
      {"panel halves", examples::Panel(6, 4), Form::kHalves},
      {"odd panel halves", examples::Panel(5, 3), Form::kHalves},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = examples::ObjText({{&c.mesh, c.form}});
    const std::string input = Write("in.obj", text);
    const test::ProcessResult run = Fmhost({input, "-o", Path("out.obj"), "--undo-check"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ExpectFaces(Path("out.obj"), text, examples::QuadObj(c.mesh));
    EXPECT_EQ(WorkEntries(), (std::vector<std::string>{"in.obj", "out.obj"}));
    fs::remove(Path("out.obj"));
  }
}

// Quadrangles that repeat a corner (a, b, c, a) and (a, b, b, d) split into (a, b, c), (a, c, a) and
// (a, b, b), (a, b, d) pair up like any others, mixed with ordinary quadrangles, and the console,
// the summary and the written polygons agree on how many came back.
TEST_F(FmhostTest, QuadranglesWithARepeatedCornerComeBack) {
  QuadMesh panel = examples::Panel(4, 3);
  for (size_t k = 0; k < panel.quads.size(); ++k) {
    if (k % 3 == 0) {
      panel.quads[k][3] = panel.quads[k][0];
      panel.quadUvs[k][3] = panel.quadUvs[k][0];
    } else if (k % 3 == 1) {
      panel.quads[k][2] = panel.quads[k][1];
      panel.quadUvs[k][2] = panel.quadUvs[k][1];
    }
  }
  for (const Form form : {Form::kSideBySide, Form::kHalves}) {
    SCOPED_TRACE(form == Form::kHalves ? "halves" : "side by side");
    const std::string text = examples::ObjText({{&panel, form}});
    const std::string input = Write("in.obj", text);
    const test::ProcessResult run =
        Fmhost({input, "-o", Path("out.obj"), "--json", "--undo-check"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ExpectFaces(Path("out.obj"), text, examples::QuadObj(panel));
    EXPECT_NE(run.out.find("\"polygonsBefore\": 24, \"polygonsAfter\": 12, \"quadsMade\": 12, "),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("panel: 12 Quadrangles\n"), std::string::npos) << run.err;
    fs::remove(Path("out.obj"));
  }
}

TEST_F(FmhostTest, EveryObjectIsProcessedUnlessSomeAreSelected) {
  const QuadMesh torus = examples::Torus(8, 6), panel = examples::Panel(4, 3);
  const std::string text =
      examples::ObjText({{&torus, Form::kSideBySide}, {&panel, Form::kHalves}});
  const std::string input = Write("scene.obj", text);

  test::ProcessResult all = Fmhost({input, "-o", Path("all.obj")});
  ASSERT_EQ(all.exitCode, 0) << all.err;
  ExpectFaces(Path("all.obj"), text,
              examples::ObjText({{&torus, Form::kQuads}, {&panel, Form::kQuads}}));

  test::ProcessResult some = Fmhost({input, "--select", "panel", "-o", Path("some.obj"), "--json"});
  ASSERT_EQ(some.exitCode, 0) << some.err;
  ExpectFaces(Path("some.obj"), text,
              examples::ObjText({{&torus, Form::kSideBySide}, {&panel, Form::kQuads}}));
  EXPECT_NE(some.out.find("{\"name\": \"torus\", \"selected\": false, \"polygonsBefore\": 96, "
                          "\"polygonsAfter\": 96, \"quadsMade\": 0, "),
            std::string::npos)
      << some.out;
  EXPECT_NE(some.out.find("{\"name\": \"panel\", \"selected\": true, \"polygonsBefore\": 24, "
                          "\"polygonsAfter\": 12, \"quadsMade\": 12, "),
            std::string::npos)
      << some.out;
}

// A file long enough to be read by two threads (and its start written ahead), whose large object
// has its working space made ready while the document is built: the command takes it where it
// walks that object after a small one. Where only the small object is walked, none is made.
TEST_F(FmhostTest, ALargeObjectsWorkingSpaceMadeAheadIsTakenOrLetGo) {
  const QuadMesh torus = examples::Torus(400, 300), panel = examples::Panel(4, 3);
  const std::string text =
      examples::ObjText({{&panel, Form::kHalves}, {&torus, Form::kSideBySide}});
  ASSERT_GE(text.size(), size_t{8} << 20);
  const std::string input = Write("scene.obj", text);

  const test::ProcessResult all = Fmhost({input, "-o", Path("all.obj"), "--undo-check"});
  ASSERT_EQ(all.exitCode, 0) << all.err;
  ExpectFaces(Path("all.obj"), text,
              examples::ObjText({{&panel, Form::kQuads}, {&torus, Form::kQuads}}));
  const test::ProcessResult some = Fmhost({input, "--select", "panel", "-o", Path("some.obj")});
  ASSERT_EQ(some.exitCode, 0) << some.err;
  ExpectFaces(Path("some.obj"), text,
              examples::ObjText({{&panel, Form::kQuads}, {&torus, Form::kSideBySide}}));
}

TEST_F(FmhostTest, JsonIsTheOnlyThingOnStandardOutput) {
  const QuadMesh torus = examples::Torus(8, 6);
  const std::string input = Write("t.obj", examples::TriangulatedObj(torus, examples::Split::kSideBySide));
  const test::ProcessResult run = Fmhost({input, "-o", Path("out.obj"), "--json", "--undo-check"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out.front(), '{');
  EXPECT_EQ(run.out.substr(run.out.size() - 2), "}\n");
  for (const char* field : {"\"polygonsBefore\": 96,", "\"polygonsAfter\": 48,",
                            "\"quadsMade\": 48,", "\"seconds\": ", "\"undoCheck\": \"passed\"",
                            "\"command\": {\"id\": 1050896,"}) {
    EXPECT_NE(run.out.find(field), std::string::npos) << field << "\n" << run.out;
  }
  EXPECT_EQ(run.out.find("["), run.out.find("\"objects\": [") + 11) << "no progress bar";
  // The console report still shows, on the error stream.
  EXPECT_NE(run.err.find("Facetmender 1.01.0\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("torus: 48 Quadrangles\n"), std::string::npos) << run.err;
}

TEST_F(FmhostTest, PlainOutputShowsConsoleStatusAndTheWrittenFile) {
  const QuadMesh panel = examples::Panel(4, 4);
  const std::string input = Write("p.obj", examples::TriangulatedObj(panel, examples::Split::kHalves));
  const test::ProcessResult run = Fmhost({input, "-o", Path("out.obj")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string hyphens(39, '-');
  EXPECT_EQ(run.out.rfind(hyphens + "\nFacetmender 1.01.0\n" + hyphens + "\n", 0), 0u) << run.out;
  for (const char* line : {"\nprogress: 0%\n", "\nstatus: ", "\npanel: 16 Quadrangles\n",
                           "\nprogress: 100%\n"}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
  }
  // fmhost's own report follows the command's, then the written file.
  EXPECT_NE(run.out.find(hyphens + "\n'panel': pairs read as halves (polygon i with polygon i + 16)\n"
                         "wrote " + Path("out.obj") + ": 1 object, 32 polygons before, 16 after\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find('\r'), std::string::npos);
}

TEST_F(FmhostTest, NothingToDoShowsTheMessageBoxAndWritesTheMeshUnchanged) {
  const std::string text = "v 0 0 0\nv 1 0 0\nv 1 1 0\no single\nf 1 2 3\n";
  const std::string input = Write("one.obj", text);
  const test::ProcessResult run = Fmhost({input, "-o", Path("out.obj"), "--undo-check"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("\n[message box] "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("undo check passed"), std::string::npos) << run.out;
  EXPECT_EQ(Contents(Path("out.obj")), text);
}

TEST_F(FmhostTest, BadInputIsOneLineANonZeroExitAndNoOutput) {
  Write("good.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\nf 1 3 4\n");
  Write("malformed.obj", "v 0 0 0\nv 1 x 0\n");
  Write("range.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 9\n");
  fs::create_directories(directory_ / "work" / "folder");
  fs::create_directories(directory_ / "work" / "empty-plugins" / "nothing");
  const std::vector<std::string> before = WorkEntries();
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    int exitCode;
    std::string error;
  };
  const Case cases[] = {
      {"missing file", {Path("absent.obj"), "-o", Path("out.obj")}, 1, Path("absent.obj") + ": no such file"},
      {"unreadable file", {Path("folder"), "-o", Path("out.obj")}, 1, Path("folder") + ": is a directory"},
      {"malformed", {Path("malformed.obj"), "-o", Path("out.obj")}, 1, Path("malformed.obj") + ":2: not a number: 'x'"},
      {"index out of range", {Path("range.obj"), "-o", Path("out.obj")}, 1,
       Path("range.obj") + ":4: vertex index 9 is out of range"},
      {"unwritable output", {Path("good.obj"), "-o", Path("no/such/dir/out.obj")}, 1,
       Path("no/such/dir/out.obj") + ": cannot be written"},
      {"output is a folder", {Path("good.obj"), "-o", Path("folder")}, 1, Path("folder") + ": is a directory"},
      {"plug-in folder without modules",
       {Path("good.obj"), "-o", Path("out.obj"), "--plugins", Path("empty-plugins")}, 1, "no module file"},
      {"missing plug-in folder",
       {Path("good.obj"), "-o", Path("out.obj"), "--plugins", Path("absent")}, 1, ""},
      {"unknown object", {Path("good.obj"), "-o", Path("out.obj"), "--select", "nobody"}, 1,
       Path("good.obj") + ": no object named 'nobody' (objects: good)"},
      {"unknown command", {Path("good.obj"), "-o", Path("out.obj"), "--command", "42"}, 1,
       "no command 42 is registered (registered: 1050896 "},
      {"no output option", {Path("good.obj")}, 2, "no output file given"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const test::ProcessResult run = Fmhost(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_EQ(run.err.rfind("fmhost: ", 0), 0u) << run.err;
    EXPECT_EQ(Lines(run.err), 1u) << run.err;
    EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
    EXPECT_EQ(WorkEntries(), before);
  }
}

TEST_F(FmhostTest, AFailedRunLeavesAnExistingOutputAlone) {
  Write("bad.obj", "f 1 2 3 4 5\n");
  Write("out.obj", "precious");
  const test::ProcessResult run = Fmhost({Path("bad.obj"), "-o", Path("out.obj")});
  EXPECT_EQ(run.exitCode, 1);
  std::ifstream in(Path("out.obj"));
  std::string kept;
  std::getline(in, kept);
  EXPECT_EQ(kept, "precious");
  EXPECT_EQ(WorkEntries(), (std::vector<std::string>{"bad.obj", "out.obj"}));
}

TEST_F(FmhostTest, ListShowsTheModuleAndItsCommand) {
  const test::ProcessResult run = Fmhost({"--list"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("facetmender" FM_MODULE_SUFFIX "\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("    command 1050896 \""), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("help: Facetmender 1.01.0"), std::string::npos) << run.out;
  // What the module file declared to the framework.
  for (const char* line :
       {"framework module \"com.tessworks.facetmender\" 0x196f51c780968 flags 0x201 owner \"register\"",
        "depends on \"net.maxon.c4d.cinema.framework\" 0x1e459d5288338",
        "depends on \"net.maxon.core.framework\" 0x1854b7897c12b",
        "depends on \"net.maxon.math.framework\" 0x181770e28a954",
        "framework module \"net.maxon.core.framework\" 0x1854b7897c12b flags 0x8001201",
        "framework module \"net.maxon.c4d.cinema.framework\" 0x1e459d5288338 flags 0x8001201",
        "unit \"register\" flags 0x301"}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
  }
  const test::ProcessResult json = Fmhost({"--list", "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  EXPECT_NE(json.out.find("\"commands\": [{\"id\": 1050896, "), std::string::npos) << json.out;
}

TEST_F(FmhostTest, CommandsAreFoundByIdAndByName) {
  const QuadMesh panel = examples::Panel(3, 3);
  const std::string text = examples::TriangulatedObj(panel, examples::Split::kSideBySide);
  const std::string input = Write("p.obj", text);
  const test::ProcessResult list = Fmhost({"--list"});
  const size_t quote = list.out.find("command 1050896 \"");
  ASSERT_NE(quote, std::string::npos) << list.out;
  const size_t start = quote + 17;
  const std::string name = list.out.substr(start, list.out.find('"', start) - start);
  for (const std::string& wanted : {std::string("1050896"), name}) {
    SCOPED_TRACE(wanted);
    const test::ProcessResult run = Fmhost({input, "-o", Path("out.obj"), "--command", wanted});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ExpectFaces(Path("out.obj"), text, examples::QuadObj(panel));
  }
}

TEST_F(FmhostTest, UndoCheckPassesOnEveryBundledExample) {
  for (const examples::ExampleFile& example : examples::BundledExamples()) {
    SCOPED_TRACE(example.name);
    const std::string input = std::string(FM_SOURCE_DIR) + "/examples/" + example.name;
    const test::ProcessResult run = Fmhost({input, "-o", Path(example.name), "--undo-check"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("undo check passed: the document equals the input again\n"),
              std::string::npos);
    const std::vector<std::string> faces = LinesOf(Contents(Path(example.name)), true);
    EXPECT_EQ(faces.size() * 2, LinesOf(example.text, true).size());
    for (const std::string& face : faces) EXPECT_EQ(std::count(face.begin(), face.end(), ' '), 4) << face;
  }
}

TEST_F(FmhostTest, TheResultIsTheInputWithOnlyTheMergedFacesChanged) {
  // As other tools export: materials, normals, smoothing groups, several objects, two `vt` lines
  // with the same value, relative indices, comments and statements fmhost does not know.
  const std::string input =
      "# exported\nmtllib scene.mtl\n"
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
      "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvt 0 0\nvn 0 0 1\nvn 0 0 -1\n"
      "o first\nusemtl red\ns 1\ng top\nf 1/1/1 2/2/1 3/3/1\nf 1/1/1 3/3/1 4/4/1\n"
      "my_tool_hint keep me\n"
      "v 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\nvt 0.5 0.5\n"
      "o second\nusemtl blue\ns off\ng bottom\n"
      "f -4/5/2 -3/-4/2 -2/-3/2\r\nv 9 9 9\nf -5/5/2 -3/-3/2 -2/-2/2\r\n";
  const std::string expected =
      "# exported\nmtllib scene.mtl\n"
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
      "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvt 0 0\nvn 0 0 1\nvn 0 0 -1\n"
      "o first\nusemtl red\ns 1\ng top\nf 1/1/1 2/2/1 3/3/1 4/4/1\n"
      "my_tool_hint keep me\n"
      "v 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\nvt 0.5 0.5\n"
      "o second\nusemtl blue\ns off\ng bottom\n"
      "f -4/5/2 -3/-4/2 -2/-3/2 8/-2/2\r\nv 9 9 9\n";
  const std::string path = Write("scene.obj", input);
  const test::ProcessResult run = Fmhost({path, "-o", Path("out.obj"), "--undo-check"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Contents(Path("out.obj")), expected);
}

TEST_F(FmhostTest, JsonReportsTheQuadrangleCountTheCommandReported) {
  // An ordinary pair, then a degenerate pair (f 1 2 2 / f 2 1 3) whose fate is the command's to
  // decide; whatever it decides, the summary says what its console said.
  const std::string input = Write(
      "degenerate.obj",
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\nf 1 3 4\nf 1 2 2\nf 2 1 3\no second\nf 1 2 3\n"
      "f 1 3 4\n");
  const test::ProcessResult run = Fmhost({input, "-o", Path("out.obj"), "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto reported = [&](const std::string& prefix) {
    const size_t at = run.err.find("\n" + prefix);
    return at == std::string::npos ? std::string("?")
                                   : run.err.substr(at + 1 + prefix.size(),
                                                    run.err.find(' ', at + 1 + prefix.size()) -
                                                        at - 1 - prefix.size());
  };
  const std::string first = reported("degenerate: "), second = reported("second: ");
  ASSERT_NE(first, "?") << run.err;
  ASSERT_EQ(second, "1") << run.err;
  EXPECT_NE(run.out.find("{\"name\": \"degenerate\", \"selected\": true, \"polygonsBefore\": 4, "),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\"quadsMade\": " + first + ", "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\n  \"quadsMade\": " + std::to_string(std::stoi(first) + 1) + ","),
            std::string::npos)
      << run.out;
}

TEST_F(FmhostTest, AFileWithoutFacesComesBackAsItWas) {
  const char* texts[] = {"", "# only a comment\n", "v 0 0 0\nv 1 0 0\ng lonely\n"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    const std::string input = Write("nothing.obj", text);
    const test::ProcessResult run =
        Fmhost({input, "-o", Path("out.obj"), "--json", "--undo-check"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Contents(Path("out.obj")), text);
    EXPECT_NE(run.out.find("\"objects\": [],"), std::string::npos) << run.out;
    // Nothing was run, so there is nothing to undo and the document is the input: the check holds.
    EXPECT_NE(run.out.find("\"undoCheck\": \"passed\""), std::string::npos) << run.out;
  }
}

// What a polygon object cannot hold, or what differs between faces, is no reason to refuse a file:
// the rest of it is processed and fmhost says what it could not do.
TEST_F(FmhostTest, WhatCannotBeMergedIsKeptAndTheRestIsProcessed) {
  const QuadMesh panel = examples::Panel(2, 2);
  const std::string quads = examples::ObjText({{&panel, Form::kQuads}});
  std::string text = examples::ObjText({{&panel, Form::kSideBySide}});
  text += "l 1 2 3\np 4\ncaf\xc3\xa9 1 2 3\n"
          "o pent\nf 1 2 3\nf 1 2 3 4 5\n"
          "o after\nf 1 2 3\nf 3 2 4\n";
  const std::string input = Write("mixed.obj", text);
  const test::ProcessResult plain = Fmhost({input, "-o", Path("out.obj"), "--undo-check"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  const std::string written = Contents(Path("out.obj"));
  const size_t kept = written.find("l 1 2 3\n");
  ASSERT_NE(kept, std::string::npos) << written;
  EXPECT_EQ(written.substr(kept), "l 1 2 3\np 4\ncaf\xc3\xa9 1 2 3\no pent\nf 1 2 3\nf 1 2 3 4 5\n"
                                  "o after\nf 1 2 4 3\n");
  EXPECT_EQ(LinesOf(written.substr(0, kept), true), LinesOf(quads, true));
  EXPECT_EQ(LinesOf(written.substr(0, kept), false), LinesOf(text.substr(0, text.find("l 1")), false));
  EXPECT_NE(plain.out.find("\n'pent' left as it is: line "), std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find(" has a face of 5 corners, and a polygon object holds at most four\n"),
            std::string::npos)
      << plain.out;
  EXPECT_NE(plain.out.find(": 3 objects, 12 polygons before, 7 after\n"), std::string::npos)
      << plain.out;

  const test::ProcessResult json = Fmhost({input, "-o", Path("out.obj"), "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  EXPECT_NE(json.out.find("{\"name\": \"pent\", \"selected\": false, \"polygonsBefore\": 2, "
                          "\"polygonsAfter\": 2, \"quadsMade\": 0, \"leftAsIs\": \"line "),
            std::string::npos)
      << json.out;
  EXPECT_LT(json.out.find("\"name\": \"panel\""), json.out.find("\"name\": \"pent\""));
  EXPECT_LT(json.out.find("\"name\": \"pent\""), json.out.find("\"name\": \"after\""));
}

TEST_F(FmhostTest, MergedFacesOfDifferentFormsAreWrittenInTheFormTheyShare) {
  // Two groups of one object, one with texture coordinates and one without, and CR line ends.
  const std::string text =
      "v 0 0 0\rv 1 0 0\rv 1 1 0\rv 0 1 0\rvt 0 0\rvt 1 0\rvt 1 1\rvt 0 1\ro sheet\r"
      "g uv\rf 1/1 2/2 3/3\rg plain\rf 1 3 4\r";
  const std::string input = Write("forms.obj", text);
  const test::ProcessResult plain = Fmhost({input, "-o", Path("out.obj")});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_EQ(Contents(Path("out.obj")),
            "v 0 0 0\rv 1 0 0\rv 1 1 0\rv 0 1 0\rvt 0 0\rvt 1 0\rvt 1 1\rvt 0 1\ro sheet\r"
            "g uv\rf 1 2 3 4\rg plain\r");
  EXPECT_NE(plain.out.find("\n1 merged face was written without texture coordinates: only some of "
                           "its corners had them\n"),
            std::string::npos)
      << plain.out;
  const test::ProcessResult json = Fmhost({input, "-o", Path("out.obj"), "--json"});
  EXPECT_NE(json.out.find("\"mergedWithoutTexcoords\": 1,\n  \"mergedWithoutNormals\": 0,"),
            std::string::npos)
      << json.out;
}

// fmhost's own report says how the command read each object's pairs, and which merges look wrong.
TEST_F(FmhostTest, TheReportSaysHowPairsWereReadAndFlagsFoldedQuads) {
  const std::string text =
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 5 5 5\nv 6 5 5\nv 6 6 5\n"
      "o roof\nf 1 2 3\nf 1 5 2\n"                     // one merge, folded at 90 degrees
      "o apart\nf 1 2 3\nf 6 7 8\nf 6 8 7\nf 1 3 4\n"  // polygon 0 pairs with polygon 3 only
      "o flat\nf 1 2 3\nf 1 3 4\n";
  const std::string input = Write("why.obj", text);
  const test::ProcessResult plain = Fmhost({input, "-o", Path("out.obj")});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  for (const char* line :
       {"\n'roof': pairs read as halves (polygon i with polygon i + 1)\n",
        "\n1 of 1 quads made in 'roof' are folded more than 60\u00b0: its triangles may not come "
        "from quadrangles\n",
        "\n'apart': no pair layout: polygon 0 pairs with neither polygon 2 nor polygon 1, but with "
        "polygon 3\n",
        "\n'flat': pairs read as halves (polygon i with polygon i + 1)\n"}) {
    EXPECT_NE(plain.out.find(line), std::string::npos) << line << "\n" << plain.out;
  }
  EXPECT_EQ(plain.out.find("quads made in 'flat'"), std::string::npos) << plain.out;
  // The command's own lines are what they always are.
  EXPECT_NE(plain.out.find("\nroof: 1 Quadrangles\n"), std::string::npos) << plain.out;

  const test::ProcessResult json = Fmhost({input, "-o", Path("out.obj"), "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  for (const char* field :
       {"\"quadsMade\": 1, \"leftAsIs\": null, \"layout\": \"halves\", \"polygon0PairsWith\": null, "
        "\"foldedQuads\": 1, \"orderHint\": null, \"order\": \"the file's order: the first half "
        "with the second\", \"reordered\": false}",
        "\"quadsMade\": 0, \"leftAsIs\": null, \"layout\": \"none\", \"polygon0PairsWith\": 3, "
        "\"foldedQuads\": 0, \"orderHint\": null, \"order\": \"second triangles after the first "
        "ones, but no order the command reads\", \"reordered\": false}"}) {
    EXPECT_NE(json.out.find(field), std::string::npos) << field << "\n" << json.out;
  }
}

// Two quads whose second triangles follow a triangle that never was one: the command reads no
// layout in the file's order. By default fmhost hands the pairs over together and the quads come
// back in the file's order; with --order file it only says which order the faces are in.
TEST_F(FmhostTest, AnOrderTheCommandDoesNotReadIsHandedOverPairedUnlessTheFilesOrderIsAsked) {
  const std::string text =
      "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 0 1 0\nv 1 1 0\nv 2 1 0\nv 1 -1 0\n"
      "o grid\nf 1 2 5\nf 2 3 6\nf 3 2 7\nf 1 5 4\nf 2 6 5\n";
  const std::string input = Write("order.obj", text);
  const test::ProcessResult json = Fmhost({input, "-o", Path("out.obj"), "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  EXPECT_EQ(Contents(Path("out.obj")),
            "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 0 1 0\nv 1 1 0\nv 2 1 0\nv 1 -1 0\n"
            "o grid\nf 1 2 5 4\nf 2 3 6 5\nf 3 2 7\n");
  EXPECT_NE(json.out.find("\"quadsMade\": 2, \"leftAsIs\": null, \"layout\": \"adjacent\", "
                          "\"polygon0PairsWith\": null, \"foldedQuads\": 0, \"orderHint\": null, "
                          "\"order\": \"second triangles from polygon 3 on\", \"reordered\": true}"),
            std::string::npos)
      << json.out;

  const test::ProcessResult file =
      Fmhost({input, "-o", Path("out.obj"), "--json", "--order", "file"});
  ASSERT_EQ(file.exitCode, 0) << file.err;
  EXPECT_EQ(Contents(Path("out.obj")), text);
  EXPECT_NE(file.out.find("\"layout\": \"none\", \"polygon0PairsWith\": 3, \"foldedQuads\": 0, "
                          "\"orderHint\": \"faces ordered with second triangles from polygon 3 "
                          "on, which the command does not read (--order auto hands them over "
                          "paired)\", \"order\": \"the file's order\", \"reordered\": false}"),
            std::string::npos)
      << file.out;
}

TEST_F(FmhostTest, AFileNameWithBlanksAroundIsFine) {
  const QuadMesh panel = examples::Panel(2, 2);
  std::string text = examples::TriangulatedObj(panel, examples::Split::kSideBySide);
  text.erase(text.find("o panel\n"), 8);  // faces before any `o` line: named after the file
  const std::string input = Write(" spaced .obj", text);
  const test::ProcessResult run = Fmhost({input, "-o", Path("out.obj"), "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("{\"name\": \" spaced \", \"selected\": true, \"polygonsBefore\": 8, "
                         "\"polygonsAfter\": 4, \"quadsMade\": 4, "),
            std::string::npos)
      << run.out;
}

TEST_F(FmhostTest, JsonStaysValidForNamesThatAreNotUtf8) {
  const std::string input =
      Write("names.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\no gr\xFCn\xC3\nf 1 2 3\no ok\x01\nf 1 2 3\n");
  const test::ProcessResult run = Fmhost({input, "-o", Path("out.obj"), "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("\"name\": \"gr\\ufffdn\\ufffd\""), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"name\": \"ok\\u0001\""), std::string::npos) << run.out;
  for (size_t i = 0; i < run.out.size();) {
    const size_t length = mesh::Utf8SequenceLength(std::string_view(run.out).substr(i));
    ASSERT_GT(length, 0u) << "byte " << i;
    i += length;
  }
}

// The command echoes a name that is not UTF-8 re-encoded byte by byte; its count must still be
// found, and the count of every object after it.
TEST_F(FmhostTest, JsonCountsQuadsForNamesThatAreNotUtf8AndThoseAfter) {
  std::string text = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";
  for (const char* name : {"Caf\xe9", "Plain1", "gr\xFCn\xC3", "Plain2"}) {
    text += std::string("o ") + name + "\nf 1 2 3\nf 1 3 4\n";
  }
  const test::ProcessResult run = Fmhost({Write("names.obj", text), "-o", Path("out.obj"), "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  size_t counted = 0;
  for (size_t at = run.out.find("\"quadsMade\": 1, "); at != std::string::npos;
       at = run.out.find("\"quadsMade\": 1, ", at + 1)) {
    ++counted;
  }
  EXPECT_EQ(counted, 4u) << run.out;
  EXPECT_NE(run.out.find("\n  \"quadsMade\": 4,"), std::string::npos) << run.out;
}

TEST_F(FmhostTest, WithJsonAFailureIsAJsonObjectToo) {
  Write("bad.obj", "v 1 2\n");
  struct Case {
    std::vector<std::string> arguments;
    int exitCode;
    const char* json;
  };
  const Case cases[] = {
      {{Path("bad.obj"), "-o", Path("out.obj"), "--json"}, 1,
       "bad.obj:1: a vertex needs three coordinates"},
      {{Path("missing.obj"), "-o", Path("out.obj"), "--json"}, 1, "{\"error\": \""},
      {{Path("bad.obj"), "--json"}, 2, "{\"error\": \"no output file given"},
      {{"--json", "--frobnicate"}, 2, "{\"error\": \""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    const test::ProcessResult run = Fmhost(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.out.rfind("{\"error\": \"", 0), 0u) << run.out;
    EXPECT_NE(run.out.find(c.json), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"exitCode\": " + std::to_string(c.exitCode) + "}\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(Lines(run.out), 1u) << run.out;
    EXPECT_EQ(Lines(run.err), 1u) << run.err;
    EXPECT_FALSE(fs::exists(Path("out.obj")));
  }
}

TEST_F(FmhostTest, DashIsStandardOutputAndTheReportGoesToStandardError) {
  const QuadMesh panel = examples::Panel(3, 2);
  const std::string text = examples::TriangulatedObj(panel, examples::Split::kSideBySide);
  const std::string input = Write("in.obj", text);
  const test::ProcessResult toFile = Fmhost({input, "-o", Path("out.obj")});
  ASSERT_EQ(toFile.exitCode, 0) << toFile.err;
  const test::ProcessResult toOut = Fmhost({input, "-o", "-", "--undo-check"});
  ASSERT_EQ(toOut.exitCode, 0) << toOut.err;
  EXPECT_TRUE(toOut.out == Contents(Path("out.obj"))) << toOut.out;
  EXPECT_NE(toOut.err.find("Quadrangles"), std::string::npos) << toOut.err;
  EXPECT_NE(toOut.err.find("wrote standard output: 1 object"), std::string::npos) << toOut.err;
  EXPECT_EQ(WorkEntries(), (std::vector<std::string>{"in.obj", "out.obj"}));
}

// A long start before the first face is written while the command runs; the file still appears
// only complete, and not at all when the run fails.
TEST_F(FmhostTest, AResultWithALongStartBeforeItsFacesIsWrittenWhole) {
  const QuadMesh panel = examples::Panel(3, 2);
  std::string text;
  for (int i = 0; text.size() < (size_t{3} << 20) / 2; ++i) {
    text += "# " + std::to_string(i) + " lines before the faces\n";
  }
  text += examples::TriangulatedObj(panel, examples::Split::kSideBySide);
  const std::string input = Write("in.obj", text);
  const test::ProcessResult toFile = Fmhost({input, "-o", Path("out.obj"), "--undo-check"});
  ASSERT_EQ(toFile.exitCode, 0) << toFile.err;
  const test::ProcessResult toOut = Fmhost({input, "-o", "-"});
  ASSERT_EQ(toOut.exitCode, 0) << toOut.err;
  EXPECT_TRUE(toOut.out == Contents(Path("out.obj")));
  ExpectFaces(Path("out.obj"), text, examples::QuadObj(panel));

  Write("out.obj", "precious");
  const std::string empty = Path("no-modules");
  fs::create_directories(empty);
  const test::ProcessResult failed = Fmhost({input, "-o", Path("out.obj"), "--plugins", empty});
  EXPECT_EQ(failed.exitCode, 1) << failed.err;
  EXPECT_EQ(Contents(Path("out.obj")), "precious");
  EXPECT_EQ(WorkEntries(), (std::vector<std::string>{"in.obj", "no-modules", "out.obj"}));
}

TEST_F(FmhostTest, AResultInAnotherFolderWarnsOfMaterialLibrariesLeftBehind) {
  const QuadMesh panel = examples::Panel(2, 2);
  // The library line comes after lines of other kinds and other line ends, and is indented.
  const std::string text = "# exported\r\ng all\r \tmtllib here.mtl gone.mtl\n" +
                           examples::TriangulatedObj(panel, examples::Split::kSideBySide);
  const std::string input = Write("in.obj", text);
  Write("here.mtl", "newmtl a\n");
  fs::create_directories(directory_ / "work" / "sub");
  struct Case {
    std::string output;
    bool warned;
  };
  const Case cases[] = {
      {Path("beside.obj"), false},
      {Path("sub/out.obj"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    const test::ProcessResult run = Fmhost({input, "-o", c.output});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // Only the library that exists beside the input and not beside the result is named.
    const bool warned = run.err.find("warning: " + c.output + ": names the material library "
                                     "'here.mtl', which is beside") != std::string::npos;
    EXPECT_EQ(warned, c.warned) << run.err;
    EXPECT_EQ(run.err.find("gone.mtl"), std::string::npos) << run.err;
    EXPECT_EQ(Lines(run.err), c.warned ? 1u : 0u) << run.err;
  }
  Write("sub/here.mtl", "newmtl a\n");
  const test::ProcessResult copied = Fmhost({input, "-o", Path("sub/out.obj")});
  EXPECT_EQ(copied.err, "");
}

// What is at the output path decides how it is written: a link is followed and stays, a file
// keeps its mode, a FIFO gets the bytes and stays a FIFO.
TEST_F(FmhostTest, TheOutputPathIsWrittenAsUnixToolsWould) {
  const QuadMesh panel = examples::Panel(2, 2);
  const std::string input =
      Write("in.obj", examples::TriangulatedObj(panel, examples::Split::kSideBySide));
  ASSERT_EQ(Fmhost({input, "-o", Path("expected.obj")}).exitCode, 0);
  const std::string expected = Contents(Path("expected.obj"));

  std::error_code ec;
  Write("target.obj", "old");
  fs::create_symlink("target.obj", Path("link.obj"), ec);
  if (!ec) {
    const test::ProcessResult run = Fmhost({input, "-o", Path("link.obj")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::is_symlink(Path("link.obj")));
    EXPECT_TRUE(Contents(Path("target.obj")) == expected);
  }
#ifndef _WIN32
  Write("kept.obj", "old");
  fs::permissions(Path("kept.obj"), fs::perms(0640));
  ASSERT_EQ(Fmhost({input, "-o", Path("kept.obj")}).exitCode, 0);
  EXPECT_EQ(fs::status(Path("kept.obj")).permissions(), fs::perms(0640));
  EXPECT_TRUE(Contents(Path("kept.obj")) == expected);

  const std::string fifo = Path("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = Contents(fifo); });
  const test::ProcessResult run = Fmhost({input, "-o", fifo});
  reader.join();
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(received == expected);
  EXPECT_TRUE(fs::is_fifo(fifo));
#else
  // The null device is written to, never replaced by a file of that name.
  const test::ProcessResult run = Fmhost({input, "-o", "NUL"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
#endif
  for (const std::string& name : WorkEntries()) {
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
  }
}

#ifndef _WIN32
// Ended by a signal in the middle of the command (its report fills a pipe nobody reads, so it
// cannot get further): no temporary file, the old output untouched, and the signal's own ending.
TEST_F(FmhostTest, AnInterruptedRunLeavesNoTemporaryAndTheOldOutput) {
  std::string text = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";
  for (int o = 0; o < 5000; ++o) text += "o part" + std::to_string(o) + "\nf 1 2 3\nf 1 3 4\n";
  const std::string input = Write("in.obj", text);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    Write("out.obj", "old");
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipe[0]);
    const std::string output = Path("out.obj");
    std::vector<char*> argv = {const_cast<char*>(FMHOST_EXE), const_cast<char*>(input.c_str()),
                               const_cast<char*>("-o"), const_cast<char*>(output.c_str())};
#ifdef FM_MACOS_MODULE
    argv.push_back(const_cast<char*>("--plugins"));
    argv.push_back(const_cast<char*>(FM_PLUGIN_DIR));
#endif
    argv.push_back(nullptr);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, FMHOST_EXE, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe[1]);
    // Once the command's report has begun, the output is open and the run cannot finish.
    std::string seen;
    char buffer[256];
    while (seen.find("part0: ") == std::string::npos) {
      const ssize_t got = read(pipe[0], buffer, sizeof buffer);
      ASSERT_GT(got, 0) << seen;
      seen.append(buffer, static_cast<size_t>(got));
    }
    kill(child, signal);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    close(pipe[0]);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_EQ(WorkEntries(), (std::vector<std::string>{"in.obj", "out.obj"}));
    EXPECT_EQ(Contents(output), "old");
  }
}
#endif

TEST_F(FmhostTest, FailuresAreOnePrintableShortLine) {
  const std::string huge(1'000'000, '9');
  struct Case {
    const char* name;
    std::string text;
    std::string error;
  };
  const Case cases[] = {
      {"million-digit index", "v 0 0 0\nf 1 1 " + huge + "\n", ":2: vertex index '9999"},
      {"control bytes in a token", "v 0 0 0\nv 1 \x1b[31m\x01 0\n", ":2: not a number: '\\x1b[31m\\x01'"},
      {"a note-worthy line before the failure",
       "mtllib a.mtl\nusemtl red\nv 0 0 0\nvn 0 0 1\nl 1 1\nf 1 1 7\n",
       ":6: vertex index 7 is out of range"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string input = Write("bad.obj", c.text);
    const test::ProcessResult run = Fmhost({input, "-o", Path("out.obj")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("fmhost: " + input + c.error, 0), 0u) << run.err.substr(0, 300);
    EXPECT_EQ(Lines(run.err), 1u);
    EXPECT_LT(run.err.size(), 600u);
    for (unsigned char ch : run.err.substr(0, run.err.size() - 1)) EXPECT_GE(ch, 0x20);
    EXPECT_EQ(run.out, "");
  }
  // A path with control bytes in it is shown printable too.
  const test::ProcessResult run = Fmhost({Path("no\x1bsuch.obj"), "-o", Path("out.obj")});
  EXPECT_EQ(run.err, "fmhost: " + Path("no\\x1bsuch.obj") + ": no such file\n");
}

// In the test's own process, so that the output can pose as a terminal.
TEST_F(FmhostTest, OnATerminalTheStatusBarIsDrawnInPlaceAndCleared) {
  const QuadMesh torus = examples::Torus(6, 4);
  const std::string text = examples::TriangulatedObj(torus, examples::Split::kSideBySide);
  const std::string input = Write("t.obj", text);
  std::ostringstream out, err;
  Streams streams{out, err, true};
  Options options;
  options.input = input;
  options.output = Path("out.obj");
  options.plugins = PluginFolder();
  ASSERT_EQ(fmhost::Run(options, streams), kExitSuccess) << err.str();
  const std::string screen = out.str();
  EXPECT_NE(screen.find("\r[##############################] 100%  "), std::string::npos) << screen;
  EXPECT_EQ(screen.find("progress:"), std::string::npos);
  EXPECT_NE(screen.find("torus: 24 Quadrangles\n"), std::string::npos) << screen;
  // Reading and writing the file show on the same bar.
  EXPECT_NE(screen.find("\r[##############################] 100%  Reading t.obj"), std::string::npos)
      << screen;
  EXPECT_NE(screen.find("\r[##############################] 100%  Writing out.obj"),
            std::string::npos)
      << screen;
  ExpectFaces(Path("out.obj"), text, examples::QuadObj(torus));
}

}  // namespace
}  // namespace fm::host::fmhost
