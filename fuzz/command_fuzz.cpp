// The command through the headless host and the real module file, on scenes decoded from fuzz
// bytes. Every scene runs twice: as decoded, and with each object's first UVW tag replaced by trace
// values that name the input record and corner each UVW corner came from. The traced run explains
// every output polygon by its input records, and both runs are checked against that explanation:
//   - every output polygon is an input record, or a live input triangle merged with a partner
//     triangle along an edge the two run in opposite directions (a live quadrangle), in input order;
//   - every input record is output, absorbed once as a partner, or dropped as dead (a == b):
//     polygons after = before - merges - dropped records;
//   - every UVW corner is the value its point had at that corner in the input;
//   - a selection bit (the object's and each polygon-selection tag's) lands only on a polygon made
//     from a selected record, and a selected record's polygon stays selected;
//   - points, point selections and objects outside the selection are left alone;
//   - the console reports each object's merges and the total as the polygons show them;
//   - the run is one undo group, and undoing it restores every object byte for byte.
// An input whose first byte is 0xF0..0xFF also turns on some of the host's refusals (its second byte
// picks which: a refused resize, null polygon array, null polygon selection, null UVW data handle,
// no node array, a failed block or string allocation). The run is then checked for what still
// holds: nothing changes without an undo record, one undo restores, unreached objects stay as they
// are, a selection bit lands only on a polygon made from a selected record (where the UVW trace can
// tell), and the console's object lines add up to its total.
// A broken invariant prints the scene and aborts, which libFuzzer records as a finding.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/framework/memory.h"
#include "host/framework/string_faults.h"
#include "host/loader/module_host.h"
#include "host/scene/resource_set.h"
#include "host/scene/tags.h"
#include "host/tables/environment.h"
#include "loaded_module.h"
#include "scene_plan.h"

namespace {

using namespace fm::host;
using fm::fuzz::ScenePlan;
using fm::fuzz::UvwFill;

using fm::fuzz::kCommandId;

const ScenePlan* g_scene = nullptr;  // for the report of a finding

std::string Describe(const PolygonRecord& p) {
  return "(" + std::to_string(p.a) + " " + std::to_string(p.b) + " " + std::to_string(p.c) + " " +
         std::to_string(p.d) + ")";
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "command invariant broken: %s\nscene:\n", what.c_str());
  if (g_scene) {
    for (size_t i = 0; i < g_scene->objects.size(); ++i) {
      const auto& o = g_scene->objects[i];
      std::string line = "  o" + std::to_string(i) + (o.polygonObject ? " polygons" : " other") +
                         " parent " + std::to_string(o.parent) +
                         (o.selected ? " selected" : "") + ":";
      for (const PolygonRecord& p : o.polygons) line += " " + Describe(p);
      line += " | selection:";
      for (int32_t s : o.polygonSelection) line += " " + std::to_string(s);
      line += " | tags: " + std::to_string(o.tags.size());
      std::fprintf(stderr, "%s\n", line.c_str());
    }
  }
  std::abort();
}

// The message is only built when the check fails: these checks run for every corner of every
// polygon, and the fuzzer's speed is what finds faults.
#define REQUIRE(condition, message) \
  do {                              \
    if (!(condition)) Fail(message); \
  } while (0)

// The loaded module and the console texts the command prints (string-table ids 10000 to 10003).
struct Host {
  fm::fuzz::LoadedModule& loaded = fm::fuzz::TheLoadedModule();
  Environment& environment = loaded.environment;
  ModuleHost& modules = loaded.modules;
  std::string texts[4];

  Host() {
    std::string error;
    auto set = LoadResourceSet(std::string(FM_PLUGIN_DIR) + "/facetmender/res", error);
    REQUIRE(set != nullptr, error);
    for (int32_t id = 0; id < 4; ++id) texts[id] = ToUtf8(set->Find(10000 + id));
  }
};

