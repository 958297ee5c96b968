#pragma once
// algorithm: the router's view of the device and the endpoint rules shared by
// the whole-design router, the incremental router and the routing check.
//
// Graph view: the route info's real (non-virtual) fanouts and its fanins,
// read in place from the route info's edge tables (ids relative to the
// element; nothing is copied), and per element its slow-corner hop delay in
// ps (the search cost of entering an element is that delay + 1 ps), its tile
// and, for wires, the tile where the wire ends: 16 bytes per element, kept
// together with the start of its fanout list so that a search step reads
// one record per element it meets.
//
// Endpoints of a connection (driver output term -> sink input term):
//  - sources (the driver's output elements): on a LAB the LAB's output muxes;
//    on a DSP block the outputs of both its tiles; on a RAM block its tile's
//    outputs; on an I/O pin the pin's output port (659, index 4 + pin); on a
//    periphery block its output ports; on a PLL its clock outputs (284). A
//    register in a pipeline slot drives from the slot element itself;
//  - targets (the sink's input elements): on a LAB any LAB input mux (data
//    and control; clock inputs also the two clock muxes); on a DSP block the
//    inputs of both its tiles; on a RAM block its tile's inputs; on an I/O pin
//    the pin's input port (659, index pin); on a periphery block its input
//    ports. A register in a pipeline slot takes its data input at the slot;
//  - dedicated connections are not routed through the fabric: carry-out to
//    carry-in, connections inside one I/O pin, and inputs that have no input
//    element on the device (PLL inputs; the clock and control inputs of a
//    register in a pipeline slot, which come from the LAB's clocking).
// A connection is routable when both atoms are placed, it is not dedicated,
// and the driver has source elements.
#include <cstdint>
#include <vector>

#include "common/host_api.h"
#include "wump/wump_route_objects.h"

class WUMP_DIE_INFO;
class VOK_ATOM_NODE;
class VOK_ATOM_ITERM;
class VOK_ATOM_OTERM;

namespace host::korrin {

inline constexpr unsigned GID_BIT = 0x80000000u;
inline constexpr unsigned NO_ELEMENT = 0xFFFFFFFFu;

class HOST_API GRAPH {
public:
  explicit GRAPH(const WUMP_DIE_INFO* die);

  const WUMP_ROUTE_INFO* route_info() const { return m_info; }
  unsigned size() const { return m_n; }
  // The edges of an element id (no bit 31): element id + rel[i], i < count.
  struct EDGES {
    const int* rel = nullptr;
    int count = 0;
  };
  // Its real fanouts (an element whose only edge is virtual has none).
  EDGES fanouts(unsigned id) const {
    const NODE& n = m_nodes[id];
    if (n.fanouts < 0 || (n.hclass & VIRTUAL_ONLY)) return {};
    return {m_fo_table + n.fanouts + 2, m_fo_table[n.fanouts + 1]};
  }
  // Its fanins; a fanin whose edge is virtual is one with virtual_only().
  EDGES fanins(unsigned id) const {
    const int r = m_elems[id].get_fanin_range();
    if (r < 0) return {};
    return {m_fi_table + r + 2, m_fi_table[r + 1]};
  }
  // Cache hints for a search about to read an element, or its fanouts.
  void prefetch(unsigned id) const { __builtin_prefetch(&m_nodes[id]); }
  void prefetch_fanouts(unsigned id) const {
    if (m_nodes[id].fanouts >= 0) __builtin_prefetch(m_fo_table + m_nodes[id].fanouts);
  }
  bool virtual_only(unsigned id) const { return (m_nodes[id].hclass & VIRTUAL_ONLY) != 0; }
  bool has_edge(unsigned from, unsigned to) const;
  int delay(unsigned id) const { return m_nodes[id].delay; }
  // The least hop delay of an element that has one: the clock taps above a
  // network's root have none, and no data connection runs through them.
  int min_delay() const { return m_min_delay; }
  int x(unsigned id) const { return m_nodes[id].x; }
  int y(unsigned id) const { return m_nodes[id].y; }
  // Lower bound of the cost from an element to a tile rectangle (consistent
  // for the search: wires count from the nearer of their two tiles; the
  // clock network and block ports count nothing).
  double bound(unsigned id, int x0, int y0, int x1, int y1) const {
    const NODE& n = m_nodes[id];
    const int k = n.hclass & HCLASS;
    if (k == 0) return 0.0;
    int d = dist(n.x, n.y, x0, y0, x1, y1);
    if (k == 2) {
      const int e = dist(n.ex, n.ey, x0, y0, x1, y1);
      if (e < d) d = e;
    }
    return kBoundPerTile * d;
  }
  // The lower bound's cost per tile of distance.
  static constexpr double bound_per_tile() { return kBoundPerTile; }
  bool is_slot(unsigned id) const { return (m_nodes[id].hclass & SLOT) != 0; }
  // The element's class for the routers' lookahead (korrin_lookahead.h): a
  // wire by direction and length (2 x direction + 1 for a long one) unless
  // the edge cuts it short, a LAB output (8); NO_LOOK for every other
  // element.
  static constexpr std::uint8_t NO_LOOK = 0xFF;
  static constexpr int LOOK_CLASSES = 9;
  std::uint8_t look_class(unsigned id) const { return m_nodes[id].look; }

