// fmhost's whole path on arbitrary OBJ text: read, the command through the real module file, the
// trace check, write. What it writes is checked against the input by a reading of its own, which
// shares nothing with the writer:
//   - every statement that is not a face is the input's, byte for byte and in order;
//   - every input face is written, or is the partner a merged face took in, never both, unless it
//     names one vertex twice (the command drops such a polygon);
//   - each written face is an input face statement as it was, or the merge of two input triangles
//     the trace names, and its corners resolve (v, vt, vn, relative indices included) to what those
//     corners resolved to in the input, all in one form, and it ends its line as the input did;
//   - an object whose triangle order fmhost recognises is handed over in its order, as fmhost does
//     by default, and then the command makes exactly the recognised pairs;
//   - the output reads again and goes through the same path (command, trace, writer) again;
//   - with the document changed after the command (see Tamper), the trace refuses it, or what is
//     written from its trace still passes every check above.
// The command may well merge more in the output: its probe pairs polygon 0 whatever it is, so a
// quadrangle made at polygon 0 can pair with a triangle of the new second half.
// The command must always leave a document the trace accepts. A broken invariant prints what it
// found and aborts, which libFuzzer records as a finding.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/mesh/document_mapping.h"
#include "host/mesh/face_trace.h"
#include "host/mesh/obj_reader.h"
#include "host/mesh/obj_writer.h"
#include "host/mesh/triangle_order.h"
#include "host/scene/tags.h"
#include "host/tables/environment.h"
#include "loaded_module.h"

namespace {

using namespace fm::host;

using fm::fuzz::kCommandId;
using Host = fm::fuzz::LoadedModule;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "fmhost invariant broken: %s\n", what.c_str());
  std::abort();
}

#define REQUIRE(condition, message) \
  do {                              \
    if (!(condition)) Fail(message); \
  } while (0)

// One statement of the text: its bytes (with the line end) and, for a face, its corners resolved.
struct Corner {
  int64_t v = 0, vt = 0, vn = 0;  // 1-based absolute; 0 = not given
  friend bool operator==(const Corner&, const Corner&) = default;
};
struct Statement {
  std::string_view text;
  bool face = false;
  std::vector<Corner> corners;
};

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n'; }

// A statement's lines joined where a backslash ends a line (blanks may follow it). A backslash
// anywhere else is part of its token: "v\\ 0 1 0" is not a vertex.
std::string Joined(std::string_view statement) {
  std::string out;
  size_t at = 0;
  while (at < statement.size()) {
    size_t end = statement.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = statement.size();
    std::string_view line = statement.substr(at, end - at);
    while (!line.empty() && Blank(line.back())) line.remove_suffix(1);
    const bool continues = end < statement.size() && !line.empty() && line.back() == '\\';
    if (continues) line.remove_suffix(1);
    out.append(line);
    out.push_back(' ');
    at = end;
    while (at < statement.size() && (statement[at] == '\r' || statement[at] == '\n')) ++at;
  }
  return out;
}

// Resolves one index against the count of its kind so far; 0 when it cannot be read.
int64_t Resolve(std::string_view digits, int64_t count) {
  if (digits.empty()) return 0;
  bool negative = digits[0] == '-';
  if (negative || digits[0] == '+') digits.remove_prefix(1);  // the reader takes "+2" as 2
  int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9' || value > (int64_t{1} << 40)) return 0;
    value = value * 10 + (c - '0');
  }
  return negative ? count + 1 - value : value;
}

// Splits `text` into statements the way a reader of OBJ does, counting v, vt and vn lines so that
// relative indices resolve. Comments end a statement's tokens.
std::vector<Statement> Statements(std::string_view text) {
  std::vector<Statement> out;
  int64_t counts[3] = {0, 0, 0};
  size_t start = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {  // a byte order mark, which the reader passes over
    Statement mark;
    mark.text = text.substr(0, 3);
    out.push_back(mark);
    start = 3;
  }
  for (size_t at = start; at < text.size();) {
    const size_t end = mesh::StatementEnd(text, at);
    Statement s;
    s.text = text.substr(at, end - at);
    const std::string joined = Joined(s.text);
    // The keyword runs to the first blank, '#' and all ("v#" is a statement of its own, not a
    // vertex); a '#' after it ends the arguments.
    size_t keyword = 0;
    while (keyword < joined.size() && Blank(joined[keyword])) ++keyword;
    size_t keywordEnd = keyword;
    if (keyword < joined.size() && joined[keyword] != '#')
      while (keywordEnd < joined.size() && !Blank(joined[keywordEnd])) ++keywordEnd;
    const size_t comment = std::min(joined.find('#', keywordEnd), joined.size());
    const std::string_view body = std::string_view(joined).substr(0, std::max(comment, keywordEnd));
    std::vector<std::string_view> tokens;
    for (size_t i = 0; i < body.size();) {
      while (i < body.size() && Blank(body[i])) ++i;
      size_t j = i;
      while (j < body.size() && !Blank(body[j])) ++j;
      if (j > i) tokens.push_back(body.substr(i, j - i));
      i = j;
    }
    if (!tokens.empty()) {
      if (tokens[0] == "v") ++counts[0];
      if (tokens[0] == "vt") ++counts[1];
      if (tokens[0] == "vn") ++counts[2];
      if (tokens[0] == "f") {
        s.face = true;
        for (size_t k = 1; k < tokens.size(); ++k) {
          std::string_view t = tokens[k];
          Corner c;
          int64_t* fields[3] = {&c.v, &c.vt, &c.vn};
          for (int f = 0; f < 3; ++f) {
            const size_t slash = std::min(t.find('/'), t.size());
            *fields[f] = Resolve(t.substr(0, slash), counts[f]);
            t.remove_prefix(std::min(slash + 1, t.size()));
          }
          s.corners.push_back(c);
        }
      }
    }
    out.push_back(s);
    at = end;
  }
  return out;
}

