#include "host/mesh/obj_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/mesh/input_file.h"
#include "host/mesh/obj_reader.h"

namespace fm::host::mesh {
namespace {

MeshFile Parse(std::string_view text) {
  MeshFile mesh;
  std::string error;
  EXPECT_TRUE(ParseObj(text, "in.obj", "stem", mesh, error)) << error;
  return mesh;
}

FaceTrace Unchanged(const MeshFile& mesh) {
  FaceTrace trace;
  trace.kept.assign(mesh.faces.size(), true);
  return trace;
}

// Face `first` merged with `partner`: the first face's corners 0..2, then the partner's `apex`.
RewrittenFace Merged(uint32_t first, uint32_t partner, uint8_t apex) {
  RewrittenFace face;
  face.face = first;
  face.corners = 4;
  const uint32_t faces[4] = {first, first, first, partner};
  const uint8_t corners[4] = {0, 1, 2, apex};
  std::copy(faces, faces + 4, face.sourceFace);
  std::copy(corners, corners + 4, face.sourceCorner);
  return face;
}

std::string Write(std::string_view text, const MeshFile& mesh, const FaceTrace& trace) {
  std::string out, error;
  EXPECT_TRUE(WriteEditedObj(text, mesh, trace, [&](std::string_view p) {
    out.append(p);
    return true;
  }, error)) << error;
  return out;
}

// What a merge of faces i and i + 1 (side by side, partner apex at its corner 2) gives.
FaceTrace MergedPairs(const MeshFile& mesh, std::initializer_list<uint32_t> firsts) {
  FaceTrace trace = Unchanged(mesh);
  for (uint32_t first : firsts) {
    trace.kept[first + 1] = false;
    trace.rewritten.push_back(Merged(first, first + 1, 2));
  }
  return trace;
}

TEST(ObjWriter, WithoutChangesTheTextComesBackByteForByte) {
  const char* texts[] = {
      "",
      "\xEF\xBB\xBFv 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nf 1 2 3",
      "mtllib x.mtl\n# comment\n\nv 0 0 0 1\nv 1 0 0\nv 1 1 0\nvn 0 0 1\nusemtl a\ns 1\n"
      "g a b\n  f 1//1 2//1 3//1 # tri\nmy_ext \xff\n",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    const MeshFile mesh = Parse(text);
    EXPECT_EQ(Write(text, mesh, Unchanged(mesh)), text);
  }
}

TEST(ObjWriter, AMergedFaceIsWrittenFromItsCornersOwnTokensInPlaceOfTheFirst) {
  const std::string text =
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvt 0 1\nvn 0 0 1\n"
      "o a\nusemtl red\ng top\n\tf 1/1/1   2/2/1 3/3/1 # first\r\ns 1\nf 1/1/1 3/3/1 4/5/1\n"
      "g bottom\nf 4/4/1 3/3/1 2/2/1\n";
  const MeshFile mesh = Parse(text);
  EXPECT_EQ(Write(text, mesh, MergedPairs(mesh, {0})),
            "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvt 0 1\nvn 0 0 1\n"
            "o a\nusemtl red\ng top\n\tf 1/1/1   2/2/1 3/3/1 4/5/1 # first\r\ns 1\n"
            "g bottom\nf 4/4/1 3/3/1 2/2/1\n");
}

TEST(ObjWriter, AMergedFaceKeepsTheFirstLinesSeparatorsAndLineEnd) {
  struct Case {
    const char* name;
    const char* first;
    const char* merged;
  };
  const Case cases[] = {
      {"tabs", "f\t1\t2\t3\n", "f\t1\t2\t3\t4\n"},
      {"repeated blanks, trailing blanks", "f  1   2 3  \n", "f  1   2 3 4  \n"},
      {"comment after blanks", "f 1 2\t3\t\t# c \n", "f 1 2\t3\t4\t\t# c \n"},
      {"CR alone", "f 1 2 3\r", "f 1 2 3 4\r"},
      {"last line", "f 1 2 3", "f 1 2 3 4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = std::string("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 3 4\n") + c.first;
    // The partner comes first in the text here, so that the first face may be the last line.
    const MeshFile mesh = Parse(text);
    FaceTrace trace = Unchanged(mesh);
    trace.kept[0] = false;
    trace.rewritten.push_back(Merged(1, 0, 2));
    EXPECT_EQ(Write(text, mesh, trace),
              std::string("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n") + c.merged);
  }
}

TEST(ObjWriter, AMergedFaceOfCornersOfDifferentFormsKeepsWhatAllShare) {
  struct Case {
    const char* name;
    const char* first;
    const char* partner;
    const char* merged;
    int64_t withoutTexcoords;
    int64_t withoutNormals;
  };
  const Case cases[] = {
      {"same form", "f 1/1/1 2/2/1 3/3/1\n", "f 1/1/1 3/3/1 4/4/1\n",
       "f 1/1/1 2/2/1 3/3/1 4/4/1\n", 0, 0},
      {"partner without texture coordinates", "f 1/1/1 2/2/1 3/3/1\n", "f 1//1 3//1 4//1\n",
       "f 1//1 2//1 3//1 4//1\n", 1, 0},
      {"partner without normals", "f 1/1/1 2/2/1 3/3/1\n", "f 1/1 3/3 4/4\n",
       "f 1/1 2/2 3/3 4/4\n", 0, 1},
      {"partner bare", "f 1/1/1 2/2/1 3/3/1\n", "f 1 3 4\n", "f 1 2 3 4\n", 1, 1},
      {"first bare", "f 1 2 3\n", "f 1/1/1 3/3/1 4/4/1\n", "f 1 2 3 4\n", 1, 1},
      {"one has texture coordinates, the other normals", "f 1/1 2/2 3/3\n", "f 1//1 3//1 4//1\n",
       "f 1 2 3 4\n", 1, 1},
  };
  const std::string square =
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = square + c.first + c.partner;
    const MeshFile mesh = Parse(text);
    std::string out, error;
    WriteReport report;
    ASSERT_TRUE(WriteEditedObj(text, mesh, MergedPairs(mesh, {0}), [&](std::string_view p) {
      out.append(p);
      return true;
    }, error, {}, &report)) << error;
    EXPECT_EQ(out, square + c.merged);
    EXPECT_EQ(report.facesWithoutTexcoords, c.withoutTexcoords);
    EXPECT_EQ(report.facesWithoutNormals, c.withoutNormals);
  }
}

TEST(ObjWriter, RemovedAndRewrittenStatementsTakeTheirContinuedLinesAlong) {
  const std::string text =
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 \\\n 2 3\nf 1 3 \\\n4\nv 9 9 9\nf 1 3 4\nf 1 2 \\\n3";
  const MeshFile mesh = Parse(text);
  FaceTrace trace = MergedPairs(mesh, {0});
  trace.kept[3] = false;
  EXPECT_EQ(Write(text, mesh, trace), "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\nv 9 9 9\nf 1 3 4\n");
}

// A line ended by a CR alone, the partner's line, an empty line: the partner cannot simply go, or
// the CR and the empty line's LF would read as one line end and the empty line would be lost.
TEST(ObjWriter, ARemovedLineBetweenACrAndAnEmptyLineLeavesBothLines) {
  const std::string text = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\r# cr\rf 1 3 4\n\nv 2 2 2\n";
  const MeshFile mesh = Parse(text);
  const std::string written = Write(text, mesh, MergedPairs(mesh, {0}));
  EXPECT_EQ(written, "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\r# cr\r\r\nv 2 2 2\n");
  // Read again, the statements after the merged face are the comment, the empty line and the
  // vertex, as they were.
  const MeshFile again = Parse(written);
  EXPECT_EQ(again.faces.size(), 1u);
  // The same where the CR ends the merged face itself.
  const std::string own = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\rf 1 3 4\n\nv 2 2 2\n";
  const std::string ownWritten = Write(own, Parse(own), MergedPairs(Parse(own), {0}));
  EXPECT_EQ(ownWritten, "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\r\r\nv 2 2 2\n");
  EXPECT_EQ(Parse(ownWritten).vertices.size(), 5u);
  // Without a CR before it, the partner's line simply goes.
  const std::string plain = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3\nf 1 3 4\n\n";
  EXPECT_EQ(Write(plain, Parse(plain), MergedPairs(Parse(plain), {0})),
            "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n\n");
}

// A face whose comment runs on to the next line: written on one line, the comment must not end in
// a backslash, or the line after the face would become part of it.
TEST(ObjWriter, AMergedFaceWhoseCommentRanOnDoesNotTakeTheNextLine) {
  const std::string text =
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 # note \\\\\n\nf 1 3 4\nv 2 2 2\n";
  const MeshFile mesh = Parse(text);
  ASSERT_EQ(mesh.faces.size(), 2u);
  const std::string written = Write(text, mesh, MergedPairs(mesh, {0}));
  EXPECT_EQ(written, "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4 # note\nv 2 2 2\n");
  EXPECT_EQ(Parse(written).vertices.size(), 5u);
}

TEST(ObjWriter, RelativeIndicesFromAnotherLineKeepTheirMeaning) {
  struct Case {
    const char* name;
    std::string text;
    const char* merged;
  };
  const std::string square = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";
  const Case cases[] = {
      {"same counts before both lines", square + "f -4/-4 -3/-3 -2/-2\nf -4/-4 -2/-2 -1/-1\n",
       "f -4/-4 -3/-3 -2/-2 -1/-1\n"},
      {"texture coordinates read between them",
       square + "f -4/-4 -3/-3 -2/-2\nvt 0.5 0.5\nf -4/-5 -2/-3 -1/-2\n", "f -4/-4 -3/-3 -2/-2 -1/4\n"},
      {"vertices read between them, first line absolute",
       square + "f 1/1 2/2 3/3\nv 5 5 5\nf -5/1 -3/3 -1/4\n", "f 1/1 2/2 3/3 5/4\n"},
      {"first line absolute, before the file's first relative index",
       square + "f 1/1 2/2 3/3\nf -4/-4 -2/-2 -1/-1\n", "f 1/1 2/2 3/3 -1/-1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MeshFile mesh = Parse(c.text);
    const std::string out = Write(c.text, mesh, MergedPairs(mesh, {0}));
    EXPECT_NE(out.find(c.merged), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), 'f'), 1) << out;
  }
}

// Every line starting "f" (a face statement's first line) that does not run on, with `blanks`
// spaces more before its line end.
std::string PadFaceLines(std::string_view text, size_t blanks) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    const bool crlf = !line.empty() && line.back() == '\r';
    if (crlf) line.remove_suffix(1);
    out.append(line);
    if (!line.empty() && line.front() == 'f' && line.back() != '\\') out.append(blanks, ' ');
    if (crlf) out.push_back('\r');
    if (end < text.size()) out.push_back('\n');
    pos = end + 1;
  }
  return out;
}

