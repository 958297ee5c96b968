// The stand-in routing graph: generation from the DeviceSpec and the host's
// queries on it.
#include "wump/wump_route_info.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>

#include "dev/dev_family.h"
#include "pelk/pelk_symbol.h"

namespace {

constexpr int WIRE_LENGTHS[2] = {1, 4};
constexpr int LAB_DATA_INPUTS = 80;
constexpr int LAB_CTRL_FIRST = 140;  // control inputs 140..179 (pipeline slots 60..99 of a LAB)
constexpr int LAB_CTRL_INPUTS = 40;
constexpr int LAB_CLOCK_FIRST = 180;  // clock inputs 180..181
constexpr int LAB_CLOCK_INPUTS = 2;
constexpr int LAB_OUTPUTS = 40;
constexpr int LAB_FEEDBACK_LINES = 10;
constexpr int BLOCK_INPUTS = 8;
constexpr int BLOCK_OUTPUTS = 4;
constexpr int GLOBAL_CLOCKS = 4;
constexpr int ROW_SEGMENT = WUMP_ROW_SEGMENT;


}  // namespace

int wump_lab_output_offset(int family) {
  switch (family) {
    case 48:
    case 15: return 90;
    case 26: return 89;
    default: return 94;
  }
}

struct WUMP_GRAPH_BUILDER {
  const DeviceSpec& spec;
  const DEV_GRID& grid;
  WUMP_ROUTE_INFO& info;
  bool slots;
  int cx;
  std::map<std::uint64_t, unsigned> record_ids;
  // Per tile kind (index by DEV_TILE_KIND) the own-element records.
  std::vector<WUMP_ROUTE_ELEMENT_RECORD> own[7];
  // Per tile kind: for each wire, the local indices (after the wires) of the
  // elements that take it as an input.
  std::vector<std::vector<int>> listeners[7];
  // Wires per tile: 4 directions x 2 lengths x `tracks`.
  int tracks;
  int wires;

  WUMP_GRAPH_BUILDER(const DeviceSpec& s, const DEV_GRID& g, WUMP_ROUTE_INFO& i)
      : spec(s),
        grid(g),
        info(i),
        slots(dev_family_row(s.family).zota_check0_routing_slots),
        cx(g.nx() / 2),
        tracks(std::max(1, s.routing_tracks)),
        wires(8 * std::max(1, s.routing_tracks)) {
    for (auto& l : listeners) l.resize(static_cast<size_t>(wires));
    info.m_nx = grid.nx();
    info.m_ny = grid.ny();
    info.m_lab_output_offset = wump_lab_output_offset(spec.family);
    info.m_pad_output_base = std::max(4, grid.pins_per_pad_tile());
    info.m_grid = &grid;
  }

  // Index of the wire of direction d, length index l and track t.
  int wire_index(int d, int l, int t) const { return d * 2 * tracks + l * tracks + t; }

  static std::uint64_t key(const WUMP_ROUTE_ELEMENT_RECORD& r) {
    return (std::uint64_t(r.kind) << 48) | (std::uint64_t(r.sub_location) << 32) | (std::uint64_t(r.index) << 16) |
           (std::uint64_t(r.length) << 8) | r.flags;
  }
  unsigned record_of(const WUMP_ROUTE_ELEMENT_RECORD& r) {
    auto [it, inserted] = record_ids.emplace(key(r), static_cast<unsigned>(info.m_element_table.size()));
    if (inserted) info.m_element_table.push_back(r);
    return it->second;
  }
  static WUMP_ROUTE_ELEMENT_RECORD rec(int kind, int index, int flags = 0, int length = 0) {
    return WUMP_ROUTE_ELEMENT_RECORD{static_cast<std::uint16_t>(kind), 0, static_cast<std::uint16_t>(index),
                                     static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(flags)};
  }

  void make_layouts() {
    const int in = WUMP_RECORD_INPUT;
    const int slot = slots ? WUMP_RECORD_PIPELINE_SLOT : 0;
    auto& lab = own[static_cast<int>(DEV_TILE_KIND::LAB)];
    auto listen = [&](DEV_TILE_KIND k, int wire) {
      listeners[static_cast<int>(k)][wire].push_back(static_cast<int>(own[static_cast<int>(k)].size()) - 1);
    };
    for (int i = 0; i < LAB_DATA_INPUTS; ++i) {
      lab.push_back(rec(dev_kind::LAB_RE, i, in | slot));
      listen(DEV_TILE_KIND::LAB, i % wires);
      listen(DEV_TILE_KIND::LAB, (i + wires / 2 + i / wires) % wires);
    }
    for (int j = 0; j < LAB_CTRL_INPUTS; ++j) {
      lab.push_back(rec(dev_kind::LAB_RE, LAB_CTRL_FIRST + j, in | slot));
      listen(DEV_TILE_KIND::LAB, (j * 3) % wires);
      listen(DEV_TILE_KIND::LAB, (j * 3 + 5) % wires);
    }
    for (int c = 0; c < LAB_CLOCK_INPUTS; ++c) lab.push_back(rec(dev_kind::LAB_RE, LAB_CLOCK_FIRST + c, in));
    for (int d = 0; d < LAB_OUTPUTS; ++d) lab.push_back(rec(dev_kind::LAB_RE, info.m_lab_output_offset + d));
    for (int k = 0; k < LAB_FEEDBACK_LINES; ++k) lab.push_back(rec(dev_kind::LAB_FEEDBACK, k));
    for (DEV_TILE_KIND k : {DEV_TILE_KIND::DSP, DEV_TILE_KIND::DSP_UPPER, DEV_TILE_KIND::RAM}) {
      auto& v = own[static_cast<int>(k)];
      for (int m = 0; m < BLOCK_INPUTS; ++m) {
        v.push_back(rec(dev_kind::BLOCK_INPUT, m, in));
        listen(k, 2 * m);
        listen(k, 2 * m + 1);
      }
      for (int m = 0; m < BLOCK_OUTPUTS; ++m) v.push_back(rec(dev_kind::BLOCK_OUTPUT, m));
    }
    // Input port q has index q, output port q index out_base + q.
    auto ports = [&](DEV_TILE_KIND k, int n, int out_base) {
      auto& v = own[static_cast<int>(k)];
      for (int q = 0; q < n; ++q) v.push_back(rec(dev_kind::ICD_PORT, q, in));  // reached through a chain
      for (int q = 0; q < n; ++q) v.push_back(rec(dev_kind::ICD_PORT, out_base + q));
      for (int q = 0; q < n; ++q) v.push_back(rec(dev_kind::PERIPHERY_OUTPUT, q));
    };
    ports(DEV_TILE_KIND::PAD, grid.pins_per_pad_tile(), info.m_pad_output_base);
    ports(DEV_TILE_KIND::PERIPHERY, 4, 4);
    add_interface_chains();
    // A pin's ports reach the fabric through one interface element each way;
    // the input one listens to the pin's wires. Then each pin's clock input.
    auto& pad = own[static_cast<int>(DEV_TILE_KIND::PAD)];
    const int pins = grid.pins_per_pad_tile();
    for (int q = 0; q < pins; ++q) pad.push_back(rec(dev_kind::PERIPHERY_INTERFACE, PAD_OUT_CHAIN + q));
    for (int q = 0; q < pins; ++q) {
      pad.push_back(rec(dev_kind::PERIPHERY_INTERFACE, PAD_IN_CHAIN + q, in));
      for (int w = 0; w < wires; ++w)
        if (w % pins == q) listen(DEV_TILE_KIND::PAD, w);
    }
    for (int q = 0; q < pins; ++q) pad.push_back(rec(dev_kind::PIN_CLOCK_INPUT, q));
    for (int j = 0; j < 2; ++j) own[static_cast<int>(DEV_TILE_KIND::PLL)].push_back(rec(dev_kind::PERIPHERY_OUTPUT, j));
  }