std::string_view LineEndOf(std::string_view text) {
  if (text.ends_with("\r\n")) return "\r\n";
  if (text.ends_with('\n')) return "\n";
  if (text.ends_with('\r')) return "\r";
  return {};
}

bool NamesAVertexTwice(const mesh::Face& face) {
  for (size_t i = 0; i < face.corners; ++i)
    for (size_t j = i + 1; j < face.corners; ++j)
      if (face.vertex[i] == face.vertex[j]) return true;
  return false;
}

std::string Show(std::string_view text) { return "\"" + std::string(text.substr(0, 120)) + "\""; }

// A change made to the document after the command: the trace check then meets results the real
// command never makes, and must refuse them or describe them truly. A first line "#!" and four
// bytes ask for one (the line is a comment: the file reads the same): the object, the polygon,
// the corner, and what to change (low three bits) by how much (the rest, -16 to 15).
struct Tamper {
  bool on = false;
  uint8_t object = 0, polygon = 0, corner = 0, what = 0;
};

Tamper TakeTamper(std::string_view text) {
  Tamper t;
  if (text.size() < 6 || text[0] != '#' || text[1] != '!') return t;
  t.on = true;
  t.object = static_cast<uint8_t>(text[2]);
  t.polygon = static_cast<uint8_t>(text[3]);
  t.corner = static_cast<uint8_t>(text[4]);
  t.what = static_cast<uint8_t>(text[5]);
  return t;
}

Vector3& CornerOf(UvwRecord& record, int corner) {
  Vector3* corners[4] = {&record.a, &record.b, &record.c, &record.d};
  return *corners[corner & 3];
}

void Apply(const Tamper& t, const std::vector<PolygonObject*>& objects) {
  if (!t.on || objects.empty()) return;
  PolygonObject& object = *objects[t.object % objects.size()];
  std::vector<PolygonRecord>& polygons = object.Polygons();
  auto* uvw = dynamic_cast<UvwTag*>(object.FindTag(kUvwTagType, 0));
  if (polygons.empty() || uvw == nullptr) return;
  const auto p = static_cast<int32_t>(t.polygon % polygons.size());
  const auto q = static_cast<int32_t>((t.polygon + 1u + t.corner / 4u) % polygons.size());
  const int delta = (t.what >> 3) - 16;
  UvwRecord record = uvw->Get(p), other = uvw->Get(q);
  Vector3& corner = CornerOf(record, t.corner);
  int32_t* points[4] = {&polygons[p].a, &polygons[p].b, &polygons[p].c, &polygons[p].d};
  switch (t.what & 7) {
    case 0: *points[t.corner & 3] += delta; return;
    case 1: corner.x += delta; break;     // another face
    case 2: corner.y += delta; break;     // another corner
    case 3: corner.z += delta / 4.0; break;
    case 4: corner = CornerOf(other, t.corner >> 2); break;  // a corner another polygon has
    case 5: record = other; break;
    case 6:
      std::swap(polygons[p], polygons[q]);
      uvw->Set(q, record);
      record = other;
      break;
    case 7: polygons.pop_back(); return;  // the UVW tag no longer matches
  }
  uvw->Set(p, record);
}

// Runs the command on `mesh` read from `text` and writes the result. With a tamper, the trace may
// refuse the document (then `traced` is false and nothing is written).
struct Run {
  mesh::FaceTrace trace;
  std::string output;
  bool traced = true;
};

