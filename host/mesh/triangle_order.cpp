#include "host/mesh/triangle_order.h"

#include <algorithm>
#include <bit>
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

// Every directed edge of the object's triangles, with the one or two triangles that have it (kMany
// where more do: such an edge decides nothing). Two, because a tool that splits two quads sharing
// two edges the same way writes one triangle twice over, turned, and keeps one of them: the edge
// across both then belongs to two triangles. An open-addressing table: a big object's edges are
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
    seconds_.assign(capacity, kNone);
    for (uint32_t i = 0; i < polygons.size(); ++i) {
      const PolygonRecord& p = polygons[i];
      if (!IsLiveTriangle(p)) continue;
      Add(p.a, p.b, i);
      Add(p.b, p.c, i);
      Add(p.c, p.a, i);
    }
  }
  // Whether another triangle has one of the triangle's own edges in the same direction: two quads
  // that share two edges, split alike, then gave one triangle twice. Which second triangle runs
  // against the first the tool kept is then not told by edges.
  bool Doubled(const PolygonRecord& t) const {
    uint32_t owners[2];
    for (const auto& [from, to] : {std::pair{t.a, t.b}, std::pair{t.b, t.c}, std::pair{t.c, t.a}}) {
      Find(from, to, owners);
      if (owners[1] != kNone) return true;
    }
    return false;
  }
  // The owners of the three edges that run against the triangle's own, two per edge (kNone where
  // there is no second), kMany for an edge of more than two triangles.
  void Against(const PolygonRecord& t, uint32_t out[6]) const {
    Find(t.b, t.a, out);
    Find(t.c, t.b, out + 2);
    Find(t.a, t.c, out + 4);
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
        if (owners_[s] == face || seconds_[s] == face || owners_[s] == kMany) return;
        if (seconds_[s] == kNone) {
          seconds_[s] = face;
        } else {
          owners_[s] = seconds_[s] = kMany;
        }
        return;
      }
    }
  }
  void Find(int32_t from, int32_t to, uint32_t out[2]) const {
    const uint64_t key = EdgeKey(from, to);
    out[0] = out[1] = kNone;
    for (size_t s = Slot(key);; s = (s + 1) & mask_) {
      if (owners_[s] == kNone) return;
      if (keys_[s] == key) {
        out[0] = owners_[s];
        out[1] = seconds_[s];
        return;
      }
    }
  }
  unsigned shift_ = 60;
  size_t mask_ = 15;
  std::vector<uint64_t> keys_;
  std::vector<uint32_t> owners_;
  std::vector<uint32_t> seconds_;
};

struct Run {
  uint32_t begin = 0;
  uint32_t end = 0;
};

// Which of the nine ways two triangles can run against each other a pair takes: the first
// triangle's edge the command merges across (0: a->b, 1: b->c, 2: c->a) times three plus the
// partner's edge on it (0: pa->pb, 1: pb->pc, 2: pc->pa); -1 when they do not pair. A triangulating
// tool splits every quad alike, so its true pairs take one or two of these ways, while a triangle
// that merely borders a second triangle takes whichever its own corners give.
int PairWay(const PolygonRecord& first, const PolygonRecord& partner) {
  if ((partner.a == 0 && partner.b == 0) || partner.c != partner.d) return -1;
  const int32_t corners[3] = {first.a, first.b, first.c};
  for (int k = 0; k < 3; ++k) {
    const int32_t from = corners[k];
    const int32_t to = corners[(k + 1) % 3];
    int edge = -1;
    int32_t apex = -1;
    if (partner.b == from && partner.a == to) {
      edge = 0;
      apex = partner.c;
    } else if (partner.c == from && partner.b == to) {
      edge = 1;
      apex = partner.a;
    } else if (partner.a == from && partner.c == to) {
      edge = 2;
      apex = partner.b;
    } else {
      continue;
    }
    if (apex >= 0) return k * 3 + edge;
  }
  return -1;
}

constexpr uint16_t kEveryWay = 0x1FF;