  int own_count(DEV_TILE_KIND k) const { return static_cast<int>(own[static_cast<int>(k)].size()); }
  bool has_taps(int x) const { return x == cx; }
  bool inner_row(int y) const { return y >= 1 && y <= grid.ny() - 2; }
  bool has_pmux(int x, int y) const { return slots && inner_row(y) && x >= 1 && x <= grid.nx() - 2 && (x - 1) % ROW_SEGMENT == 0; }
  size_t tile(int x, int y) const { return static_cast<size_t>(y) * static_cast<size_t>(grid.nx()) + static_cast<size_t>(x); }
  unsigned id_at(int x, int y, int local) const { return info.m_tile_first[tile(x, y)] + static_cast<unsigned>(local); }
  unsigned wire_id(int x, int y, int w) const { return id_at(x, y, w); }
  unsigned own_id(int x, int y, int local) const { return id_at(x, y, wires + local); }
  unsigned tap_id(int g, int y) const { return own_id(cx, y, own_count(grid.tile_kind(cx, y)) + g); }
  unsigned pmux_id(int g, int x, int y) const {
    return own_id(x, y, own_count(grid.tile_kind(x, y)) + (has_taps(x) ? GLOBAL_CLOCKS : 0) + g);
  }
  // Local index (among own elements) of a LAB's clock input c.
  int lab_clock_local(int c) const { return LAB_DATA_INPUTS + LAB_CTRL_INPUTS + c; }

  void make_elements() {
    const int nx = grid.nx(), ny = grid.ny();
    info.m_tile_first.reserve(static_cast<size_t>(nx) * static_cast<size_t>(ny) + 1);
    std::vector<unsigned> wire_records(static_cast<size_t>(wires));
    // With wire slots, a LAB tile's long wires are slots (records of their own).
    std::vector<unsigned> lab_wire_records(static_cast<size_t>(wires));
    const bool wire_slots = slots && spec.wire_pipeline_slots;
    for (int d = 0; d < 4; ++d)
      for (int l = 0; l < 2; ++l)
        for (int t = 0; t < tracks; ++t) {
          const int w = wire_index(d, l, t);
          const int flags = static_cast<int>(static_cast<unsigned>(d) << WUMP_RECORD_DIRECTION_SHIFT);
          const int kind = d < 2 ? dev_kind::H_WIRE : dev_kind::V_WIRE;
          wire_records[static_cast<size_t>(w)] = record_of(rec(kind, w, flags, WIRE_LENGTHS[l]));
          lab_wire_records[static_cast<size_t>(w)] =
              wire_slots && l == 1 ? record_of(rec(kind, w, flags | WUMP_RECORD_PIPELINE_SLOT, WIRE_LENGTHS[l]))
                                   : wire_records[static_cast<size_t>(w)];
        }
    std::vector<unsigned> own_records[7];
    for (int k = 0; k < 7; ++k)
      for (const auto& r : own[k]) own_records[k].push_back(record_of(r));
    unsigned tap_records[GLOBAL_CLOCKS], pmux_records[GLOBAL_CLOCKS];
    for (int g = 0; g < GLOBAL_CLOCKS; ++g) {
      tap_records[g] = record_of(rec(dev_kind::GLOBAL_CLOCK, g));
      pmux_records[g] = record_of(rec(dev_kind::PMUX, g));
    }
    // The exact count first: the element list is kept for the whole run.
    std::size_t count = 0;
    for (int y = 0; y < ny; ++y)
      for (int x = 0; x < nx; ++x)
        count += wire_records.size() + own_records[static_cast<int>(grid.tile_kind(x, y))].size() +
                 (has_taps(x) ? GLOBAL_CLOCKS : 0) + (has_pmux(x, y) ? GLOBAL_CLOCKS : 0);
    info.m_elements.reserve(count);
    for (int y = 0; y < ny; ++y) {
      for (int x = 0; x < nx; ++x) {
        info.m_tile_first.push_back(static_cast<unsigned>(info.m_elements.size()));
        auto add = [&](unsigned record) {
          WUMP_ROUTE_ELEMENT e;
          e.m_id = static_cast<unsigned>(info.m_elements.size());
          e.m_record = record;
          e.m_x = static_cast<std::uint16_t>(x);
          e.m_y = static_cast<std::uint16_t>(y);
          info.m_elements.push_back(e);
        };
        for (unsigned r : grid.tile_kind(x, y) == DEV_TILE_KIND::LAB ? lab_wire_records : wire_records) add(r);
        for (unsigned r : own_records[static_cast<int>(grid.tile_kind(x, y))]) add(r);
        if (has_taps(x))
          for (unsigned r : tap_records) add(r);
        if (has_pmux(x, y))
          for (unsigned r : pmux_records) add(r);
      }
    }
    info.m_tile_first.push_back(static_cast<unsigned>(info.m_elements.size()));
  }

