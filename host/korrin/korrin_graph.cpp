#include "korrin/korrin_graph.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>

#include "common/host_world.h"
#include "dev/dev_grid.h"
#include "dev/dev_spec.h"
#include "vok/vok_atom_netlist.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

namespace host::korrin {

GRAPH::GRAPH(const WUMP_DIE_INFO* die) : m_info(die->get_route_info()) {
  const WUMP_ROUTE_INFO& info = *m_info;
  const DEV_GRID& grid = die->get_place_info()->get_grid();
  m_n = info.get_num_elements();
  m_nx = grid.nx();
  m_ny = grid.ny();
  m_tiles.resize(static_cast<std::size_t>(m_nx) * static_cast<std::size_t>(m_ny));
  m_fo_table = info.get_fanout_table();
  m_fi_table = info.get_fanin_table();
  m_elems = m_n ? &info.element(0) : nullptr;
  m_nodes.resize(m_n);
  for (unsigned id = 0; id < m_n; ++id) {
    const WUMP_ROUTE_ELEMENT& e = info.element(id);
    NODE& node = m_nodes[id];
    node.fanouts = e.get_fanout_range();
    // Virtual edges are read in place, so one may only be an element's sole
    // edge (as the generator makes them): then the element has no fanouts.
    if (const int r = e.get_fanout_range(); r >= 0) {
      const int count = m_fo_table[r + 1];
      for (int p = 0; p < count; ++p)
        if (info.get_fanout_edge_flags(id, p) & WUMP_EDGE_VIRTUAL) {
          if (count != 1) throw std::logic_error("routing graph: an element mixes virtual and real fanouts");
          node.hclass |= VIRTUAL_ONLY;
        }
    }
    const WUMP_ROUTE_ELEMENT_RECORD& r = info.get_element_record(e.get_record());
    node.delay = static_cast<std::uint16_t>(std::lround(info.get_hop_delay_ps(id | GID_BIT, 1.0)));
    if (node.delay > 0 && (m_min_delay == 0 || node.delay < m_min_delay)) m_min_delay = node.delay;
    node.x = node.ex = static_cast<std::int16_t>(e.get_x());
    node.y = node.ey = static_cast<std::int16_t>(e.get_y());
    if (r.flags & WUMP_RECORD_PIPELINE_SLOT) node.hclass |= SLOT;
    const DEV_TILE_KIND tk = grid.tile_kind(e.get_x(), e.get_y());
    TILE& t = m_tiles[static_cast<std::size_t>(e.get_y()) * m_nx + e.get_x()];
    std::uint8_t hclass = 0;
    switch (r.kind) {
      case dev_kind::H_WIRE:
      case dev_kind::V_WIRE: {
        static const int dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
        const int d = (r.flags >> WUMP_RECORD_DIRECTION_SHIFT) & 3;
        int steps = r.length;
        while (steps > 0 && !grid.in_grid(e.get_x() + dx[d] * steps, e.get_y() + dy[d] * steps)) --steps;
        node.ex = static_cast<std::int16_t>(e.get_x() + dx[d] * steps);
        node.ey = static_cast<std::int16_t>(e.get_y() + dy[d] * steps);
        hclass = 2;
        // A wire cut short at the edge ends nearer than its class's.
        if (steps == r.length) node.look = static_cast<std::uint8_t>(2 * d + (r.length > 1 ? 1 : 0));
        break;
      }
      case dev_kind::LAB_RE:
        hclass = 1;
        if (r.flags & WUMP_RECORD_INPUT) {
          if (r.index >= 180) t.clk.push_back(id);
          else t.in.push_back(id);
        } else {
          t.out.push_back(id);
          node.look = 8;
        }
        break;
      case dev_kind::LAB_FEEDBACK: hclass = 1; break;
      case dev_kind::BLOCK_INPUT:
        hclass = 1;
        t.in.push_back(id);
        break;
      case dev_kind::BLOCK_OUTPUT:
        hclass = 1;
        t.out.push_back(id);
        break;
      case dev_kind::ICD_PORT:
        if (r.flags & WUMP_RECORD_INPUT) t.in.push_back(id);
        else t.out.push_back(id);
        break;
      case dev_kind::PERIPHERY_OUTPUT:
        if (tk == DEV_TILE_KIND::PLL) t.out.push_back(id);
        break;
      default: break;
    }
    node.hclass |= hclass;
  }
}

bool GRAPH::has_edge(unsigned from, unsigned to) const {
  if (from >= m_n || to >= m_n) return false;
  const EDGES f = fanouts(from);
  for (int i = 0; i < f.count; ++i)
    if (from + static_cast<unsigned>(f.rel[i]) == to) return true;
  return false;
}

std::size_t GRAPH::memory_bytes() const {
  std::size_t tiles = 0;
  for (const TILE& t : m_tiles) tiles += sizeof t + (t.in.capacity() + t.clk.capacity() + t.out.capacity()) * sizeof(unsigned);
  return sizeof *this + m_nodes.capacity() * sizeof(NODE) + tiles;
}

namespace {
struct GRAPH_CACHE {
  DeviceSpec spec;
  const WUMP_DIE_INFO* die = nullptr;
  std::unique_ptr<GRAPH> graph;
};
}  // namespace

const GRAPH& graph() {
  const WUMP_DIE_INFO* die = host::device::die_info();
  GRAPH_CACHE& c = host_world_slot<GRAPH_CACHE>();
  if (!c.graph || c.die != die || !(c.spec == host::device::spec())) {
    c.graph = std::make_unique<GRAPH>(die);
    c.die = die;
    c.spec = host::device::spec();
  }
  return *c.graph;
}

SITE site_of(const VOK_ATOM_NODE* atom) {
  SITE s;
  if (atom == nullptr || !atom->is_placed()) return s;
  const unsigned gid = atom->get_location_gid();
  const WUMP_DIE_INFO* die = host::device::die_info();
  if (gid & GID_BIT) {
    const WUMP_ROUTE_INFO* info = die->get_route_info();
    if (gid == NO_ELEMENT || !info->is_zota_gid(gid)) return s;
    const WUMP_ROUTE_ELEMENT* e = info->get_element_by_gid(gid);
    s.placed = s.slot = true;
    s.slot_id = gid & ~GID_BIT;
    s.x = e->get_x();
    s.y = e->get_y();
    s.tile_kind = static_cast<int>(DEV_TILE_KIND::LAB);
    return s;
  }
  const DEV_GRID& grid = die->get_place_info()->get_grid();
  if (gid >= grid.sites().size()) return s;
  const DEV_SITE& site = grid.sites()[gid];
  s.placed = true;
  s.x = site.x;
  s.y = site.y;
  s.z = site.z;
  s.tile_kind = static_cast<int>(grid.tile_kind(site.x, site.y));
  return s;
}

namespace {
void append(std::vector<unsigned>& out, const std::vector<unsigned>& v) { out.insert(out.end(), v.begin(), v.end()); }
}  // namespace

void source_elements(const GRAPH& g, const SITE& s, std::vector<unsigned>& out) {
  out.clear();
  if (!s.placed) return;
  if (s.slot) {
    out.push_back(s.slot_id);
    return;
  }
  const GRAPH::TILE& t = g.tile(s.x, s.y);
  switch (static_cast<DEV_TILE_KIND>(s.tile_kind)) {
    case DEV_TILE_KIND::LAB:
    case DEV_TILE_KIND::RAM:
    case DEV_TILE_KIND::PERIPHERY:
    case DEV_TILE_KIND::PLL: append(out, t.out); break;
    case DEV_TILE_KIND::DSP:
      append(out, t.out);
      if (s.y + 1 < g.ny()) append(out, g.tile(s.x, s.y + 1).out);
      break;
    case DEV_TILE_KIND::PAD: {
      const std::size_t pin = static_cast<std::size_t>(s.z / DEV_GRID::SITES_PER_PIN);
      if (pin < t.out.size()) out.push_back(t.out[pin]);
      break;
    }
    default: break;
  }
}

namespace {
// A clock input fed by a pin (which also drives the global clock networks).
bool clocked_from_pin(const VOK_ATOM_ITERM* sink) {
  if (sink->get_port_type() != DB_INPUT_PORT_CLK) return false;
  const VOK_ATOM_OTERM* src = sink->get_source(VOK_TRAVERSE_HIERARCHICAL);
  if (src == nullptr) return false;
  const SITE d = site_of(src->get_my_node());
  return d.placed && !d.slot && d.tile_kind == static_cast<int>(DEV_TILE_KIND::PAD);
}

// The pin clocks that own the device's global networks, by driver atom id,
// for the netlist they were counted on.
struct PIN_CLOCKS {
  const VOK_ATOM_NETLIST* netlist = nullptr;
  std::set<int> global;
};

// Registers in routing slots are not counted: retiming creates and deletes
// them, and the choice must not change under it.
void count_pin_clock_loads(const VOK_ATOM_NETLIST* netlist, std::map<int, int>& loads) {
  if (netlist == nullptr) return;
  for (const VOK_ATOM_NODE* a : netlist->get_atom_list()) {
    if (a->is_box()) {
      count_pin_clock_loads(static_cast<const VOK_ATOM_BLACKBOX*>(a)->get_child_netlist(), loads);
      continue;
    }
    if (site_of(a).slot) continue;
    for (std::size_t i = 0; i < a->get_iterm_slot_count(); ++i)
      if (const VOK_ATOM_ITERM* t = a->get_iterm_slot(i); t && clocked_from_pin(t))
        ++loads[t->get_source(VOK_TRAVERSE_HIERARCHICAL)->get_my_node()->get_id()];
  }
}

}  // namespace

// A pin clock on a global network (see refresh_global_pin_clocks).
bool on_global_network(const VOK_ATOM_ITERM* sink) {
  if (!clocked_from_pin(sink)) return false;
  const PIN_CLOCKS& c = host_world_slot<PIN_CLOCKS>();
  if (c.netlist != host::vok::top_netlist()) refresh_global_pin_clocks();
  return c.global.count(sink->get_source(VOK_TRAVERSE_HIERARCHICAL)->get_my_node()->get_id()) != 0;
}

void refresh_global_pin_clocks() {
  PIN_CLOCKS& c = host_world_slot<PIN_CLOCKS>();
  c.netlist = host::vok::top_netlist();
  c.global.clear();
  std::map<int, int> loads;
  count_pin_clock_loads(c.netlist, loads);
  std::vector<std::pair<int, int>> ranked;  // (-loads, driver id)
  for (const auto& [id, n] : loads) ranked.emplace_back(-n, id);
  std::sort(ranked.begin(), ranked.end());
  std::size_t networks = 0;
  const WUMP_ROUTE_INFO* info = host::device::die_info()->get_route_info();
  for (unsigned gid : info->gids(dev_kind::GLOBAL_CLOCK)) networks += info->get_route_node_of(gid).y == 0;
  for (std::size_t i = 0; i < ranked.size() && i < networks; ++i) c.global.insert(ranked[i].second);
}

void target_elements(const GRAPH& g, const SITE& s, const VOK_ATOM_ITERM* sink, std::vector<unsigned>& out) {
  out.clear();
  if (!s.placed) return;
  const int port = static_cast<int>(sink->get_port_type());
  if (s.slot) {
    if (is_slot_data_input(s, port)) {
      out.push_back(s.slot_id);
    } else if (port == DB_INPUT_PORT_CLK) {
      // A pipeline register's clock is routed: it enters through one of its
      // LAB's clock input muxes, which the segment's PMUXes feed from the
      // global network. A clock off that network (made in the fabric, or a
      // pin clock beyond the networks) enters through a LAB input mux instead.
      const GRAPH::TILE& t = g.tile(s.x, s.y);
      append(out, t.clk);
      if (!on_global_network(sink)) append(out, t.in);
    }
    return;
  }
  const GRAPH::TILE& t = g.tile(s.x, s.y);
  switch (static_cast<DEV_TILE_KIND>(s.tile_kind)) {
    case DEV_TILE_KIND::LAB:
      // A pin's clock reaches an ordinary register as it reaches a pipeline
      // register: over its global network into a LAB clock input mux, so a
      // register's clock arrival depends on its clock and its tile, not on
      // its kind. Any other clock may also enter by a clock mux.
      if (port == DB_INPUT_PORT_CLK && on_global_network(sink)) {
        append(out, t.clk);
      } else {
        append(out, t.in);
        if (port == DB_INPUT_PORT_CLK) append(out, t.clk);
      }
      break;
    case DEV_TILE_KIND::RAM:
    case DEV_TILE_KIND::PERIPHERY: append(out, t.in); break;
    case DEV_TILE_KIND::DSP:
      append(out, t.in);
      if (s.y + 1 < g.ny()) append(out, g.tile(s.x, s.y + 1).in);
      break;
    case DEV_TILE_KIND::PAD: {
      const std::size_t pin = static_cast<std::size_t>(s.z / DEV_GRID::SITES_PER_PIN);
      if (pin < t.in.size()) out.push_back(t.in[pin]);
      break;
    }
    default: break;
  }
}

bool is_routable(const GRAPH& g, const VOK_ATOM_OTERM* driver, const VOK_ATOM_ITERM* sink) {
  if (driver == nullptr || sink == nullptr || driver->get_my_node() == nullptr || sink->get_my_node() == nullptr)
    return false;
  if (driver->get_port_type() == DB_OUTPUT_PORT_CARRY_OUT && sink->get_port_type() == DB_INPUT_PORT_CARRY_IN) return false;
  const SITE a = site_of(driver->get_my_node());
  const SITE b = site_of(sink->get_my_node());
  if (!a.placed || !b.placed) return false;
  if (a.tile_kind == static_cast<int>(DEV_TILE_KIND::PAD) && !a.slot && !b.slot && a.x == b.x && a.y == b.y &&
      a.z / DEV_GRID::SITES_PER_PIN == b.z / DEV_GRID::SITES_PER_PIN)
    return false;
  static thread_local std::vector<unsigned> tmp;
  source_elements(g, a, tmp);
  if (tmp.empty()) return false;
  target_elements(g, b, sink, tmp);
  return !tmp.empty();
}

}  // namespace host::korrin