// Usual face lines are split from masks of their bytes, any other statement byte by byte: padded
// with two blanks, a line that fits the quick split takes it; padded with seventy it is too long
// for it. Either way the result must be the same but for the padding.
TEST(ObjWriter, UsualFaceLinesAreWrittenAsAnyOtherFaceLines) {
  const std::string square =
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n";
  const std::string texts[] = {
      square + "f 1 2 3\nf 1 3 4\n",
      square + "f 1/1 2/2 3/3\nf 1/1 3/3 4/4\nf 4/4 3/3 2/2\nf 4/4 2/2 1/1",
      square + "f 1//1 2//1 3//1\r\nf 1//1 3//1 4//1\r\n",
      square + "f 1/1/1 2/2/1 3/3/1\nf 1//1 3//1 4//1\nf 1/1 2/2 3/3\nf 1 3 4\n",
      square + "f\t1/1\v2/2\f3/3 \t\nf  1/1\t\t3/3   4/4\n",
      square + "f 0001/01 2/2 3/3\nf 1/1 3/3 4/4 # note\n",
      square + "f -4/-4/-1 -3/-3/-1 -2/-2/-1\nvt 0.5 0.5\nf -4/-5/-1 -2/-3/-1 -1/-2/-1\n",
      square + "f 1 2 3\nv 5 5 5\nf -5 -3 -1\n",
      square + "f 1 2 3 4\nf 1 2 3\nf 1 3 4\n",
      square + "f 1 2 3\rf 1 3 4\r\nf 1 2 3\nf 1 3 \\\n 4\n",
      square + "  f 1 2 3\nf 1 3 4\n",
      square + "f 1/1/1 2/2/1 3/3/1 \nf 1/1/1 3/3/1 4/4/1\nf 1/1/1 2/2/1 3/3/1\nf 1/1/1 3/3/1 "
               "4/4/1\n",
  };
  const std::string comment = "# " + std::string(100, 'x') + "\n";
  for (const std::string& base : texts) {
    // Short texts are looked at in a copy near their end; a long comment after the faces has
    // them looked at in place.
    for (const std::string& text : {base, base + (base.back() == '\n' ? "" : "\n") + comment}) {
      SCOPED_TRACE(text);
      const std::string quick = PadFaceLines(text, 2);
      const std::string slow = PadFaceLines(text, 70);
      const MeshFile quickMesh = Parse(quick);
      const MeshFile slowMesh = Parse(slow);
      ASSERT_EQ(quickMesh.faces.size(), slowMesh.faces.size());
      std::vector<uint32_t> firsts;
      for (uint32_t f = 0; f + 1 < quickMesh.faces.size(); ++f) {
        if (quickMesh.faces[f].IsTriangle() && quickMesh.faces[f + 1].IsTriangle()) {
          firsts.push_back(f++);
        }
      }
      ASSERT_FALSE(firsts.empty());
      FaceTrace quickTrace = Unchanged(quickMesh);
      for (uint32_t first : firsts) {
        quickTrace.kept[first + 1] = false;
        quickTrace.rewritten.push_back(Merged(first, first + 1, 2));
      }
      FaceTrace slowTrace = quickTrace;
      std::string written = Write(slow, slowMesh, slowTrace);
      for (size_t at; (at = written.find(std::string(70, ' '))) != std::string::npos;) {
        written.replace(at, 70, "  ");
      }
      const std::string quickWritten = Write(quick, quickMesh, quickTrace);
      EXPECT_EQ(quickWritten, written);
      EXPECT_LT(quickWritten.size(), quick.size());
    }
  }
}

