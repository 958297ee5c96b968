#pragma once
// algorithm: the whole-design router's lower bound of the cost still to come,
// per element class and distance. The flat figure of the graph (40 per tile)
// prices every step like a long wire, while a short wire costs 71 a tile and
// every turn and every entry into a LAB takes one: on a congested device the
// searches expanded most of their box before the bound caught up.
//
// For each class of GRAPH::look_class (a wire by direction and length, a LAB
// output) a search from one element of the class near the middle of the
// device, at the uncongested cost (hop delay + 1 per element entered), finds
// the least cost of entering any element of each tile within kRadius tiles
// in x and y: a lower bound for a target in that tile, whatever the element
// (a target is entered from a wire starting in its tile, or is one). Farther
// tiles add the flat figure per tile beyond the table. Elements of no class
// (wires the edge cuts short among them), targets in the I/O ring (whose
// elements the tiles inside it also reach) and offsets the table could not
// reach keep the flat bound; the bound is never below it. The routing
// fabric repeats tile by tile, so one middle tile speaks for the others.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "korrin/korrin_graph.h"

namespace host::korrin {

class HOST_API LOOKAHEAD {
public:
  static constexpr int kRadius = 12;
  explicit LOOKAHEAD(const GRAPH& g);
  // Lower bound of the cost from element `id` to a target in the tile
  // rectangle.
  double bound(const GRAPH& g, unsigned id, int x0, int y0, int x1, int y1) const {
    const std::uint8_t c = g.look_class(id);
    const double flat = g.bound(id, x0, y0, x1, y1);
    if (c == GRAPH::NO_LOOK || m_cost.empty()) return flat;
    // The I/O ring's elements are entered from the tiles inside it too.
    if (x0 <= 0 || y0 <= 0 || x1 >= g.nx() - 1 || y1 >= g.ny() - 1) return flat;
    const int x = g.x(id), y = g.y(id);
    double best = 1e300;
    if ((x1 - x0 + 1) * (y1 - y0 + 1) <= 4) {
      for (int ty = y0; ty <= y1; ++ty)
        for (int tx = x0; tx <= x1; ++tx) best = std::min(best, at(c, tx - x, ty - y));
    } else {
      best = at(c, std::clamp(x, x0, x1) - x, std::clamp(y, y0, y1) - y);
    }
    return std::max(best, flat);
  }
  // The table's value for class c at offset (dx, dy) from the element's tile.
  double at(std::uint8_t c, int dx, int dy) const {
    const int ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    const int cx = std::min(ax, kRadius), cy = std::min(ay, kRadius);
    const float v = m_cost[index(c, dx < 0 ? -cx : cx, dy < 0 ? -cy : cy)];
    return v + GRAPH::bound_per_tile() * ((ax - cx) + (ay - cy));
  }

private:
  static constexpr int kSide = 2 * kRadius + 1;
  static std::size_t index(int c, int dx, int dy) {
    return (static_cast<std::size_t>(c) * kSide + static_cast<std::size_t>(dy + kRadius)) * kSide +
           static_cast<std::size_t>(dx + kRadius);
  }
  std::vector<float> m_cost;  // class x offset; 0 where nothing was reached
};

// The lookahead of the world's device graph (built once per graph).
HOST_API const LOOKAHEAD& lookahead(const GRAPH& g);

}  // namespace host::korrin