// The triangles in [low, high) that the second triangle `s` pairs with in one of the `ways` (a bit
// per PairWay), ascending, at most six; false when an edge of it is shared by more than two
// triangles (the order then decides nothing).
constexpr int kMostPartners = 6;
bool PartnersIn(const std::vector<PolygonRecord>& polygons, const EdgeOwners& edges, uint32_t s,
                uint32_t low, uint32_t high, uint16_t ways, uint32_t out[kMostPartners], int& count) {
  uint32_t owners[kMostPartners];
  edges.Against(polygons[s], owners);
  count = 0;
  for (const uint32_t c : owners) {
    if (c == kMany) return false;
    if (c == kNone || c < low || c >= high) continue;
    const int way = PairWay(polygons[c], polygons[s]);
    if (way < 0 || (ways & (1u << way)) == 0) continue;
    bool seen = false;
    for (int k = 0; k < count; ++k) seen = seen || out[k] == c;
    if (!seen) out[count++] = c;
  }
  std::sort(out, out + count);
  return true;
}

// The pairings of the run's polygons from `split` on, in order, with triangles before it in the
// same order, taking only the `ways` given: the one that takes the earliest partner for each second
// triangle and the one that takes the latest. They enclose every other pairing, so where the two
// agree every pairing agrees. A second triangle with an edge of another triangle's (a triangle given
// twice) is passed over (kNone in both). With `passOver`, so is one that pairs with nothing before
// the split in those ways (`passed` counts them): a second triangle whose first the tool dropped.
// False when there is no such pairing.
bool Bounds(const std::vector<PolygonRecord>& polygons, const EdgeOwners& edges, Run run,
            uint32_t split, uint16_t ways, bool passOver, std::vector<uint32_t>& earliest,
            std::vector<uint32_t>& latest, uint32_t& passed) {
  const uint32_t count = run.end - split;
  earliest.assign(count, kNone);
  latest.assign(count, kNone);
  passed = 0;
  uint32_t found[kMostPartners];
  int candidates = 0;
  uint32_t low = run.begin;
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t s = split + k;
    if (!IsLiveTriangle(polygons[s])) return false;
    if (edges.Doubled(polygons[s])) continue;
    if (!PartnersIn(polygons, edges, s, low, split, ways, found, candidates)) return false;
    if (candidates == 0) {
      PartnersIn(polygons, edges, s, run.begin, split, ways, found, candidates);
      if (!passOver || candidates > 0) return false;
      ++passed;
      continue;
    }
    earliest[k] = found[0];
    low = found[0] + 1;
  }
  uint32_t high = split;
  for (uint32_t k = count; k-- > 0;) {
    if (earliest[k] == kNone) continue;
    PartnersIn(polygons, edges, split + k, run.begin, high, ways, found, candidates);
    if (candidates == 0) return false;  // cannot happen when the earliest pairing exists
    high = latest[k] = found[candidates - 1];
  }
  return true;
}

// How the run's polygons from `split` on would pair with triangles before them. Every second
// triangle must pair, in order, in some way (or, with `passOver`, pair with nothing before the split
// at all). Where a triangle that was never a quad, or a first triangle whose second is missing,
// borders a second triangle, the order alone allows several pairings, some of them shifted along
// whole rows of quads. A tool splits every quad one of at most two ways (one per diagonal), so the
// true pairing takes at most two ways, and every second triangle has a partner in one of them; a
// pairing across borders takes others. Every set of one or two ways that gives every second
// triangle a partner, and still a pairing in order, could be the tool's (a set of two only when
// neither of its ways does alone); all of them together are taken, which leaves open whatever they
// disagree on.
struct SplitPlan {
  uint16_t ways = 0;   // the tool's ways; 0 when no one or two ways give every one a partner
  int wayCount = 0;    // 1 or 2 when `ways` was found
  uint32_t passed = 0;
  // Of two or more ways, one is the way to a partner only for the polygon at the split: more likely
  // a triangle that never was a quad, taken for a second one by a split one too early.
  bool thin = false;
};