Host& TheHost() {
  static Host* host = new Host;  // never destroyed, like the module it holds
  return *host;
}

// Everything of an object a run may change, as plain values.
struct Snapshot {
  bool polygonObject = false;
  std::vector<Vector3> points;
  std::vector<PolygonRecord> polygons;
  Selection polygonSelection;
  std::vector<int32_t> tagTypes;
  std::vector<std::vector<uint8_t>> tagBytes;  // per tag; empty for tags without records
  std::vector<Selection> tagSelections;        // per tag; empty for tags without a selection
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const Object& object) {
  Snapshot s;
  if (auto* p = dynamic_cast<const PolygonObject*>(&object)) {
    s.polygonObject = true;
    s.points = p->Points();
    s.polygons = p->Polygons();
    s.polygonSelection = p->PolygonSelection();
  }
  for (const auto& tag : object.Tags()) {
    s.tagTypes.push_back(tag->Type());
    auto* records = dynamic_cast<const VariableTag*>(tag.get());
    s.tagBytes.push_back(records ? records->Bytes() : std::vector<uint8_t>{});
    auto* selection = dynamic_cast<const SelectionTag*>(tag.get());
    s.tagSelections.push_back(selection ? selection->Elements() : Selection{});
  }
  return s;
}

std::vector<Snapshot> TakeAll(const std::vector<Object*>& objects) {
  std::vector<Snapshot> out;
  for (const Object* o : objects) out.push_back(Take(*o));
  return out;
}

int32_t Corner(const PolygonRecord& p, int32_t k) {
  const int32_t c[4] = {p.a, p.b, p.c, p.d};
  return c[k];
}

Vector3 UvwCorner(const UvwRecord& r, int32_t k) {
  const Vector3 c[4] = {r.a, r.b, r.c, r.d};
  return c[k];
}

UvwRecord UvwAt(const std::vector<uint8_t>& bytes, int32_t index) {
  UvwRecord r;
  std::memcpy(&r, bytes.data() + static_cast<size_t>(index) * sizeof r, sizeof r);
  return r;
}

bool Live(const PolygonRecord& p) { return p.a != p.b; }
bool LiveTriangle(const PolygonRecord& p) { return Live(p) && p.c == p.d; }

int32_t FirstUvwTag(const Snapshot& s) {
  for (size_t k = 0; k < s.tagTypes.size(); ++k) {
    if (s.tagTypes[k] == kUvwTagType) return static_cast<int32_t>(k);
  }
  return -1;
}

// Where one output polygon came from: input record `first`, and for a merge the input record
// `partner` whose corner `partnerCorner` sits at output corner `inserted`.
struct Origin {
  int32_t first = -1;
  int32_t partner = -1;
  int32_t partnerCorner = -1;
  int32_t inserted = -1;
  int32_t Source(int32_t k) const { return k == inserted ? partner : first; }
  int32_t SourceCorner(int32_t k) const {
    if (k == inserted) return partnerCorner;
    return inserted >= 0 && k > inserted ? k - 1 : k;
  }
};