  // Endpoint lists of a tile.
  struct TILE {
    std::vector<unsigned> in;   // LAB data/control muxes, block inputs, input ports (by index)
    std::vector<unsigned> clk;  // LAB clock muxes
    std::vector<unsigned> out;  // LAB output muxes, block outputs, output ports, PLL outputs (by index)
  };
  const TILE& tile(int x, int y) const { return m_tiles[static_cast<std::size_t>(y) * m_nx + x]; }
  int nx() const { return m_nx; }
  int ny() const { return m_ny; }
  // Bytes this view holds (the route info's tables not counted).
  std::size_t memory_bytes() const;

private:
  static constexpr double kBoundPerTile = 40.0;
  static constexpr std::uint8_t HCLASS = 0x03;        // 0 no bound, 1 own tile, 2 wire (either end)
  static constexpr std::uint8_t SLOT = 0x40;          // a pipeline slot
  static constexpr std::uint8_t VIRTUAL_ONLY = 0x80;  // its only fanout is a virtual edge
  // What a search reads of an element, in one place: the start of its
  // fanout list in the route info's table (-1: none), its tile, a wire's
  // end tile, its hop delay and class.
  struct NODE {
    std::int32_t fanouts = -1;
    std::int16_t x = 0, y = 0, ex = 0, ey = 0;
    std::uint16_t delay = 0;
    std::uint8_t hclass = 0;
    std::uint8_t look = NO_LOOK;
  };
  static_assert(sizeof(NODE) == 16, "a search step reads one 16-byte record per element");
  static int dist(int x, int y, int x0, int y0, int x1, int y1) {
    const int dx = x < x0 ? x0 - x : (x > x1 ? x - x1 : 0);
    const int dy = y < y0 ? y0 - y : (y > y1 ? y - y1 : 0);
    return dx + dy;
  }
  const WUMP_ROUTE_INFO* m_info;
  unsigned m_n = 0;
  int m_nx = 0;
  int m_ny = 0;
  int m_min_delay = 0;
  const int* m_fo_table = nullptr;
  const int* m_fi_table = nullptr;
  const WUMP_ROUTE_ELEMENT* m_elems = nullptr;  // the route info's elements (edge ranges)
  std::vector<NODE> m_nodes;
  std::vector<TILE> m_tiles;
};

// The graph of the world's device (built once per generated die).
HOST_API const GRAPH& graph();

// Where an atom sits, for the endpoint rules.
struct SITE {
  bool placed = false;
  bool slot = false;     // a register in a pipeline slot
  unsigned slot_id = 0;  // its element id
  int x = 0, y = 0, z = 0;
  int tile_kind = -1;    // DEV_TILE_KIND
};
HOST_API SITE site_of(const VOK_ATOM_NODE* atom);

// The driver's output elements (ids); empty when it has none.
HOST_API void source_elements(const GRAPH& g, const SITE& s, std::vector<unsigned>& out);
// The sink's input elements (ids); empty when it has none.
// The pin clocks that take the device's global clock networks, one network
// each: those clocking the most inputs outside routing slots (then the
// lowest driver id). Counted
// on the current netlist when first needed and again at every full routing;
// the registers of any other pin clock, like those of a clock made in the
// fabric, take it over the general routing, whatever their kind.
HOST_API void refresh_global_pin_clocks();
// A clock input fed by a pin clock that has a global network.
HOST_API bool on_global_network(const VOK_ATOM_ITERM* sink);
HOST_API void target_elements(const GRAPH& g, const SITE& s, const VOK_ATOM_ITERM* sink, std::vector<unsigned>& out);
// True for a connection that is routed through the fabric (see above).
HOST_API bool is_routable(const GRAPH& g, const VOK_ATOM_OTERM* driver, const VOK_ATOM_ITERM* sink);
// A register placed in a pipeline slot (its data input ends at the slot).
inline bool is_slot_data_input(const SITE& s, int port_type) { return s.slot && port_type == 20; }

}  // namespace host::korrin