TEST(ObjWriter, AMergedTriangleWhoseLastCornersMeetKeepsFourCorners) {
  // f 1 2 2 and f 2 1 3 merge along 1->2 into 1 3 2 2: written as the four corners it has.
  const std::string text = "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 2\nf 2 1 3\n";
  const MeshFile mesh = Parse(text);
  FaceTrace trace = Unchanged(mesh);
  trace.kept[1] = false;
  RewrittenFace face;
  face.face = 0;
  face.corners = 4;
  const uint32_t faces[4] = {0, 1, 0, 0};
  const uint8_t corners[4] = {0, 2, 1, 2};
  std::copy(faces, faces + 4, face.sourceFace);
  std::copy(corners, corners + 4, face.sourceCorner);
  trace.rewritten.push_back(face);
  EXPECT_EQ(Write(text, mesh, trace), "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 3 2 2\n");
}

TEST(ObjWriter, ProgressAndARefusingSinkAreHeard) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "v 0 0 0\nv 1 0 0\nv 1 1 0\nf -3 -2 -1\nf -3 -1 -2\n";
  const MeshFile mesh = Parse(text);
  FaceTrace trace = Unchanged(mesh);
  for (uint32_t f = 0; f < 600; f += 2) trace.rewritten.push_back(Merged(f, f + 1, 1));
  for (uint32_t f = 1; f < 600; f += 2) trace.kept[f] = false;
  std::vector<int> seen;
  std::string out, error;
  ASSERT_TRUE(WriteEditedObj(text, mesh, trace, [&](std::string_view p) {
    out.append(p);
    return true;
  }, error, [&](int percent) { seen.push_back(percent); })) << error;
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 100);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(std::count(out.begin(), out.end(), 'f'), 300);

  // The writer gathers small pieces, so even this text goes to the sink at once; a refusal stops it.
  int pieces = 0;
  EXPECT_FALSE(WriteEditedObj(text, mesh, trace, [&](std::string_view) { return ++pieces > 1; },
                              error));
  EXPECT_EQ(pieces, 1);
  EXPECT_EQ(error, "the result could not be written");
  EXPECT_FALSE(WriteEditedObj(text.substr(1), mesh, trace, [](std::string_view) { return true; },
                              error));
  EXPECT_EQ(error, "the text is not the one the mesh was read from");
}

