#include "host/mesh/obj_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fm::host::mesh {
namespace {

MeshFile Parse(std::string_view text, std::string_view defaultName = "stem") {
  MeshFile mesh;
  std::string error;
  EXPECT_TRUE(ParseObj(text, "in.obj", defaultName, mesh, error)) << error;
  return mesh;
}

std::string ParseError(std::string_view text) {
  MeshFile mesh;
  mesh.objects.resize(3);  // must stay untouched on failure
  std::string error;
  EXPECT_FALSE(ParseObj(text, "in.obj", "stem", mesh, error));
  EXPECT_EQ(mesh.objects.size(), 3u);
  return error;
}

using Corners = std::array<int32_t, 4>;
Corners VerticesOf(const Face& face) {
  return {face.vertex[0], face.vertex[1], face.vertex[2], face.vertex[3]};
}

constexpr char kSquare[] =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";

TEST(ObjReader, FacesKeepTheirVerticesAndWhereTheirStatementStarts) {
  const std::string text = std::string(kSquare) + "f 1 2 3\n  f 1 2 3 4 # quad\nf 4 3 2\n";
  const MeshFile mesh = Parse(text);
  ASSERT_EQ(mesh.faces.size(), 3u);
  EXPECT_EQ(VerticesOf(mesh.faces[0]), (Corners{0, 1, 2, 2}));
  EXPECT_TRUE(mesh.faces[0].IsTriangle());
  EXPECT_EQ(VerticesOf(mesh.faces[1]), (Corners{0, 1, 2, 3}));
  EXPECT_EQ(mesh.faces[1].corners, 4u);
  EXPECT_EQ(text.substr(mesh.faces[1].offset, 4), "  f ");
  EXPECT_EQ(text.substr(mesh.faces[2].offset, 8), "f 4 3 2\n");
  EXPECT_EQ(mesh.vertices[2], (Vector3{1, 1, 0}));
  EXPECT_EQ(mesh.texcoordCount, 4);
  EXPECT_EQ(mesh.textSize, text.size());
  EXPECT_TRUE(mesh.bases.empty());
  ASSERT_EQ(mesh.objects.size(), 1u);
  EXPECT_EQ(mesh.objects[0].name, "stem");
  EXPECT_FALSE(mesh.objects[0].fromObjectLine);
  EXPECT_EQ(mesh.objects[0].faceCount, 3u);
  EXPECT_EQ(mesh.objects[0].pointVertex, (std::vector<int32_t>{0, 1, 2, 3}));
}

TEST(ObjReader, IndicesResolveBackwardsForwardsAndRememberTheCountsWhereRelative) {
  const MeshFile mesh = Parse(
      "f 4/1 5/2 6/3\n"  // forward
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nf 1/1 2/2 3/3\n"
      "v 0 1 0\nv 2 2 2\nv 3 3 3\nvt 0 1\nvn 0 0 1\nf -5/-4 -3/-2 -2/-1\n");
  EXPECT_EQ(VerticesOf(mesh.faces[0]), (Corners{3, 4, 5, 5}));
  EXPECT_EQ(VerticesOf(mesh.faces[2]), (Corners{1, 3, 4, 4}));
  // Once any face is relative, every face has its counts, also those before it: a merged face
  // written at an earlier line may take a token from a relative one.
  ASSERT_EQ(mesh.bases.size(), 3u);
  EXPECT_EQ(mesh.bases[0], (IndexBase{}));
  EXPECT_EQ(mesh.bases[1], (IndexBase{3, 3, 0}));
  EXPECT_EQ(mesh.bases[2], (IndexBase{6, 4, 1}));
}

TEST(ObjReader, ObjectsTakeTheFacesThatFollowThemAndOwnTheirPointsInFileOrder) {
  const MeshFile mesh = Parse(
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 2 2\n"
      "f 1 2 3\no first\nf 4 2 1\no second thing # not a comment\nf 5 4 3\nf 5 3 1\no empty\n");
  ASSERT_EQ(mesh.objects.size(), 4u);
  const struct {
    const char* name;
    bool fromObjectLine;
    uint32_t firstFace, faceCount;
    std::vector<int32_t> points;
  } expected[] = {{"stem", false, 0, 1, {0, 1, 2}},
                  {"first", true, 1, 1, {0, 1, 3}},
                  {"second thing # not a comment", true, 2, 2, {0, 2, 3, 4}},
                  {"empty", true, 4, 0, {}}};
  for (size_t o = 0; o < 4; ++o) {
    SCOPED_TRACE(o);
    EXPECT_EQ(mesh.objects[o].name, expected[o].name);
    EXPECT_EQ(mesh.objects[o].fromObjectLine, expected[o].fromObjectLine);
    EXPECT_EQ(mesh.objects[o].firstFace, expected[o].firstFace);
    EXPECT_EQ(mesh.objects[o].faceCount, expected[o].faceCount);
    EXPECT_EQ(mesh.objects[o].pointVertex, expected[o].points);
  }
}

TEST(ObjReader, SparseObjectsStillListTheirPointsInFileOrder) {
  // Few vertices spread over a wide range take the sorting path rather than the range scan.
  std::string text;
  for (int i = 0; i < 100; ++i) text += "v " + std::to_string(i) + " 0 0\n";
  text += "f 90 3 50\nf 3 99 1\n";
  EXPECT_EQ(Parse(text).objects[0].pointVertex, (std::vector<int32_t>{0, 2, 49, 89, 98}));
}

TEST(ObjReader, AFileWithoutFacesOrObjectLinesHasNoObjects) {
  for (const char* text : {"", "# nothing here\n\n", "v 0 0 0\nvt 0 0\ng lonely\n"}) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(Parse(text).objects.empty());
  }
}

