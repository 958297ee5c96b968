#include "tibex/tibex_placer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/host_world.h"
#include "hov/hov_utility.h"
#include "dev/dev_family.h"
#include "dev/dev_grid.h"
#include "tibex/tibex_location_constraint.h"
#include "tibex/tibex_nearest_tiles.h"
#include "vok/vok_atom_netlist.h"
#include "wump/wump_die_info.h"
#include "jov/jov_hidden_contents.h"

namespace {

using host::placement::UNPLACEABLE;

using host::placement::SPREAD;

struct PLACER_STATE {
  std::vector<UNPLACEABLE> unplaceable;
  SPREAD decision;                            // of the first placement with a spread limit
  const WUMP_DIE_INFO* spread_die = nullptr;  // the device it was made on
  SPREAD last;                                // what the last placement did
  // Limits per LAB tile of the first placement that weighed spreading
  // where its demand is highest (empty: none), and the device.
  bool local_decided = false;
  const WUMP_DIE_INFO* local_die = nullptr;
  std::vector<int> local_limits;
};

// Routing demand (see routing_demand) over which a placement is congested,
// and the share of it a spread placement must stay under to be kept.
constexpr double kCongestedDemand = 1.0;
constexpr double kSpreadGain = 0.85;
PLACER_STATE& state() { return host_world_slot<PLACER_STATE>(); }

constexpr unsigned ILLEGAL = DEV_GRID::ILLEGAL_GID;
constexpr int SLOT_FIRST = 60;
constexpr int SLOT_END = 100;

void collect_atoms(const VOK_ATOM_NETLIST* n, std::vector<VOK_ATOM_NODE*>& out) {
  for (VOK_ATOM_NODE* a : n->get_atom_list()) {
    out.push_back(a);
    if (a->is_box())
      if (const VOK_ATOM_NETLIST* c = static_cast<const VOK_ATOM_BLACKBOX*>(a)->get_child_netlist())
        collect_atoms(c, out);
  }
}

// Every atom of the design, in id order.
std::vector<VOK_ATOM_NODE*> design_atoms() {
  std::vector<VOK_ATOM_NODE*> atoms;
  collect_atoms(host::vok::top_netlist(), atoms);
  // Full contents hidden by shells keep their sites (they are placed, so fixed).
  for (VOK_ATOM_NODE* a : host::partitions::hidden_atoms()) atoms.push_back(a);
  std::sort(atoms.begin(), atoms.end(), [](auto* a, auto* b) { return a->get_id() < b->get_id(); });
  return atoms;
}

// An atom of a preserved partition (a read-only netlist, its shell's or the
// full contents the shell hides).
bool preserved(const VOK_ATOM_NODE* a) {
  return a->get_parent_netlist() != nullptr && !a->get_parent_netlist()->is_modifiable();
}

// A clock: the driver of a clock input and the input's inversion.
struct CLOCK {
  const VOK_ATOM_OTERM* src = nullptr;
  bool inv = false;
  bool operator==(const CLOCK&) const = default;
};

CLOCK clock_of(const VOK_ATOM_NODE* a) {
  const VOK_ATOM_ITERM* t = a->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
  if (t == nullptr || !t->is_connected()) return {};
  const VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_HIERARCHICAL);
  if (src == nullptr) return {};
  return CLOCK{src, t->is_inverted()};
}

bool is_clock_input(const VOK_ATOM_ITERM* t) { return t->get_port_type() == DB_INPUT_PORT_CLK; }

// True when (x, y, z) satisfies every entry of the constraint.
bool inside(const TIBEX_LOCATION_CONSTRAINT& c, int x, int y, int z) {
  for (const auto& e : c.entries()) {
    if (e.locked) {
      const TIBEX_LOCKED_CONSTRAINT& lc = e.locked_constraint;
      if (!lc.has_constraint()) continue;
      if (lc.is_specified_exactly()) {
        if (x != lc.get_x() || y != lc.get_y() || (lc.get_sub_location() >= 0 && z != lc.get_sub_location()))
          return false;
      } else if (x < lc.get_xmin() || x > lc.get_xmax() || y < lc.get_ymin() || y > lc.get_ymax()) {
        return false;
      }
    } else {
      const int id = e.floating_constraint.get_tarnbay_id();
      if (id < 0) continue;
      const TIBEX_ZARTO_REGION_LIST* regions = host::constraints::regions();
      const TIBEX_ZARTO_REGION* r = regions ? regions->get_xr(id) : nullptr;
      if (r == nullptr) return false;
      bool in = false;
      for (const auto& rect : r->rects)
        in = in || ((r->whole_device_x || (x >= rect.xmin && x <= rect.xmax)) &&
                    (r->whole_device_y || (y >= rect.ymin && y <= rect.ymax)));
      if (!in) return false;
    }
  }
  return true;
}

// The exact site of a constraint, when it has one.
bool exact_site(const TIBEX_LOCATION_CONSTRAINT& c, int* x, int* y, int* z) {
  for (const auto& e : c.entries())
    if (e.locked && e.locked_constraint.is_specified_exactly()) {
      *x = e.locked_constraint.get_x();
      *y = e.locked_constraint.get_y();
      *z = e.locked_constraint.get_sub_location();
      return true;
    }
  return false;
}

struct POS {
  int x = -1, y = -1, z = -1;
  unsigned gid = ILLEGAL;
  int element = 0;
};

// The position of a placed atom from its location gid; false when unplaced
// or when the gid names nothing.
bool position_of(const WUMP_DIE_INFO* die, const VOK_ATOM_NODE* a, POS* p) {
  if (!a->is_placed()) return false;
  DEV_LOCATION loc;
  if (!die->get_location(a->get_location_gid(), loc)) return false;
  p->x = loc[DEV_LOCATION_X];
  p->y = loc[DEV_LOCATION_Y];
  p->z = loc[DEV_LOCATION_SUB];
  // A pipeline slot's sub-location is its LAB control input mux's index less
  // 80 (muxes 140..179 hold slots 60..99).
  const int index = loc[DEV_LOCATION_INDEX];
  if ((a->get_location_gid() & 0x80000000u) && loc[DEV_LOCATION_ELEMENT] == dev_kind::LAB_RE && index >= 140 &&
      index < 180)
    p->z = index - 80;
  p->gid = a->get_location_gid();
  p->element = loc[DEV_LOCATION_ELEMENT];
  return true;
}

// Input connections between atoms with sites, as (driver, sink) pairs of
// indices into `atoms`, clock inputs left out.
// `sources`, when given, gets each connection's driving output term.
std::vector<std::pair<int, int>> connections(const std::vector<VOK_ATOM_NODE*>& atoms,
                                             const std::unordered_map<const VOK_ATOM_NODE*, int>& index,
                                             std::vector<const VOK_ATOM_OTERM*>* sources = nullptr) {
  std::vector<std::pair<int, int>> res;
  for (std::size_t i = 0; i < atoms.size(); ++i)
    for (const VOK_ATOM_ITERM* t : atoms[i]->citerms()) {
      if (!t->is_connected() || is_clock_input(t)) continue;
      const VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_HIERARCHICAL);
      if (s == nullptr || s->get_my_node() == nullptr) continue;
      auto it = index.find(s->get_my_node());
      if (it == index.end() || it->second == static_cast<int>(i)) continue;
      res.emplace_back(it->second, static_cast<int>(i));
      if (sources) sources->push_back(s);
    }
  return res;
}

// ---------------------------------------------------------------- the placer

class PLACER {
public:
  // tile_limit: the limit of LUTs and registers per LAB tile (by y x nx +
  // x) in place of the options' one; empty for that one everywhere.
  PLACER(const host::placement::PLACER_OPTIONS& o, std::vector<int> tile_limit = {})
      : m_opt(o), m_die(host::device::die_info()), m_grid(m_die->get_place_info()->get_grid()),
        m_slots(host::device::zota_check(0)), m_tile_limit(std::move(tile_limit)) {}