  struct OUT {
    unsigned to;
    std::uint8_t flags;
  };

  void wire_fanouts(int x, int y, int w, std::vector<OUT>& out) const {
    const int d = w / (2 * tracks), l = (w / tracks) % 2, t = w % tracks;
    static const int dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
    const int len = WIRE_LENGTHS[l];
    int steps = len;
    while (steps > 0 && !grid.in_grid(x + dx[d] * steps, y + dy[d] * steps)) --steps;
    const int ex = x + dx[d] * steps, ey = y + dy[d] * steps;
    if (steps > 0) {
      out.push_back({wire_id(ex, ey, wire_index(d, l, t)), 0});
      out.push_back({wire_id(ex, ey, wire_index(d, 1 - l, t)), 0});
    }
    const int p0 = d < 2 ? 2 : 0;
    out.push_back({wire_id(ex, ey, wire_index(p0, 0, (t + 1) % tracks)), 0});
    out.push_back({wire_id(ex, ey, wire_index(p0 + 1, 0, (t + 1) % tracks)), 0});
    for (int local : listeners[static_cast<int>(grid.tile_kind(x, y))][static_cast<size_t>(w)])
      out.push_back({own_id(x, y, local), 0});
    if (grid.in_grid(x, y + 1) && grid.tile_kind(x, y + 1) == DEV_TILE_KIND::PERIPHERY)
      out.push_back({own_id(x, y + 1, in_chain_local(w % 4, chain_length(w % 4) - 1)), 0});
    // A pad's input interface elements also listen to the tile inside it.
    const int pins = grid.pins_per_pad_tile();
    for (const auto& [px, py] : {std::pair{x - 1, y}, std::pair{x + 1, y}, std::pair{x, y - 1}, std::pair{x, y + 1}})
      if (grid.in_grid(px, py) && grid.tile_kind(px, py) == DEV_TILE_KIND::PAD && inward(px, py) == std::pair{x, y})
        out.push_back({own_id(px, py, 4 * pins + w % pins), 0});
    // A long wire also reaches the short wire one tile before its end; that
    // edge duplicates the path through the short wires.
    if (steps > 1) out.push_back({wire_id(ex - dx[d], ey - dy[d], wire_index(d, 0, t)), WUMP_EDGE_REDUNDANT});
  }

  // The tile next to a pad tile, toward the inside of the ring.
  std::pair<int, int> inward(int x, int y) const {
    if (x == 0) return {1, y};
    if (x == grid.nx() - 1) return {x - 1, y};
    if (y == 0) return {x, 1};
    return {x, y - 1};
  }

  // Every network reaches both clock inputs of a LAB, so that the two clocks
  // a LAB may hold can each have one whatever networks they came by.
  void clock_inputs_of_row(int g, int y, int x0, int x1, std::vector<OUT>& out) const {
    (void)g;
    for (int x = x0; x <= x1; ++x)
      if (grid.tile_kind(x, y) == DEV_TILE_KIND::LAB)
        for (int c = 0; c < LAB_CLOCK_INPUTS; ++c) out.push_back({own_id(x, y, lab_clock_local(c)), 0});
  }

