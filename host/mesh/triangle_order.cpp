#include "host/mesh/triangle_order.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <string>
#include <utility>

namespace fm::host::mesh {
namespace {

constexpr uint32_t kNone = UINT32_MAX;
constexpr uint32_t kMany = UINT32_MAX - 1;
// Split points tried per run. A wrong split almost always fails at once (the second triangles must
// pair in order), so a few are enough, and the bound keeps the whole search linear.
constexpr int kSplitsTried = 4;

bool IsLiveTriangle(const PolygonRecord& p) { return p.c == p.d && p.a != p.b; }

uint64_t EdgeKey(int32_t from, int32_t to) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(from)) << 32) | static_cast<uint32_t>(to);
}

// Every directed edge of the object's triangles, with the one triangle that has it (kMany where
// several do: such an edge decides nothing). An open-addressing table: a big object's edges are
// looked up a few times each, and a node per edge would cost more than the whole recognition.
class EdgeOwners {
 public:
  explicit EdgeOwners(const std::vector<PolygonRecord>& polygons) {
    size_t triangles = 0;
    for (const PolygonRecord& p : polygons) triangles += IsLiveTriangle(p) ? 1 : 0;
    size_t capacity = 16;
    while (capacity < triangles * 3 * 2) capacity *= 2;  // at most half full
    shift_ = 64;
    for (size_t c = capacity; c > 1; c >>= 1) --shift_;
    mask_ = capacity - 1;
    keys_.assign(capacity, 0);
    owners_.assign(capacity, kNone);
    for (uint32_t i = 0; i < polygons.size(); ++i) {
      const PolygonRecord& p = polygons[i];
      if (!IsLiveTriangle(p)) continue;
      Add(p.a, p.b, i);
      Add(p.b, p.c, i);
      Add(p.c, p.a, i);
    }
  }
  // The owners of the three edges that run against the triangle's own, kMany for a shared edge.
  void Against(const PolygonRecord& t, uint32_t out[3]) const {
    out[0] = Find(t.b, t.a);
    out[1] = Find(t.c, t.b);
    out[2] = Find(t.a, t.c);
  }

 private:
  size_t Slot(uint64_t key) const {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
  }
  // An empty slot holds kNone as its owner; every stored owner is a face index or kMany.
  void Add(int32_t from, int32_t to, uint32_t face) {
    const uint64_t key = EdgeKey(from, to);
    for (size_t s = Slot(key);; s = (s + 1) & mask_) {
      if (owners_[s] == kNone) {
        keys_[s] = key;
        owners_[s] = face;
        return;
      }
      if (keys_[s] == key) {
        if (owners_[s] != face) owners_[s] = kMany;
        return;
      }
    }
  }
  uint32_t Find(int32_t from, int32_t to) const {
    const uint64_t key = EdgeKey(from, to);
    for (size_t s = Slot(key);; s = (s + 1) & mask_) {
      if (owners_[s] == kNone) return kNone;
      if (keys_[s] == key) return owners_[s];
    }
  }
  unsigned shift_ = 60;
  size_t mask_ = 15;
  std::vector<uint64_t> keys_;
  std::vector<uint32_t> owners_;
};

struct Run {
  uint32_t begin = 0;
  uint32_t end = 0;
};

// The triangles in [low, high) that the second triangle `s` pairs with, ascending, at most three;
// false when an edge of it is shared by several triangles (the order then decides nothing).
bool PartnersIn(const std::vector<PolygonRecord>& polygons, const EdgeOwners& edges, uint32_t s,
                uint32_t low, uint32_t high, uint32_t out[3], int& count) {
  uint32_t owners[3];
  edges.Against(polygons[s], owners);
  count = 0;
  for (const uint32_t c : owners) {
    if (c == kMany) return false;
    if (c == kNone || c < low || c >= high) continue;
    if (!FormsTrianglePair(polygons[c], polygons[s])) continue;
    bool seen = false;
    for (int k = 0; k < count; ++k) seen = seen || out[k] == c;
    if (!seen) out[count++] = c;
  }
  std::sort(out, out + count);
  return true;
}

// Pairs the run's polygons from `split` on, in order, with triangles before it in the same order.
// The pairing that takes the earliest partner for each second triangle and the one that takes the
// latest enclose every other; only when the two are the same is the pairing the order's only one.
// Otherwise (a triangle that was never a quad shares an edge with a second triangle, or the order
// is not quite this one) the order does not say which quads there were, and nothing is paired.
// Writes `partner` and returns the pairs made; -1 when there is no pairing, -2 when there are several.
int64_t MatchSeconds(const std::vector<PolygonRecord>& polygons, const EdgeOwners& edges, Run run,
                     uint32_t split, std::vector<int64_t>& partner) {
  const uint32_t count = run.end - split;
  std::vector<uint32_t> earliest(count);
  uint32_t found[3];
  int candidates = 0;
  uint32_t low = run.begin;
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t s = split + k;
    if (!IsLiveTriangle(polygons[s]) || !PartnersIn(polygons, edges, s, low, split, found, candidates) ||
        candidates == 0)
      return -1;
    earliest[k] = found[0];
    low = found[0] + 1;
  }
  uint32_t high = split;
  for (uint32_t k = count; k-- > 0;) {
    const uint32_t s = split + k;
    PartnersIn(polygons, edges, s, run.begin, high, found, candidates);
    if (candidates == 0) return -1;  // cannot happen when the earliest pairing exists
    high = found[candidates - 1];
    if (high != earliest[k]) return -2;
  }
  for (uint32_t k = 0; k < count; ++k) {
    partner[earliest[k]] = split + k;
    partner[split + k] = earliest[k];
  }
  return count;
}