SplitPlan PlanSplit(const std::vector<PolygonRecord>& polygons, const EdgeOwners& edges, Run run,
                    uint32_t split, bool passOver) {
  SplitPlan plan;
  std::vector<uint32_t> earliest, latest;
  if (!Bounds(polygons, edges, run, split, kEveryWay, passOver, earliest, latest, plan.passed))
    return plan;
  const uint32_t count = run.end - split;
  // How many second triangles have partners in exactly these ways, per set of ways.
  std::vector<uint32_t> withWays(kEveryWay + 1, 0);
  uint32_t found[kMostPartners];
  int candidates = 0;
  uint32_t toPair = 0;
  uint16_t firstMask = 0;
  for (uint32_t k = 0; k < count; ++k) {
    if (earliest[k] == kNone) continue;  // passed over
    ++toPair;
    PartnersIn(polygons, edges, split + k, run.begin, split, kEveryWay, found, candidates);
    uint16_t mask = 0;
    for (int c = 0; c < candidates; ++c) mask |= 1u << PairWay(polygons[found[c]], polygons[split + k]);
    ++withWays[mask];
    if (k == 0) firstMask = mask;
  }
  const auto coversAll = [&](uint16_t ways) {
    uint32_t covered = 0;
    for (uint16_t mask = 1; mask <= kEveryWay; ++mask)
      if ((mask & ways) != 0) covered += withWays[mask];
    return covered == toPair;
  };
  // Single ways first: a set of two that holds one of them only widens the choice.
  uint32_t passed = 0;
  const auto could = [&](uint16_t set) {
    return coversAll(set) &&
           Bounds(polygons, edges, run, split, set, passOver, earliest, latest, passed) &&
           passed == plan.passed;
  };
  for (int way = 0; way < 9; ++way) {
    if (!could(static_cast<uint16_t>(1u << way))) continue;
    plan.ways |= static_cast<uint16_t>(1u << way);
    plan.wayCount = 1;
  }
  const uint16_t singles = plan.ways;
  for (int first = 0; first < 9; ++first) {
    for (int second = first + 1; second < 9; ++second) {
      const uint16_t set = static_cast<uint16_t>((1u << first) | (1u << second));
      if ((set & singles) != 0 || !could(set)) continue;
      plan.ways |= set;
      plan.wayCount = 2;
    }
  }
  // The first polygon from the split on is the only one that needs a way of its own.
  if (std::popcount(static_cast<unsigned>(plan.ways)) > 1 && (firstMask & plan.ways) != 0 &&
      std::popcount(static_cast<unsigned>(firstMask & plan.ways)) == 1) {
    uint32_t only = 0;
    for (uint16_t mask = 1; mask <= kEveryWay; ++mask)
      if ((mask & plan.ways) == (firstMask & plan.ways)) only += withWays[mask];
    plan.thin = only == 1;
  }
  return plan;
}

// Pairs the run's polygons from `split` on in the plan's ways where every pairing in those ways
// agrees; what they leave open stays unpaired rather than risk a quad that never was. Writes
// `partner` and returns the pairs made.
uint32_t PairInWays(const std::vector<PolygonRecord>& polygons, const EdgeOwners& edges, Run run,
                    uint32_t split, bool passOver, const SplitPlan& plan,
                    std::vector<int64_t>& partner) {
  std::vector<uint32_t> earliest, latest;
  uint32_t passed = 0;
  if (plan.ways == 0 ||
      !Bounds(polygons, edges, run, split, plan.ways, passOver, earliest, latest, passed))
    return 0;
  uint32_t pairs = 0;
  for (uint32_t k = 0; k < run.end - split; ++k) {
    if (earliest[k] == kNone || earliest[k] != latest[k]) continue;
    partner[earliest[k]] = split + k;
    partner[split + k] = earliest[k];
    ++pairs;
  }
  return pairs;
}

