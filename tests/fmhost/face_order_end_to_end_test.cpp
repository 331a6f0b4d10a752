// fmhost run from outside on files whose triangles another tool wrote in an order of its own: each
// split quad's first triangle in the quad's place, the triangles that never were quads where they
// were, the second triangles after them (per material run). The quads come back exactly, each with
// its corners' own texture coordinates and normals; orders the command reads as they are, and
// orders fmhost does not recognise, come back as they do with the file's order.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "tests/fmhost/source_mesh.h"

namespace fm::host::fmhost {
namespace {

namespace fs = std::filesystem;
using namespace fm::test;  // the source meshes

struct SourceObject {
  std::string name;
  int32_t pointCount = 0;
  std::vector<SourceFace> faces;
};

int32_t PointCount(const std::vector<SourceFace>& faces) {
  int32_t count = 0;
  for (const SourceFace& f : faces)
    for (const int32_t p : f.points) count = std::max(count, p + 1);
  return count;
}

SourceObject Object(std::string name, std::vector<SourceFace> faces) {
  const int32_t points = PointCount(faces);
  return SourceObject{std::move(name), points, std::move(faces)};
}

// How the triangulating tool wrote each object's faces.
enum class Order {
  kSecondsAfterFirsts,  // per material (in first-seen order, stable): first triangles and the
                        // triangles that were never quads in place, then the second triangles
  kAdjacent,            // each quad's two triangles next to each other, in the faces' order
};

struct Writing {
  Order order = Order::kSecondsAfterFirsts;
  bool relative = false;     // negative indices
  std::set<int> dropSecond;  // quads (numbered over the file) whose second triangle is left out
  bool swapTwoSeconds = false;  // the first two second triangles of the file change places
};

// A triangulated file and the file fmhost must make of it when every quad whose two triangles are
// in it comes back: each quad on its first triangle's line, its second triangle's line gone.
struct Files {
  std::string triangulated;
  std::string restored;
};

struct Line {
  std::string text;      // as written in the triangulated file
  std::string restored;  // what it becomes when the quads come back: "" as it is, "-" it goes
};

Files Triangulate(const std::vector<SourceObject>& objects, const Writing& writing) {
  std::vector<Line> lines;
  int64_t points = 0, corners = 0;  // v and vt/vn lines so far
  int quad = 0;
  for (const SourceObject& object : objects) {
    lines.push_back({"o " + object.name, ""});
    for (int32_t p = 0; p < object.pointCount; ++p) {
      lines.push_back({"v " + std::to_string(p % 7) + " " + std::to_string(p / 7) + " " +
                           std::to_string(p % 3),
                       ""});
    }
    // Every corner of every face has a texture coordinate and a normal of its own, so that a
    // corner written with another face's would show.
    std::vector<int64_t> firstCorner;
    int64_t objectCorners = 0;
    for (const SourceFace& f : object.faces) {
      firstCorner.push_back(corners + objectCorners);
      for (size_t k = 0; k < f.points.size(); ++k, ++objectCorners) {
        lines.push_back({"vt 0." + std::to_string(1000 + corners + objectCorners) + " 0.5", ""});
        lines.push_back({"vn 0 0." + std::to_string(1000 + corners + objectCorners) + " 1", ""});
      }
    }
    const int64_t pointBase = points;
    points += object.pointCount;
    corners += objectCorners;
    const auto token = [&](size_t face, int k) {
      const int64_t p = pointBase + object.faces[face].points[static_cast<size_t>(k)];
      const int64_t c = firstCorner[face] + k;
      if (writing.relative) {
        return std::to_string(p - points) + "/" + std::to_string(c - corners) + "/" +
               std::to_string(c - corners);
      }
      return std::to_string(p + 1) + "/" + std::to_string(c + 1) + "/" + std::to_string(c + 1);
    };
    const auto face = [&](size_t f, const std::vector<int>& ks) {
      std::string text = "f";
      for (const int k : ks) text += " " + token(f, k);
      return text;
    };
    std::vector<int> materials;
    for (const SourceFace& f : object.faces)
      if (std::find(materials.begin(), materials.end(), f.material) == materials.end())
        materials.push_back(f.material);
    if (writing.order == Order::kAdjacent) materials.resize(std::min<size_t>(materials.size(), 1));
    for (const int material : materials) {
      if (writing.order == Order::kSecondsAfterFirsts) {
        lines.push_back({"usemtl m" + std::to_string(material), ""});
      }
      std::vector<Line> seconds;
      for (size_t f = 0; f < object.faces.size(); ++f) {
        const SourceFace& source = object.faces[f];
        if (writing.order == Order::kSecondsAfterFirsts && source.material != material) continue;
        if (source.points.size() == 3) {
          lines.push_back({face(f, source.FirstTriangle()), ""});
          continue;
        }
        const bool dropped = writing.dropSecond.count(quad++) > 0;
        lines.push_back({face(f, source.FirstTriangle()), dropped ? "" : face(f, {0, 1, 2, 3})});
        if (dropped) continue;
        seconds.push_back({face(f, source.SecondTriangle()), "-"});  // "-": the line goes
        if (writing.order == Order::kAdjacent) {
          lines.push_back(seconds.back());
          seconds.clear();
        }
      }
      lines.insert(lines.end(), seconds.begin(), seconds.end());
    }
  }
  if (writing.swapTwoSeconds) {
    std::vector<size_t> seconds;
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].restored == "-") seconds.push_back(i);
    if (seconds.size() >= 2) std::swap(lines[seconds[0]].text, lines[seconds[1]].text);
  }
  Files files;
  for (const Line& line : lines) {
    files.triangulated += line.text + "\n";
    if (line.restored != "-") files.restored += (line.restored.empty() ? line.text : line.restored) + "\n";
  }
  return files;
}

class FaceOrderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = fs::temp_directory_path() /
                 test::ScratchName(std::string("fmhost-order-") +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(directory_);
    fs::create_directories(directory_);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(directory_);
  }
  std::string Path(const std::string& name) const { return (directory_ / name).string(); }

  // Runs fmhost on `text` with `extra` options; the written file, or "" when the run failed.
  std::string Run(const std::string& text, std::vector<std::string> extra, std::string* out = nullptr) {
    std::ofstream(Path("in.obj"), std::ios::binary) << text;
    std::vector<std::string> arguments = {Path("in.obj"), "-o", Path("out.obj"), "--undo-check"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
#ifdef FM_MACOS_MODULE
    arguments.insert(arguments.end(), {"--plugins", FM_PLUGIN_DIR});
#endif
    const test::ProcessResult run = test::RunProcess(FMHOST_EXE, arguments, directory_.string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    if (out != nullptr) *out = run.out;
    if (run.exitCode != 0) return {};
    std::ostringstream written;
    {
      std::ifstream in(Path("out.obj"), std::ios::binary);
      written << in.rdbuf();
    }  // closed before it is removed, which Windows refuses for an open file
    fs::remove(Path("out.obj"));
    return written.str();
  }

  fs::path directory_;
};

TEST_F(FaceOrderTest, SecondTrianglesAfterTheFirstOnesComeBackAsExactlyTheirQuads) {
  std::vector<SourceFace> middle = Grid(4, 3);
  const std::vector<SourceFace> teeth = BottomTeeth(4, 3);
  middle.insert(middle.begin() + 5, teeth.begin(), teeth.end());
  std::vector<SourceFace> twoRuns = Grid(4, 3);
  for (size_t i = 0; i < twoRuns.size(); ++i) twoRuns[i].material = i % 3 == 0 ? 1 : 2;
  twoRuns = Join(twoRuns, BottomTeeth(4, 3, 2));
  const struct Case {
    const char* name;
    std::vector<SourceObject> objects;
    Writing writing;
    const char* order;  // what fmhost says it read
  } cases[] = {
      {"natives first", {Object("a", Join(BottomTeeth(4, 3), Grid(4, 3)))}, {},
       "second triangles from polygon 16 on"},
      {"natives last", {Object("a", Join(Grid(4, 3), BottomTeeth(4, 3)))}, {},
       "second triangles from polygon 16 on"},
      {"natives in the middle", {Object("a", middle)}, {}, "second triangles from polygon 16 on"},
      {"natives just before their quads", {Object("a", TeethBeforeTheirQuads(4, 3))}, {},
       "second triangles from polygon 16 on"},
      {"a material run of triangles only", {Object("a", Join(Grid(4, 3, 1), Cap(6, 200, 2)))},
       {}, "second triangles from polygon 12 on, 2 material runs (1 with second triangles)"},
      {"two material runs", {Object("a", twoRuns)}, {},
       "second triangles from polygon 4 on, 2 material runs"},
      {"the last quad's second triangle dropped",
       {Object("a", Join(Grid(4, 3), BottomTeeth(4, 3)))},
       {Order::kSecondsAfterFirsts, false, {11}, false}, "second triangles from polygon 16 on"},
      {"relative indices", {Object("a", Join(BottomTeeth(3, 2), Grid(3, 2)))},
       {Order::kSecondsAfterFirsts, true, {}, false}, "second triangles from polygon 9 on"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Files files = Triangulate(c.objects, c.writing);
    ASSERT_NE(files.restored, files.triangulated);
    std::string out;
    EXPECT_EQ(Run(files.triangulated, {"--json"}, &out), files.restored);
    EXPECT_NE(out.find("\"order\": \"" + std::string(c.order) + "\", \"reordered\": true"),
              std::string::npos)
        << out;
    // Handed over in the file's order, the command finds no pairs in it: the file stays as it is.
    EXPECT_EQ(Run(files.triangulated, {"--order", "file"}), files.triangulated);
  }
}

TEST_F(FaceOrderTest, SeveralObjectsAndMaterialsEachInTheirOwnOrder) {
  std::vector<SourceFace> runs = Grid(3, 2, 1);
  runs = Join(Join(runs, Grid(3, 2, 2)), Cap(5, 40, 3));
  // Quads of the second grid share no points with the first's: shift them.
  for (size_t i = 6; i < 12; ++i)
    for (int32_t& p : runs[i].points) p += 20;
  const std::vector<SourceObject> objects = {
      Object("first", Join(BottomTeeth(3, 2), Grid(3, 2))), Object("runs", runs),
      Object("plain", Grid(2, 3)), Object("teeth", Join(Grid(3, 3), BottomTeeth(3, 3)))};
  for (const bool relative : {false, true}) {
    SCOPED_TRACE(relative ? "relative indices" : "absolute indices");
    const Files files = Triangulate(objects, {Order::kSecondsAfterFirsts, relative, {}, false});
    std::string out;
    EXPECT_EQ(Run(files.triangulated, {}, &out), files.restored);
    for (const char* line :
         {"'first': pairs read as adjacent in the order fmhost handed over",
          "'runs': pairs read as adjacent in the order fmhost handed over, each first triangle "
          "followed by its second; the file's order: second triangles from polygon 6 on, 3 "
          "material runs (2 with second triangles)",
          "'plain': pairs read as halves"}) {
      EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    }
  }
  // Selected alone, an object is reordered alone; the others stay as they are.
  const Files files = Triangulate(objects, {});
  const Files firstOnly = Triangulate({objects[0]}, {});
  const std::string written = Run(files.triangulated, {"--select", "first"});
  EXPECT_EQ(written.substr(0, firstOnly.restored.size()), firstOnly.restored);
  EXPECT_EQ(written.substr(firstOnly.restored.size()),
            files.triangulated.substr(firstOnly.triangulated.size()));
}

// Orders the command reads as they are go to it as they are, whatever --order says.
TEST_F(FaceOrderTest, OrdersTheCommandReadsComeBackAsWithTheFilesOrder) {
  const struct Case {
    const char* name;
    std::vector<SourceObject> objects;
    Writing writing;
    const char* order;
  } cases[] = {
      {"each quad's triangles adjacent", {Object("a", Join(Grid(3, 2), BottomTeeth(3, 2)))},
       {Order::kAdjacent, false, {}, false}, "the file's order: each triangle with the next"},
      {"all quads, second triangles after the first ones", {Object("a", Grid(3, 2))}, {},
       "the file's order: the first half with the second"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Files files = Triangulate(c.objects, c.writing);
    std::string out;
    const std::string written = Run(files.triangulated, {"--json"}, &out);
    EXPECT_EQ(written, files.restored);
    EXPECT_EQ(Run(files.triangulated, {"--order", "file"}), written);
    EXPECT_NE(out.find("\"order\": \"" + std::string(c.order) + "\", \"reordered\": false"),
              std::string::npos)
        << out;
  }
}

// The quads and triangles of a written file; each quad must be one of `restored`'s, a quad that was.
std::pair<size_t, size_t> CountFacesExpectingTrueQuads(const std::string& written,
                                                       const std::string& restored) {
  size_t quads = 0, triangles = 0;
  std::istringstream lines(written);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("f ", 0) != 0) continue;
    const size_t corners = static_cast<size_t>(std::count(line.begin(), line.end(), ' '));
    (corners == 4 ? quads : triangles) += 1;
    if (corners == 4) {
      EXPECT_NE(restored.find(line + "\n"), std::string::npos) << line;
    }
  }
  return {quads, triangles};
}

// Second triangles out of the quads' order: no quad that never was comes back, whatever does.
TEST_F(FaceOrderTest, AnOrderNotQuiteRecognisedMakesNoQuadThatWasNot) {
  const Files files = Triangulate({Object("a", Join(BottomTeeth(4, 3), Grid(4, 3)))},
                                  {Order::kSecondsAfterFirsts, false, {}, true});
  const std::string written = Run(files.triangulated, {});
  EXPECT_NE(written, files.restored);
  const auto [quads, triangles] = CountFacesExpectingTrueQuads(written, files.restored);
  EXPECT_LT(quads, 12u);
  EXPECT_EQ(quads * 2 + triangles, 28u);
}

// Where a triangle that never was a quad borders a second triangle, or a second triangle is missing
// mid-way, the order alone allows several pairings; the way the tool split the other quads tells
// the true one. Where it does not (the bordering triangle runs against the second one the way some
// quads were split), that one quad stays two triangles and the others come back.
TEST_F(FaceOrderTest, TheWayQuadsWereSplitTellsWhichOfSeveralPairingsIsTrue) {
  std::vector<SourceFace> mixed = NativeAgainstASecondTriangle(1);
  for (size_t i = 0; i < mixed.size(); ++i) mixed[i].otherDiagonal = i % 2 == 0 && i != 4;
  const Files mixedFiles = Triangulate({Object("a", mixed)}, {});
  const struct Case {
    const char* name;
    std::vector<SourceObject> objects;
    Writing writing;
  } cases[] = {
      {"a native against a second triangle", {Object("a", NativeAgainstASecondTriangle(0))}, {}},
      {"a second triangle dropped mid-way", {Object("a", Join(Grid(4, 3), BottomTeeth(4, 3)))},
       {Order::kSecondsAfterFirsts, false, {5}, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Files files = Triangulate(c.objects, c.writing);
    ASSERT_NE(files.restored, files.triangulated);
    EXPECT_EQ(Run(files.triangulated, {}), files.restored);
  }
  // The mixed case: the file with every quad back but the bordered one (face 5), whose two
  // triangles stay.
  const auto [quads, triangles] =
      CountFacesExpectingTrueQuads(Run(mixedFiles.triangulated, {}), mixedFiles.restored);
  EXPECT_EQ(quads, 7u);
  EXPECT_EQ(triangles, 3u);  // the native and the bordered quad's two
}

// A cap of triangles written first pairs polygon 0 with polygon 1, so the command alone reads the
// adjacent layout and merges the cap's triangles with one another: the recognised order, which
// pairs more, is handed over instead. With --order file the command has the file's order.
TEST_F(FaceOrderTest, APairAtPolygonZeroByChanceDoesNotHideTheOrder) {
  const Files files = Triangulate({Object("a", Join(Cap(6, 20, 0), Grid(4, 3)))}, {});
  std::string out;
  EXPECT_EQ(Run(files.triangulated, {"--json"}, &out), files.restored);
  EXPECT_NE(out.find("\"order\": \"second triangles from polygon 18 on\", \"reordered\": true"),
            std::string::npos)
      << out;
  const std::string asInTheFile = Run(files.triangulated, {"--order", "file", "--json"}, &out);
  EXPECT_NE(asInTheFile, files.restored);
  EXPECT_NE(out.find("\"order\": \"the file's order: each triangle with the next\", "
                     "\"reordered\": false"),
            std::string::npos)
      << out;
}

}  // namespace
}  // namespace fm::host::fmhost