// Large results go to the sink in few large pieces, long stretches of the text without a copy, and
// a refusal anywhere stops the writer.
TEST(ObjWriter, ALargeResultIsGatheredIntoFewPiecesInOrder) {
  std::string text;
  std::string expected;
  for (int i = 0; i < 40000; ++i) {
    text += "v 0 0 0\nv 1 0 0\nv 1 1 0\nf -3 -2 -1\nf -3 -1 -2\n";
    expected += "v 0 0 0\nv 1 0 0\nv 1 1 0\nf -3 -2 -1 -1\n";
  }
  const std::string comment = "# " + std::string(200000, 'x') + "\n";
  text += comment;
  expected += comment;
  const MeshFile mesh = Parse(text);
  FaceTrace trace = Unchanged(mesh);
  for (uint32_t f = 0; f < 80000; f += 2) trace.rewritten.push_back(Merged(f, f + 1, 1));
  for (uint32_t f = 1; f < 80000; f += 2) trace.kept[f] = false;
  std::vector<std::string_view> pieces;
  std::string out, error;
  ASSERT_TRUE(WriteEditedObj(text, mesh, trace, [&](std::string_view p) {
    pieces.push_back(p);
    out.append(p);
    return true;
  }, error)) << error;
  EXPECT_EQ(out, expected);
  EXPECT_LT(pieces.size(), 10u);
  ASSERT_FALSE(pieces.empty());
  EXPECT_EQ(pieces.back().data(), text.data() + text.size() - comment.size());

  for (size_t refuse = 0; refuse < pieces.size(); ++refuse) {
    SCOPED_TRACE(refuse);
    size_t heard = 0;
    EXPECT_FALSE(WriteEditedObj(text, mesh, trace, [&](std::string_view) {
      return heard++ != refuse;
    }, error));
    EXPECT_EQ(heard, refuse + 1);
  }
}