  void own_fanouts(int x, int y, int local, std::vector<OUT>& out) const {
    const DEV_TILE_KIND kind = grid.tile_kind(x, y);
    const int count = own_count(kind);
    if (local >= count) {
      const int extra = local - count;
      if (has_taps(x) && extra < GLOBAL_CLOCKS) {  // spine tap g of row y
        const int g = extra;
        if (y + 1 < grid.ny()) out.push_back({tap_id(g, y + 1), 0});
        if (!inner_row(y)) return;
        if (slots) {
          for (int sx = 1; sx <= grid.nx() - 2; sx += ROW_SEGMENT) out.push_back({pmux_id(g, sx, y), 0});
        } else {
          clock_inputs_of_row(g, y, 1, grid.nx() - 2, out);
        }
        return;
      }
      const int g = extra - (has_taps(x) ? GLOBAL_CLOCKS : 0);  // PMUX g of the segment starting at x
      clock_inputs_of_row(g, y, x, std::min(x + ROW_SEGMENT - 1, grid.nx() - 2), out);
      return;
    }
    const WUMP_ROUTE_ELEMENT_RECORD& r = own[static_cast<int>(kind)][static_cast<size_t>(local)];
    switch (r.kind) {
      case dev_kind::LAB_RE:
        if (r.flags & WUMP_RECORD_INPUT) return;
        {
          const int d = r.index - info.m_lab_output_offset;
          out.push_back({wire_id(x, y, d % wires), 0});
          out.push_back({wire_id(x, y, (d + 5) % wires), 0});
          out.push_back({own_id(x, y, LAB_DATA_INPUTS + LAB_CTRL_INPUTS + LAB_CLOCK_INPUTS + LAB_OUTPUTS + d / 4), 0});
        }
        return;
      case dev_kind::LAB_FEEDBACK:
        for (int i = r.index; i < LAB_DATA_INPUTS; i += LAB_FEEDBACK_LINES) out.push_back({own_id(x, y, i), 0});
        return;
      case dev_kind::BLOCK_OUTPUT:
        for (int k = 0; k < 4; ++k) out.push_back({wire_id(x, y, (r.index * 4 + k) % wires), 0});
        return;
      case dev_kind::ICD_PORT: {
        const bool pad = kind == DEV_TILE_KIND::PAD;
        const int n = pad ? grid.pins_per_pad_tile() : 4;
        if (r.flags & WUMP_RECORD_INPUT) {
          // A periphery block passes its input port on to its output port; a
          // pad's input port ends there.
          if (kind == DEV_TILE_KIND::PERIPHERY) out.push_back({own_id(x, y, n + r.index), WUMP_EDGE_VIRTUAL});
          return;
        }
        out.push_back({own_id(x, y, 2 * n + (r.index - (pad ? info.m_pad_output_base : 4))), 0});
        return;
      }
      case dev_kind::PERIPHERY_INTERFACE: interface_fanouts(x, y, r, out); return;
      case dev_kind::PERIPHERY_OUTPUT: {
        if (kind == DEV_TILE_KIND::PERIPHERY) {
          out.push_back({own_id(x, y, out_chain_local(r.index, 1)), 0});
          return;
        }
        if (kind == DEV_TILE_KIND::PLL) {
          const int pll = (x == 0 ? 0 : 1) + (y == 0 ? 0 : 2);
          out.push_back({tap_id((2 * pll + r.index) % GLOBAL_CLOCKS, 0), 0});
          return;
        }
        if (kind == DEV_TILE_KIND::PAD) {
          // On to the pin's interface element and its clock input.
          const int pins = grid.pins_per_pad_tile();
          out.push_back({own_id(x, y, 3 * pins + r.index), 0});
          out.push_back({own_id(x, y, 5 * pins + r.index), 0});
          return;
        }
        for (int k = 0; k < 4; ++k) out.push_back({wire_id(x, y, (r.index * 4 + k) % wires), 0});
        return;
      }
      case dev_kind::PIN_CLOCK_INPUT:
        // A pin is also a clock input: it drives the root of each global
        // clock network, as a PLL output does.
        for (int g = 0; g < GLOBAL_CLOCKS; ++g) out.push_back({tap_id(g, 0), 0});
        return;
      default: return;
    }
  }

  // ---- Periphery interface chains. A periphery block's port q reaches the
  // fabric of the row below through a single-in single-out chain of
  // chain_length(q) interface elements: output port -> periphery output (284)
  // -> 703 ... -> wires; wires -> 703 ... -> input port. Chain element k of
  // an input chain is k hops from the port. Inside edges are block-network
  // edges (graph 1), the edge to or from a wire is a core-fabric edge.
  static int chain_length(int q) { return 2 + (q & 1); }
  // Local indices in a periphery tile: 4 input ports, 4 output ports, 4
  // periphery outputs, then the output chains' 703s, then the input chains'.
  static int out_chain_local(int q, int k) { return k == 0 ? 8 + q : 12 + q + q / 2 + (k - 1); }
  static int in_chain_local(int q, int k) { return 18 + 2 * q + q / 2 + k; }
  void add_interface_chains() {
    auto& v = own[static_cast<int>(DEV_TILE_KIND::PERIPHERY)];
    for (int q = 0; q < 4; ++q)
      for (int k = 1; k < chain_length(q); ++k) v.push_back(rec(dev_kind::PERIPHERY_INTERFACE, 16 + 4 * q + k));
    for (int q = 0; q < 4; ++q)
      for (int k = 0; k < chain_length(q); ++k)
        v.push_back(rec(dev_kind::PERIPHERY_INTERFACE, 4 * q + k, WUMP_RECORD_INPUT));
  }
  // A pin's interface elements: the output one (index PAD_OUT_CHAIN + pin)
  // drives the pin's wires, the input one (PAD_IN_CHAIN + pin) its input port.
  static constexpr int PAD_IN_CHAIN = 32;
  static constexpr int PAD_OUT_CHAIN = 48;
  void interface_fanouts(int x, int y, const WUMP_ROUTE_ELEMENT_RECORD& r, std::vector<OUT>& out) const {
    if (r.index >= PAD_IN_CHAIN) {
      if (r.flags & WUMP_RECORD_INPUT) {
        out.push_back({own_id(x, y, r.index - PAD_IN_CHAIN), 0});
      } else {
        const int q = r.index - PAD_OUT_CHAIN;
        for (int k = 0; k < 4; ++k) out.push_back({wire_id(x, y, (q * 4 + k) % wires), 0});
      }
      return;
    }
    const int q = (r.index % 16) / 4, k = r.index % 4;
    if (r.flags & WUMP_RECORD_INPUT) {
      out.push_back({own_id(x, y, k == 0 ? q : in_chain_local(q, k - 1)), 0});
    } else if (k + 1 < chain_length(q)) {
      out.push_back({own_id(x, y, out_chain_local(q, k + 1)), 0});
    } else {
      for (int j = 0; j < 4; ++j) out.push_back({wire_id(x, y - 1, (q * 4 + j) % wires), 0});
    }
  }

  // Calls f(id, fanouts) for every element with fanouts, in id order.
  template <class F>
  void for_each_fanout_list(F&& f) {
    std::vector<OUT> out;
    for (int y = 0; y < grid.ny(); ++y) {
      for (int x = 0; x < grid.nx(); ++x) {
        const unsigned first = info.m_tile_first[tile(x, y)];
        const unsigned last = info.m_tile_first[tile(x, y) + 1];
        for (unsigned id = first; id < last; ++id) {
          out.clear();
          const int local = static_cast<int>(id - first);
          if (local < wires) wire_fanouts(x, y, local, out);
          else own_fanouts(x, y, local - wires, out);
          if (!out.empty()) f(id, out);
        }
      }
    }
  }

