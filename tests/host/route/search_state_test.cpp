// The routers' search keeps its state in a sparse map that one search
// leaves behind for the next: a reused search must find what a fresh one
// finds, and the cheapest path a plain shortest-path search finds.
#include <algorithm>
#include <map>
#include <queue>
#include <utility>
#include <vector>

#include "korrin/korrin_graph.h"
#include "korrin/korrin_lookahead.h"
#include "korrin/korrin_search.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"

using host::korrin::GRAPH;
using host::korrin::NO_ELEMENT;
using host::korrin::SEARCH;
using host::korrin::SEED;
using host::korrin::SPARSE_MAP;
using host::testing::Family;
using host::testing::HostTest;

namespace {

TEST(SparseMapTest, AClearedMapForgetsEveryIdAndTheSlotsAreReused) {
  SPARSE_MAP<int> m(16);
  m.get(3) = 30;
  m.get(9) = 90;
  m.get(3) += 1;
  EXPECT_EQ(m.size(), 2u);
  ASSERT_NE(m.find(3), nullptr);
  EXPECT_EQ(*m.find(3), 31);
  EXPECT_EQ(*m.find(9), 90);
  EXPECT_EQ(m.find(4), nullptr);
  m.clear();
  // The stale indices of 3 and 9 point at slots that now hold other ids.
  m.get(9, 7);
  m.get(5, 8);
  EXPECT_EQ(m.find(3), nullptr);
  EXPECT_EQ(*m.find(9), 7);
  EXPECT_EQ(*m.find(5), 8);
  EXPECT_EQ(m.size(), 2u);
}

struct OUTCOME {
  unsigned target = NO_ELEMENT;
  std::vector<unsigned> path;
  unsigned seed = NO_ELEMENT;
  double cost = 0.0;
  int delay = 0;
  std::vector<unsigned> visited;
  bool operator==(const OUTCOME&) const = default;
};

// Cost of entering an element: its delay + 1, times a factor of 1 to 8
// spread over the elements as congestion would be.
double entry_cost(const GRAPH& g, unsigned e) {
  return (g.delay(e) + 1.0) * (1.0 + static_cast<double>(((e * 2654435761u) >> 28) & 7u));
}

// Cheapest cost from the seeds to any target by a plain Dijkstra over the
// graph's fanouts.
double reference_cost(const GRAPH& g, const std::vector<SEED>& seeds, const std::vector<unsigned>& targets) {
  std::map<unsigned, double> best;
  using ITEM = std::pair<double, unsigned>;
  std::priority_queue<ITEM, std::vector<ITEM>, std::greater<>> q;
  for (const SEED& s : seeds) {
    auto it = best.find(s.id);
    if (it == best.end() || s.cost < it->second) best[s.id] = s.cost, q.push({s.cost, s.id});
  }
  while (!q.empty()) {
    const auto [c, u] = q.top();
    q.pop();
    if (c > best[u]) continue;
    for (unsigned t : targets)
      if (t == u) return c;
    const GRAPH::EDGES e = g.fanouts(u);
    for (int i = 0; i < e.count; ++i) {
      const unsigned v = u + static_cast<unsigned>(e.rel[i]);
      const double cv = c + entry_cost(g, v);
      auto it = best.find(v);
      if (it == best.end() || cv < it->second) best[v] = cv, q.push({cv, v});
    }
  }
  return -1.0;
}

class SearchStateTest : public HostTest {};

TEST_F(SearchStateTest, AReusedSearchFindsWhatAFreshOneFindsAndTheCheapestPath) {
  host::testing::device(Family::KY).build();
  const GRAPH& g = host::korrin::graph();
  // Connections between the LAB tiles of the device, both ways, some of
  // them kept to the box of their ends, some with a second seed.
  std::vector<std::pair<int, int>> labs;
  for (int y = 0; y < g.ny(); ++y)
    for (int x = 0; x < g.nx(); ++x)
      if (!g.tile(x, y).out.empty() && g.tile(x, y).in.size() >= 80) labs.push_back({x, y});
  ASSERT_GE(labs.size(), 8u);
  SEARCH reused(g.size());
  auto cost = [&](unsigned e) { return entry_cost(g, e); };
  int checked = 0, exact = 0;
  std::vector<unsigned> before;  // what the previous search visited
  for (std::size_t i = 0; i < labs.size(); i += 3) {
    const auto [sx, sy] = labs[i];
    const auto [tx, ty] = labs[(i * 7 + 5) % labs.size()];
    if (sx == tx && sy == ty) continue;
    std::vector<SEED> seeds{{g.tile(sx, sy).out[i % 8], 0.0, 0}};
    const std::size_t k = i / 3;
    if (k % 3 == 1) seeds.push_back({g.tile(sx, sy).out[(i + 3) % 8], 25.0, 10});
    const std::vector<unsigned> targets{g.tile(tx, ty).in[i % 80], g.tile(tx, ty).in[(i + 11) % 80]};
    const bool boxed = k % 4 == 3;
    const double weight = k % 2 == 0 ? 1.0 : 1.5;
    auto run = [&](SEARCH& s) {
      OUTCOME o;
      s.begin();
      for (unsigned t : targets) s.mark_target(t);
      s.set_bound_weight(weight);
      if (boxed) s.set_region(std::min(sx, tx) - 2, std::min(sy, ty) - 2, std::max(sx, tx) + 2, std::max(sy, ty) + 2);
      o.target = s.run(g, seeds, tx, ty, tx, ty, cost);
      s.clear_region();
      if (o.target == NO_ELEMENT) return o;
      s.path(o.target, o.path, &o.seed);
      o.cost = s.cost(o.target);
      o.delay = s.delay(o.target);
      o.visited = s.visited();
      return o;
    };
    SEARCH fresh(g.size());
    const OUTCOME a = run(reused);
    const OUTCOME b = run(fresh);
    EXPECT_EQ(a, b) << "connection " << i;
    if (b.target == NO_ELEMENT) continue;  // the device's sparse wiring does not connect every pair
    // Only what this search took off its heap counts as reached: not what
    // the previous one left behind.
    for (unsigned e : b.visited) EXPECT_TRUE(reused.reached(e));
    for (unsigned e : before)
      if (std::find(b.visited.begin(), b.visited.end(), e) == b.visited.end()) {
        EXPECT_FALSE(reused.reached(e)) << e;
      }
    before = b.visited;
    // The path steps along real edges from its seed, and its delay is the
    // seed's plus the elements entered.
    int delay = -1;
    for (const SEED& s : seeds)
      if (s.id == b.seed) delay = s.delay;
    ASSERT_GE(delay, 0);
    unsigned at = b.seed;
    for (unsigned e : b.path) {
      EXPECT_TRUE(g.has_edge(at, e));
      delay += g.delay(e);
      at = e;
    }
    EXPECT_EQ(delay, b.delay);
    // With the exact bound and no box the path is the cheapest there is.
    if (weight == 1.0 && !boxed) {
      EXPECT_DOUBLE_EQ(b.cost, reference_cost(g, seeds, targets)) << i;
      ++exact;
    }
    ++checked;
  }
  EXPECT_GE(checked, 8);
  EXPECT_GE(exact, 3);
}

// The lookahead's bound from an element of each class to a tile is no more
// than the cheapest uncongested cost of entering any element there (or the
// flat figure, where that is above it already: a pin of the I/O ring is
// entered from the tile inside it), from the middle of the device and from
// near its edges, and above the flat figure for most of the tiles.
TEST_F(SearchStateTest, TheLookaheadBoundsTheCostToEveryTileFromBelow) {
  host::testing::device(Family::KY).grid(20, 16).routing_tracks(6).build();
  const GRAPH& g = host::korrin::graph();
  const host::korrin::LOOKAHEAD& look = host::korrin::lookahead(g);
  std::map<std::pair<int, int>, unsigned> from;  // (class, place): an element
  for (unsigned e = 0; e < g.size(); ++e) {
    const int c = g.look_class(e);
    if (c == GRAPH::NO_LOOK) continue;
    const std::pair<int, int> at{g.x(e), g.y(e)};
    const int place = at == std::pair{g.nx() / 2 + 1, g.ny() / 2} ? 0 : (at == std::pair{1, 1} ? 1 : (at == std::pair{5, 4} ? 2 : -1));
    if (place >= 0) from.emplace(std::make_pair(c, place), e);
  }
  // In the corner tile the wires going west and south are cut short: no class.
  ASSERT_EQ(from.size(), 3u * GRAPH::LOOK_CLASSES - 2u);
  SEARCH s(g.size());
  int tiles = 0, tighter = 0;
  for (const auto& [key, e] : from) {
    s.begin();
    s.run(g, {SEED{e, 0.0, 0}}, 0, 0, 0, 0, [&](unsigned v) { return g.delay(v) + 1.0; }, 1e300, true);
    std::map<std::pair<int, int>, double> least;  // per tile
    for (unsigned v : s.visited())
      if (v != e) {
        auto [it, added] = least.emplace(std::make_pair(g.x(v), g.y(v)), s.cost(v));
        if (!added) it->second = std::min(it->second, s.cost(v));
      }
    for (const auto& [tile, cost] : least) {
      const auto [x, y] = tile;
      const double bound = look.bound(g, e, x, y, x, y), flat = g.bound(e, x, y, x, y);
      EXPECT_LE(bound, std::max(cost, flat) + 1e-3)
          << "class " << key.first << " from " << g.x(e) << "," << g.y(e) << " to " << x << "," << y;
      ++tiles;
      tighter += bound > flat ? 1 : 0;
    }
  }
  EXPECT_GT(tighter, tiles / 2);
}

}  // namespace