// However the result is cut into stretches rendered side by side, it is the same text, heard in
// order; a refusal or a fault in any stretch stops the writer with nothing more heard.
TEST(ObjWriter, TheResultIsTheSameHoweverItIsCutIntoStretches) {
  std::string text = "vt 0 0\n";
  const char* const ends[] = {"\n", "\r\n", "\r"};
  int withoutTexcoords = 0;
  for (int i = 0; i < 500; ++i) {
    const std::string end = ends[i % 3];
    text += "v 0 0 0" + end + "v 1 0 0" + end + "v 1 1 0" + end + "v 0 1 0" + end;
    // Relative and absolute corners, a continued statement, comments, an empty line after the
    // partner (which must survive a bare CR before it), texture coordinates on one face of a pair.
    const std::string vt = i % 7 == 3 ? "/1" : "";
    withoutTexcoords += i % 4 != 0 && i % 7 == 3;
    if (i % 4 == 0) {
      text += "f -4 -3 -2 # a" + end + "f -4 \\" + end + " -2 -1" + end;
    } else {
      text += "f " + std::to_string(4 * i + 1) + vt + " " + std::to_string(4 * i + 2) + vt + " " +
              std::to_string(4 * i + 3) + vt + end + "f -4 -2 -1" + end + (i % 5 == 0 ? end : "");
    }
  }
  const MeshFile mesh = Parse(text);
  ASSERT_EQ(mesh.faces.size(), 1000u);
  FaceTrace trace = Unchanged(mesh);
  for (uint32_t f = 0; f < 1000; f += 2) {
    trace.kept[f + 1] = false;
    trace.rewritten.push_back(Merged(f, f + 1, 2));
  }
  const auto WriteIn = [&](size_t pieceBytes, std::vector<int>* progress = nullptr) {
    std::string out, error;
    WriteReport report;
    EXPECT_TRUE(WriteEditedObj(text, mesh, trace, [&](std::string_view p) {
      out.append(p);
      return true;
    }, error, [&](int percent) { if (progress) progress->push_back(percent); }, &report,
                               pieceBytes)) << error;
    // Each merged face whose partner had no texture coordinates is counted once.
    EXPECT_EQ(report.facesWithoutTexcoords, withoutTexcoords);
    EXPECT_EQ(report.facesWithoutNormals, 0);
    return out;
  };
  const std::string whole = WriteIn(0);
  EXPECT_EQ(Parse(whole).faces.size(), 500u);
  EXPECT_EQ(Parse(whole).vertices.size(), 2000u);
  for (const size_t pieceBytes : {size_t{1}, size_t{100}, size_t{4096}}) {
    SCOPED_TRACE(pieceBytes);
    std::vector<int> progress;
    EXPECT_TRUE(WriteIn(pieceBytes, &progress) == whole);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
  }

  // A sink that refuses its tenth piece hears no eleventh.
  size_t heard = 0;
  std::string error;
  EXPECT_FALSE(WriteEditedObj(text, mesh, trace, [&](std::string_view) { return ++heard < 10; },
                              error, {}, nullptr, 1));
  EXPECT_EQ(heard, 10u);
  // A face statement no longer where it was, near the end, is found in whichever stretch holds it.
  std::string moved = text;
  moved[mesh.faces[990].offset] = 'g';
  heard = 0;
  EXPECT_FALSE(WriteEditedObj(moved, mesh, trace, [&](std::string_view) { return ++heard > 0; },
                              error, {}, nullptr, 1));
  EXPECT_EQ(error, "the face statement of face 991 is no longer where it was read");
}