TEST(ObjReader, WhatItDoesNotNeedIsCheckedOrLeftAlone) {
  const MeshFile mesh = Parse(
      "mtllib a.mtl\nv 0 0 0 1\nv 1 0 0 0.1 0.2 0.3\nv 1 1 0\nvn 0 0 1\nvt 0.5\nvt 1 2 3\nvp 0.2\n"
      "usemtl red\ns 1\ng a b c\ncstype bezier\nmy_extension 1 2 3\nf 1//1 2//1 3//1\n");
  EXPECT_EQ(mesh.faces.size(), 1u);
  EXPECT_EQ(mesh.normalCount, 1);
  EXPECT_EQ(mesh.texcoordCount, 2);
  EXPECT_EQ(mesh.vertices.size(), 3u);
}

TEST(ObjReader, MaterialLibrariesAreListedAsTheStatementsNameThem) {
  // Several names on one line with a comment after them, an indented statement continued over two
  // lines, and after a bare CR `mtllibx`, which is another statement.
  const MeshFile mesh = Parse(
      "mtllib a.mtl b.mtl # not c.mtl\r\n\t mtllib \\\n d.mtl\rmtllibx e.mtl\n"
      "g x\nmtllib\n" + std::string(kSquare) + "f 1 2 3\nmtllib f.mtl\n");
  EXPECT_EQ(mesh.materialLibraries, (std::vector<std::string>{"a.mtl", "b.mtl", "d.mtl", "f.mtl"}));
  EXPECT_TRUE(Parse(kSquare).materialLibraries.empty());
}