  bool run() {
    build_nodes();
    build_units();
    build_site_index();
    link_kind_indices();
    take_fixed();
    build_open_tiles();
    std::vector<int> order;
    for (int u = 0; u < static_cast<int>(m_units.size()); ++u)
      if (!m_units[u].fixed) order.push_back(u);
    // Exactly constrained units first: nobody else may take their sites.
    // Pipeline-slot registers after the other logic: a slot's output reaches
    // only its own LAB, so the slot is chosen where the register's loads
    // went. I/O pins last, so each goes near the logic it connects to.
    auto rank = [&](int u) { return m_units[u].exact ? 0 : (is_io(u) ? 3 : (m_units[u].zota ? 2 : 1)); };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return rank(a) < rank(b); });
    bool ok = true;
    const auto logic_begin = std::find_if(order.begin(), order.end(), [&](int u) { return rank(u) >= 1; });
    const auto logic_end = std::find_if(logic_begin, order.end(), [&](int u) { return rank(u) >= 2; });
    for (auto it = order.begin(); it != logic_begin; ++it)
      if (!place_unit(*it)) ok = false;
    if (!place_grown(std::vector<int>(logic_begin, logic_end))) ok = false;
    for (auto it = logic_end; it != order.end(); ++it)
      if (!place_unit(*it)) ok = false;
    improve();
    return ok;
  }

  // The routing demand of the placement, RUDY-style: each net's wire, the
  // larger of its bounding box's half perimeter and the length a tree over
  // its sinks spread in that box needs (0.7 x sqrt(sinks x area)), spread
  // evenly over the box's tiles; per LAB tile that demand over the wire
  // tiles its tracks supply. Returns the mean of the busiest 2 % of the
  // LAB tiles (at least one).
  double routing_demand(int tracks) const {
    std::vector<double> lab;
    for (const auto& [t, d] : demand_map(tracks)) lab.push_back(d);
    if (lab.empty()) return 0.0;
    const std::size_t hot = std::max<std::size_t>(1, lab.size() / 50);
    std::nth_element(lab.begin(), lab.begin() + static_cast<std::ptrdiff_t>(hot - 1), lab.end(), std::greater<>());
    double sum = 0.0;
    for (std::size_t i = 0; i < hot; ++i) sum += lab[i];
    return sum / static_cast<double>(hot);
  }

  // Per LAB tile (by y x nx + x, in that order), the routing demand of the
  // placement there over the supply of `tracks` (see routing_demand).
  std::vector<std::pair<int, double>> demand_map(int tracks) const {
    const int nx = m_grid.nx(), ny = m_grid.ny();
    struct NET_BOX {
      int xlo = INT32_MAX, xhi = INT32_MIN, ylo = INT32_MAX, yhi = INT32_MIN, sinks = 0;
    };
    std::vector<NET_BOX> boxes(static_cast<std::size_t>(m_net_count));
    for (std::size_t c = 0; c < m_conns.size(); ++c) {
      NET_BOX& b = boxes[static_cast<std::size_t>(m_conn_net[c])];
      ++b.sinks;
      for (const int n : {m_conns[c].first, m_conns[c].second}) {
        const NODE& node = m_nodes[static_cast<std::size_t>(n)];
        if (!node.placed) continue;
        b.xlo = std::min(b.xlo, node.pos.x), b.xhi = std::max(b.xhi, node.pos.x);
        b.ylo = std::min(b.ylo, node.pos.y), b.yhi = std::max(b.yhi, node.pos.y);
      }
    }
    // Added over the boxes through a table of differences.
    std::vector<double> d(static_cast<std::size_t>(nx + 1) * static_cast<std::size_t>(ny + 1), 0.0);
    const auto at = [&](int x, int y) -> double& { return d[static_cast<std::size_t>(y) * (nx + 1) + x]; };
    for (const NET_BOX& b : boxes) {
      if (b.xlo > b.xhi) continue;
      const int w = b.xhi - b.xlo + 1, h = b.yhi - b.ylo + 1;
      if (w * h == 1) continue;
      const double wire = std::max<double>(w + h - 2, 0.7 * std::sqrt(static_cast<double>(b.sinks) * w * h));
      const double per_tile = wire / (static_cast<double>(w) * h);
      at(b.xlo, b.ylo) += per_tile;
      at(b.xhi + 1, b.ylo) -= per_tile;
      at(b.xlo, b.yhi + 1) -= per_tile;
      at(b.xhi + 1, b.yhi + 1) += per_tile;
    }
    std::vector<double> row(static_cast<std::size_t>(nx + 1), 0.0);
    std::vector<std::pair<int, double>> lab;
    const double supply = kWireTilesPerTrack * std::max(1, tracks);
    for (int y = 0; y < ny; ++y) {
      double run = 0.0;
      for (int x = 0; x < nx; ++x) {
        run += at(x, y);
        row[static_cast<std::size_t>(x)] += run;
        if (is_lab(x, y)) lab.emplace_back(tile(x, y), row[static_cast<std::size_t>(x)] / supply);
      }
    }
    return lab;
  }

  // LUTs and registers this run places into LABs (those with a register
  // site kind or a LUT one, pipeline registers left out).
  int lab_atoms() const {
    int n = 0;
    for (std::size_t i = 0; i < m_nodes.size(); ++i) n += counts_in_lab(static_cast<int>(i)) ? 1 : 0;
    return n;
  }
  int tile_count() const { return m_grid.nx() * m_grid.ny(); }

  void write_back() {
    for (NODE& n : m_nodes) {
      if (!n.placed || m_units[n.unit].fixed) continue;
      if (m_opt.io_and_periphery_only && !is_io(n.unit) && n.kind != dev_kind::UIB && n.kind != dev_kind::ESRAM &&
          n.kind != dev_kind::HSSI)
        continue;
      n.atom->set_location(n.pos.gid, n.pos.element);
      n.atom->set_analytic_xy(static_cast<float>(n.pos.x), static_cast<float>(n.pos.y));
    }
  }

  std::vector<UNPLACEABLE> failures() {
    std::sort(m_failures.begin(), m_failures.end(), [](auto& a, auto& b) { return a.atom_id < b.atom_id; });
    return m_failures;
  }