// Written from a file, whose statements the writer reads from the file rather than the mapping, a
// result is the one written from the text, however it is cut into stretches: also where a merged
// face's statement, a removed one or the text between them runs past what the writer reads ahead.
TEST(ObjWriter, AResultWrittenFromAFileIsTheOneWrittenFromItsText) {
  std::string text = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";
  const std::string comment(65'000, 'c');
  for (int i = 0; i < 300; ++i) {
    const std::string end = i % 2 == 0 ? "\r\n" : "\n";
    if (i % 50 == 10) {
      // A statement continued over more than the writer reads ahead of a stretch.
      text += "f 1 \\" + end;
      for (int k = 0; k < 1200; ++k) text += std::string(60, ' ') + "\\" + end;
      text += " 2 3" + end + "f 1 3 4" + end;
    } else if (i % 50 == 30) {
      text += "f 1 2 3" + end + "# " + comment + end + "f 1 3 4" + end;
    } else if (i % 50 == 40) {
      // In stretches of one merged face each, the CR of the partner's line is the last byte read
      // ahead of its stretch (64 KiB and one past the merged face), and its LF the first after.
      text += "f 1 2 3 # " + std::string(65'517, 'k') + "\r\nf 1 3 4\r\n";
    } else {
      text += "f -4 -3 -2 # " + std::to_string(i) + end + "f 1 3 4" + end;
    }
  }
  const MeshFile mesh = Parse(text);
  ASSERT_EQ(mesh.faces.size(), 600u);
  const FaceTrace trace = [&] {
    FaceTrace merged = Unchanged(mesh);
    for (uint32_t f = 0; f < 600; f += 2) {
      merged.kept[f + 1] = false;
      merged.rewritten.push_back(Merged(f, f + 1, 2));
    }
    return merged;
  }();
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("fm-obj-writer-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
       ".obj");
  std::ofstream(path, std::ios::binary) << text;
  InputFile file;
  std::string error;
  ASSERT_TRUE(file.Open(path.string(), error)) << error;
  const std::string fromText = Write(text, mesh, trace);
  for (const size_t pieceBytes : {size_t{0}, size_t{1}, size_t{3000}, size_t{70'000}}) {
    SCOPED_TRACE(pieceBytes);
    std::string out;
    EXPECT_TRUE(WriteEditedObj(file.Text(), mesh, trace, [&](std::string_view p) {
      out.append(p);
      return true;
    }, error, {}, nullptr, pieceBytes, 0, file.Descriptor())) << error;
    EXPECT_TRUE(out == fromText);
  }
  std::filesystem::remove(path);
}

// The text before the first face may be handed to the sink before the command runs; the writer
// goes on from where that stopped and gives the same result.
TEST(ObjWriter, WhatWasWrittenAheadIsNotWrittenAgain) {
  // The first face goes (its partner before it is kept) and a bare CR ends the line before it,
  // which the writer must still know of though it did not write it.
  const std::string text = "# head\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\r"
                           "f 1 2 3\n\nf 1 3 4\nf 4 1 2\n";
  const MeshFile mesh = Parse(text);
  ASSERT_EQ(mesh.faces.size(), 3u);
  ASSERT_EQ(UnchangedStart(mesh), text.find('f'));
  FaceTrace trace = Unchanged(mesh);
  trace.kept[0] = false;
  trace.rewritten.push_back(Merged(1, 0, 1));
  const std::string whole = Write(text, mesh, trace);
  EXPECT_EQ(whole.substr(UnchangedStart(mesh)), "\r\nf 1 3 4 2\nf 4 1 2\n");
  for (const size_t handedOn : {size_t{1}, size_t{10}, UnchangedStart(mesh)}) {
    SCOPED_TRACE(handedOn);
    std::string out, error;
    EXPECT_TRUE(WriteEditedObj(text, mesh, trace, [&](std::string_view p) {
      out.append(p);
      return true;
    }, error, {}, nullptr, 0, handedOn)) << error;
    EXPECT_EQ(text.substr(0, handedOn) + out, whole);
  }
  // More than comes before the first face cannot have been written ahead.
  std::string error;
  EXPECT_FALSE(WriteEditedObj(text, mesh, trace, [](std::string_view) { return true; }, error, {},
                              nullptr, 0, UnchangedStart(mesh) + 1));
  EXPECT_FALSE(error.empty());
  // Without faces all of the text is unchanged.
  EXPECT_EQ(UnchangedStart(Parse("v 0 0 0\n# end\n")), 14u);
}

}  // namespace
}  // namespace fm::host::mesh
