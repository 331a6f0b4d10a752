// fmhost run from outside on mesh files, with the module the build produces: the quads other tools
// triangulated come back, every kind of bad input fails cleanly, and the options do what they say.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "examples/example_meshes.h"
#include "host/fmhost/run.h"
#include "host/mesh/obj_reader.h"
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
                 (std::string("fmhost-e2e-") +
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
  test::ProcessResult Fmhost(const std::vector<std::string>& arguments) const {
    return test::RunProcess(FMHOST_EXE, arguments, directory_.string());
  }
  static mesh::MeshFile Read(const std::string& path) {
    mesh::MeshFile mesh;
    std::string error;
    EXPECT_TRUE(mesh::ReadObjFile(path, mesh, error)) << error;
    return mesh;
  }
  static mesh::MeshFile ParseText(const std::string& text) {
    mesh::MeshFile mesh;
    std::string error;
    EXPECT_TRUE(mesh::ParseObj(text, "expected", "x", mesh, error)) << error;
    return mesh;
  }
  // The written file holds exactly what `expected` describes: vertices, objects, polygons in
  // order, texture coordinates per corner and groups.
  static void ExpectMesh(const std::string& path, const std::string& expected) {
    const mesh::MeshFile got = Read(path);
    const mesh::MeshFile want = ParseText(expected);
    EXPECT_EQ(got.vertices, want.vertices);
    ASSERT_EQ(got.objects.size(), want.objects.size());
    for (size_t o = 0; o < want.objects.size(); ++o) {
      SCOPED_TRACE(want.objects[o].name);
      EXPECT_EQ(got.objects[o].name, want.objects[o].name);
      EXPECT_EQ(got.objects[o].polygons, want.objects[o].polygons);
      EXPECT_TRUE(got.objects[o].uvw == want.objects[o].uvw);
      EXPECT_EQ(got.objects[o].groups, want.objects[o].groups);
    }
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
    const std::string input = Write("in.obj", examples::ObjText({{&c.mesh, c.form}}));
    const test::ProcessResult run = Fmhost({input, "-o", Path("out.obj"), "--undo-check"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ExpectMesh(Path("out.obj"), examples::QuadObj(c.mesh));
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
    const std::string input = Write("in.obj", examples::ObjText({{&panel, form}}));
    const test::ProcessResult run =
        Fmhost({input, "-o", Path("out.obj"), "--json", "--undo-check"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ExpectMesh(Path("out.obj"), examples::QuadObj(panel));
    EXPECT_NE(run.out.find("\"polygonsBefore\": 24, \"polygonsAfter\": 12, \"quadsMade\": 12}"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("panel: 12 Quadrangles\n"), std::string::npos) << run.err;
    fs::remove(Path("out.obj"));
  }
}

TEST_F(FmhostTest, EveryObjectIsProcessedUnlessSomeAreSelected) {
  const QuadMesh torus = examples::Torus(8, 6), panel = examples::Panel(4, 3);
  const std::string input = Write(
      "scene.obj", examples::ObjText({{&torus, Form::kSideBySide}, {&panel, Form::kHalves}}));

  test::ProcessResult all = Fmhost({input, "-o", Path("all.obj")});
  ASSERT_EQ(all.exitCode, 0) << all.err;
  ExpectMesh(Path("all.obj"), examples::ObjText({{&torus, Form::kQuads}, {&panel, Form::kQuads}}));

  test::ProcessResult some = Fmhost({input, "--select", "panel", "-o", Path("some.obj"), "--json"});
  ASSERT_EQ(some.exitCode, 0) << some.err;
  ExpectMesh(Path("some.obj"),
             examples::ObjText({{&torus, Form::kSideBySide}, {&panel, Form::kQuads}}));
  EXPECT_NE(some.out.find("{\"name\": \"torus\", \"selected\": false, \"polygonsBefore\": 96, "
                          "\"polygonsAfter\": 96, \"quadsMade\": 0}"),
            std::string::npos)
      << some.out;
  EXPECT_NE(some.out.find("{\"name\": \"panel\", \"selected\": true, \"polygonsBefore\": 24, "
                          "\"polygonsAfter\": 12, \"quadsMade\": 12}"),
            std::string::npos)
      << some.out;
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
  EXPECT_NE(run.out.find(hyphens + "\nwrote " + Path("out.obj") +
                         ": 1 object, 32 polygons before, 16 after\n"),
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
  ExpectMesh(Path("out.obj"), text);
}

TEST_F(FmhostTest, BadInputIsOneLineANonZeroExitAndNoOutput) {
  Write("good.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\nf 1 3 4\n");
  Write("malformed.obj", "v 0 0 0\nv 1 x 0\n");
  Write("range.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 9\n");
  Write("pentagon.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 2 0\nf 1 2 3 4 5\n");
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
      {"five corners", {Path("pentagon.obj"), "-o", Path("out.obj")}, 1,
       Path("pentagon.obj") + ":6: face with 5 corners"},
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
  const std::string input = Write("p.obj", examples::TriangulatedObj(panel, examples::Split::kSideBySide));
  const test::ProcessResult list = Fmhost({"--list"});
  const size_t quote = list.out.find("command 1050896 \"");
  ASSERT_NE(quote, std::string::npos) << list.out;
  const size_t start = quote + 17;
  const std::string name = list.out.substr(start, list.out.find('"', start) - start);
  for (const std::string& wanted : {std::string("1050896"), name}) {
    SCOPED_TRACE(wanted);
    const test::ProcessResult run = Fmhost({input, "-o", Path("out.obj"), "--command", wanted});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ExpectMesh(Path("out.obj"), examples::QuadObj(panel));
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
    const mesh::MeshFile result = Read(Path(example.name));
    for (const mesh::Polygon& polygon : result.objects[0].polygons) {
      EXPECT_FALSE(polygon.IsTriangle());
    }
  }
}

// In the test's own process, so that the output can pose as a terminal.
TEST_F(FmhostTest, OnATerminalTheStatusBarIsDrawnInPlaceAndCleared) {
  const QuadMesh torus = examples::Torus(6, 4);
  const std::string input = Write("t.obj", examples::TriangulatedObj(torus, examples::Split::kSideBySide));
  std::ostringstream out, err;
  Streams streams{out, err, true};
  Options options;
  options.input = input;
  options.output = Path("out.obj");
  options.plugins = DefaultPluginFolder();
  ASSERT_EQ(fmhost::Run(options, streams), kExitSuccess) << err.str();
  const std::string screen = out.str();
  EXPECT_NE(screen.find("\r[##############################] 100%  "), std::string::npos) << screen;
  EXPECT_EQ(screen.find("progress:"), std::string::npos);
  EXPECT_NE(screen.find("torus: 24 Quadrangles\n"), std::string::npos) << screen;
  ExpectMesh(Path("out.obj"), examples::QuadObj(torus));
}

}  // namespace
}  // namespace fm::host::fmhost