Run RunCommand(Host& host, std::string_view text, const mesh::MeshFile& mesh, const Tamper& tamper = {}) {
  Document& document = host.environment.ActiveDocument();
  document.Clear();
  const std::vector<PolygonObject*> objects = mesh::AddMeshObjects(mesh, document);
  for (PolygonObject* object : objects) object->SetSelected(true);
  // The console and diagnostics would otherwise grow with every run: memory that outlives a run
  // makes the fuzzer look for leaks after each one, which costs more than the run.
  host.environment.Ui().Clear();
  host.environment.ClearDiagnostics();
  Run run;
  // As fmhost does by default: an object in a triangle order it recognises goes in its order.
  mesh::HandOverOrders orders(objects.size());
  std::vector<std::vector<int64_t>> partners(objects.size());
  for (size_t o = 0; o < objects.size(); ++o) {
    mesh::TriangleOrderResult found = mesh::RecogniseTriangleOrder(
        objects[o]->Polygons(), mesh::MaterialRunIds(mesh.objects[o]));
    if (found.order != mesh::TriangleOrder::kRecognised) continue;
    REQUIRE(mesh::HandOverInOrder(mesh, mesh.objects[o], found.handOver, *objects[o]),
            "a recognised order is refused for the hand-over");
    orders[o] = std::move(found.handOver);
    partners[o] = std::move(found.partner);
  }
  if (!objects.empty()) {
    REQUIRE(host.modules.Execute(kCommandId, &document).value_or(false),
            "the command's execute did not answer true");
  }
  Apply(tamper, objects);
  std::string error;
  run.traced = mesh::TraceFaces(mesh, objects, run.trace, error, orders);
  if (run.traced && !tamper.on) {
    // Handed over in a recognised order, the command makes exactly the recognised pairs.
    std::vector<uint32_t> merges(objects.size(), 0);
    size_t o = 0;
    for (const mesh::RewrittenFace& r : run.trace.rewritten) {
      while (o < mesh.objects.size() &&
             r.face >= mesh.objects[o].firstFace + mesh.objects[o].faceCount)
        ++o;
      if (o == mesh.objects.size() || partners[o].empty()) continue;
      const uint32_t first = mesh.objects[o].firstFace;
      bool merged = false;
      for (size_t k = 0; k < r.corners; ++k) {
        if (r.sourceFace[k] == r.face) continue;
        REQUIRE(partners[o][r.face - first] == int64_t{r.sourceFace[k]} - first,
                "a face handed over in a recognised order merged with one it was not paired with");
        merged = true;
      }
      merges[o] += merged ? 1 : 0;
    }
    for (size_t m = 0; m < objects.size(); ++m) {
      if (partners[m].empty()) continue;
      uint32_t pairs = 0;
      for (size_t i = 0; i < partners[m].size(); ++i) pairs += partners[m][i] > int64_t(i) ? 1 : 0;
      REQUIRE(merges[m] == pairs, "the command did not make every recognised pair");
    }
  }
  if (!run.traced && tamper.on) {
    document.Clear();
    return run;
  }
  REQUIRE(run.traced, "the trace refuses what the command made: " + error);
  const bool written = mesh::WriteEditedObj(
      text, mesh, run.trace, [&](std::string_view piece) { run.output.append(piece); return true; },
      error);
  REQUIRE(written, "the writer failed: " + error);
  // Rendered in stretches as short as they come (each starting at a rewritten face, two threads at
  // once), the result is the same text.
  std::string stretched;
  REQUIRE(mesh::WriteEditedObj(
              text, mesh, run.trace,
              [&](std::string_view piece) { stretched.append(piece); return true; }, error, {},
              nullptr, 1),
          "the writer failed in stretches: " + error);
  REQUIRE(stretched == run.output, "written in stretches, the result differs");
  document.Clear();
  return run;
}

