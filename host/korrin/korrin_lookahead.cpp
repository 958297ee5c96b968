#include "korrin/korrin_lookahead.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "common/host_world.h"
#include "korrin/korrin_search.h"

namespace host::korrin {

LOOKAHEAD::LOOKAHEAD(const GRAPH& g) {
  if (g.size() == 0) return;
  // Per class, the element nearest the middle tile (ties to the lower id).
  const int mx = g.nx() / 2, my = g.ny() / 2;
  std::vector<unsigned> from(GRAPH::LOOK_CLASSES, NO_ELEMENT);
  std::vector<int> dist(GRAPH::LOOK_CLASSES, 1 << 30);
  for (unsigned e = 0; e < g.size(); ++e) {
    const std::uint8_t c = g.look_class(e);
    if (c == GRAPH::NO_LOOK) continue;
    const int d = std::abs(g.x(e) - mx) + std::abs(g.y(e) - my);
    if (d < dist[c]) dist[c] = d, from[c] = e;
  }
  m_cost.assign(static_cast<std::size_t>(GRAPH::LOOK_CLASSES) * kSide * kSide, 0.0f);
  const auto fill = [&](int c, SEARCH& s) {
    const unsigned e = from[static_cast<std::size_t>(c)];
    if (e == NO_ELEMENT) return;
    const int x = g.x(e), y = g.y(e);
    // Paths leaving the table's square and coming back are found too.
    const int r = kRadius + 4;
    s.begin();
    s.set_region(x - r, y - r, x + r, y + r);
    s.run(g, {SEED{e, 0.0, 0}}, 0, 0, 0, 0, [&](unsigned v) { return g.delay(v) + 1.0; }, 1e300, true);
    std::vector<float> best(static_cast<std::size_t>(kSide) * kSide, -1.0f);
    for (unsigned v : s.visited()) {
      const int dx = g.x(v) - x, dy = g.y(v) - y;
      if (std::abs(dx) > kRadius || std::abs(dy) > kRadius || v == e) continue;
      float& b = best[static_cast<std::size_t>(dy + kRadius) * kSide + static_cast<std::size_t>(dx + kRadius)];
      const float cost = static_cast<float>(s.cost(v));
      if (b < 0 || cost < b) b = cost;
    }
    best[static_cast<std::size_t>(kRadius) * kSide + kRadius] = 0.0f;
    for (int dy = -kRadius; dy <= kRadius; ++dy)
      for (int dx = -kRadius; dx <= kRadius; ++dx)
        m_cost[index(c, dx, dy)] =
            std::max(0.0f, best[static_cast<std::size_t>(dy + kRadius) * kSide + static_cast<std::size_t>(dx + kRadius)]);
  };
  // On the calling thread, class after class: a second or so on the
  // largest device, and the router starts no threads of its own.
  SEARCH s(g.size());
  for (int c = 0; c < GRAPH::LOOK_CLASSES; ++c) fill(c, s);
}

namespace {
struct LOOKAHEAD_CACHE {
  const GRAPH* graph = nullptr;
  const WUMP_ROUTE_INFO* info = nullptr;
  unsigned size = 0;
  int nx = 0, ny = 0;
  std::unique_ptr<LOOKAHEAD> lookahead;
};
}  // namespace

const LOOKAHEAD& lookahead(const GRAPH& g) {
  LOOKAHEAD_CACHE& c = host_world_slot<LOOKAHEAD_CACHE>();
  if (!c.lookahead || c.graph != &g || c.info != g.route_info() || c.size != g.size() || c.nx != g.nx() ||
      c.ny != g.ny()) {
    c.lookahead = std::make_unique<LOOKAHEAD>(g);
    c.graph = &g;
    c.info = g.route_info();
    c.size = g.size();
    c.nx = g.nx();
    c.ny = g.ny();
  }
  return *c.lookahead;
}

}  // namespace host::korrin