private:
  struct KIND_INDEX;
  struct KIND_TILE;
  enum SHAPE { SINGLE, CHAIN, PIN };
  struct NODE {
    VOK_ATOM_NODE* atom = nullptr;
    int kind = 0;
    CLOCK clock;
    TIBEX_LOCATION_CONSTRAINT lc;
    int unit = -1;
    int offset = 0;
    bool placed = false;
    POS pos;
    std::vector<int> conns;
    KIND_INDEX* kind_index = nullptr;  // the site index of its kind
    // The LAB the node must sit in: it loads a register placed in one of
    // that LAB's pipeline slots before this run (a slot's output reaches
    // only its own LAB). -1 when free.
    int slot_lab_x = -1, slot_lab_y = -1;
  };
  struct UNIT {
    SHAPE shape = SINGLE;
    std::vector<int> members;  // anchor (offset 0) first
    bool fixed = false;        // placed before this run
    bool exact = false;        // a member has an exact constraint
    bool zota = false;         // prefers a pipeline slot
    bool placed = false;
    POS base;
  };

  // ---- set-up

  void build_nodes() {
    std::unordered_map<const VOK_ATOM_NODE*, int> index;
    for (VOK_ATOM_NODE* a : design_atoms()) {
      const int k = host::placement::site_kind(a);
      if (k == 0) continue;
      NODE n;
      n.atom = a;
      n.kind = k;
      n.clock = clock_of(a);
      n.lc = host::constraints::get(a->get_id());
      index[a] = static_cast<int>(m_nodes.size());
      m_nodes.push_back(std::move(n));
    }
    std::vector<VOK_ATOM_NODE*> atoms;
    for (const NODE& n : m_nodes) atoms.push_back(n.atom);
    std::vector<const VOK_ATOM_OTERM*> sources;
    m_conns = connections(atoms, index, &sources);
    for (int c = 0; c < static_cast<int>(m_conns.size()); ++c) {
      m_nodes[m_conns[c].first].conns.push_back(c);
      m_nodes[m_conns[c].second].conns.push_back(c);
    }
    // A connection pulls its ends together with a weight that falls with
    // its net's fanout: a net's sinks share one route from the driver, so
    // a wide net's pull on each sink is a fraction of a small net's. With
    // one weight per connection the registers a 256-fanout net feeds were
    // all drawn to its driver, far from the logic they feed, and their
    // own nets crossed the device.
    std::map<std::tuple<int, int, int>, int> fanout, net;
    const auto key = [&](std::size_t c) {
      const VOK_ATOM_OTERM* o = sources[c];
      return std::make_tuple(o->get_my_node()->get_id(), static_cast<int>(o->get_port_type()), o->get_index());
    };
    // Connections between two atoms placed before this run are left out of
    // the count: they pull on nothing, and a preserved partition's shell
    // shows none of those that cross it, where its full contents show them
    // all; counted, they would weigh the same design's nets differently.
    const auto fixed = [&](int n) { return m_nodes[static_cast<std::size_t>(n)].atom->is_placed(); };
    m_conn_net.resize(m_conns.size());
    for (std::size_t c = 0; c < sources.size(); ++c) {
      if (!fixed(m_conns[c].first) || !fixed(m_conns[c].second)) ++fanout[key(c)];
      m_conn_net[c] = net.emplace(key(c), static_cast<int>(net.size())).first->second;
    }
    m_net_count = static_cast<int>(net.size());
    m_conn_w.resize(m_conns.size());
    for (std::size_t c = 0; c < m_conns.size(); ++c)
      m_conn_w[c] = std::clamp(kSmallNet * kFullWeight / std::max(1, fanout[key(c)]), 1, kFullWeight);
    // The other ends of each node's connections, node by node in one array,
    // with their weights.
    m_adj_start.assign(1, 0);
    for (int n = 0; n < static_cast<int>(m_nodes.size()); ++n) {
      for (int c : m_nodes[n].conns) {
        m_adj.push_back(m_conns[c].first == n ? m_conns[c].second : m_conns[c].first);
        m_adj_w.push_back(m_conn_w[static_cast<std::size_t>(c)]);
      }
      m_adj_start.push_back(static_cast<int>(m_adj.size()));
    }
    m_index = std::move(index);
  }

  int node_of(const VOK_ATOM_NODE* a) const {
    auto it = m_index.find(a);
    return it == m_index.end() ? -1 : it->second;
  }

  void add_unit(SHAPE shape, std::vector<std::pair<int, int>> members) {
    UNIT u;
    u.shape = shape;
    const int id = static_cast<int>(m_units.size());
    for (auto [n, off] : members) {
      m_nodes[n].unit = id;
      m_nodes[n].offset = off;
      u.members.push_back(n);
      int x, y, z;
      if (exact_site(m_nodes[n].lc, &x, &y, &z)) u.exact = true;
    }
    u.zota = shape == SINGLE && m_slots && m_nodes[members[0].first].kind == dev_kind::FF &&
             m_nodes[members[0].first].atom->is_zota_marked();
    m_units.push_back(std::move(u));
  }

  void build_units() {
    // Carry chains: heads are arithmetic cells whose carry-in does not come
    // from another arithmetic cell's carry-out.
    auto chain_pred = [&](int n) -> int {
      const VOK_ATOM_ITERM* cin = m_nodes[n].atom->get_input_term_by_type(DB_INPUT_PORT_CARRY_IN, 0);
      const VOK_ATOM_OTERM* s = cin ? cin->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
      if (s == nullptr || s->get_port_type() != DB_OUTPUT_PORT_CARRY_OUT || !s->get_my_node()) return -1;
      const int p = node_of(s->get_my_node());
      return p >= 0 && m_nodes[p].atom->get_kind() == VOK_ATOM_KIND::ARITH_CELL ? p : -1;
    };
    std::vector<int> first_unit(m_nodes.size(), -1);
    for (int n = 0; n < static_cast<int>(m_nodes.size()); ++n) {
      const NODE& node = m_nodes[n];
      if (node.unit >= 0) continue;
      const VOK_ATOM_KIND kind = node.atom->get_kind();
      if (kind == VOK_ATOM_KIND::ARITH_CELL && chain_pred(n) < 0) {
        std::vector<std::pair<int, int>> members{{n, 0}};
        std::set<int> seen{n};
        for (int cur = n;;) {
          const VOK_ATOM_OTERM* cout = m_nodes[cur].atom->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0);
          int next = -1;
          for (const VOK_ATOM_ITERM* f = cout ? cout->get_first_fanout(VOK_TRAVERSE_AS_STORED) : nullptr; f && next < 0;
               f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED)) {
            if (f->get_port_type() != DB_INPUT_PORT_CARRY_IN) continue;
            const int s = node_of(f->get_my_node());
            if (s >= 0 && m_nodes[s].atom->get_kind() == VOK_ATOM_KIND::ARITH_CELL && m_nodes[s].unit < 0 &&
                !seen.count(s))
              next = s;
          }
          if (next < 0) break;
          seen.insert(next);
          members.emplace_back(next, 3 * static_cast<int>(members.size()));
          cur = next;
        }
        add_unit(members.size() > 1 ? CHAIN : SINGLE, members);
      } else if (kind == VOK_ATOM_KIND::PAD) {
        std::vector<std::pair<int, int>> members{{n, 0}};
        const VOK_ATOM_ITERM* in = node.atom->get_input_term_by_type(DB_INPUT_PORT_BOX, 0);
        const VOK_ATOM_OTERM* s = in ? in->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
        const int ob = s && s->get_my_node() ? node_of(s->get_my_node()) : -1;
        if (ob >= 0 && m_nodes[ob].kind == dev_kind::IO_OUT && m_nodes[ob].unit < 0) members.emplace_back(ob, 2);
        for (const VOK_ATOM_OTERM* o : node.atom->coterms()) {
          for (const VOK_ATOM_ITERM* f = o->get_first_fanout(VOK_TRAVERSE_AS_STORED); f;
               f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED)) {
            const int ib = node_of(f->get_my_node());
            if (ib >= 0 && m_nodes[ib].kind == dev_kind::IO_IN && m_nodes[ib].unit < 0 &&
                f->get_port_type() == DB_INPUT_PORT_BOX) {
              members.emplace_back(ib, 1);
              break;
            }
          }
          break;  // the pad's data output only
        }
        std::sort(members.begin() + 1, members.end(), [](auto& a, auto& b) { return a.second < b.second; });
        add_unit(members.size() > 1 ? PIN : SINGLE, members);
      }
    }
    for (int n = 0; n < static_cast<int>(m_nodes.size()); ++n)
      if (m_nodes[n].unit < 0) add_unit(SINGLE, {{n, 0}});
    // A unit with a member placed before this run is not moved as a whole:
    // its placed members stay, the others go one by one.
    const std::size_t count = m_units.size();
    for (std::size_t u = 0; u < count; ++u) {
      bool any = false;
      for (int n : m_units[u].members) any = any || m_nodes[n].atom->is_placed();
      if (!any) continue;
      m_units[u].fixed = true;
      if (m_units[u].members.size() == 1) continue;
      const std::vector<int> members = m_units[u].members;
      m_units[u].members.clear();
      for (int n : members) {
        if (m_nodes[n].atom->is_placed()) {
          m_units[u].members.push_back(n);
          m_nodes[n].offset = 0;
        } else {
          add_unit(SINGLE, {{n, 0}});
        }
      }
    }
    // Units in the id order of their first member.
    std::vector<int> perm(m_units.size());
    for (std::size_t i = 0; i < perm.size(); ++i) perm[i] = static_cast<int>(i);
    auto first_id = [&](int u) {
      int id = INT32_MAX;
      for (int n : m_units[u].members) id = std::min(id, m_nodes[n].atom->get_id());
      return id;
    };
    std::stable_sort(perm.begin(), perm.end(), [&](int a, int b) { return first_id(a) < first_id(b); });
    std::vector<UNIT> sorted;
    for (int u : perm) sorted.push_back(std::move(m_units[u]));
    m_units = std::move(sorted);
    for (int u = 0; u < static_cast<int>(m_units.size()); ++u)
      for (int n : m_units[u].members) m_nodes[n].unit = u;
    m_hot.resize(m_nodes.size());
    for (std::size_t n = 0; n < m_nodes.size(); ++n) m_hot[n].unit = m_nodes[n].unit;
    bind_loads_to_slot_labs();
  }

  // A register the flow put into a pipeline slot before this run (a
  // periphery transfer's register at the slot next to its port) reaches
  // only the LAB of that slot: its loads go into that LAB. A load of two
  // such registers in different LABs keeps the first.
  void bind_loads_to_slot_labs() {
    for (int r = 0; r < static_cast<int>(m_nodes.size()); ++r) {
      const VOK_ATOM_NODE* a = m_nodes[r].atom;
      POS p;
      if (m_nodes[r].kind != dev_kind::FF || !(a->get_location_gid() & 0x80000000u) || !position_of(m_die, a, &p) ||
          p.element != dev_kind::LAB_RE)
        continue;
      for (int c : m_nodes[r].conns) {
        if (m_conns[c].first != r) continue;
        NODE& load = m_nodes[m_conns[c].second];
        if (load.slot_lab_x >= 0) continue;
        load.slot_lab_x = p.x;
        load.slot_lab_y = p.y;
      }
    }
  }

  bool in_slot_lab(const NODE& node, const POS& p) const {
    return node.slot_lab_x < 0 || (p.x == node.slot_lab_x && p.y == node.slot_lab_y);
  }

  // Tiles holding each site kind, in (x, y) order, with their sites by z.
  void build_site_index() {
    m_tile_count = m_grid.nx() * m_grid.ny();
    m_occ.assign(m_grid.sites().size(), -1);
    m_tile_clocks.assign(static_cast<std::size_t>(m_tile_count), {});
    m_lab_atoms.assign(static_cast<std::size_t>(m_tile_count), 0);
    m_closed_lab.assign(static_cast<std::size_t>(m_tile_count), 0);
    for (int x = 0; x < m_grid.nx(); ++x)
      for (int y = 0; y < m_grid.ny(); ++y) {
        std::map<int, std::vector<unsigned>> by_kind;
        for (int z = 0; z < m_grid.site_count(x, y); ++z) {
          const unsigned gid = m_grid.site_gid(x, y, z);
          by_kind[m_grid.sites()[gid].element].push_back(gid);
        }
        for (auto& [kind, gids] : by_kind) {
          KIND_INDEX& ki = m_kinds[kind];
          if (ki.slot_of_tile.empty()) ki.slot_of_tile.assign(static_cast<std::size_t>(m_tile_count), -1);
          ki.slot_of_tile[tile(x, y)] = static_cast<int>(ki.tiles.size());
          ki.tiles.push_back(KIND_TILE{x, y, gids, static_cast<int>(gids.size())});
        }
      }
  }

  int tile(int x, int y) const { return y * m_grid.nx() + x; }

  // Whether a tile may still take an atom of `kind` in the greedy pass: it
  // has a free site of the kind and, for LUTs and registers, the LAB is
  // under its limit. Both only fill during the pass, so a tile once shut
  // stays shut.
  bool tile_open(int kind, const KIND_TILE& kt) const {
    if (kt.free <= 0) return false;
    if ((kind != dev_kind::LUT && kind != dev_kind::FF) || !is_lab(kt.x, kt.y)) return true;
    if (closed(kt.x, kt.y)) return false;
    return m_opt.lab_atom_limit <= 0 || m_lab_atoms[tile(kt.x, kt.y)] < lab_limit(kt.x, kt.y);
  }

  void build_open_tiles() {
    const int nx = m_grid.nx(), ny = m_grid.ny();
    for (auto& [kind, ki] : m_kinds) {
      std::vector<bool> open(static_cast<std::size_t>(nx) * ny, false);
      for (const KIND_TILE& kt : ki.tiles) open[static_cast<std::size_t>(kt.x) * ny + kt.y] = tile_open(kind, kt);
      ki.open.reset(nx, ny, open);
    }
  }

  void link_kind_indices() {
    for (NODE& n : m_nodes) {
      auto it = m_kinds.find(n.kind);
      n.kind_index = it == m_kinds.end() ? nullptr : &it->second;
    }
  }
  bool is_lab(int x, int y) const { return m_grid.in_grid(x, y) && m_grid.tile_kind(x, y) == DEV_TILE_KIND::LAB; }

  void take_fixed() {
    for (UNIT& u : m_units) {
      if (!u.fixed) continue;
      for (int n : u.members) {
        POS p;
        if (!position_of(m_die, m_nodes[n].atom, &p)) continue;
        m_nodes[n].pos = p;
        set_placed(n, true);
        occupy(n, true);
        if (counts_in_lab(n) && is_lab(p.x, p.y) && preserved(m_nodes[n].atom)) ++m_closed_lab[tile(p.x, p.y)];
      }
      u.placed = true;
    }
  }

  // ---- occupancy and clocks

  struct CLOCK_USE {
    CLOCK clock;
    int count = 0;
  };

  void occupy(int n, bool on) {
    NODE& node = m_nodes[n];
    const POS& p = node.pos;
    if (p.gid & 0x80000000u) {
      if (on) m_slot_occ[p.gid] = n;
      else m_slot_occ.erase(p.gid);
    } else if (p.gid < m_occ.size()) {
      m_occ[p.gid] = on ? n : -1;
      KIND_INDEX* ki = p.element == node.kind ? node.kind_index : nullptr;
      if (ki == nullptr) {
        auto it = m_kinds.find(p.element);
        ki = it == m_kinds.end() ? nullptr : &it->second;
      }
      if (ki != nullptr) {
        const int s = ki->slot_of_tile[tile(p.x, p.y)];
        if (s >= 0) ki->tiles[s].free += on ? -1 : 1;
      }
    }
    if (counts_in_lab(n) && !(p.gid & 0x80000000u) && is_lab(p.x, p.y)) m_lab_atoms[tile(p.x, p.y)] += on ? 1 : -1;
    if (node.clock.src && is_lab(p.x, p.y)) {
      auto& uses = m_tile_clocks[tile(p.x, p.y)];
      auto it = std::find_if(uses.begin(), uses.end(), [&](const CLOCK_USE& c) { return c.clock == node.clock; });
      if (on) {
        if (it == uses.end()) uses.push_back(CLOCK_USE{node.clock, 1});
        else ++it->count;
      } else if (it != uses.end() && --it->count == 0) {
        uses.erase(it);
      }
    }
  }

  // LUTs and registers (not in pipeline slots) count against the LAB limit.
  bool counts_in_lab(int n) const { return m_nodes[n].kind == dev_kind::LUT || m_nodes[n].kind == dev_kind::FF; }
  // Whether one more such atom may go in LAB (x, y).
  bool lab_has_room(int n, int x, int y) const {
    if (!counts_in_lab(n) || !is_lab(x, y)) return true;
    if (closed(x, y) && !preserved(m_nodes[n].atom)) return false;
    return m_opt.lab_atom_limit <= 0 || m_lab_atoms[tile(x, y)] < lab_limit(x, y);
  }
  // The LAB's limit: the options', or the tile's own when limits per tile
  // were given.
  int lab_limit(int x, int y) const {
    return m_tile_limit.empty() ? m_opt.lab_atom_limit : m_tile_limit[static_cast<std::size_t>(tile(x, y))];
  }

  bool clock_fits(int n, int x, int y) const {
    const NODE& node = m_nodes[n];
    if (!node.clock.src || !is_lab(x, y)) return true;
    const auto& uses = m_tile_clocks[tile(x, y)];
    if (uses.size() < 2) return true;
    for (const CLOCK_USE& c : uses)
      if (c.clock == node.clock) return true;
    return false;
  }

  // ---- positions and fit

  // Position of member `n` of unit `u` placed at `base`.
  POS member_pos(const UNIT& u, int n, const POS& base) const {
    if (u.shape == SINGLE) return base;
    POS p;
    p.x = base.x;
    if (u.shape == CHAIN) {
      const int lin = base.z + m_nodes[n].offset;
      p.y = base.y + lin / DEV_GRID::LAB_SITES;
      p.z = lin % DEV_GRID::LAB_SITES;
    } else {
      p.y = base.y;
      p.z = base.z + m_nodes[n].offset;
    }
    p.gid = m_grid.site_gid(p.x, p.y, p.z);
    if (p.gid != ILLEGAL) p.element = m_grid.sites()[p.gid].element;
    return p;
  }

  bool site_fits(int n, const POS& p) const {
    const NODE& node = m_nodes[n];
    if (p.gid == ILLEGAL) return false;
    if (p.gid & 0x80000000u) {
      if (m_slot_occ.count(p.gid) || m_die->get_blacklisting()->is_routing_gid_blacklisted(p.gid)) return false;
    } else {
      if (p.element != node.kind || m_occ[p.gid] != -1 || !m_die->is_global_id_enabled(p.gid)) return false;
      if (!lab_has_room(n, p.x, p.y)) return false;
    }
    return inside(node.lc, p.x, p.y, p.z) && in_slot_lab(node, p) && clock_fits(n, p.x, p.y);
  }

  bool unit_fits(int u, const POS& base) const {
    const UNIT& unit = m_units[u];
    for (int n : unit.members)
      if (!site_fits(n, member_pos(unit, n, base))) return false;
    return true;
  }

  // A node's placement, mirrored into its hot record.
  void set_placed(int n, bool placed) {
    m_nodes[n].placed = placed;
    HOT& h = m_hot[static_cast<std::size_t>(n)];
    h.placed = placed;
    h.x = m_nodes[n].pos.x;
    h.y = m_nodes[n].pos.y;
  }

  void commit(int u, const POS& base) {
    UNIT& unit = m_units[u];
    unit.base = base;
    unit.placed = true;
    for (int n : unit.members) {
      m_nodes[n].pos = member_pos(unit, n, base);
      set_placed(n, true);
      occupy(n, true);
    }
  }

  void uncommit(int u) {
    UNIT& unit = m_units[u];
    for (int n : unit.members) {
      occupy(n, false);
      set_placed(n, false);
    }
    unit.placed = false;
  }

  POS site_pos(unsigned gid) const {
    const DEV_SITE& s = m_grid.sites()[gid];
    return POS{s.x, s.y, s.z, gid, s.element};
  }

  POS slot_pos(int x, int y, int sub) const {
    POS p{x, y, sub, m_die->get_place_info()->get_global_id(dev_kind::FF, x, y, sub), dev_kind::LAB_RE};
    return p;
  }

  // ---- greedy placement

  // Sum and count of the placed neighbours' tiles (members of u left out).
  // Sums weighted by the connections' weights.
  void neighbour_sum(int u, long long* sx, long long* sy, long long* cnt) const {
    *sx = *sy = *cnt = 0;
    for (int n : m_units[u].members)
      for (int i = m_adj_start[static_cast<std::size_t>(n)]; i < m_adj_start[static_cast<std::size_t>(n) + 1]; ++i) {
        const HOT& h = m_hot[static_cast<std::size_t>(m_adj[static_cast<std::size_t>(i)])];
        if (h.unit == u || !h.placed) continue;
        const int w = m_adj_w[static_cast<std::size_t>(i)];
        *sx += static_cast<long long>(w) * h.x;
        *sy += static_cast<long long>(w) * h.y;
        *cnt += w;
      }
  }

  struct OTHERS {
    const int* b;
    const int* e;
    const int* begin() const { return b; }
    const int* end() const { return e; }
  };
  // The other ends of node n's connections.
  OTHERS others(int n) const {
    const int* a = m_adj.data();
    return OTHERS{a + m_adj_start[static_cast<std::size_t>(n)], a + m_adj_start[static_cast<std::size_t>(n) + 1]};
  }

  // Places the logic units in the order they connect: next is always the
  // unit with the largest share of its connections going to placed atoms
  // (ties to the id order), so nearly every unit has placed neighbours to go
  // near, each connected part of the design grows as one compact region,
  // and a unit goes once its place is best known (in id order a unit often
  // had no placed neighbour and went to the first open tile, far from its
  // logic; counting links instead of their share let well-connected units
  // take the sites their lesser neighbours needed). A unit with none, the
  // first of a part, is the next in id order and still takes the first open
  // tile: the parts fill the device from one side, each beside the last,
  // which leaves the free area in one piece for the parts to come (measured
  // better than starting each part beside the unit placed last).
  bool place_grown(const std::vector<int>& group) {
    std::vector<int> links(m_units.size(), 0);  // connections to placed atoms
    std::vector<int> pos(m_units.size(), -1);    // index in `group`, -1 outside it
    std::vector<char> done(m_units.size(), 0);
    for (int i = 0; i < static_cast<int>(group.size()); ++i) pos[static_cast<std::size_t>(group[i])] = i;
    // Per unit, its connections to units that are placed or to be placed
    // in this group (not to the pins and slot registers placed after it).
    std::vector<int> degree(m_units.size(), 0);
    for (int u : group)
      for (int n : m_units[u].members)
        for (int o : others(n)) {
          const int v = m_hot[static_cast<std::size_t>(o)].unit;
          if (v != u && (m_units[v].placed || pos[static_cast<std::size_t>(v)] >= 0))
            ++degree[static_cast<std::size_t>(u)];
        }
    struct ENTRY {
      int links, pos;
    };
    const auto later = [&](const ENTRY& a, const ENTRY& b) {
      const long long la = static_cast<long long>(a.links) * degree[static_cast<std::size_t>(group[b.pos])];
      const long long lb = static_cast<long long>(b.links) * degree[static_cast<std::size_t>(group[a.pos])];
      return la != lb ? la < lb : a.pos > b.pos;
    };
    std::vector<ENTRY> heap;
    const auto link = [&](int u) {
      for (int n : m_units[u].members)
        for (int o : others(n)) {
          const int v = m_hot[static_cast<std::size_t>(o)].unit;
          const int i = pos[static_cast<std::size_t>(v)];
          if (i < 0 || done[static_cast<std::size_t>(v)]) continue;
          heap.push_back(ENTRY{++links[static_cast<std::size_t>(v)], i});
          std::push_heap(heap.begin(), heap.end(), later);
        }
    };
    // Units placed before (fixed, exact) count for their neighbours.
    for (int u = 0; u < static_cast<int>(m_units.size()); ++u)
      if (m_units[u].placed) link(u);
    bool ok = true;
    for (std::size_t next_seed = 0;;) {
      int u = -1;
      while (u < 0 && !heap.empty()) {
        std::pop_heap(heap.begin(), heap.end(), later);
        const ENTRY e = heap.back();
        heap.pop_back();
        const int v = group[static_cast<std::size_t>(e.pos)];
        if (!done[static_cast<std::size_t>(v)] && e.links == links[static_cast<std::size_t>(v)]) u = v;
      }
      if (u < 0) {
        while (next_seed < group.size() && done[static_cast<std::size_t>(group[next_seed])]) ++next_seed;
        if (next_seed == group.size()) break;
        u = group[next_seed];
      }
      done[static_cast<std::size_t>(u)] = 1;
      if (!place_unit(u)) ok = false;
      else link(u);
    }
    return ok;
  }

  bool place_unit(int u) {
    UNIT& unit = m_units[u];
    long long sx, sy, cnt;
    neighbour_sum(u, &sx, &sy, &cnt);
    // An exact constraint fixes the base.
    for (int n : unit.members) {
      int x, y, z;
      if (!exact_site(m_nodes[n].lc, &x, &y, &z)) continue;
      POS base;
      if (unit.shape == SINGLE && m_nodes[n].kind == dev_kind::FF && z >= SLOT_FIRST && z < SLOT_END) {
        base = slot_pos(x, y, z);
      } else if (unit.shape == CHAIN) {
        const int lin = y * DEV_GRID::LAB_SITES + z - m_nodes[n].offset;
        if (z < 0 || lin < 0) return fail(u, "its exact location constraint leaves no room for its carry chain");
        base = site_pos_or_illegal(x, lin / DEV_GRID::LAB_SITES, lin % DEV_GRID::LAB_SITES);
      } else {
        base = site_pos_or_illegal(x, y, z < 0 ? -1 : z - m_nodes[n].offset);
      }
      if (base.gid == ILLEGAL || !unit_fits(u, base))
        return fail(u, "its exact location (" + std::to_string(x) + ", " + std::to_string(y) + ", " +
                           std::to_string(z) + ") is taken, of another kind, disabled, or breaks the LAB clock rule");
      commit(u, base);
      return true;
    }
    if (unit.zota && place_in_slot(u)) return true;
    const int anchor_kind = m_nodes[unit.members[0]].kind;
    auto it = m_kinds.find(anchor_kind);
    if (it != m_kinds.end()) {
      // Nearest open tile first (ties in the (x, y) listing order); a tile
      // that is full for the kind is closed for the rest of the pass.
      KIND_INDEX& ki = it->second;
      const int anchor = unit.members[0];
      ki.open.start(sx, sy, cnt);
      for (int x, y; ki.open.next(&x, &y);) {
        const KIND_TILE& kt = ki.tiles[static_cast<std::size_t>(ki.slot_of_tile[tile(x, y)])];
        if (!tile_open(anchor_kind, kt)) {
          ki.open.close(x, y);
          continue;
        }
        // No site of a tile whose clocks the anchor breaks takes it.
        if (!clock_fits(anchor, x, y)) continue;
        for (unsigned gid : kt.gids) {
          if (m_occ[gid] != -1) continue;
          const POS base = site_pos(gid);
          if (unit_fits(u, base)) {
            commit(u, base);
            return true;
          }
        }
      }
    }
    return fail(u, "no free legal site of kind " + std::to_string(anchor_kind) +
                       " (inside its location constraints, within the LAB clock rule)");
  }

  POS site_pos_or_illegal(int x, int y, int z) const {
    const unsigned gid = z < 0 ? ILLEGAL : m_grid.site_gid(x, y, z);
    return gid == ILLEGAL ? POS{} : site_pos(gid);
  }

  // The LAB every load of the register sits in; false when a load is
  // unplaced or outside that one LAB (a slot could not reach it).
  bool loads_lab(int n, int* x, int* y) const {
    bool any = false;
    for (int c : m_nodes[n].conns) {
      if (m_conns[c].first != n) continue;
      const NODE& load = m_nodes[m_conns[c].second];
      if (!load.placed || !is_lab(load.pos.x, load.pos.y)) return false;
      if (any && (load.pos.x != *x || load.pos.y != *y)) return false;
      *x = load.pos.x;
      *y = load.pos.y;
      any = true;
    }
    return any;
  }

  bool place_in_slot(int u) {
    const int n = m_units[u].members[0];
    auto it = m_kinds.find(dev_kind::LUT);  // LUT sites mark the LABs
    if (it == m_kinds.end()) return false;
    int lx = -1, ly = -1;
    if (!loads_lab(n, &lx, &ly)) return false;
    // The loads' LAB is the only candidate: look its tile up directly.
    if (!is_lab(lx, ly)) return false;
    const int t = it->second.slot_of_tile[tile(lx, ly)];
    if (t < 0) return false;
    const KIND_TILE& kt = it->second.tiles[t];
    for (int sub = SLOT_FIRST; sub < SLOT_END; ++sub) {
      const POS p = slot_pos(kt.x, kt.y, sub);
      if (p.gid != ILLEGAL && site_fits(n, p)) {
        commit(u, p);
        return true;
      }
    }
    return false;
  }

  bool fail(int u, const std::string& reason) {
    for (int n : m_units[u].members) {
      const VOK_ATOM_NODE* a = m_nodes[n].atom;
      m_failures.push_back(UNPLACEABLE{a->get_id(), a->get_string_hpath(), reason});
    }
    return false;
  }

  // ---- improvement passes

  long long conn_len(int c) const {
    const NODE& a = m_nodes[m_conns[c].first];
    const NODE& b = m_nodes[m_conns[c].second];
    if (!a.placed || !b.placed) return 0;
    return static_cast<long long>(m_conn_w[static_cast<std::size_t>(c)]) *
           (std::abs(a.pos.x - b.pos.x) + std::abs(a.pos.y - b.pos.y));
  }

  bool movable(int u) const {
    const UNIT& unit = m_units[u];
    return unit.placed && !unit.fixed && !unit.exact && !unit.zota && unit.shape != CHAIN &&
           !(unit.base.gid & 0x80000000u);
  }

  // Whether node n may sit at p once units u and v (v may be -1) have left
  // their sites: `leaving` is the clock that leaves p's tile (v's, when v
  // moves out of it).
  bool fits_after_leaving(int n, const POS& p, int u, int v, const CLOCK& leaving) const {
    const NODE& node = m_nodes[n];
    if (p.gid == ILLEGAL || (p.gid & 0x80000000u)) return false;
    if (p.element != node.kind || !m_die->is_global_id_enabled(p.gid)) return false;
    const int occ = m_occ[p.gid];
    if (occ != -1 && m_hot[static_cast<std::size_t>(occ)].unit != u && m_hot[static_cast<std::size_t>(occ)].unit != v)
      return false;
    if (!inside(node.lc, p.x, p.y, p.z) || !in_slot_lab(node, p)) return false;
    if (!node.clock.src || !is_lab(p.x, p.y)) return true;
    int distinct = 0;
    for (const CLOCK_USE& c : m_tile_clocks[tile(p.x, p.y)]) {
      const int left = c.count - (leaving.src && c.clock == leaving ? 1 : 0);
      if (left <= 0) continue;
      if (c.clock == node.clock) return true;
      ++distinct;
    }
    return distinct < 2;
  }

  // The clock unit w takes out of the tile of `at` (single-atom units only
  // carry one).
  CLOCK clock_leaving(int w, const POS& at) const {
    if (w < 0 || m_units[w].members.size() != 1) return {};
    const NODE& n = m_nodes[m_units[w].members[0]];
    return (n.pos.x == at.x && n.pos.y == at.y) ? n.clock : CLOCK{};
  }

  // Whether unit u may move to `base`, swapping with unit v (or -1 for a
  // free base).
  bool move_fits(int u, int v, const POS& base) const {
    const UNIT& uu = m_units[u];
    const POS old_u = uu.base;
    for (int n : uu.members) {
      const POS p = member_pos(uu, n, base);
      const CLOCK leaving = (p.x == old_u.x && p.y == old_u.y) ? m_nodes[n].clock : clock_leaving(v, p);
      if (!fits_after_leaving(n, p, u, v, leaving)) return false;
      // A swap keeps every LAB's count (both atoms are of one kind); a move
      // to another LAB needs room there.
      if (v < 0 && (p.x != old_u.x || p.y != old_u.y) && !lab_has_room(n, p.x, p.y)) return false;
    }
    if (v >= 0) {
      const UNIT& vv = m_units[v];
      for (int n : vv.members) {
        const POS p = member_pos(vv, n, old_u);
        const CLOCK leaving = (p.x == base.x && p.y == base.y) ? m_nodes[n].clock : clock_leaving(u, p);
        if (!fits_after_leaving(n, p, u, v, leaving)) return false;
      }
    }
    return true;
  }

  // The gain (old - new wirelength of the touched connections) of swapping
  // unit u with unit v, whose anchor `va` sits in the tile of `base`; `own`
  // is what u's own connections gain (from its cost table). Changes nothing.
  long long swap_gain(int u, int v, int va, const POS& base, long long own) const {
    const POS old_u = m_units[u].base;
    long long delta = -own;
    // v's connections walked, with the u-v connections corrected (u's table
    // counted them against v's old tile, the tile of `base`; both move).
    const auto walk = [&](int n) {
      for (int i = m_adj_start[static_cast<std::size_t>(n)]; i < m_adj_start[static_cast<std::size_t>(n) + 1]; ++i) {
        const HOT& other = m_hot[static_cast<std::size_t>(m_adj[static_cast<std::size_t>(i)])];
        if (!other.placed || other.unit == v) continue;
        const long long w = m_adj_w[static_cast<std::size_t>(i)];
        if (other.unit == u) {
          delta += w * (std::abs(base.x - old_u.x) + std::abs(base.y - old_u.y));
          continue;
        }
        delta += w * (std::abs(old_u.x - other.x) + std::abs(old_u.y - other.y) - std::abs(base.x - other.x) -
                      std::abs(base.y - other.y));
      }
    };
    if (m_units[u].shape == SINGLE) walk(va);  // a partner has u's shape
    else
      for (int n : m_units[v].members) walk(n);
    return -delta;
  }

  // The wirelength of unit u's connections to placed atoms outside u, were
  // u's tile (x, y): sum |x - xi| + sum |y - yi|, tabled over a window.
  struct UNIT_COST {
    std::vector<int> xs, ys, ws;  // the other ends and their connections' weights
    int x0 = 0, y0 = 0;           // first tabled column and row
    std::vector<long long> fx, fy;
    long long sum_x(int x) const {
      long long s = 0;
      for (std::size_t i = 0; i < xs.size(); ++i) s += static_cast<long long>(ws[i]) * std::abs(x - xs[i]);
      return s;
    }
    long long sum_y(int y) const {
      long long s = 0;
      for (std::size_t i = 0; i < ys.size(); ++i) s += static_cast<long long>(ws[i]) * std::abs(y - ys[i]);
      return s;
    }
    void table(int xlo, int xhi, int ylo, int yhi) {
      x0 = xlo;
      y0 = ylo;
      fx.clear();
      fy.clear();
      for (int x = xlo; x <= xhi; ++x) fx.push_back(sum_x(x));
      for (int y = ylo; y <= yhi; ++y) fy.push_back(sum_y(y));
    }
    long long operator()(int x, int y) const {
      const long long a =
          x >= x0 && x - x0 < static_cast<int>(fx.size()) ? fx[static_cast<std::size_t>(x - x0)] : sum_x(x);
      const long long b =
          y >= y0 && y - y0 < static_cast<int>(fy.size()) ? fy[static_cast<std::size_t>(y - y0)] : sum_y(y);
      return a + b;
    }
  };

  // A unit with more connections than this is not tried as a swap partner
  // (it still moves on its own turn): pricing a swap walks the partner's
  // connections, and the drivers of wide nets would make every pass
  // quadratic in their fanout.
  static constexpr int kMaxSwapDegree = 32;

  void improve() {
    // Per node, the unit a move may swap with when the node is found on a
    // site of the window: the movable unit it anchors, unless that unit is
    // too wide to price; -1 otherwise. Nothing of this changes during the
    // passes (a move keeps every unit movable).
    std::vector<int> partner(m_nodes.size(), -1);
    std::vector<char> can_move(m_units.size(), 0);
    std::vector<char> shape(m_units.size(), 0);
    // Per unit, the weight of the connections a swap prices (to placed
    // atoms outside it).
    std::vector<int> priced(m_units.size(), 0);
    for (int u = 0; u < static_cast<int>(m_units.size()); ++u) {
      shape[static_cast<std::size_t>(u)] = static_cast<char>(m_units[u].shape);
      for (int n : m_units[u].members)
        for (int i = m_adj_start[static_cast<std::size_t>(n)]; i < m_adj_start[static_cast<std::size_t>(n) + 1]; ++i) {
          const HOT& h = m_hot[static_cast<std::size_t>(m_adj[static_cast<std::size_t>(i)])];
          if (h.placed && h.unit != u) priced[static_cast<std::size_t>(u)] += m_adj_w[static_cast<std::size_t>(i)];
        }
      if (!movable(u)) continue;
      can_move[static_cast<std::size_t>(u)] = 1;
      int degree = 0;
      for (int n : m_units[u].members) degree += static_cast<int>(m_nodes[n].conns.size());
      if (degree <= kMaxSwapDegree) partner[static_cast<std::size_t>(m_units[u].members[0])] = u;
    }
    // The wirelength the passes can change: connections between two atoms
    // placed before this run are left out (a preserved partition's shell
    // shows fewer of them than its full contents; counted, they would end
    // the same design's passes at other points).
    long long total = 0;
    for (int c = 0; c < static_cast<int>(m_conns.size()); ++c)
      if (!m_units[m_nodes[m_conns[c].first].unit].fixed || !m_units[m_nodes[m_conns[c].second].unit].fixed)
        total += conn_len(c);
    for (int pass = 0; pass < m_opt.improvement_passes && total > 0; ++pass) {
      long long gained = 0;
      neighbour_boxes();
      for (int u = 0; u < static_cast<int>(m_units.size()); ++u) {
        if (!can_move[static_cast<std::size_t>(u)]) continue;
        long long sx, sy, cnt;
        neighbour_sum(u, &sx, &sy, &cnt);
        if (cnt == 0) continue;
        int tx = static_cast<int>((2 * sx + cnt) / (2 * cnt));
        int ty = static_cast<int>((2 * sy + cnt) / (2 * cnt));
        const int anchor = m_units[u].members[0];
        auto it = m_kinds.find(m_nodes[anchor].kind);
        if (it == m_kinds.end()) continue;
        // Pins look along the ring, around its tile nearest to the centroid.
        if (is_io(u)) nearest_tile(it->second, &tx, &ty);
        m_u_cost.xs.clear();
        m_u_cost.ys.clear();
        m_u_cost.ws.clear();
        for (int n : m_units[u].members)
          for (int i = m_adj_start[static_cast<std::size_t>(n)]; i < m_adj_start[static_cast<std::size_t>(n) + 1]; ++i) {
            const HOT& h = m_hot[static_cast<std::size_t>(m_adj[static_cast<std::size_t>(i)])];
            if (h.unit == u || !h.placed) continue;
            m_u_cost.xs.push_back(h.x);
            m_u_cost.ys.push_back(h.y);
            m_u_cost.ws.push_back(m_adj_w[static_cast<std::size_t>(i)]);
          }
        m_u_cost.table(tx - m_opt.window, tx + m_opt.window, ty - m_opt.window, ty + m_opt.window);
        const POS old_u = m_units[u].base;
        const long long stay = m_u_cost(old_u.x, old_u.y);
        long long best_gain = 0;
        int best_v = -1;
        POS best_base;
        for (int x = tx - m_opt.window; x <= tx + m_opt.window; ++x)
          for (int y = ty - m_opt.window; y <= ty + m_opt.window; ++y) {
            if (!m_grid.in_grid(x, y)) continue;
            const int s = it->second.slot_of_tile[tile(x, y)];
            if (s < 0) continue;
            // What u alone gains in this tile: a move to a free site gains
            // exactly that, a swap at most that plus what the partner can
            // gain (see swap_bound). Sites that cannot beat the best so far
            // are not priced: the choice stays the same.
            const long long own = stay - m_u_cost(x, y);
            bool free_tried = own <= best_gain;
            for (unsigned gid : it->second.tiles[s].gids) {
              const int occ = m_occ[gid];
              int v = -1;
              if (occ >= 0) {
                v = partner[static_cast<std::size_t>(occ)];
                if (v < 0 || v == u || shape[static_cast<std::size_t>(v)] != shape[static_cast<std::size_t>(u)]) continue;
                if (own + swap_bound(v, priced[static_cast<std::size_t>(v)], x, y, old_u.x, old_u.y) <= best_gain)
                  continue;
              } else if (free_tried) {
                continue;
              }
              // Priced first, checked only when it would be the best.
              const POS base = site_pos(gid);
              const long long g = v < 0 ? own : swap_gain(u, v, occ, base, own);
              if (v < 0 || g > best_gain) {
                if (!move_fits(u, v, base)) continue;
                if (v < 0) free_tried = true;
              }
              if (g > best_gain) {
                best_gain = g;
                best_v = v;
                best_base = base;
              }
            }
          }
        if (best_gain > 0) {
          uncommit(u);
          if (best_v >= 0) uncommit(best_v);
          commit(u, best_base);
          if (best_v >= 0) commit(best_v, old_u);
          widen_boxes(u);
          if (best_v >= 0) widen_boxes(best_v);
          gained += best_gain;
        }
      }
      total -= gained;
      if (gained * 200 < total) break;
    }
  }

  // Per unit, a box holding every placed atom it connects to (outside it):
  // exact at the start of a pass, widened as those atoms move.
  struct BOX {
    std::int16_t xlo, xhi, ylo, yhi;
  };

  void neighbour_boxes() {
    m_boxes.assign(m_units.size(), BOX{INT16_MAX, INT16_MIN, INT16_MAX, INT16_MIN});
    for (int n = 0; n < static_cast<int>(m_nodes.size()); ++n) {
      const HOT& h = m_hot[static_cast<std::size_t>(n)];
      if (!h.placed) continue;
      for (int o : others(n)) {
        const HOT& ho = m_hot[static_cast<std::size_t>(o)];
        if (ho.placed && ho.unit != h.unit) widen(ho.unit, h.x, h.y);
      }
    }
  }

  void widen(int u, int x, int y) {
    BOX& b = m_boxes[static_cast<std::size_t>(u)];
    b.xlo = static_cast<std::int16_t>(std::min<int>(b.xlo, x));
    b.xhi = static_cast<std::int16_t>(std::max<int>(b.xhi, x));
    b.ylo = static_cast<std::int16_t>(std::min<int>(b.ylo, y));
    b.yhi = static_cast<std::int16_t>(std::max<int>(b.yhi, y));
  }

  // Unit u moved: the boxes of the units it connects to take its new tile.
  void widen_boxes(int u) {
    for (int n : m_units[u].members) {
      const HOT& h = m_hot[static_cast<std::size_t>(n)];
      for (int o : others(n)) {
        const HOT& ho = m_hot[static_cast<std::size_t>(o)];
        if (ho.placed && ho.unit != u) widen(ho.unit, h.x, h.y);
      }
    }
  }

  // The most partner v can gain moving from tile (bx, by) to (ax, ay), with
  // connections of total weight `priced` each to an atom inside v's box: per axis, |a - o| -
  // |b - o| is monotone in o, so its least value over the box is at an edge.
  // (A connection to the unit v swaps with changes by the tiles' distance,
  // which is no less.)
  long long swap_bound(int v, int priced, int bx, int by, int ax, int ay) const {
    if (priced == 0) return 0;
    const BOX& b = m_boxes[static_cast<std::size_t>(v)];
    const auto least = [](int a, int bb, int lo, int hi) {
      return std::min(std::abs(a - lo) - std::abs(bb - lo), std::abs(a - hi) - std::abs(bb - hi));
    };
    return -static_cast<long long>(priced) * (least(ax, bx, b.xlo, b.xhi) + least(ay, by, b.ylo, b.yhi));
  }

  // A unit that sits in an I/O pin (a pad, its buffers, I/O registers).
  bool is_io(int u) const {
    switch (m_nodes[m_units[u].members[0]].kind) {
      case dev_kind::PAD:
      case dev_kind::IO_IN:
      case dev_kind::IO_OUT:
      case dev_kind::IO_IN_REG:
      case dev_kind::IO_OUT_REG: return true;
      default: return false;
    }
  }

  // Moves (x, y) to the nearest tile (Manhattan; ties to the lowest (x, y))
  // that has sites of the kind.
  static void nearest_tile(const KIND_INDEX& ki, int* x, int* y) {
    const int x0 = *x, y0 = *y;
    int best = -1;
    for (const KIND_TILE& kt : ki.tiles) {
      const int d = std::abs(kt.x - x0) + std::abs(kt.y - y0);
      if (best < 0 || d < best) best = d, *x = kt.x, *y = kt.y;
      if (best == 0) break;
    }
  }

  struct KIND_TILE {
    int x, y;
    std::vector<unsigned> gids;  // by z
    int free;
  };
  struct KIND_INDEX {
    std::vector<KIND_TILE> tiles;   // (x, y) order
    std::vector<int> slot_of_tile;  // tile -> index into tiles, or -1
    host::placement::NEAREST_TILES open;  // the greedy pass's search
  };

  host::placement::PLACER_OPTIONS m_opt;
  WUMP_DIE_INFO* m_die;
  const DEV_GRID& m_grid;
  bool m_slots;
  int m_tile_count = 0;
  std::vector<NODE> m_nodes;
  std::unordered_map<const VOK_ATOM_NODE*, int> m_index;
  std::vector<std::pair<int, int>> m_conns;
  std::vector<UNIT> m_units;
  std::map<int, KIND_INDEX> m_kinds;
  std::vector<int> m_occ;
  std::map<unsigned, int> m_slot_occ;
  std::vector<std::vector<CLOCK_USE>> m_tile_clocks;
  std::vector<int> m_lab_atoms;  // LUTs and registers per tile
  // A preserved partition's LUTs and registers per LAB. A LAB they fill to
  // half its limit or more takes no other atom: the preserved routing holds
  // most of its inputs, so an atom placed there could find every way in
  // taken. One they fill less still has inputs to spare.
  std::vector<int> m_closed_lab;
  bool closed(int x, int y) const {
    return 2 * m_closed_lab[tile(x, y)] >= std::max(lab_limit(x, y), 2);
  }
  std::vector<int> m_tile_limit;  // see the constructor
  std::vector<UNPLACEABLE> m_failures;
  UNIT_COST m_u_cost;  // of the unit the improvement pass is moving
  // What the improvement passes read of every node, packed: its tile, unit
  // and whether it is placed (kept by set_placed); and the other ends of
  // its connections (m_adj from m_adj_start[n] to m_adj_start[n + 1]).
  struct HOT {
    int x = -1, y = -1;
    int unit = -1;
    bool placed = false;
  };
  std::vector<HOT> m_hot;
  std::vector<BOX> m_boxes;  // see neighbour_boxes
  std::vector<int> m_adj_start, m_adj;
  std::vector<int> m_adj_w;   // the weight of m_adj's connections
  std::vector<int> m_conn_w;  // the weight of m_conns's
  std::vector<int> m_conn_net;  // the net (driving output term) of each of m_conns, numbered from 0
  int m_net_count = 0;
  // Wire tiles a routing track supplies per tile, for the demand estimate:
  // of the 20 tile lengths of wire its eight wires starting in a tile give
  // (one of length 1 and one of length 4 each way), the share a negotiated
  // routing fills before it congests. Set from fits: packed at 10 per LAB,
  // frisc, elliptic, frisc x 2, a CPU with an 8-entry store buffer and an
  // unrolled AES-128 estimate 0.45 to 0.67 and route in a few rounds; the
  // CPU with a 256-entry store buffer estimates 1.67 and congests.
  static constexpr double kWireTilesPerTrack = 6.0;
  // A connection's weight: full on nets of up to kSmallNet sinks, then
  // falling as 1 / fanout to 1 (out of kFullWeight).
  static constexpr int kFullWeight = 16;
  static constexpr int kSmallNet = 16;
};

}  // namespace