// Explains the output polygons of a traced object by its input records.
std::vector<Origin> Explain(const std::string& name, const Snapshot& before, const Snapshot& after) {
  const auto& in = before.polygons;
  const auto& out = after.polygons;
  const int32_t n = static_cast<int32_t>(in.size());
  const int32_t uvw = FirstUvwTag(after);
  REQUIRE(uvw >= 0, name + ": the UVW tag is gone");
  REQUIRE(after.tagBytes[uvw].size() == out.size() * sizeof(UvwRecord),
          name + ": UVW records do not match the polygons");
  enum Role : uint8_t { Unused, Output, Absorbed };
  std::vector<Role> role(in.size(), Unused);
  std::vector<Origin> origins;
  int32_t lastFirst = -1;
  for (int32_t w = 0; w < static_cast<int32_t>(out.size()); ++w) {
    const auto where = [&] { return name + " polygon " + std::to_string(w) + " " + Describe(out[w]); };
    const UvwRecord record = UvwAt(after.tagBytes[uvw], w);
    int32_t src[4], corner[4];
    for (int32_t k = 0; k < 4; ++k) {
      REQUIRE(fm::fuzz::ReadTrace(UvwCorner(record, k), n, src[k], corner[k]),
              where() + ": UVW corner " + std::to_string(k) + " is no input corner");
    }
    Origin origin;
    origin.first = src[0];
    if (src[1] == src[0] && src[2] == src[0] && src[3] == src[0] && corner[1] == 1 &&
        corner[2] == 2 && corner[3] == 3 && corner[0] == 0) {
      REQUIRE(out[w] == in[origin.first],
              where() + ": differs from input record " + std::to_string(origin.first));
    } else {
      for (int32_t q = 1; q < 4 && origin.inserted < 0; ++q) {
        bool fits = src[q] != src[0];
        for (int32_t k = 0, own = 0; k < 4 && fits; ++k) {
          if (k == q) continue;
          fits = src[k] == src[0] && corner[k] == own++;
        }
        if (fits) origin = {src[0], src[q], corner[q], q};
      }
      REQUIRE(origin.inserted > 0, where() + ": neither an input record nor a merge of two");
      const PolygonRecord& first = in[origin.first];
      const PolygonRecord& partner = in[origin.partner];
      // A dead partner (a == b) may be absorbed: it names no face, and it would be dropped anyway.
      REQUIRE(LiveTriangle(first) && partner.c == partner.d,
              where() + ": merged from records that are not two triangles, the first live");
      for (int32_t k = 0; k < 4; ++k) {
        REQUIRE(Corner(out[w], k) == Corner(in[origin.Source(k)], origin.SourceCorner(k)),
                where() + ": corner " + std::to_string(k) + " is not the point of its UVW corner");
      }
      // The partner's corner sits between the two ends of the shared edge, which the partner
      // runs in the opposite direction.
      const int32_t from = Corner(first, origin.inserted - 1);
      const int32_t to = Corner(first, origin.inserted % 3);
      const int32_t apex = origin.partnerCorner == 3 ? 2 : origin.partnerCorner;
      REQUIRE(Corner(partner, (apex + 1) % 3) == to && Corner(partner, (apex + 2) % 3) == from,
              where() + ": partner " + Describe(partner) + " does not share the edge reversed");
      REQUIRE(out[w].a != out[w].b && out[w].c != out[w].d,
              where() + ": a merge that is not a live quadrangle");
      REQUIRE(role[origin.partner] == Unused,
              where() + ": partner " + std::to_string(origin.partner) + " used twice");
      role[origin.partner] = Absorbed;
    }
    REQUIRE(origin.first > lastFirst, where() + ": out of input order");
    REQUIRE(role[origin.first] == Unused, where() + ": input record used twice");
    role[origin.first] = Output;
    lastFirst = origin.first;
    origins.push_back(origin);
  }
  for (int32_t i = 0; i < n; ++i) {
    REQUIRE(role[i] != Unused || !Live(in[i]),
            name + ": input record " + std::to_string(i) + " " + Describe(in[i]) + " was lost");
  }
  return origins;
}

int32_t Merges(const std::vector<Origin>& origins) {
  int32_t merges = 0;
  for (const Origin& o : origins) merges += o.partner >= 0;
  return merges;
}

void CheckSelection(const std::string& what, const Selection& before, const Selection& after,
                    const std::vector<Origin>& origins) {
  const int32_t m = static_cast<int32_t>(origins.size());
  for (int32_t index : after.Indices()) {
    if (index >= m) {  // no polygon there: only a bit the input already had may stay
      REQUIRE(before.IsSelected(index), what + ": bit " + std::to_string(index) + " set anew");
      continue;
    }
    const Origin& o = origins[index];
    REQUIRE(before.IsSelected(o.first) || (o.partner >= 0 && before.IsSelected(o.partner)),
            what + ": polygon " + std::to_string(index) + " selected, its records were not");
  }
  for (int32_t w = 0; w < m; ++w) {
    REQUIRE(!before.IsSelected(origins[w].first) || after.IsSelected(w),
            what + ": polygon " + std::to_string(w) + " lost its record's selection");
  }
}