// Finds where the run's second triangles start and pairs them; returns the split or kNone. A run of
// Q quads and N other polygons keeps Q + N polygons before the split, so the split lies in the run's
// second half, and the first second triangle pairs with a triangle among the first N + 1.
uint32_t RecogniseRun(const std::vector<PolygonRecord>& polygons, const EdgeOwners& edges, Run run,
                      std::vector<int64_t>& partner, uint32_t& pairs) {
  const uint32_t length = run.end - run.begin;
  int tried = 0;
  for (uint32_t j = run.begin + (length + 1) / 2; j < run.end && tried < kSplitsTried; ++j) {
    if (!IsLiveTriangle(polygons[j])) continue;
    const uint64_t early = uint64_t{run.begin} + 2 * uint64_t{j - run.begin} - length + 1;
    const uint32_t earlyEnd = static_cast<uint32_t>(early < j ? early : j);
    uint32_t found[3];
    int candidates = 0;
    if (!PartnersIn(polygons, edges, j, run.begin, earlyEnd, found, candidates) ||
        candidates == 0)
      continue;
    ++tried;
    const int64_t kept = MatchSeconds(polygons, edges, run, j, partner);
    if (kept == -2) return kNone;  // a later split would only pick one of the pairings
    if (kept >= 0) {
      pairs = static_cast<uint32_t>(kept);
      return j;
    }
  }
  return kNone;
}

// The command's layout detection and merge walk, without the selection hint (fmhost hands over no
// selection with a changed order): the merges it would make, as (first, partner) positions.
std::vector<std::pair<uint32_t, uint32_t>> DryRun(std::vector<PolygonRecord> polygons,
                                                  bool& adjacent) {
  std::vector<std::pair<uint32_t, uint32_t>> merges;
  const uint32_t n = static_cast<uint32_t>(polygons.size());
  const uint32_t half = n / 2;
  adjacent = false;
  if (n < 2) return merges;
  const bool halves = FormsTrianglePair(polygons[0], polygons[half]);
  adjacent = !halves && FormsTrianglePair(polygons[0], polygons[1]);
  if (!halves && !adjacent) return merges;
  const uint32_t stop = halves ? half : n - 1;
  for (uint32_t i = 0; i < stop; ++i) {
    const uint32_t j = halves ? i + half : i + 1;
    if (!IsLiveTriangle(polygons[i]) || !FormsTrianglePair(polygons[i], polygons[j])) continue;
    merges.emplace_back(i, j);
    polygons[i].d = -1;  // no longer a triangle; its corners matter to nothing after this
    polygons[j] = PolygonRecord{};
  }
  return merges;
}

// Each recognised pair as a block (first, second) in the first's place, every other polygon in its
// own place; an unpaired triangle is held back while the command would pair it with what follows,
// and a pair goes first so that the command reads the adjacent layout. Empty when no such order
// was found.
std::vector<uint32_t> HandOverOrder(const std::vector<PolygonRecord>& polygons,
                                    const std::vector<int64_t>& partner) {
  const uint32_t n = static_cast<uint32_t>(polygons.size());
  std::vector<uint32_t> order;
  order.reserve(n);
  std::vector<uint32_t> heldBack;  // those from heldFrom on are still to be placed
  size_t heldFrom = 0;
  auto conflicts = [&](uint32_t next) {
    if (order.empty()) return false;
    const uint32_t last = order.back();
    return partner[last] < 0 && IsLiveTriangle(polygons[last]) &&
           FormsTrianglePair(polygons[last], polygons[next]);
  };
  uint32_t firstPair = n;
  for (uint32_t i = 0; i < n && firstPair == n; ++i)
    if (partner[i] > static_cast<int64_t>(i)) firstPair = i;
  if (firstPair == n) return {};
  auto place = [&](uint32_t i) {
    if (partner[i] < 0) {
      if (conflicts(i)) {
        heldBack.push_back(i);
      } else {
        order.push_back(i);
      }
      return;
    }
    if (partner[i] < static_cast<int64_t>(i)) return;  // placed with its first
    while (conflicts(i)) {  // move the unpaired triangle before it behind the pair
      heldBack.push_back(order.back());
      order.pop_back();
    }
    order.push_back(i);
    order.push_back(static_cast<uint32_t>(partner[i]));
    // The second triangle is cleared by the time the walk reaches it, so what was held back can
    // follow it, as far as each does not pair with the next. Stopping at the first that still
    // would keeps the whole placement linear.
    while (heldFrom < heldBack.size() && !conflicts(heldBack[heldFrom]))
      order.push_back(heldBack[heldFrom++]);
  };
  place(firstPair);
  for (uint32_t i = 0; i < n; ++i)
    if (i != firstPair && static_cast<int64_t>(i) != partner[firstPair]) place(i);
  order.insert(order.end(), heldBack.begin() + static_cast<std::ptrdiff_t>(heldFrom), heldBack.end());
  return order;
}