TEST(ObjReader, LayoutDetailsOfTheTextDoNotMatter) {
  struct Case {
    const char* name;
    const char* text;
  };
  const Case cases[] = {
      {"crlf", "v 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nf 1 2 3\r\n"},
      {"byte order mark", "\xEF\xBB\xBFv 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3"},
      {"tabs and trailing comments", "v\t0 0 0 # origin\n  v 1 0 0\nv 1 1 0#x\nf 1\t2 3 #tri\n"},
      {"continued lines", "v 0 0 0\nv 1 \\\n 0 0\nv 1 1 0\nf 1 \\\n2 \\\n 3\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MeshFile mesh = Parse(c.text);
    ASSERT_EQ(mesh.faces.size(), 1u);
    EXPECT_EQ(VerticesOf(mesh.faces[0]), (Corners{0, 1, 2, 2}));
    EXPECT_EQ(mesh.vertices[1], (Vector3{1, 0, 0}));
  }
}

TEST(ObjReader, WhatAPolygonObjectCannotHoldPassesThroughAsText) {
  // Lines, points, curves, surfaces and unknown statements in any script change nothing the
  // command sees.
  const MeshFile mesh = Parse(std::string(kSquare) +
                              "l 1 2 3\np 4\ncurv 0 1 1 2\nsurf 0 1 0 1 1 2 3\ncaf\xc3\xa9 1 2 3\n"
                              "\xff\xfe x\nf 1 2 3\n");
  ASSERT_EQ(mesh.faces.size(), 1u);
  EXPECT_EQ(mesh.objects[0].pointVertex, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_TRUE(mesh.leftObjects.empty());
}

TEST(ObjReader, AnObjectWithAFaceOfMoreThanFourCornersIsLeftOutWhole) {
  const std::string text = std::string(kSquare) +
                           "v 2 2 2\nf 1 2 3\n"
                           "o pent\nf -1 -2 -3\nf 1 2 3 4 5\nf 1 2 3\nf 1 2 3 4 5 1 2\n"
                           "o after\nf 2 3 4\n";
  const MeshFile mesh = Parse(text);
  ASSERT_EQ(mesh.objects.size(), 2u);
  EXPECT_EQ(mesh.objects[0].name, "stem");
  EXPECT_EQ(mesh.objects[1].name, "after");
  EXPECT_EQ(mesh.objects[1].firstFace, 1u);
  EXPECT_EQ(mesh.objects[1].pointVertex, (std::vector<int32_t>{1, 2, 3}));
  ASSERT_EQ(mesh.faces.size(), 2u);
  EXPECT_EQ(text.substr(mesh.faces[1].offset, 7), "f 2 3 4");
  // The relative face was the left object's only one: none of the kept faces needs counts.
  EXPECT_TRUE(mesh.bases.empty());
  ASSERT_EQ(mesh.leftObjects.size(), 1u);
  const LeftObject& left = mesh.leftObjects[0];
  EXPECT_EQ(left.name, "pent");
  EXPECT_TRUE(left.fromObjectLine);
  EXPECT_EQ(left.line, 11);
  EXPECT_EQ(left.faceLine, 13);
  EXPECT_EQ(left.corners, 5u);
  EXPECT_EQ(left.faceCount, 4u);
  EXPECT_EQ(left.objectsBefore, 1u);

  // Faces before any object line form an object like any other.
  const MeshFile unnamed = Parse(std::string(kSquare) + "v 2 2 2\nf 1 2 3 4 5\no b\nf 1 2 3\n");
  ASSERT_EQ(unnamed.leftObjects.size(), 1u);
  EXPECT_EQ(unnamed.leftObjects[0].name, "stem");
  EXPECT_FALSE(unnamed.leftObjects[0].fromObjectLine);
  EXPECT_EQ(unnamed.leftObjects[0].objectsBefore, 0u);
  ASSERT_EQ(unnamed.objects.size(), 1u);
  EXPECT_EQ(unnamed.objects[0].firstFace, 0u);
}

TEST(ObjReader, MaterialRunsSplitEachObjectWhereTheMaterialChanges) {
  using Runs = std::vector<std::vector<uint32_t>>;  // per object
  const struct Case {
    const char* name;
    const char* faces;  // after kSquare
    Runs runs;
  } cases[] = {
      {"no materials", "f 1 2 3\nf 1 3 4\n", {{}}},
      {"one material", "usemtl a\nf 1 2 3\nf 1 3 4\n", {{}}},
      {"a change between faces", "usemtl a\nf 1 2 3\nusemtl b\nf 1 3 4\nf 2 3 4\n", {{1}}},
      {"a material that comes back is another run",
       "usemtl a\nf 1 2 3\nusemtl b\nf 1 3 4\nusemtl a\nf 2 3 4\n", {{1, 2}}},
      {"the same name again continues the run",
       "usemtl a\nf 1 2 3\nusemtl a # again\nf 1 3 4\n", {{}}},
      {"changes without faces between them count once",
       "usemtl a\nf 1 2 3\nusemtl b\nusemtl c\nf 1 3 4\n", {{1}}},
      {"a change back before any face is no change",
       "usemtl a\nf 1 2 3\nusemtl b\nusemtl a\nf 1 3 4\n", {{}}},
      {"the first material of a file starts no run", "f 1 2 3\nusemtl a\nf 1 3 4\n", {{1}}},
      {"every object starts with its own run",
       "usemtl a\nf 1 2 3\no second\nf 1 3 4\nusemtl b\nf 2 3 4\no third\nf 1 2 4\n",
       {{}, {1}, {}}},
      {"a left-out object keeps none",
       "usemtl a\nf 1 2 3\nusemtl b\nf 1 3 4\nf 1 2 3 4 4\no next\nf 1 2 3\n", {{}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MeshFile mesh = Parse(std::string(kSquare) + c.faces);
    ASSERT_EQ(mesh.objects.size(), c.runs.size());
    for (size_t o = 0; o < c.runs.size(); ++o) EXPECT_EQ(mesh.objects[o].materialRuns, c.runs[o]);
  }
}

TEST(ObjReader, FacesOfOneObjectMayDifferInForm) {
  const MeshFile mesh = Parse(std::string(kSquare) +
                              "vn 0 0 1\nf 1/1 2/2 3/3\nf 1 3 4\nf 1//1 3//1 4//1\n"
                              "f 1/1/1 2/2/1 3/3/1\n");
  EXPECT_EQ(mesh.faces.size(), 4u);
  EXPECT_EQ(mesh.objects[0].faceCount, 4u);
}

TEST(ObjReader, LinesEndInLfCrLfOrCrAlone) {
  for (const char* text : {"v 0 0 0\rv 1 0 0\rv 1 1 0\rf 1 2 3\r# end",
                           "v 0 0 0\r\nv 1 0 0\rv 1 1 0\nf 1 2 \\\r3\r\n",
                           "o a\r\r\rv 0 0 0\rv 1 0 0\rv 1 1 0\rf 1 2 3"}) {
    SCOPED_TRACE(text);
    const MeshFile mesh = Parse(text);
    ASSERT_EQ(mesh.faces.size(), 1u);
    EXPECT_EQ(VerticesOf(mesh.faces[0]), (Corners{0, 1, 2, 2}));
    EXPECT_EQ(mesh.vertices[1], (Vector3{1, 0, 0}));
  }
  EXPECT_EQ(ParseError("v 0 0 0\r\rf 1 2 3\r"),
            "in.obj:3: vertex index 3 is out of range (the file has 1 vertices)");
  const std::string text = "f 1 \\\r2 3\rv 0 0 0\r\n";
  EXPECT_EQ(StatementEnd(text, 0), text.find('v'));
}

// Long lines are searched in pieces: a line end found at, just before and just after the edge of a
// piece (a CR LF split across two pieces among them) and lines of CR alone far from any LF.
TEST(ObjReader, LineEndFindsEveryKindOfLineEndAtAnyDistance) {
  const size_t lengths[] = {0, 1, 254, 255, 256, 257, 767, 768, 769, 70000, 200000};
  const char* const ends[] = {"\n", "\r\n", "\r", ""};
  for (size_t length : lengths) {
    for (const char* end : ends) {
      SCOPED_TRACE(std::to_string(length) + " bytes, end " + std::to_string(std::strlen(end)));
      const std::string line = std::string(length, 'x') + end;
      const std::string text = line + "v 0 0 0\r\r\n";
      const size_t expected = std::string_view(end) == "\r\n" ? length + 1 : length;
      EXPECT_EQ(LineEnd(text, 0), std::string_view(end).empty() ? text.find('\r') : expected);
      EXPECT_EQ(LineEnd(line, 0), std::string_view(end).empty() ? length : expected);
      EXPECT_EQ(LineEnd(text, line.size()), text.size() - 3);
      EXPECT_EQ(LineEnd(text, text.size() - 2), text.size() - 1);
      EXPECT_EQ(LineEnd(text, text.size()), text.size());
    }
  }
}

// Coordinates read exactly as the standard conversion reads them, to the last bit, in the short
// forms files are full of and in the long ones around them.
TEST(ObjReader, CoordinatesAreTheCorrectlyRoundedValuesOfTheirDigits) {
  std::vector<std::string> tokens = {"0", "-0", "-0.0", "1", "0.1", "0.3", "2.749985", "-2.749985",
                                     "123456789012345", "1234567890123456", "0.000000000000001",
                                     "0.0000000000000001", "999999999999999.9", "9.99999999999999",
                                     "00000000000000000001.5", "1.000000000000000000001",
                                     "4503599627370497.5", "+1.5", "1e3", ".5", "5.", "-1E-3"};
  uint64_t state = 12345;
  const auto next = [&state] {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return state >> 33;
  };
  for (int i = 0; i < 3000; ++i) {
    // Up to twenty digits, some after leading zeros: runs that fill eight bytes and go on.
    std::string digits = std::to_string(next());
    if (i % 3 == 0) digits += std::to_string(next());
    if (i % 4 == 0) digits = "000" + digits;
    digits.resize(1 + next() % digits.size());
    const size_t point = next() % (digits.size() + 1);
    std::string token = (next() % 2 ? "-" : "") + digits.substr(0, point);
    if (token.empty() || token == "-") token += "0";
    if (point < digits.size()) token += "." + digits.substr(point);
    tokens.push_back(token);
  }
  std::string text;
  for (const std::string& token : tokens) text += "v " + token + " " + token + " " + token + "\n";
  const MeshFile mesh = Parse(text);
  ASSERT_EQ(mesh.vertices.size(), tokens.size());
  for (size_t i = 0; i < tokens.size(); ++i) {
    SCOPED_TRACE(tokens[i]);
    std::string_view digits = tokens[i];
    if (digits.front() == '+') digits.remove_prefix(1);
    double expected = 0.0;
    std::from_chars(digits.data(), digits.data() + digits.size(), expected);
    EXPECT_EQ(std::memcmp(&mesh.vertices[i].x, &expected, sizeof expected), 0)
        << mesh.vertices[i].x;
  }
}

TEST(ObjReader, StatementEndCoversContinuedLines) {
  const std::string text = "f 1 \\\n2 \\\r\n 3\nv 0 0 0\nf 1 2 3";
  EXPECT_EQ(StatementEnd(text, 0), text.find("v 0"));
  EXPECT_EQ(StatementEnd(text, text.find("v 0")), text.rfind('f'));
  EXPECT_EQ(StatementEnd(text, text.rfind('f')), text.size());
}

TEST(ObjReader, BadInputNamesTheLineAndWhatIsWrong) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"v 0 0 0\nv 1 0 0\nf 1 2\n", "in.obj:3: a face needs at least three corners"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 4\n",
       "in.obj:4: vertex index 4 is out of range (the file has 3 vertices)"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 -4\n",
       "in.obj:4: vertex index -4 is out of range (3 read before this line)"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 0 2\n", "in.obj:4: vertex index 0 is not allowed"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nf 1/1 2/1 3/2\n",
       "in.obj:5: texture coordinate index 2 is out of range (the file has 1 texture "
       "coordinates)"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nf 1/1 2 3/1\n",
       "in.obj:5: texture coordinates given for some corners of the face only"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nvn 0 0 1\nf 1//1 2 3//1\n",
       "in.obj:5: normals given for some corners of the face only"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1/2/3/4 2 3\n", "in.obj:4: malformed face corner '1/2/3/4'"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1/ 2/ 3/\n", "in.obj:4: malformed face corner '1/'"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 x\n", "in.obj:4: not a vertex index: 'x'"},
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1//1 2//1 3//1\n",
       "in.obj:4: normal index 1 is out of range"},
      {"v 1 abc 3\n", "in.obj:1: not a number: 'abc'"},
      {"v 1 2\n", "in.obj:1: a vertex needs three coordinates"},
      {"v 1 2 3 4 5\n", "in.obj:1: a vertex needs three coordinates"},
      {"v 1 2 nan\n", "in.obj:1: not a number: 'nan'"},
      {"v 1 2 1e999\n", "in.obj:1: number out of range: '1e999'"},
      {"v 1 -1e400 2\n", "in.obj:1: number out of range: '-1e400'"},
      {"vt +1e400 0\n", "in.obj:1: number out of range: '+1e400'"},
      {"v 1 2 +-1e400\n", "in.obj:1: not a number: '+-1e400'"},
      {"v 1 2 1e400x\n", "in.obj:1: not a number: '1e400x'"},
      {"vt\n", "in.obj:1: texture coordinates need one to three numbers"},
      {"vt 1 2 3 4\n", "in.obj:1: texture coordinates need one to three numbers"},
      {"vn 0 1\n", "in.obj:1: a normal needs three numbers"},
      {"vn 0 1 q\n", "in.obj:1: not a number: 'q'"},
      {"o\n", "in.obj:1: an object needs a name"},
      {"\x7f" "ELF\x02\x01\x01\n", "in.obj:1: not an OBJ statement: '\\x7fELF\\x02\\x01\\x01'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string error = ParseError(c.text);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  using namespace std::string_literals;
  EXPECT_EQ(ParseError("# fine\nv 0 0 0\n# bad\0byte\n"s),
            "in.obj:3: a NUL byte: this is not a text file");
  EXPECT_EQ(ParseError("# fine\rv 0 0 0\r\n\r# bad\0byte\n"s),
            "in.obj:4: a NUL byte: this is not a text file");
  // Read in parts by two threads, the first NUL of the text is what is said, before errors and
  // wherever either thread meets it.
  std::string lines;
  for (int i = 0; i < 60; ++i) lines += "v 0 0 0\n";
  const std::string nulTexts[] = {
      "v 1 2\n" + lines + "# \0\n"s + lines,
      lines + "# \0\n"s + lines + "f 1 2 x\n" + lines + "# \0\n"s,
      lines + lines + "v \0 0 0\n"s,
      "#\0\n"s + lines + "v 1 2\n",
      // on the continued line of a comment, which is read no further
      lines + "# a comment \\\n that goes on \0\n"s + lines,
  };
  for (const std::string& text : nulTexts) {
    ASSERT_NE(text.find('\0'), std::string::npos);
    const auto nul = text.begin() + static_cast<std::ptrdiff_t>(text.find('\0'));
    const size_t line = static_cast<size_t>(std::count(text.begin(), nul, '\n') + 1);
    for (const size_t partBytes : {size_t{0}, size_t{7}, size_t{40}, size_t{300}}) {
      SCOPED_TRACE("NUL on line " + std::to_string(line) + ", parts of " +
                   std::to_string(partBytes));
      MeshFile mesh;
      std::string error;
      EXPECT_FALSE(ParseObj(text, "in.obj", "stem", mesh, error, {}, partBytes));
      EXPECT_EQ(error, "in.obj:" + std::to_string(line) + ": a NUL byte: this is not a text file");
    }
  }
  // A face in an object that is left as it is must still be readable.
  EXPECT_NE(ParseError("v 0 0 0\nf 1 1 1 1 1\nf 1 1 x\n").find("in.obj:3: not a vertex index"),
            std::string::npos);
  EXPECT_NE(ParseError("v 0 0 0\nf 1 1 1 1 9\n").find("in.obj:2: vertex index 9 is out of range"),
            std::string::npos);
}

TEST(ObjReader, ErrorLinesStayShortAndPrintableWhateverTheTokenHolds) {
  const std::string huge(1'000'000, '7');
  struct Case {
    const char* name;
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"million-digit index", "v 0 0 0\nf 1 1 " + huge + "\n",
       "in.obj:2: vertex index '7777777777"},
      {"million-digit number", "v 0 0 " + huge + "x\n", "in.obj:1: not a number: '7777"},
      {"control bytes", std::string("v 0 \x01\x1b[2J 0\n"), "in.obj:1: not a number: '\\x01\\x1b[2J'"},
      {"invalid utf-8", "v 0 \xff\xfe 0\n", "in.obj:1: not a number: '\\xff\\xfe'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string error = ParseError(c.text);
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    EXPECT_LT(error.size(), 200u);
    EXPECT_EQ(error.find("\n"), std::string::npos);
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

TEST(ObjReader, AGroupLineWithVeryManyNamesIsReadInLinearTime) {
  // Checking each name against the names before it would take minutes here.
  std::string text = "v 0 0 0\nv 1 0 0\nv 1 1 0\ng";
  for (int i = 0; i < 200'000; ++i) text += " n" + std::to_string(i);
  text += "\nf 1 2 3\n";
  EXPECT_EQ(Parse(text).faces.size(), 1u);
}

// Everything read, for comparing two readings.
std::string Described(const MeshFile& mesh) {
  std::string out;
  const auto Add = [&](auto value) { out += std::to_string(value) + " "; };
  for (const Vector3& v : mesh.vertices) {
    Add(v.x), Add(v.y), Add(v.z);
  }
  out += "| ";
  Add(mesh.texcoordCount), Add(mesh.normalCount), Add(mesh.textSize);
  for (const Face& face : mesh.faces) {
    for (int32_t vertex : face.vertex) Add(vertex);
    Add(uint64_t{face.offset}), Add(uint64_t{face.corners});
  }
  for (const MeshObject& object : mesh.objects) {
    out += "| " + object.name + " ";
    Add(object.fromObjectLine), Add(object.line), Add(object.firstFace), Add(object.faceCount);
    for (int32_t vertex : object.pointVertex) Add(vertex);
    out += "runs ";
    for (uint32_t run : object.materialRuns) Add(run);
  }
  for (const LeftObject& left : mesh.leftObjects) {
    out += "| left " + left.name + " ";
    Add(left.fromObjectLine), Add(left.line), Add(left.faceLine), Add(left.corners),
        Add(left.faceCount), Add(left.objectsBefore);
  }
  out += "| bases ";
  for (const IndexBase& base : mesh.bases) Add(base.vertices), Add(base.texcoords), Add(base.normals);
  for (const std::string& name : mesh.materialLibraries) out += name + " ";
  return out;
}

// A text read in parts by two threads, cut at any lines, reads as it does in one part: objects that
// go on past the split, materials named on one side and used on the other, objects left out for a
// long face on either side, relative indices (which the second part leaves to the first), forward
// indices, and the first error wherever it is.
TEST(ObjReader, ReadInTwoPartsItReadsAsInOne) {
  const std::string quads = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n";
  const std::string texts[] = {
      "mtllib a.mtl\n" + quads + "f 1 2 3\nusemtl red\nf 1/1 3/1 4/1\nf 1 2 3 4\no second\n"
      "usemtl red\nf 2 3 4\nusemtl blue\r\nf 4 3 2\rusemtl blue\nf 1//1 2//1 3//1\n"
      "mtllib b.mtl c.mtl\no third\nf 1 2 \\\n 3\nusemtl red\nf 1 2 3\nv 2 2 2\nf 5 1 2\n",
      "\xEF\xBB\xBF" + quads + "usemtl a\nf 1 2 3\nf 1 2 3 4 1\nf 2 3 4\no kept\nf 1 2 3\n"
      "usemtl b\nf 2 3 4\no long\nusemtl c\nf 1 2 3\nf 2 3 4\nf 1 2 3 4 1 2\nf 1 2 3\no after\n"
      "f 1 2 3 4\n",
      quads + "f 1 2 3\no relative\nf -4 -3 -2\nv 3 3 3\nf -1 -2 -3\nf 1 2 5\nusemtl x\n"
      "f -1/-1/-1 -2/-1/-1 -3/-1/-1\n",
      quads + "f 1 2 3\nf 1 2 9\nf 2 3 4\nf 1 2 7\nv 5 5 5\nv 6 6 6\nv 7 7 7\nv 8 8 8\nv 9 9 9\n",
      quads + "f 1 2 3\nf 1 2 12\nf 2 3 4\nf 1 2 12\nv 5 5 5\n",
      quads + "f 1 2 3\nf 1 2 3\nv 1 x 2\nf 2 3 4\nf 1 2\n",
      quads + "f 1 2 3\nf 1 2 3\nf 1 2 3\nf 2 3 4 # fine\nbad\x01 word\n",
      quads + "f 1 2 3\no\nf 1 2 3\n",
  };
  for (size_t t = 0; t < std::size(texts); ++t) {
    const std::string& text = texts[t];
    MeshFile whole;
    std::string wholeError;
    const bool wholeRead = ParseObj(text, "in.obj", "stem", whole, wholeError);
    const std::string expected = wholeRead ? Described(whole) : wholeError;
    for (size_t partBytes = 1; partBytes < text.size(); ++partBytes) {
      SCOPED_TRACE("text " + std::to_string(t) + " in parts of " + std::to_string(partBytes));
      MeshFile parts;
      std::string partsError;
      const bool partsRead = ParseObj(text, "in.obj", "stem", parts, partsError, {}, partBytes);
      ASSERT_EQ(partsRead, wholeRead) << partsError;
      ASSERT_EQ(partsRead ? Described(parts) : partsError, expected);
    }
  }
}

// Both threads put their faces in one list, reserved for as many faces as samples of the text
// suggest: the first thread from the front, the second each part it read under the parts after it.
// Here the samples miss the indented face lines, so the list is far too short: the first thread
// runs out of room and goes on in a list of its own, and parts of the second thread no longer fit
// (and those after such a part, which did, are moved out of the way). It reads as in one part all
// the same. Points are the vertices an object uses, in file order, also where they are few and far
// apart, and where objects share them.
TEST(ObjReader, FacesBeyondTheEstimatedRoomReadAsInOnePart) {
  std::string vertices, indented;
  for (int i = 1; i <= 2000; ++i) vertices += "v " + std::to_string(i) + " 0 0\n";
  for (int i = 0; i < 600; ++i) {
    indented += "  f " + std::to_string(i + 1) + " " + std::to_string(i + 2) + " " +
                std::to_string(i % 7 == 0 ? 1990 : i + 3) + "\n";
  }
  const std::string tail = "o far\nf 2000 1000 1\nf 1 1000 1999\no shared\nf 5 3 1\nf 3 2 4 5\n";
  const std::string texts[] = {"o many\n" + indented + vertices + tail,
                               vertices + "o many\n" + indented + tail};
  for (size_t t = 0; t < std::size(texts); ++t) {
    const std::string& text = texts[t];
    MeshFile whole;
    std::string error;
    ASSERT_TRUE(ParseObj(text, "in.obj", "stem", whole, error)) << error;
    ASSERT_EQ(whole.objects.size(), 3u);
    EXPECT_EQ(whole.faces.size(), 604u);
    EXPECT_EQ(whole.objects[1].pointVertex, (std::vector<int32_t>{0, 999, 1998, 1999}));
    EXPECT_EQ(whole.objects[2].pointVertex, (std::vector<int32_t>{0, 1, 2, 3, 4}));
    for (const size_t partBytes : {size_t{97}, size_t{500}, size_t{3000}}) {
      SCOPED_TRACE("text " + std::to_string(t) + " in parts of " + std::to_string(partBytes));
      MeshFile parts;
      ASSERT_TRUE(ParseObj(text, "in.obj", "stem", parts, error, {}, partBytes)) << error;
      EXPECT_EQ(Described(parts), Described(whole));
    }
  }
}

// Vertices and faces of the usual forms are read by a quicker way than the rest; they read as the
// same statements do where that way cannot be taken. Here each statement ends in two blanks, or,
// with the same offsets, in a blank and a comment, which only the general way reads.
TEST(ObjReader, UsualStatementsReadAsTheSameStatementsInAnyForm) {
  const std::string quads = "v 0 0 0@\nv 1 0 0@\nv 1 1 0@\nv 0 1 0@\nvt 0 0@\nvt 1@\n"
                            "vt 1 1 0@\nvn 0 0 1@\n";
  const std::string texts[] = {
      quads + "f 1 2 3@\nf 1/1 2/2 3/3 4/1@\nf 1//1 2//1 3//1@\nf 1/1/1 3/2/1 4/3/1@\n"
              "f\t01 002\t3\r\nf 1 2 3 4@\n",
      quads + "v -0.000001 123456789012345 1.5@\nv 1.0000000000000001 -2.5 3e1@\nv 4 5 6 1@\n"
              "v 0.1234567890123456 7 -0@\nf 5 6 7 8@\n",
      quads + "f 1 2 9@\nf 3 4 8@\nv 5 5 5@\nv 6 6 6@\nv 7 7 7@\nv 8 8 8@\nv 9 9 9@\n",
      quads + "f 1 2 3@\nf 1 2 12@\nf 2 3 11@\nv 5 5 5@\n",
      quads + "f 1/9 2/9 3/9@\nvt 0 0@\n",
      quads + "f 1 2 3 4 1@\nf 1 2 3@\n",
      quads + "f 1/1 2 3@\n",
      quads + "f 1 2 0@\n",
      quads + "f 1 2 2147483648@\n",
      quads + "f 1 2 99999999999@\n",
      quads + "f 1/ 2/ 3/@\n",
      quads + "f 1//1 2//1 3/1/1@\n",
      quads + "f 1/1/1/1 2 3@\n",
      quads + "v 1 2@\n",
      quads + "vt 1 2 3 4@\n",
      quads + "vn 1 2@\n",
      quads + "v 1 2 x@\n",
  };
  const auto Form = [](std::string text, const char* end) {
    for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, end);
    return text;
  };
  for (size_t t = 0; t < std::size(texts); ++t) {
    const std::string usual = Form(texts[t], "  "), general = Form(texts[t], " #");
    ASSERT_EQ(usual.size(), general.size());
    for (const size_t partBytes : {size_t{0}, size_t{7}, size_t{40}}) {
      SCOPED_TRACE("text " + std::to_string(t) + " in parts of " + std::to_string(partBytes));
      MeshFile quick, slow;
      std::string quickError, slowError;
      const bool quickRead = ParseObj(usual, "in.obj", "stem", quick, quickError, {}, partBytes);
      const bool slowRead = ParseObj(general, "in.obj", "stem", slow, slowError, {}, partBytes);
      ASSERT_EQ(quickRead, slowRead) << quickError << slowError;
      EXPECT_EQ(quickRead ? Described(quick) : quickError, slowRead ? Described(slow) : slowError);
    }
  }
}

// A long text is read by two threads as they come; it reads as in one part, and progress is told
// on the calling thread only, rising to a hundred.
TEST(ObjReader, ALongTextReadByTwoThreadsReadsAsInOne) {
  std::string text = "mtllib long.mtl\n";
  for (int block = 0; block < 4000; ++block) {
    if (block % 100 == 0) text += "o part" + std::to_string(block) + "\n";
    if (block % 7 == 0) text += "usemtl m" + std::to_string(block % 3) + "\n";
    for (int v = 0; v < 40; ++v) {
      text += "v " + std::to_string(block) + ".5 " + std::to_string(v) + " -0.25\nvt 0.5 0.5\n";
    }
    const int first = block * 40 + 1;
    for (int f = 0; f < 38; ++f) {
      if (block % 250 == 3 && f == 5) {
        text += "f -1 -2 -3 \\\n -4\n";  // relative: read where it is, after what comes before
      } else if (block % 400 == 9 && f == 7) {
        text += "f 1 2 3 4 5\n";  // a long face: its object is left out
      } else {
        text += "f " + std::to_string(first + f) + "/1 " + std::to_string(first + f + 1) + "/2 " +
                std::to_string(first + f + 2) + "/3\n";
      }
    }
  }
  ASSERT_GT(text.size(), size_t{8} << 20);
  MeshFile one, two;
  std::string error;
  ASSERT_TRUE(ParseObj(text, "in.obj", "stem", one, error, {}, text.size())) << error;
  std::vector<int> progress;
  const std::thread::id caller = std::this_thread::get_id();
  bool elsewhere = false;
  ASSERT_TRUE(ParseObj(text, "in.obj", "stem", two, error, [&](int percent) {
    progress.push_back(percent);
    elsewhere = elsewhere || std::this_thread::get_id() != caller;
  })) << error;
  EXPECT_TRUE(Described(two) == Described(one));
  EXPECT_FALSE(one.leftObjects.empty());
  EXPECT_FALSE(one.bases.empty());
  EXPECT_FALSE(elsewhere);
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(progress.back(), 100);
  // Both threads' reading counts. Held up at its first report, as the system may hold up any
  // thread, the calling thread finds that the other one has read all but its own part (the text
  // without relative indices, which the other thread would leave to it): the figure takes that in
  // at once and then goes on rising, point by point, with what this thread reads of its part (a
  // thirty-second of the text). Counting only this thread's reading against a figure of both, it
  // stayed where it had jumped to until the end.
  std::string absolute = text;
  const std::string relative = "f -1 -2 -3 \\\n -4\n";
  for (size_t at; (at = absolute.find(relative)) != std::string::npos;) {
    absolute.replace(at, relative.size(), "f 1 2 3 4\n");
  }
  std::vector<int> held;
  MeshFile again;
  ASSERT_TRUE(ParseObj(absolute, "in.obj", "stem", again, error, [&](int percent) {
    if (held.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(500));
    held.push_back(percent);
  })) << error;
  ASSERT_GE(held.size(), 2u);
  EXPECT_GT(held[1], 80) << "the other thread's reading is not counted";
  EXPECT_GE(held.size(), 5u) << "the figure stays where it jumped to";
  EXPECT_EQ(held.back(), 100);
  // The first error is the one of a reading from the start, also where a later one comes first
  // in time.
  std::string broken = text;
  broken[broken.size() / 3] = '\x01';
  broken[broken.size() - 20] = '\x02';
  std::string oneError, twoError;
  EXPECT_FALSE(ParseObj(broken, "in.obj", "stem", one, oneError, {}, broken.size()));
  EXPECT_FALSE(ParseObj(broken, "in.obj", "stem", two, twoError));
  EXPECT_EQ(twoError, oneError);
}

// The caller hears once, from the second thread, when that thread has read its last part, of a
// face count that is not short; a text read by one thread tells nothing.
TEST(ObjReader, TheSecondThreadSaysOnceWhenItHasReadItsLastPart) {
  std::string text;
  for (int i = 1; i <= 3000; ++i) text += "v " + std::to_string(i) + " 0 0\n";
  for (int i = 1; i + 2 <= 3000; ++i) {
    text += "f " + std::to_string(i) + " " + std::to_string(i + 1) + " " + std::to_string(i + 2) +
            "\n";
  }
  const std::thread::id caller = std::this_thread::get_id();
  for (const size_t partBytes : {size_t{500}, size_t{20000}, text.size()}) {
    SCOPED_TRACE("parts of " + std::to_string(partBytes));
    std::vector<size_t> told;
    bool elsewhere = false;
    MeshFile mesh;
    std::string error;
    ASSERT_TRUE(ParseObj(text, "in.obj", "stem", mesh, error, {}, partBytes, [&](size_t faces) {
      told.push_back(faces);
      elsewhere = std::this_thread::get_id() != caller;
    })) << error;
    ASSERT_EQ(mesh.faces.size(), 2998u);
    if (partBytes == text.size()) {
      EXPECT_TRUE(told.empty());
      continue;
    }
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(elsewhere);
    EXPECT_GE(told[0], mesh.faces.size());
  }
}

// Every byte value, at every place in and after a sixteen-byte block, ends a word exactly when it
// is a blank or '#' (an LF is neither).
TEST(ObjReader, AWordEndsAtTheFirstBlankOrHash) {
  const auto Stops = [](unsigned char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '#';
  };
  for (int byte = 0; byte < 256; ++byte) {
    for (size_t at = 0; at < 40; ++at) {
      std::string text(40, 'x');
      text[at] = static_cast<char>(byte);
      for (size_t from : {size_t{0}, size_t{3}}) {
        const size_t expected = from <= at && Stops(static_cast<unsigned char>(byte)) ? at : 40;
        ASSERT_EQ(WordEnd(text, from), expected) << "byte " << byte << " at " << at << " from " << from;
      }
    }
  }
}

TEST(ObjReader, ProgressRisesToAHundred) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "v " + std::to_string(i) + " 0 0\n";
  std::vector<int> seen;
  MeshFile mesh;
  std::string error;
  ASSERT_TRUE(ParseObj(text, "in.obj", "stem", mesh, error, [&](int p) { seen.push_back(p); }));
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.back(), 100);
  EXPECT_LE(seen.size(), 102u);
}

class ObjFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = std::filesystem::temp_directory_path() /
                 ("fm-obj-reader-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                  "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = (directory_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::filesystem::path directory_;
};

TEST_F(ObjFileTest, FacesBeforeAnyObjectLineAreNamedAfterTheStem) {
  for (const char* name : {"bunny.v2.obj", " blank around .obj"}) {
    SCOPED_TRACE(name);
    const std::string path = Write(name, "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n");
    InputFile file;
    MeshFile mesh;
    std::string error;
    ASSERT_TRUE(ReadObjFile(path, file, mesh, error)) << error;
    EXPECT_EQ(mesh.objects[0].name, std::filesystem::path(name).stem().string());
    EXPECT_EQ(file.Text(), "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n");
  }
}

TEST_F(ObjFileTest, ErrorsNameThePath) {
  const std::string bad = Write("bad.obj", "v 0 0 0\nf 1 1 2\n");
  MeshFile mesh;
  std::string error;
  InputFile missing, folder, malformed;
  EXPECT_FALSE(ReadObjFile((directory_ / "missing.obj").string(), missing, mesh, error));
  EXPECT_EQ(error, (directory_ / "missing.obj").string() + ": no such file");
  EXPECT_FALSE(ReadObjFile(directory_.string(), folder, mesh, error));
  EXPECT_EQ(error, directory_.string() + ": is a directory, not a mesh file");
  EXPECT_FALSE(ReadObjFile(bad, malformed, mesh, error));
  EXPECT_EQ(error.rfind(bad + ":2: vertex index 2 is out of range", 0), 0u) << error;
}

// A file reads as its text does (its text is read from the file through a buffer of 256 KiB, by
// each of the two threads that read a long one), whatever falls where that buffer ends: the CR and
// LF of one line end, a line end alone, a NUL byte in a comment, a line longer than the buffer, a
// line in error.
TEST_F(ObjFileTest, AFileReadsAsItsText) {
  constexpr size_t kBuffer = size_t{256} << 10;
  const auto Lines = [](const std::string& end, size_t bytes) {
    std::string text;
    for (int i = 0; text.size() < bytes; ++i) {
      text += (i % 3 == 2 ? "vt 0." + std::to_string(i) + " 1" : "v " + std::to_string(i) + " 2 3") +
              end;
      if (i % 500 == 7) text += "# a comment that goes on \\" + end + "   on the next line" + end;
    }
    return text;
  };
  const std::string faces = "f 1 2 3\nf 3 2 4\no more\nf 4 5 6 7\n";
  std::vector<std::string> texts;
  for (const char* end : {"\n", "\r\n", "\r"}) {
    // Lines are at most sixteen bytes long: one of these puts each kind of byte of a line at the
    // buffer's last place.
    for (size_t shift = 0; shift < 16; ++shift) {
      texts.push_back(std::string(shift, ' ') + Lines(end, kBuffer + 1000) + faces);
    }
    texts.push_back("# " + std::string(kBuffer + 1000, 'x') + end + Lines(end, 3000) + faces);
  }
  // A comment across the buffer's end, with a NUL byte at its last place or its first beyond.
  for (const size_t at : {kBuffer - 1, kBuffer}) {
    std::string nul = Lines("\n", kBuffer - 500) + "# " + std::string(2000, 'x') + "\n" +
                      Lines("\n", 3000) + faces;
    nul[at] = '\0';
    texts.push_back(nul);
  }
  for (const size_t at : {kBuffer - 1, kBuffer, 2 * kBuffer - 1}) {
    std::string bad = Lines("\n", 3 * kBuffer) + faces;
    bad[at] = 'x';
    texts.push_back(bad);
  }
  std::string parts = Lines("\r\n", size_t{3} << 20);
  for (int i = 0; parts.size() < (size_t{9} << 20); ++i) {
    parts += i % 1000 == 0 ? "o part" + std::to_string(i) + "\n" : "";
    parts += "f 1 2 3\r\nf 3 2 1 # " + std::to_string(i) + "\n";
  }
  texts.push_back(parts);
  for (size_t t = 0; t < texts.size(); ++t) {
    SCOPED_TRACE("text " + std::to_string(t));
    const std::string stem = "t" + std::to_string(t);
    const std::string path = Write(stem + ".obj", texts[t]);
    MeshFile fromText, fromFile;
    std::string textError, fileError;
    const bool textRead = ParseObj(texts[t], path, stem, fromText, textError);
    InputFile file;
    const bool fileRead = ReadObjFile(path, file, fromFile, fileError);
    ASSERT_EQ(fileRead, textRead) << fileError << textError;
    EXPECT_EQ(fileError, textError);
    if (textRead) {
      EXPECT_EQ(Described(fromFile), Described(fromText));
    }
  }
}

TEST_F(ObjFileTest, AFileThatChangedAfterReadingIsNoticed) {
  const std::string path = Write("m.obj", "v 0 0 0\n");
  InputFile file;
  std::string error;
  ASSERT_TRUE(file.Open(path, error)) << error;
  EXPECT_TRUE(file.Unchanged(error)) << error;
  Write("m.obj", "v 0 0 0\nv 1 1 1\n");
  EXPECT_FALSE(file.Unchanged(error));
  EXPECT_EQ(error, path + ": changed while fmhost was working on it");
}

}  // namespace
}  // namespace fm::host::mesh