std::vector<int32_t> Below(const Selection& selection, int32_t count) {
  std::vector<int32_t> out;
  for (int32_t index : selection.Indices()) {
    if (index < count) out.push_back(index);
  }
  return out;
}

// Checks one processed object of the traced run; gives its merges.
// `objectSelection` false skips the object's own selection (the host withheld it from the command).
int32_t CheckTraced(const std::string& name, const Snapshot& before, const Snapshot& after,
                    std::vector<Origin>& origins, bool objectSelection = true) {
  origins = Explain(name, before, after);
  REQUIRE(after.points == before.points, name + ": points changed");
  if (objectSelection) {
    CheckSelection(name + " selection", before.polygonSelection, after.polygonSelection, origins);
  }
  REQUIRE(after.tagTypes.size() == before.tagTypes.size(), name + ": tags added or removed");
  for (size_t k = 0; k < before.tagTypes.size(); ++k) {
    const auto tag = [&] { return name + " tag " + std::to_string(k); };
    if (before.tagTypes[k] == kPolygonSelectionTagType) {
      CheckSelection(tag(), before.tagSelections[k], after.tagSelections[k], origins);
    } else if (before.tagTypes[k] != kUvwTagType) {
      const auto points = static_cast<int32_t>(before.points.size());
      REQUIRE(Below(before.tagSelections[k], points) == Below(after.tagSelections[k], points),
              tag() + ": a point selection changed");
    }
  }
  return Merges(origins);
}

// The decoded run must change polygons and selections exactly as the traced run did, and carry
// its own UVW values along the same origins.
void CheckDecoded(const std::string& name, const Snapshot& before, const Snapshot& after,
                  const Snapshot& traced, const std::vector<Origin>& origins) {
  REQUIRE(after.polygons == traced.polygons, name + ": polygons differ from the traced run");
  REQUIRE(after.polygonSelection == traced.polygonSelection,
          name + ": selection differs from the traced run");
  for (size_t k = 0; k < before.tagTypes.size(); ++k) {
    if (before.tagTypes[k] == kPolygonSelectionTagType) {
      REQUIRE(after.tagSelections[k] == traced.tagSelections[k],
              name + " tag " + std::to_string(k) + ": differs from the traced run");
    }
  }
  const int32_t uvw = FirstUvwTag(before);
  if (uvw < 0) return;
  REQUIRE(after.tagBytes[uvw].size() == origins.size() * sizeof(UvwRecord),
          name + ": UVW records do not match the polygons");
  for (int32_t w = 0; w < static_cast<int32_t>(origins.size()); ++w) {
    const UvwRecord got = UvwAt(after.tagBytes[uvw], w);
    for (int32_t k = 0; k < 4; ++k) {
      const Origin& o = origins[w];
      const Vector3 want = UvwCorner(UvwAt(before.tagBytes[uvw], o.Source(k)), o.SourceCorner(k));
      const Vector3 have = UvwCorner(got, k);
      REQUIRE(std::memcmp(&want, &have, sizeof want) == 0,
              name + " polygon " + std::to_string(w) + ": UVW corner " + std::to_string(k) +
                  " is not its point's input value");
    }
  }
}

// Objects the command reaches: each selected object and its descendants, in tree order.
std::vector<bool> Reached(const std::vector<Object*>& objects) {
  std::vector<bool> reached(objects.size(), false);
  for (size_t i = 0; i < objects.size(); ++i) {
    for (const Object* o = objects[i]; o; o = o->Parent()) {
      if (o->IsSelected()) reached[i] = true;
    }
  }
  return reached;
}