std::string Describe(const TriangleOrderResult& r) {
  std::string text = "second triangles from polygon " + std::to_string(r.secondsFrom) + " on";
  if (r.runs > 1) {
    text += ", " + std::to_string(r.runs) + " material runs";
    if (r.runsWithPairs != r.runs)
      text += " (" + std::to_string(r.runsWithPairs) + " with second triangles)";
  }
  return text;
}

}  // namespace

bool FormsTrianglePair(const PolygonRecord& first, const PolygonRecord& partner) {
  if ((partner.a == 0 && partner.b == 0) || partner.c != partner.d) return false;
  const int32_t corners[3] = {first.a, first.b, first.c};
  for (int k = 0; k < 3; ++k) {
    const int32_t from = corners[k];
    const int32_t to = corners[(k + 1) % 3];
    int32_t apex = -1;
    if (partner.b == from && partner.a == to) {
      apex = partner.c;
    } else if (partner.c == from && partner.b == to) {
      apex = partner.a;
    } else if (partner.a == from && partner.c == to) {
      apex = partner.b;
    } else {
      continue;
    }
    if (apex >= 0) return true;
  }
  return false;
}

std::vector<uint32_t> MaterialRunIds(const MeshObject& object) {
  std::vector<uint32_t> ids(object.faceCount, 0);
  uint32_t id = 0;
  size_t next = 0;
  for (uint32_t f = 0; f < object.faceCount; ++f) {
    while (next < object.materialRuns.size() && object.materialRuns[next] <= f) {
      ++next;
      ++id;
    }
    ids[f] = id;
  }
  return ids;
}

TriangleOrderResult RecogniseTriangleOrder(const std::vector<PolygonRecord>& polygons,
                                           const std::vector<uint32_t>& runIds) {
  TriangleOrderResult result;
  assert(runIds.size() == polygons.size() && polygons.size() < UINT32_MAX - 1);
  const uint32_t n = static_cast<uint32_t>(polygons.size());
  for (uint32_t i = 0; i < n; ++i)
    if (i == 0 || runIds[i] != runIds[i - 1]) ++result.runs;
  bool adjacent = false;
  if (n >= 2 && (FormsTrianglePair(polygons[0], polygons[n / 2]) ||
                 FormsTrianglePair(polygons[0], polygons[1]))) {
    result.order = TriangleOrder::kCommandReads;
    result.description = FormsTrianglePair(polygons[0], polygons[n / 2])
                             ? "the file's order: the first half with the second"
                             : "the file's order: each triangle with the next";
    return result;
  }
  result.description = "no known triangle order";
  if (n < 2) return result;

  const EdgeOwners edges(polygons);
  std::vector<int64_t> partner(n, -1);
  bool first = true;
  for (uint32_t begin = 0; begin < n;) {
    uint32_t end = begin + 1;
    while (end < n && runIds[end] == runIds[begin]) ++end;
    uint32_t pairs = 0;
    const uint32_t split = RecogniseRun(polygons, edges, Run{begin, end}, partner, pairs);
    if (split != kNone && pairs > 0) {
      ++result.runsWithPairs;
      result.pairs += pairs;
      if (first) result.secondsFrom = split;
      first = false;
    }
    begin = end;
  }
  if (result.pairs == 0) return result;

  std::vector<uint32_t> order = HandOverOrder(polygons, partner);
  std::vector<PolygonRecord> handed;
  handed.reserve(n);
  for (const uint32_t i : order) handed.push_back(polygons[i]);
  const auto merges = DryRun(std::move(handed), adjacent);
  bool exact = adjacent && order.size() == n && merges.size() == result.pairs;
  for (size_t k = 0; exact && k < merges.size(); ++k)
    exact = partner[order[merges[k].first]] == static_cast<int64_t>(order[merges[k].second]);
  if (!exact) {
    result.pairs = 0;
    result.runsWithPairs = 0;
    result.description = "second triangles after the first ones, but no order the command reads";
    return result;
  }
  result.order = TriangleOrder::kRecognised;
  result.handOver = std::move(order);
  result.partner = std::move(partner);
  result.description = Describe(result);
  return result;
}

}  // namespace fm::host::mesh