// Finds where the run's second triangles start and pairs them; returns the split or kNone. A run of
// Q quads and N other polygons keeps Q + N polygons before the split, so the split lies in the run's
// second half, and the first second triangle pairs with a triangle among the first N + 1. The
// first split tried from which every second triangle pairs in the tool's ways is taken (a later
// one would leave second triangles before it, which may pair with the wrong first triangles),
// unless its first polygon alone needs a way and a later split tried has no such way.
// Failing that, a few second triangles may be ones whose first the tool dropped, which pair with
// nothing before the split: the split that passes over fewest of them is taken, as long as they
// are few.
uint32_t RecogniseRun(const std::vector<PolygonRecord>& polygons, const EdgeOwners& edges, Run run,
                      std::vector<int64_t>& partner, uint32_t& pairs) {
  const uint32_t length = run.end - run.begin;
  // The splits worth trying: the run's second triangle pairs with an early one. A dropped first
  // triangle moves the split one place earlier than the count of polygons says, hence `slack`.
  const auto trySplits = [&](uint32_t slack, auto&& tryOne) {
    int tried = 0;
    for (uint32_t j = run.begin + (length + 1) / 2 - std::min((length + 1) / 2, slack);
         j < run.end && tried < kSplitsTried; ++j) {
      if (!IsLiveTriangle(polygons[j])) continue;
      const uint64_t early = uint64_t{run.begin} + 2 * uint64_t{j - run.begin} + slack + 1;
      const uint64_t earlyEnd = early > length ? early - length : 0;
      uint32_t found[kMostPartners];
      int candidates = 0;
      const uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(earlyEnd, j));
      if (!PartnersIn(polygons, edges, j, run.begin, end, kEveryWay, found, candidates) ||
          candidates == 0)
        continue;
      ++tried;
      if (tryOne(j)) return;
    }
  };
  uint32_t split = kNone;
  SplitPlan best;
  trySplits(0, [&](uint32_t j) {
    const SplitPlan plan = PlanSplit(polygons, edges, run, j, false);
    if (plan.ways != 0 && (split == kNone || (best.thin && !plan.thin))) {
      best = plan;
      split = j;
    }
    return split != kNone && !best.thin;
  });
  bool passOver = false;
  if (split == kNone) {
    passOver = true;
    trySplits(1, [&](uint32_t j) {
      const SplitPlan plan = PlanSplit(polygons, edges, run, j, true);
      const uint32_t allowed = 1 + (run.end - j) / 64;
      if (plan.ways != 0 && plan.passed <= allowed &&
          (best.ways == 0 || plan.passed < best.passed ||
           (plan.passed == best.passed && plan.wayCount < best.wayCount))) {
        best = plan;
        split = j;
      }
      return false;
    });
  }
  if (split == kNone) return kNone;
  pairs = PairInWays(polygons, edges, run, split, passOver, best, partner);
  return split;
}

// The command's layout detection and merge walk over the polygons taken in `order` (in file order
// when it is null), without the selection hint (fmhost hands over no selection with a changed
// order): the layout it reads and the merges it makes, as (first, partner) positions in that order.
// Nothing needs copying: in either walk a merged first polygon is not looked at again, and a cleared
// partner is only ever skipped as a candidate.
struct CommandWalk {
  bool halves = false;
  bool adjacent = false;
  uint32_t count = 0;                                  // merges made
  std::vector<std::pair<uint32_t, uint32_t>> merges;  // only when asked for
};

CommandWalk WalkAsTheCommand(const std::vector<PolygonRecord>& polygons,
                             const std::vector<uint32_t>* order, bool listMerges) {
  CommandWalk walk;
  const uint32_t n = static_cast<uint32_t>(polygons.size());
  const auto at = [&](uint32_t k) -> const PolygonRecord& {
    return polygons[order != nullptr ? (*order)[k] : k];
  };
  if (n < 2) return walk;
  const uint32_t half = n / 2;
  walk.halves = FormsTrianglePair(at(0), at(half));
  walk.adjacent = !walk.halves && FormsTrianglePair(at(0), at(1));
  const auto merge = [&](uint32_t first, uint32_t second) {
    ++walk.count;
    if (listMerges) walk.merges.emplace_back(first, second);
  };
  if (walk.halves) {
    for (uint32_t i = 0; i < half; ++i)
      if (IsLiveTriangle(at(i)) && FormsTrianglePair(at(i), at(i + half))) merge(i, i + half);
  } else if (walk.adjacent) {
    for (uint32_t i = 0; i + 1 < n; ++i) {
      if (!IsLiveTriangle(at(i)) || !FormsTrianglePair(at(i), at(i + 1))) continue;
      merge(i, i + 1);
      ++i;  // the partner is cleared: skipped when its turn comes
    }
  }
  return walk;
}