  void make_edges() {
    const unsigned n = static_cast<unsigned>(info.m_elements.size());
    std::vector<unsigned> fanin_count(n, 0);
    // The table's exact size first: it is the largest of the route info,
    // kept for the whole run.
    std::size_t entries = 0;
    for_each_fanout_list([&](unsigned, const std::vector<OUT>& out) { entries += 2 + out.size(); });
    info.m_fanout_table.reserve(entries);
    info.m_fanout_flags.reserve(entries);
    for_each_fanout_list([&](unsigned id, const std::vector<OUT>& out) {
      int ordinary = 0;
      for (const OUT& o : out) ordinary += (o.flags & WUMP_EDGE_REDUNDANT) ? 0 : 1;
      info.m_elements[id].m_fanout_range = static_cast<int>(info.m_fanout_table.size());
      info.m_fanout_table.push_back(ordinary);
      info.m_fanout_table.push_back(static_cast<int>(out.size()));
      info.m_fanout_flags.push_back(0);
      info.m_fanout_flags.push_back(0);
      for (const OUT& o : out) {
        info.m_fanout_table.push_back(static_cast<int>(o.to - id));
        info.m_fanout_flags.push_back(o.flags);
        ++fanin_count[o.to];
      }
    });
    // Fanin lists: sources in id order.
    size_t total = 0;
    for (unsigned id = 0; id < n; ++id)
      if (fanin_count[id]) total += 2 + fanin_count[id];
    info.m_fanin_table.assign(total, 0);
    std::vector<unsigned> fill(n, 0);
    size_t next = 0;
    for (unsigned id = 0; id < n; ++id) {
      if (!fanin_count[id]) continue;
      info.m_elements[id].m_fanin_range = static_cast<int>(next);
      info.m_fanin_table[next] = static_cast<int>(fanin_count[id]);
      info.m_fanin_table[next + 1] = static_cast<int>(fanin_count[id]);
      next += 2 + fanin_count[id];
    }
    for (unsigned id = 0; id < n; ++id) {
      const int r = info.m_elements[id].m_fanout_range;
      if (r < 0) continue;
      const int count = info.m_fanout_table[static_cast<size_t>(r) + 1];
      for (int p = 0; p < count; ++p) {
        const unsigned to = id + static_cast<unsigned>(info.m_fanout_table[static_cast<size_t>(r + 2 + p)]);
        const int fr = info.m_elements[to].m_fanin_range;
        info.m_fanin_table[static_cast<size_t>(fr + 2) + fill[to]++] = static_cast<int>(id - to);
      }
    }
  }
};

WUMP_ROUTE_INFO::WUMP_ROUTE_INFO() : m_graph(this) {}
WUMP_ROUTE_INFO::~WUMP_ROUTE_INFO() = default;

std::unique_ptr<WUMP_ROUTE_INFO> wump_generate_route_info(const DeviceSpec& spec, const DEV_GRID& grid) {
  auto info = std::make_unique<WUMP_ROUTE_INFO>();
  WUMP_GRAPH_BUILDER b(spec, grid, *info);
  b.make_layouts();
  b.make_elements();
  b.make_edges();
  return info;
}

// ---- queries -------------------------------------------------------------

std::size_t WUMP_ROUTE_INFO::memory_bytes() const {
  return sizeof *this + m_elements.capacity() * sizeof(WUMP_ROUTE_ELEMENT) +
         m_element_table.capacity() * sizeof(WUMP_ROUTE_ELEMENT_RECORD) + m_fanout_table.capacity() * sizeof(int) +
         m_fanout_flags.capacity() + m_fanin_table.capacity() * sizeof(int) + m_tile_first.capacity() * sizeof(unsigned);
}

const WUMP_ROUTE_ELEMENT* WUMP_ROUTE_GRAPH::get_wump_route_element(unsigned id) const {
  id &= ~WUMP_GID_BIT;
  return id < m_info->get_num_elements() ? &m_info->element(id) : nullptr;
}

unsigned WUMP_ROUTE_GRAPH::size() const { return m_info->get_num_elements(); }

int WUMP_ROUTE_GRAPH::fanout_walk_count(unsigned id) const {
  id &= ~WUMP_GID_BIT;
  const int r = m_info->element(id).get_fanout_range();
  if (r < 0) return 0;
  const int* t = m_info->get_fanout_table() + r;
  int count = m_include_redundant ? t[1] : t[0];
  if (count < 0) count = 0;
  // Same rule as the element-offset forms: a count of 1 whose element's only
  // edge is virtual walks nothing.
  if (count == 1 && t[1] == 1 && (m_info->get_fanout_edge_flags(id, 0) & WUMP_EDGE_VIRTUAL)) count = 0;
  return count;
}

int WUMP_ROUTE_GRAPH::fanin_count(unsigned id) const {
  const int r = m_info->element(id & ~WUMP_GID_BIT).get_fanin_range();
  return r < 0 ? 0 : m_info->get_fanin_table()[r + 1];
}

std::vector<unsigned> WUMP_ROUTE_GRAPH::real_fanouts(unsigned id) const {
  std::vector<unsigned> res;
  for (auto it = m_info->begin_fanout_gids(id); it != m_info->end_fanout_gids(id); ++it) res.push_back(*it & ~WUMP_GID_BIT);
  return res;
}

std::uint8_t WUMP_ROUTE_INFO::get_fanout_edge_flags(unsigned id, int position) const {
  const int r = m_elements[id & ~WUMP_GID_BIT].get_fanout_range();
  if (r < 0) return 0;
  return m_fanout_flags[static_cast<size_t>(r + 2 + position)];
}

const WUMP_KOP_REPRESENTATION& WUMP_ROUTE_INFO::get_kop() const {
  std::call_once(m_kop_once, [this] { m_kop = std::make_unique<WUMP_KOP_REPRESENTATION>(*this, false); });
  return *m_kop;
}

const WUMP_KOP_REPRESENTATION& WUMP_ROUTE_INFO::get_kop_hier() const {
  std::call_once(m_kop_hier_once, [this] { m_kop_hier = std::make_unique<WUMP_KOP_REPRESENTATION>(*this, true); });
  return *m_kop_hier;
}