namespace host::placement {

int site_kind(const VOK_ATOM_NODE* a) {
  switch (a->get_kind()) {
    case VOK_ATOM_KIND::COMB_CELL:
    case VOK_ATOM_KIND::ARITH_CELL:
    case VOK_ATOM_KIND::LOGIC_MODULE:
    case VOK_ATOM_KIND::LUTRAM: return dev_kind::LUT;
    case VOK_ATOM_KIND::CORE_REGISTER:
    case VOK_ATOM_KIND::PIPELINE_REGISTER: return dev_kind::FF;
    case VOK_ATOM_KIND::IO_REGISTER: return a->get_register_kind() == 396 ? dev_kind::IO_IN_REG : dev_kind::IO_OUT_REG;
    case VOK_ATOM_KIND::PAD: return dev_kind::PAD;
    case VOK_ATOM_KIND::IBUF: return dev_kind::IO_IN;
    case VOK_ATOM_KIND::OBUF: return dev_kind::IO_OUT;
    case VOK_ATOM_KIND::MAC:
    case VOK_ATOM_KIND::FP_MAC: return dev_kind::DSP;
    case VOK_ATOM_KIND::RAM: return dev_kind::RAM;
    case VOK_ATOM_KIND::IOPLL:
    case VOK_ATOM_KIND::CMU_FPLL: return dev_kind::PLL;
    case VOK_ATOM_KIND::UFI_ESRAM: return dev_kind::ESRAM;
    case VOK_ATOM_KIND::UFIND4H_UIB:
    case VOK_ATOM_KIND::UFI_UIB:
    case VOK_ATOM_KIND::UIBSSM:
    case VOK_ATOM_KIND::UIB_IO_PHY:
    case VOK_ATOM_KIND::UIB_RDRC:
    case VOK_ATOM_KIND::UIB_WDRC: return dev_kind::UIB;
    default: return 0;
  }
}

namespace {
// Limits per LAB tile for spreading where the placement's routing demand
// exceeds supply: limit / ratio^a (at least half the limit) where the
// ratio is over 1, the limit elsewhere, with the largest a of 1, 3/4, 1/2,
// 1/4 that leaves room for the design's LUTs and registers with 5 % to
// spare. Empty when none does.
std::vector<int> local_limits(const PLACER& p, int limit, int tracks) {
  const std::vector<std::pair<int, double>> demand = p.demand_map(tracks);
  const double need = 1.05 * p.lab_atoms();
  for (const double a : {1.0, 0.75, 0.5, 0.25}) {
    std::vector<int> limits(static_cast<std::size_t>(p.tile_count()), limit);
    double room = 0.0;
    for (const auto& [t, r] : demand) {
      const int l = r > 1.0 ? std::max((limit + 1) / 2, static_cast<int>(limit / std::pow(r, a))) : limit;
      limits[static_cast<std::size_t>(t)] = l;
      room += l;
    }
    if (room >= need) return limits;
  }
  return {};
}
}  // namespace

bool place(const PLACER_OPTIONS& options) {
  std::vector<std::pair<VOK_ATOM_NODE*, unsigned>> before;
  for (VOK_ATOM_NODE* a : design_atoms()) before.emplace_back(a, a->is_placed() ? a->get_location_gid() : ILLEGAL);
  PLACER_STATE& st = state();
  PLACER_OPTIONS packed = options;
  const bool may_spread = options.spread_limit > 0 && options.lab_atom_limit > options.spread_limit;
  // A device's first placement with a spread limit decides; later ones on
  // it (a partition's earlier compile, then the fit; the plan stage's pins,
  // then the logic) keep that decision, so one limit holds for every atom.
  const bool decided = may_spread && st.decision.decided && st.spread_die == host::device::die_info();
  if (decided) packed.lab_atom_limit = st.decision.limit;
  auto p = std::make_unique<PLACER>(packed);
  bool ok = p->run();
  if (may_spread && !decided) {
    SPREAD& d = st.decision;
    d = SPREAD{};
    d.decided = true;
    d.limit = options.lab_atom_limit;
    d.candidate = options.spread_limit;
    const int tracks = host::device::spec().routing_tracks;
    d.packed_demand = p->routing_demand(tracks);
    if (d.packed_demand <= kCongestedDemand) {
      d.reason = "routing demand within supply";
    } else {
      PLACER_OPTIONS wide = options;
      wide.lab_atom_limit = options.spread_limit;
      auto q = std::make_unique<PLACER>(wide);
      const bool q_ok = q->run();
      d.spread_demand = q->routing_demand(tracks);
      if (q_ok && d.spread_demand < kSpreadGain * d.packed_demand) {
        d.limit = options.spread_limit;
        d.reason = "spread, routing demand over supply";
        p = std::move(q);
        ok = q_ok;
      } else {
        d.reason = "spreading would not lower routing demand";
      }
    }
    st.spread_die = host::device::die_info();
  }
  // Where the placement kept still asks for more wire than the tracks
  // supply and the device is too full to spread all of it, the LABs under
  // the busiest demand take fewer atoms and the others their full limit:
  // placed again so, congested logic spreads into the room the rest leave.
  const int base_limit = packed.lab_atom_limit > 0 ? packed.lab_atom_limit : options.lab_atom_limit;
  const bool local = options.spread_locally && base_limit > 0;
  std::string local_reason;
  if (local && !(st.local_decided && st.local_die == host::device::die_info())) {
    st.local_decided = true;
    st.local_die = host::device::die_info();
    st.local_limits.clear();
    const int tracks = host::device::spec().routing_tracks;
    const double demand = p->routing_demand(tracks);
    if (demand > kCongestedDemand) {
      std::vector<int> limits = local_limits(*p, base_limit, tracks);
      if (!limits.empty()) {
        auto q = std::make_unique<PLACER>(packed, limits);
        const bool q_ok = q->run();
        const double spread = q->routing_demand(tracks);
        if (q_ok && spread < kSpreadGain * demand) {
          st.local_limits = std::move(limits);
          p = std::move(q);
          ok = q_ok;
          local_reason = "spread where routing demand over supply";
        }
      }
    }
  } else if (local && !st.local_limits.empty()) {
    p = std::make_unique<PLACER>(packed, st.local_limits);
    ok = p->run();
    local_reason = "spread where routing demand over supply";
  }
  if (may_spread) {
    st.last = st.decision;
  } else {
    st.last = SPREAD{};
    st.last.limit = options.lab_atom_limit;
  }
  if (!local_reason.empty()) st.last.reason = local_reason;
  p->write_back();
  st.unplaceable = p->failures();
  // The timing netlist estimates its wire delays from the placement: once an
  // atom has moved it is rebuilt before the next analysis.
  for (const auto& [a, gid] : before)
    if ((a->is_placed() ? a->get_location_gid() : ILLEGAL) != gid) {
      hov_get_atom_netlist_taint_manager()->taint_all();
      break;
    }
  return ok;
}

std::vector<UNPLACEABLE> unplaceable() { return state().unplaceable; }

SPREAD last_spread() { return state().last; }

bool write_location(VOK_ATOM_NODE* atom, unsigned gid) {
  const WUMP_DIE_INFO* die = host::device::die_info();
  DEV_LOCATION loc;
  if (atom == nullptr || gid == ILLEGAL || !die->get_location(gid, loc)) return false;
  if ((gid & 0x80000000u) && loc[DEV_LOCATION_ELEMENT] != dev_kind::LAB_RE) return false;
  atom->set_location(gid, loc[DEV_LOCATION_ELEMENT]);
  atom->set_analytic_xy(static_cast<float>(loc[DEV_LOCATION_X]), static_cast<float>(loc[DEV_LOCATION_Y]));
  return true;
}

long long wirelength() {
  const WUMP_DIE_INFO* die = host::device::die_info();
  std::vector<VOK_ATOM_NODE*> atoms;
  std::unordered_map<const VOK_ATOM_NODE*, int> index;
  for (VOK_ATOM_NODE* a : design_atoms())
    if (site_kind(a) != 0) {
      index[a] = static_cast<int>(atoms.size());
      atoms.push_back(a);
    }
  std::vector<POS> pos(atoms.size());
  std::vector<bool> placed(atoms.size());
  for (std::size_t i = 0; i < atoms.size(); ++i) placed[i] = position_of(die, atoms[i], &pos[i]);
  long long sum = 0;
  for (auto [a, b] : connections(atoms, index))
    if (placed[a] && placed[b]) sum += std::abs(pos[a].x - pos[b].x) + std::abs(pos[a].y - pos[b].y);
  return sum;
}

bool check_legal(std::string* why) {
  const WUMP_DIE_INFO* die = host::device::die_info();
  const DEV_GRID& grid = die->get_place_info()->get_grid();
  bool ok = true;
  auto finding = [&](const VOK_ATOM_NODE* a, const std::string& text) {
    ok = false;
    if (why) *why += "atom '" + a->get_string_hpath() + "' (#" + std::to_string(a->get_id()) + "): " + text + "\n";
  };
  std::map<unsigned, const VOK_ATOM_NODE*> taken;
  std::map<std::pair<int, int>, std::vector<CLOCK>> lab_clocks;
  std::unordered_map<const VOK_ATOM_NODE*, POS> where;
  for (const VOK_ATOM_NODE* a : design_atoms()) {
    const int kind = site_kind(a);
    if (kind == 0) continue;
    POS p;
    if (!position_of(die, a, &p)) {
      finding(a, a->is_placed() ? "its location names no site" : "not placed");
      continue;
    }
    where[a] = p;
    if (p.gid & 0x80000000u) {
      // Any LAB input mux holding a pipeline slot: the control inputs' LAB
      // positions and the data inputs' routing slots; on a device with wire
      // slots, a LAB tile's long wire too.
      const bool slot_kind = p.element == dev_kind::LAB_RE || p.element == dev_kind::H_WIRE || p.element == dev_kind::V_WIRE;
      if (!slot_kind || kind != dev_kind::FF || !die->get_route_info()->is_zota_gid(p.gid))
        finding(a, "placed on a routing element that is no pipeline slot for it");
      if (die->get_blacklisting()->is_routing_gid_blacklisted(p.gid)) finding(a, "its pipeline slot is blacklisted");
    } else {
      if (p.element != kind)
        finding(a, "on a site of kind " + std::to_string(p.element) + ", needs " + std::to_string(kind));
      if (!die->is_global_id_enabled(p.gid)) finding(a, "on a disabled site");
    }
    if (a->get_location_element() != p.element) finding(a, "its location element disagrees with its site");
    auto [it, fresh] = taken.emplace(p.gid, a);
    if (!fresh) finding(a, "shares its site with atom #" + std::to_string(it->second->get_id()));
    if (!inside(host::constraints::get(a->get_id()), p.x, p.y, p.z)) finding(a, "outside its location constraints");
    const CLOCK c = clock_of(a);
    if (c.src && grid.in_grid(p.x, p.y) && grid.tile_kind(p.x, p.y) == DEV_TILE_KIND::LAB) {
      auto& list = lab_clocks[{p.x, p.y}];
      if (std::find(list.begin(), list.end(), c) == list.end()) {
        list.push_back(c);
        if (list.size() == 3)
          finding(a, "its LAB (" + std::to_string(p.x) + ", " + std::to_string(p.y) + ") has more than two clocks");
      }
    }
  }
  // Buffers in their pad's pin; carry chains as columns.
  for (const auto& [a, p] : where) {
    if (a->get_kind() == VOK_ATOM_KIND::IBUF || a->get_kind() == VOK_ATOM_KIND::OBUF) {
      const VOK_ATOM_NODE* pad = nullptr;
      if (a->get_kind() == VOK_ATOM_KIND::IBUF) {
        const VOK_ATOM_ITERM* t = a->get_input_term_by_type(DB_INPUT_PORT_BOX, 0);
        const VOK_ATOM_OTERM* s = t ? t->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
        pad = s ? s->get_my_node() : nullptr;
      } else {
        for (const VOK_ATOM_OTERM* o : a->coterms())
          for (const VOK_ATOM_ITERM* f = o->get_first_fanout(VOK_TRAVERSE_AS_STORED); f && !pad;
               f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED))
            if (f->get_my_node()->get_kind() == VOK_ATOM_KIND::PAD) pad = f->get_my_node();
      }
      if (pad == nullptr || pad->get_kind() != VOK_ATOM_KIND::PAD) continue;
      auto it = where.find(pad);
      if (it == where.end()) continue;
      const POS& q = it->second;
      if (q.x != p.x || q.y != p.y || q.z / DEV_GRID::SITES_PER_PIN != p.z / DEV_GRID::SITES_PER_PIN)
        finding(a, "not in the pin of its pad '" + pad->get_string_hpath() + "'");
    }
    if (a->get_kind() == VOK_ATOM_KIND::ARITH_CELL && !(p.gid & 0x80000000u)) {
      const VOK_ATOM_ITERM* cin = a->get_input_term_by_type(DB_INPUT_PORT_CARRY_IN, 0);
      const VOK_ATOM_OTERM* s = cin ? cin->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
      if (!s || s->get_port_type() != DB_OUTPUT_PORT_CARRY_OUT || !s->get_my_node()) continue;
      auto it = where.find(s->get_my_node());
      if (it == where.end()) continue;
      const POS& q = it->second;
      const int lin = q.y * DEV_GRID::LAB_SITES + q.z + 3;
      if (p.x != q.x || p.y != lin / DEV_GRID::LAB_SITES || p.z != lin % DEV_GRID::LAB_SITES)
        finding(a, "not in the carry-chain column below its carry-in's driver");
    }
  }
  return ok;
}

}  // namespace host::placement