void Check(std::string_view input, const mesh::MeshFile& mesh, const Run& run) {
  const std::vector<Statement> in = Statements(input);
  const std::vector<Statement> out = Statements(run.output);
  // The statements of the mesh's faces, found by their offsets. A face statement the mesh does not
  // hold (its object is left out of the document) passes through like any other statement.
  std::vector<const Statement*> faces;
  std::vector<int64_t> faceOf(in.size(), -1);
  for (size_t i = 0, at = 0; i < in.size(); at += in[i].text.size(), ++i) {
    if (faces.size() < mesh.faces.size() && mesh.faces[faces.size()].offset == at) {
      REQUIRE(in[i].face, "the reader holds a face where this check sees " + Show(in[i].text));
      faceOf[i] = static_cast<int64_t>(faces.size());
      faces.push_back(&in[i]);
    }
  }
  REQUIRE(faces.size() == mesh.faces.size(), "a face of the mesh is not at its offset");
  REQUIRE(run.trace.kept.size() == faces.size(), "the trace does not cover every face");
  // No face is lost: each is written, or taken into a merged face as its partner, never both.
  // Only a face that names one vertex twice may be left out: the command drops a polygon that
  // runs from a point to the same point.
  std::vector<bool> absorbed(faces.size(), false);
  for (const mesh::RewrittenFace& r : run.trace.rewritten) {
    for (size_t k = 0; k < r.corners; ++k) {
      REQUIRE(r.sourceFace[k] < faces.size(), "the trace names a face the mesh lacks");
      if (r.sourceFace[k] != r.face) absorbed[r.sourceFace[k]] = true;
    }
  }
  for (size_t f = 0; f < faces.size(); ++f) {
    REQUIRE(!(run.trace.kept[f] && absorbed[f]), "face " + Show(faces[f]->text) + " is written and merged");
    REQUIRE(run.trace.kept[f] || absorbed[f] || NamesAVertexTwice(mesh.faces[f]),
            "face " + Show(faces[f]->text) + " is lost: neither written nor merged");
  }
  size_t rewritten = 0, o = 0;
  for (size_t i = 0; i < in.size(); ++i) {
    const Statement& s = in[i];
    if (faceOf[i] < 0) {
      // An empty line after a removed face that followed a CR alone comes back as CR LF: the CR
      // and its LF would otherwise read as one line end.
      const bool afterRemoved = i > 0 && faceOf[i - 1] >= 0 &&
                                !run.trace.kept[static_cast<size_t>(faceOf[i - 1])] && o > 0 &&
                                !out[o - 1].text.empty() && out[o - 1].text.back() == '\r';
      REQUIRE(o < out.size() && (out[o].text == s.text ||
                                 (afterRemoved && s.text == "\n" && out[o].text == "\r\n")),
              "statement " + Show(s.text) + " is not kept");
      ++o;
      continue;
    }
    const auto f = static_cast<size_t>(faceOf[i]);
    if (!run.trace.kept[f]) continue;
    REQUIRE(o < out.size() && out[o].face, "face " + Show(s.text) + " is kept but not written");
    const Statement& w = out[o++];
    if (rewritten < run.trace.rewritten.size() && run.trace.rewritten[rewritten].face == f) {
      const mesh::RewrittenFace& r = run.trace.rewritten[rewritten++];
      REQUIRE(w.corners.size() == r.corners, "a merged face has the wrong number of corners");
      REQUIRE(LineEndOf(w.text) == LineEndOf(s.text), "merged face " + Show(w.text) + " changed its line end");
      // A face's corners share one form (v, v/vt, v//vn or v/vt/vn).
      for (const Corner& c : w.corners) {
        REQUIRE((c.vt != 0) == (w.corners[0].vt != 0) && (c.vn != 0) == (w.corners[0].vn != 0),
                "merged face " + Show(w.text) + " mixes corner forms");
      }
      for (size_t k = 0; k < r.corners; ++k) {
        REQUIRE(r.sourceFace[k] < faces.size(), "the trace names a face the mesh lacks");
        const Statement& from = *faces[r.sourceFace[k]];
        REQUIRE(r.sourceCorner[k] < from.corners.size(), "the trace names a corner the face lacks");
        Corner want = from.corners[r.sourceCorner[k]];
        const Corner& have = w.corners[k];
        // A merged face written in the form its corners share may leave out a vt or vn.
        if (have.vt == 0) want.vt = 0;
        if (have.vn == 0) want.vn = 0;
        REQUIRE(have == want, "merged face " + Show(w.text) + ": corner " + std::to_string(k) +
                                  " does not mean what it meant in " + Show(from.text));
      }
    } else {
      REQUIRE(w.text == s.text, "face " + Show(s.text) + " was changed unasked");
    }
  }
  REQUIRE(rewritten == run.trace.rewritten.size(), "the trace rewrites faces out of order");
  REQUIRE(o == out.size(), "the output holds statements the input did not");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fm::fuzz::TheLoadedModule();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Host& host = fm::fuzz::TheLoadedModule();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  mesh::MeshFile mesh;
  std::string error;
  if (!mesh::ParseObj(text, "in.obj", "in", mesh, error)) return 0;
  const Run run = RunCommand(host, text, mesh);
  Check(text, mesh, run);

  mesh::MeshFile again;
  REQUIRE(mesh::ParseObj(run.output, "out.obj", "in", again, error),
          "the output does not read again: " + error);
  const Run second = RunCommand(host, run.output, again);
  Check(run.output, again, second);

  const Tamper tamper = TakeTamper(text);
  if (tamper.on) {
    const Run tampered = RunCommand(host, text, mesh, tamper);
    if (tampered.traced) Check(text, mesh, tampered);
  }
  return 0;
}