const WUMP_ROUTE_ELEMENT* WUMP_ROUTE_INFO::get_element_by_gid(unsigned gid) const {
  if (gid == WUMP_ILLEGAL_GID) return nullptr;
  return m_graph.get_wump_route_element(gid);
}

DEV_ELEMENT_ENUM WUMP_ROUTE_INFO::get_dev_element_from_gid(unsigned gid) const {
  const WUMP_ROUTE_ELEMENT* e = get_element_by_gid(gid);
  return e ? static_cast<DEV_ELEMENT_ENUM>(m_element_table[e->get_record()].kind) : DEV_ELEMENT_NONE;
}

WUMP_ROUTE_NODE WUMP_ROUTE_INFO::get_route_node_of(unsigned gid) const {
  WUMP_ROUTE_NODE n;
  const WUMP_ROUTE_ELEMENT* e = get_element_by_gid(gid);
  if (!e) return n;
  const WUMP_ROUTE_ELEMENT_RECORD& r = m_element_table[e->get_record()];
  n.element_type = static_cast<DEV_ELEMENT_ENUM>(r.kind);
  n.x = e->get_x();
  n.y = e->get_y();
  n.sub_location = r.sub_location;
  n.index = r.index;
  n.length = r.length;
  n.flags = r.flags;
  return n;
}

unsigned WUMP_ROUTE_INFO::get_gid_from_route_node(const WUMP_ROUTE_NODE& node) const {
  if (node.x < 0 || node.y < 0 || node.x >= m_nx || node.y >= m_ny) return WUMP_ILLEGAL_GID;
  const size_t t = static_cast<size_t>(node.y) * static_cast<size_t>(m_nx) + static_cast<size_t>(node.x);
  for (unsigned id = m_tile_first[t]; id < m_tile_first[t + 1]; ++id) {
    const WUMP_ROUTE_ELEMENT_RECORD& r = m_element_table[m_elements[id].get_record()];
    if (r.kind == node.element_type && r.index == node.index && r.sub_location == node.sub_location) return id | WUMP_GID_BIT;
  }
  return WUMP_ILLEGAL_GID;
}

unsigned WUMP_ROUTE_INFO::get_gid(int kind, int x, int y, int index) const {
  WUMP_ROUTE_NODE n;
  n.element_type = static_cast<DEV_ELEMENT_ENUM>(kind);
  n.x = x;
  n.y = y;
  n.index = index;
  return get_gid_from_route_node(n);
}

WUMP_DETAIL::ROUTE_GID_ITER::ROUTE_GID_ITER(const WUMP_ROUTE_INFO* info, unsigned id, int position, bool fanin)
    : m_info(info), m_id(id & ~WUMP_GID_BIT), m_position(position), m_fanin(fanin) {
  const WUMP_ROUTE_ELEMENT& e = info->element(m_id);
  const int r = fanin ? e.get_fanin_range() : e.get_fanout_range();
  m_count = r < 0 ? 0 : (fanin ? info->get_fanin_table() : info->get_fanout_table())[r + 1];
  if (m_position > m_count) m_position = m_count;
  skip_virtual();
}

WUMP_FORWARD_ITERATOR_IMPL<unsigned>* WUMP_DETAIL::ROUTE_GID_ITER::clone() const { return new ROUTE_GID_ITER(*this); }

void WUMP_DETAIL::ROUTE_GID_ITER::skip_virtual() {
  if (m_fanin) return;
  while (m_position < m_count && (m_info->get_fanout_edge_flags(m_id, m_position) & WUMP_EDGE_VIRTUAL)) ++m_position;
}

unsigned WUMP_DETAIL::ROUTE_GID_ITER::operator*() const {
  const WUMP_ROUTE_ELEMENT& e = m_info->element(m_id);
  const int r = m_fanin ? e.get_fanin_range() : e.get_fanout_range();
  const int* t = (m_fanin ? m_info->get_fanin_table() : m_info->get_fanout_table()) + r;
  return (m_id + static_cast<unsigned>(t[2 + m_position])) | WUMP_GID_BIT;
}

WUMP_DETAIL::ROUTE_GID_ITER& WUMP_DETAIL::ROUTE_GID_ITER::operator++() {
  ++m_position;
  skip_virtual();
  return *this;
}

WUMP_DETAIL::ROUTE_FANOUT_GID_ITER WUMP_ROUTE_INFO::begin_fanout_gids(unsigned gid) const { return {this, gid, 0, false}; }
WUMP_DETAIL::ROUTE_FANOUT_GID_ITER WUMP_ROUTE_INFO::end_fanout_gids(unsigned gid) const { return {this, gid, 1 << 30, false}; }
WUMP_DETAIL::ROUTE_FANIN_GID_ITER WUMP_ROUTE_INFO::begin_fanin_gids(unsigned gid) const { return {this, gid, 0, true}; }
WUMP_DETAIL::ROUTE_FANIN_GID_ITER WUMP_ROUTE_INFO::end_fanin_gids(unsigned gid) const { return {this, gid, 1 << 30, true}; }

std::vector<unsigned> WUMP_ROUTE_INFO::gids(int kind) const {
  std::vector<unsigned> res;
  for (unsigned id = 0; id < m_elements.size(); ++id)
    if (m_element_table[m_elements[id].get_record()].kind == kind) res.push_back(id | WUMP_GID_BIT);
  return res;
}

WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR<false> WUMP_ROUTE_INFO::begin_elements() const {
  return WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR<false>(this, 0, WUMP_ROUTE_INFO_SINGLETON_MANAGER::get().get_active().mode);
}

WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR<false> WUMP_ROUTE_INFO::end_elements() const {
  return WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR<false>(this, get_num_elements(),
                                                  WUMP_ROUTE_INFO_SINGLETON_MANAGER::get().get_active().mode);
}