uint32_t LiveTriangles(const std::vector<PolygonRecord>& polygons) {
  uint32_t count = 0;
  for (const PolygonRecord& p : polygons) count += IsLiveTriangle(p) ? 1 : 0;
  return count;
}

// Each recognised pair as a block (first, second), the blocks in the order of their first
// triangles, and every other polygon after the block before it in the file (those before the first
// block after that block). The command's walk reaches each block's first triangle alive and merges
// it with its second, and then finds the second cleared; so the polygon after a block follows no
// live triangle. An unpaired triangle must not be followed by a triangle it pairs with, or the walk
// would merge the two: such a polygon waits for the next place where it does not, and what is left
// at the end goes at the start of an earlier gap. The first block is one whose first triangle does
// not pair with the polygon in the middle, so that the command reads the adjacent layout rather
// than the halves. Empty when no such order was found.
std::vector<uint32_t> HandOverOrder(const std::vector<PolygonRecord>& polygons,
                                    const std::vector<int64_t>& partner) {
  const uint32_t n = static_cast<uint32_t>(polygons.size());
  std::vector<uint32_t> firsts;
  for (uint32_t i = 0; i < n; ++i)
    if (partner[i] > static_cast<int64_t>(i)) firsts.push_back(i);
  if (firsts.empty()) return {};
  // Whether the walk would merge `next` into the unpaired polygon `last`.
  const auto merges = [&](uint32_t last, uint32_t next) {
    return partner[last] < 0 && IsLiveTriangle(polygons[last]) &&
           FormsTrianglePair(polygons[last], polygons[next]);
  };
  // How many of the waiting polygons are tried for a place: each pairs with at most three
  // triangles, so one of the first few always fits after anything but a triangle they all pair with.
  constexpr size_t kLookAhead = 4;

  std::vector<uint32_t> order;
  order.reserve(n);
  std::vector<uint32_t> waiting;  // unpaired, from `waitingFrom` on, in file order
  size_t waitingFrom = 0;
  std::vector<size_t> gapStarts;  // where each block's gap begins in `order`
  gapStarts.reserve(firsts.size());
  const auto fillGap = [&]() {
    for (bool placed = true; placed && waitingFrom < waiting.size();) {
      placed = false;
      const size_t end = std::min(waiting.size(), waitingFrom + kLookAhead);
      for (size_t k = waitingFrom; k < end && !placed; ++k) {
        if (merges(order.back(), waiting[k])) continue;
        order.push_back(waiting[k]);
        // Keep the others in file order: the one taken moves out of the way.
        for (size_t m = k; m > waitingFrom; --m) waiting[m] = waiting[m - 1];
        ++waitingFrom;
        placed = true;
      }
    }
  };
  size_t next = 0;  // the next unpaired polygon in file order still to be made waiting
  const auto waitUpTo = [&](uint32_t limit) {
    for (; next < limit; ++next)
      if (partner[next] < 0) waiting.push_back(static_cast<uint32_t>(next));
  };
  for (size_t b = 0; b < firsts.size(); ++b) {
    const uint32_t first = firsts[b];
    waitUpTo(first);
    if (b > 0) {
      fillGap();
      // The polygon before the block must not take the block's first triangle.
      while (order.size() > gapStarts.back() && merges(order.back(), first)) {
        waiting[--waitingFrom] = order.back();
        order.pop_back();
      }
    }
    order.push_back(first);
    order.push_back(static_cast<uint32_t>(partner[first]));
    gapStarts.push_back(order.size());
  }
  waitUpTo(n);
  fillGap();
  // What did not fit after the last block goes at the start of an earlier gap, one to a gap, where
  // it does not pair with what follows.
  std::vector<std::pair<size_t, uint32_t>> inserts;
  size_t gap = 0;
  for (size_t k = waitingFrom; k < waiting.size(); ++k) {
    const uint32_t polygon = waiting[k];
    while (gap < gapStarts.size() && gapStarts[gap] < order.size() &&
           merges(polygon, order[gapStarts[gap]]))
      ++gap;
    if (gap == gapStarts.size() || gapStarts[gap] >= order.size()) return {};
    inserts.emplace_back(gapStarts[gap++], polygon);
  }
  if (!inserts.empty()) {
    std::vector<uint32_t> merged;
    merged.reserve(n);
    size_t at = 0;
    for (size_t i = 0; i <= order.size(); ++i) {
      for (; at < inserts.size() && inserts[at].first == i; ++at) merged.push_back(inserts[at].second);
      if (i < order.size()) merged.push_back(order[i]);
    }
    order.swap(merged);
  }
  // The command tries the halves first: if the first block's first triangle pairs with the polygon
  // in the middle, one of the next blocks changes places with it (the middle stays where it is).
  const auto readsHalves = [&]() { return FormsTrianglePair(polygons[order[0]], polygons[order[n / 2]]); };
  constexpr int kBlocksTried = 8;
  int tried = 0;
  for (size_t at = 2; at + 1 < order.size() && readsHalves() && tried < kBlocksTried; ++at) {
    const uint32_t polygon = order[at];
    if (partner[polygon] <= static_cast<int64_t>(polygon)) continue;  // not a block's first
    ++tried;
    if (at == n / 2 || at + 1 == n / 2 || merges(order[at - 1], order[0])) continue;
    std::swap(order[0], order[at]);
    std::swap(order[1], order[at + 1]);
    if (readsHalves()) {
      std::swap(order[0], order[at]);
      std::swap(order[1], order[at + 1]);
    }
  }
  if (readsHalves()) return {};
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
  return PairWay(first, partner) >= 0;
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

bool CommandMergesEveryTriangle(const std::vector<PolygonRecord>& polygons) {
  const CommandWalk walk = WalkAsTheCommand(polygons, nullptr, false);
  return (walk.halves || walk.adjacent) && 2 * uint64_t{walk.count} >= LiveTriangles(polygons);
}

TriangleOrderResult RecogniseTriangleOrder(const std::vector<PolygonRecord>& polygons,
                                           const std::vector<uint32_t>& runIds) {
  TriangleOrderResult result;
  assert(runIds.size() == polygons.size() && polygons.size() < UINT32_MAX - 1);
  const uint32_t n = static_cast<uint32_t>(polygons.size());
  for (uint32_t i = 0; i < n; ++i)
    if (i == 0 || runIds[i] != runIds[i - 1]) ++result.runs;
  // The file's order goes to the command as it is when the command reads a layout in it and, in
  // that layout, merges every triangle, or at least as many as the recognised order would: polygon
  // 0 may pair with polygon 1 or n/2 by chance (two neighbouring quads split along different
  // diagonals, two triangles that never were quads), and the command then makes quads that never
  // were across the whole object.
  const CommandWalk file = WalkAsTheCommand(polygons, nullptr, false);
  const bool fileReads = file.halves || file.adjacent;
  const auto asInTheFile = [&](TriangleOrderResult kept) {
    kept.order = TriangleOrder::kCommandReads;
    kept.description = file.halves ? "the file's order: the first half with the second"
                                   : "the file's order: each triangle with the next";
    kept.pairs = 0;
    kept.runsWithPairs = 0;
    kept.secondsFrom = 0;
    kept.handOver.clear();
    kept.partner.clear();
    return kept;
  };
  if (fileReads && 2 * uint64_t{file.count} >= LiveTriangles(polygons)) return asInTheFile(result);
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
  if (result.pairs == 0 || (fileReads && result.pairs <= file.count))
    return fileReads ? asInTheFile(result) : result;

  std::vector<uint32_t> order = HandOverOrder(polygons, partner);
  bool exact = order.size() == n;
  if (exact) {
    const CommandWalk handed = WalkAsTheCommand(polygons, &order, true);
    exact = handed.adjacent && handed.count == result.pairs;
    for (size_t k = 0; exact && k < handed.merges.size(); ++k)
      exact = partner[order[handed.merges[k].first]] ==
              static_cast<int64_t>(order[handed.merges[k].second]);
  }
  if (!exact) {
    if (fileReads) return asInTheFile(result);
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