// Indices into `objects` in the order the command walks the document (tree order).
std::vector<size_t> WalkOrder(const Document& document, const std::vector<Object*>& objects) {
  std::vector<size_t> order;
  for (const Object* o : document.AllObjects()) {
    for (size_t i = 0; i < objects.size(); ++i) {
      if (objects[i] == o) order.push_back(i);
    }
  }
  return order;
}

struct RunResult {
  std::vector<Snapshot> before, after;
  std::vector<std::string> console;
  size_t messageBoxes = 0;
};

// The host refusals one input turns on.
struct Refusals {
  bool refuseResize = false;
  bool nullPolygonArray = false;
  bool nullPolygonSelection = false;
  bool nullUvwHandle = false;
  bool noNodeArray = false;
  int64_t failBlock = 0;   // the Nth AllocClear of the run fails (0: none)
  int64_t failString = 0;  // the Nth string allocation of the run fails (0: none)

  bool Any() const {
    return refuseResize || nullPolygonArray || nullPolygonSelection || nullUvwHandle ||
           noNodeArray || failBlock || failString;
  }
  // The traced UVW values still explain every output polygon: the polygon list is compacted and
  // resized together with the UVW tag, or left alone.
  bool Traceable() const { return !refuseResize && !nullUvwHandle; }
};

// Takes the refusals off the front of the input: a first byte of 0xF0..0xFF, then one byte of
// switches. Other inputs decode whole into a scene, as before refusals were fuzzed.
Refusals TakeRefusals(const uint8_t*& data, size_t& size) {
  Refusals r;
  if (size < 2 || (data[0] & 0xF0) != 0xF0) return r;
  const uint8_t nth = static_cast<uint8_t>((data[0] & 0x0F) + 1);
  const uint8_t bits = data[1];
  data += 2;
  size -= 2;
  r.refuseResize = bits & 0x01;
  r.nullPolygonArray = bits & 0x02;
  r.nullPolygonSelection = bits & 0x04;
  r.nullUvwHandle = bits & 0x08;
  r.noNodeArray = bits & 0x10;
  if (bits & 0x20) r.failBlock = nth;
  if (bits & 0x40) r.failString = nth;
  return r;
}

void Apply(Host& host, const Refusals& r) {
  FaultSwitches& f = host.environment.Faults();
  f.refuseResize = r.refuseResize;
  f.nullPolygonArray = r.nullPolygonArray;
  f.nullPolygonSelection = r.nullPolygonSelection;
  f.nullUvwHandle = r.nullUvwHandle;
  f.failNodeArrayAlloc = r.noNodeArray;
  AllocationFault().Nth(r.failBlock);
  StringAllocationFault().Nth(r.failString);
}

RunResult RunCommand(Host& host, Document& document, const std::vector<Object*>& objects,
                     const Refusals& refusals = {}) {
  RunResult result;
  result.before = TakeAll(objects);
  host.environment.Ui().Clear();
  host.environment.ClearDiagnostics();
  Apply(host, refusals);
  const std::optional<bool> answer = host.modules.Execute(kCommandId, &document);
  Apply(host, {});
  result.after = TakeAll(objects);
  result.console = host.environment.Ui().ConsoleLines();
  result.messageBoxes = host.environment.Ui().OfKind(UiEventKind::MessageBox).size();
  REQUIRE(answer.has_value(), "the command's execute did not run");
  REQUIRE(!document.Undo().GroupOpen(), "the run left its undo group open");
  if (refusals.noNodeArray) {
    // Without a list of objects the command can do nothing: it says false and leaves no trace.
    REQUIRE(!*answer, "execute answered true without a node array");
    REQUIRE(result.after == result.before && document.Undo().GroupCount() == 0 &&
                result.console.empty(),
            "a run without a node array changed, recorded or printed something");
    return result;
  }
  REQUIRE(*answer, "the command's execute did not answer true");
  if (refusals.Any() && document.Undo().GroupCount() == 0) {
    REQUIRE(result.after == result.before, "the scene changed without an undo record");
    return result;
  }
  REQUIRE(document.Undo().GroupCount() == 1, "the run is not exactly one closed undo group");
  REQUIRE(document.Undo().Undo(), "the run cannot be undone");
  REQUIRE(TakeAll(objects) == result.before, "one undo does not restore the scene exactly");
  return result;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const std::string& l : lines) {
    if (l == line) return true;
  }
  return false;
}