int WUMP_ROUTE_INFO::get_top_level_graph_from_edge(unsigned from_gid, unsigned to_gid, int) const {
  if (!m_edge_graphs.empty()) {
    auto it = m_edge_graphs.find((std::uint64_t(from_gid) << 32) | to_gid);
    if (it != m_edge_graphs.end()) return it->second;
  }
  if (get_dev_element_from_gid(from_gid) == dev_kind::PERIPHERY_INTERFACE &&
      get_dev_element_from_gid(to_gid) == dev_kind::PERIPHERY_INTERFACE)
    return 1;
  int graph = 2;
  for (unsigned gid : {from_gid, to_gid}) {
    switch (static_cast<int>(get_dev_element_from_gid(gid))) {
      case dev_kind::BLOCK_OUTPUT:
      case dev_kind::PERIPHERY_OUTPUT:
      case dev_kind::ICD_PORT: return 1;
      case dev_kind::GLOBAL_CLOCK:
      case dev_kind::PMUX: graph = 3; break;
      default: break;
    }
  }
  return graph;
}

std::uint64_t WUMP_ROUTE_INFO::get_location(unsigned gid, int) const {
  const WUMP_ROUTE_ELEMENT* e = get_element_by_gid(gid);
  if (!e) return ~std::uint64_t{0};
  return (std::uint64_t(static_cast<unsigned>(e->get_y())) << 32) | static_cast<unsigned>(e->get_x());
}

std::string WUMP_ROUTE_INFO::get_port_name(int kind, int index) const {
  char buf[64];
  if (kind == dev_kind::LAB_RE) {
    if (index >= 0 && index < LAB_DATA_INPUTS) std::snprintf(buf, sizeof buf, "LABIN[%d]", index);
    else if (index >= LAB_CTRL_FIRST && index < LAB_CTRL_FIRST + LAB_CTRL_INPUTS) std::snprintf(buf, sizeof buf, "LABCTRL[%d]", index - LAB_CTRL_FIRST);
    else if (index >= LAB_CLOCK_FIRST && index < LAB_CLOCK_FIRST + LAB_CLOCK_INPUTS) std::snprintf(buf, sizeof buf, "LABCLK[%d]", index - LAB_CLOCK_FIRST);
    else if (index >= m_lab_output_offset && index < m_lab_output_offset + LAB_OUTPUTS) {
      const int k = index - m_lab_output_offset;
      std::snprintf(buf, sizeof buf, k < 20 ? "LABOUTT[%d]" : "LABOUTB[%d]", k % 20);
    } else return "";
    return buf;
  }
  if (kind == dev_kind::ICD_PORT) {
    std::snprintf(buf, sizeof buf, index < 4 ? "in[%d]" : "out[%d]", index % 4);
    return buf;
  }
  std::snprintf(buf, sizeof buf, "I%d", index);
  return buf;
}

std::string WUMP_ROUTE_INFO::icd_port_name(const WUMP_ROUTE_ELEMENT_RECORD& r, bool pad) const {
  const bool input = r.flags & WUMP_RECORD_INPUT;
  const int q = input ? r.index : r.index - (pad ? m_pad_output_base : 4);
  return (input ? "in[" : "out[") + std::to_string(q) + "]";
}

unsigned WUMP_ROUTE_INFO::get_block_icd_port_gid(unsigned place_block_gid, int blc_port_type, const std::string& name) const {
  if (!m_grid || place_block_gid >= m_grid->sites().size() || blc_port_type < 1 || blc_port_type > 3)
    return WUMP_ILLEGAL_GID;
  const DEV_SITE& site = m_grid->sites()[place_block_gid];
  const DEV_TILE_KIND tile = m_grid->tile_kind(site.x, site.y);
  if (tile != DEV_TILE_KIND::PAD && tile != DEV_TILE_KIND::PERIPHERY) return WUMP_ILLEGAL_GID;
  // A pad's ports belong to its pin; a periphery block owns all four.
  const int pin = tile == DEV_TILE_KIND::PAD ? site.z / DEV_GRID::SITES_PER_PIN : -1;
  const size_t t = static_cast<size_t>(site.y) * static_cast<size_t>(m_nx) + site.x;
  for (unsigned id = m_tile_first[t]; id < m_tile_first[t + 1]; ++id) {
    const WUMP_ROUTE_ELEMENT_RECORD& r = m_element_table[m_elements[id].get_record()];
    if (r.kind != dev_kind::ICD_PORT) continue;
    const bool input = r.flags & WUMP_RECORD_INPUT;
    if ((blc_port_type != 3 && input != (blc_port_type == 1)) ||
        (pin >= 0 && r.index - (input ? 0 : m_pad_output_base) != pin))
      continue;
    if (icd_port_name(r, pin >= 0) == name) return id | WUMP_GID_BIT;
  }
  return WUMP_ILLEGAL_GID;
}

void WUMP_ROUTE_INFO::get_name(unsigned gid, std::string& name) const {
  const WUMP_ROUTE_ELEMENT* e = get_element_by_gid(gid);
  if (!e) {
    name.clear();
    return;
  }
  const WUMP_ROUTE_ELEMENT_RECORD& r = m_element_table[e->get_record()];
  char buf[128];
  const bool pad_port = r.kind == dev_kind::ICD_PORT && m_grid && m_grid->tile_kind(e->get_x(), e->get_y()) == DEV_TILE_KIND::PAD;
  std::snprintf(buf, sizeof buf, "%s_X%dY%d_%s", puve_enum_to_symbol(static_cast<DEV_ELEMENT_ENUM>(r.kind)).cname(),
                e->get_x(), e->get_y(), (pad_port ? icd_port_name(r, true) : get_port_name(r.kind, r.index)).c_str());
  name = buf;
}

std::string WUMP_ROUTE_INFO::get_name(unsigned gid) const {
  std::string s;
  get_name(gid, s);
  return s;
}

bool WUMP_ROUTE_INFO::is_zota_gid(unsigned gid) const {
  if (!(gid & WUMP_GID_BIT) || gid == WUMP_ILLEGAL_GID) return false;
  const WUMP_ROUTE_ELEMENT* e = get_element_by_gid(gid);
  return e && (m_element_table[e->get_record()].flags & WUMP_RECORD_PIPELINE_SLOT);
}

double WUMP_ROUTE_INFO::get_hop_delay_ps(unsigned gid, double corner_scale) const {
  const WUMP_ROUTE_ELEMENT* e = get_element_by_gid(gid);
  if (!e) return 0.0;
  const WUMP_ROUTE_ELEMENT_RECORD& r = m_element_table[e->get_record()];
  double ps = 30.0;
  switch (r.kind) {
    case dev_kind::H_WIRE:
    case dev_kind::V_WIRE: ps = 40.0 + 30.0 * r.length; break;
    case dev_kind::LAB_RE:
    case dev_kind::BLOCK_INPUT: ps = 35.0; break;
    case dev_kind::LAB_FEEDBACK: ps = 20.0; break;
    case dev_kind::ICD_PORT: ps = 15.0; break;
    case dev_kind::GLOBAL_CLOCK:
      // A balanced tree per network: the root's tap (row 0) carries the
      // whole insertion delay, and the taps above it none, so every row's
      // tap is reached at once (see wump_clock_insertion_ps).
      ps = e->get_y() == 0 ? wump_clock_insertion_ps(m_ny) : 0.0;
      break;
    case dev_kind::PMUX: ps = 45.0; break;
    default: break;
  }
  return ps * corner_scale;
}

// ---- element-offset representations ---------------------------------------

WUMP_KOP_REPRESENTATION::WUMP_KOP_REPRESENTATION(const WUMP_ROUTE_INFO& info, bool hierarchical)
    : m_info(&info), m_hierarchical(hierarchical), m_boundary_id(info.get_num_elements()) {
  const unsigned n = info.get_num_elements();
  m_elements.resize(n);
  m_offsets.reserve(info.m_fanout_table.size());
  const int tiles = info.m_nx * info.m_ny;
  for (int t = 0; t < tiles; ++t) {
    const unsigned base = info.m_tile_first[static_cast<size_t>(t)];
    const unsigned end = info.m_tile_first[static_cast<size_t>(t) + 1];
    for (unsigned id = base; id < end; ++id) {
      const WUMP_ROUTE_ELEMENT& e = info.m_elements[id];
      const WUMP_ROUTE_ELEMENT_RECORD& r = info.m_element_table[e.get_record()];
      WUMP_ROUTE_ELEMENT_KOP& k = m_elements[id];
      k.m_rep = this;
      k.m_id = id;
      k.m_base_id = base;
      k.m_offsets_begin = static_cast<unsigned>(m_offsets.size());
      k.m_kind = r.kind;
      k.m_index = r.index;
      k.m_x = static_cast<std::uint16_t>(e.get_x());
      k.m_y = static_cast<std::uint16_t>(e.get_y());
      k.m_sub = r.sub_location;
      k.m_length = r.length;
      k.m_flags = r.flags;
      const int fr = e.get_fanout_range();
      if (fr < 0) continue;
      const int* f = info.m_fanout_table.data() + fr;
      k.m_count = static_cast<std::uint16_t>(f[0]);
      k.m_count_incl = static_cast<std::uint16_t>(f[1]);
      k.m_only_virtual = f[1] == 1 && (info.m_fanout_flags[static_cast<size_t>(fr) + 2] & WUMP_EDGE_VIRTUAL);
      for (int p = 0; p < f[1]; ++p) {
        const unsigned to = id + static_cast<unsigned>(f[2 + p]);
        if (hierarchical && (to < base || to >= end)) {
          m_offsets.push_back(static_cast<int>(m_boundary_id + static_cast<unsigned>(m_boundary_targets.size()) - base));
          m_boundary_targets.push_back(to);
        } else {
          m_offsets.push_back(static_cast<int>(to - base));
        }
      }
    }
  }
}

unsigned WUMP_KOP_REPRESENTATION::push_boundary_node_up_hierarchy(unsigned id) const {
  return id >= m_boundary_id ? m_boundary_targets.at(id - m_boundary_id) : id;
}

unsigned WUMP_ROUTE_ELEMENT_KOP_HIER::push_boundary_node_up_hierarchy(unsigned id) const {
  return m_rep->push_boundary_node_up_hierarchy(id);
}

WUMP_ROUTE_NODE WUMP_ROUTE_ELEMENT_KOP::get_route_node() const {
  WUMP_ROUTE_NODE n;
  n.element_type = static_cast<DEV_ELEMENT_ENUM>(m_kind);
  n.x = m_x;
  n.y = m_y;
  n.sub_location = m_sub;
  n.index = m_index;
  n.length = m_length;
  n.flags = m_flags;
  return n;
}

WUMP_KOP_OFFSET_ARRAY WUMP_ROUTE_ELEMENT_KOP::get_kop_offset_array() const {
  WUMP_KOP_OFFSET_ARRAY a;
  a.offsets = m_rep->m_offsets.data() + m_offsets_begin;
  a.base_id = m_base_id;
  a.count = m_count;
  a.count_incl_redundant = m_count_incl;
  a.boundary_id = m_rep->is_hierarchical() ? m_rep->boundary_id() : WUMP_ILLEGAL_GID;
  return a;
}

unsigned WUMP_ROUTE_ELEMENT_KOP::get_fanout_incl_purely_redundant_edges(int position) const {
  const unsigned to = m_base_id + static_cast<unsigned>(m_rep->m_offsets[m_offsets_begin + static_cast<unsigned>(position)]);
  return m_rep->push_boundary_node_up_hierarchy(to);
}

unsigned WUMP_ROUTE_ELEMENT_KOP::get_fanin(int position) const {
  const WUMP_ROUTE_INFO& info = *m_rep->m_info;
  const int r = info.element(m_id).get_fanin_range();
  return m_id + static_cast<unsigned>(info.get_fanin_table()[r + 2 + position]);
}

std::string WUMP_ROUTE_INFO::get_element_description(int kind, int sub_location) const {
  return std::string(puve_enum_to_symbol(static_cast<DEV_ELEMENT_ENUM>(kind)).cname()) + " sub-location " +
         std::to_string(sub_location);
}