void CheckConsole(const Host& host, const RunResult& run, const std::vector<std::string>& names,
                  const std::vector<int32_t>& merges, int64_t total) {
  const auto& lines = run.console;
  std::vector<std::string> reports;
  const std::string suffix = " Quadrangles";
  for (const std::string& line : lines) {
    if (line.size() > suffix.size() && line.ends_with(suffix)) reports.push_back(line);
  }
  if (total < 1) {
    REQUIRE(Contains(lines, host.texts[3]) && run.messageBoxes == 1,
            "nothing to do, but no nothing-to-do message");
    REQUIRE(reports.empty(), "nothing to do, but objects reported");
    return;
  }
  std::vector<std::string> want;
  int64_t sum = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    want.push_back(names[i] + ": " + std::to_string(merges[i]) + suffix);
    sum += merges[i];
  }
  REQUIRE(reports == want, "the console's object lines do not match the polygons");
  REQUIRE(Contains(lines, host.texts[1] + std::to_string(2 * total) + " Polygons"),
          "the console's polygon count is wrong");
  REQUIRE(Contains(lines, std::to_string(sum) + host.texts[2]),
          "the console's total does not match the polygons");
}

int64_t Bits(const Selection& selection) { return static_cast<int64_t>(selection.Indices().size()); }

// Without the UVW trace no output polygon can be explained; what still holds: merges only join
// selections, so no selection gains bits, and the console's object lines add up to its total.
void CheckUntraced(const std::string& name, const Snapshot& before, const Snapshot& after,
                   const Refusals& refusals) {
  REQUIRE(after.points == before.points, name + ": points changed");
  REQUIRE(after.tagTypes == before.tagTypes, name + ": tags added or removed");
  if (!refusals.nullPolygonSelection) {
    REQUIRE(Bits(after.polygonSelection) <= Bits(before.polygonSelection),
            name + ": the selection gained bits");
  }
  for (size_t k = 0; k < before.tagTypes.size(); ++k) {
    if (before.tagTypes[k] == kPolygonSelectionTagType) {
      REQUIRE(Bits(after.tagSelections[k]) <= Bits(before.tagSelections[k]),
              name + " tag " + std::to_string(k) + ": the selection gained bits");
    }
  }
}

int64_t Number(const std::string& text) {
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return text.empty() ? -1 : value;
}

void CheckConsoleSums(const Host& host, const RunResult& run, const std::vector<std::string>& names,
                      const std::vector<int64_t>& pairs, int64_t total, const Refusals& refusals) {
  if (total < 1) {
    REQUIRE(Contains(run.console, host.texts[3]) && run.messageBoxes == 1,
            "nothing to do, but no nothing-to-do message");
    return;
  }
  const std::string suffix = " Quadrangles";
  int64_t sum = 0;
  size_t next = 0;
  for (const std::string& line : run.console) {
    if (line.size() <= suffix.size() || !line.ends_with(suffix) || next >= names.size()) continue;
    const std::string head = names[next] + ": ";
    REQUIRE(line.starts_with(head), "the console's object lines are not the objects in walk order");
    const int64_t made = Number(line.substr(head.size(), line.size() - head.size() - suffix.size()));
    REQUIRE(made >= 0 && made <= pairs[next], names[next] + ": reports more merges than pairs");
    REQUIRE(!refusals.refuseResize || made == 0, names[next] + ": merges reported, resize refused");
    sum += made;
    ++next;
  }
  REQUIRE(next == names.size(), "the console does not report every processed object");
  REQUIRE(Contains(run.console, std::to_string(sum) + host.texts[2]),
          "the console's total is not the sum of its object lines");
}

// One run with host refusals on, checked for what holds whatever the host refuses.
void RunRefused(Host& host, const ScenePlan& scene, const Refusals& refusals) {
  Document& document = host.environment.ActiveDocument();
  document.Clear();
  const std::vector<Object*> objects = fm::fuzz::Build(scene, UvwFill::Trace, document);
  const RunResult run = RunCommand(host, document, objects, refusals);
  if (refusals.noNodeArray) return;
  const std::vector<bool> reached = Reached(objects);
  std::vector<std::string> names;
  std::vector<int32_t> merges;
  std::vector<int64_t> pairs;
  int64_t total = 0;
  for (size_t i : WalkOrder(document, objects)) {
    const std::string name = objects[i]->Name();
    if (!reached[i] || !run.before[i].polygonObject) {
      REQUIRE(run.after[i] == run.before[i], name + ": changed though the command did not reach it");
      continue;
    }
    const int64_t half = refusals.nullPolygonArray
                             ? 0
                             : static_cast<int64_t>(run.before[i].polygons.size() / 2);
    if (refusals.Traceable()) {
      std::vector<Origin> origins;
      merges.push_back(CheckTraced(name, run.before[i], run.after[i], origins,
                                   !refusals.nullPolygonSelection));
    } else {
      CheckUntraced(name, run.before[i], run.after[i], refusals);
    }
    names.push_back(name);
    pairs.push_back(half);
    total += half;
  }
  if (refusals.failString) return;  // the console's texts themselves may be what failed
  if (refusals.Traceable()) {
    CheckConsole(host, run, names, merges, total);
  } else {
    CheckConsoleSums(host, run, names, pairs, total, refusals);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  TheHost();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Host& host = TheHost();
  const Refusals refusals = TakeRefusals(data, size);
  const ScenePlan scene = fm::fuzz::DecodeScene(data, size);
  g_scene = &scene;
  Document& document = host.environment.ActiveDocument();
  if (refusals.Any()) {
    RunRefused(host, scene, refusals);
    document.Clear();
    g_scene = nullptr;
    return 0;
  }

  document.Clear();
  const std::vector<Object*> traced = fm::fuzz::Build(scene, UvwFill::Trace, document);
  const RunResult t = RunCommand(host, document, traced);
  const std::vector<bool> reached = Reached(traced);

  std::vector<std::vector<Origin>> origins(traced.size());
  std::vector<std::string> names;
  std::vector<int32_t> merges;
  int64_t total = 0;
  for (size_t i : WalkOrder(document, traced)) {
    const std::string name = traced[i]->Name();
    if (!reached[i] || !t.before[i].polygonObject) {
      REQUIRE(t.after[i] == t.before[i], name + ": changed though the command did not reach it");
      continue;
    }
    merges.push_back(CheckTraced(name, t.before[i], t.after[i], origins[i]));
    names.push_back(name);
    total += static_cast<int64_t>(t.before[i].polygons.size() / 2);
  }
  CheckConsole(host, t, names, merges, total);

  document.Clear();
  const std::vector<Object*> decoded = fm::fuzz::Build(scene, UvwFill::AsDecoded, document);
  const RunResult d = RunCommand(host, document, decoded);
  REQUIRE(d.console == t.console, "the console differs between the decoded and traced runs");
  for (size_t i = 0; i < decoded.size(); ++i) {
    if (!reached[i] || !d.before[i].polygonObject) {
      REQUIRE(d.after[i] == d.before[i], decoded[i]->Name() + ": changed though not reached");
      continue;
    }
    CheckDecoded(decoded[i]->Name(), d.before[i], d.after[i], t.after[i], origins[i]);
  }
  document.Clear();
  g_scene = nullptr;
  return 0;
}
