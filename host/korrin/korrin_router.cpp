#include "korrin/korrin_router.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <unordered_map>

#include "common/host_world.h"
#include "cfg/cfg.h"
#include "korrin/korrin_design.h"
#include "korrin/korrin_search.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"
#include "jov/jov_hidden_contents.h"

namespace host::router {

namespace {

using namespace host::korrin;

constexpr int BOX_MARGIN = 3;
constexpr int WIDE_BOX_MARGIN = 12;

struct RNET {
  std::vector<TREE_NODE> nodes;
  std::vector<int> target;
  std::vector<char> failed;
  std::vector<char> pinned;  // routed connection inside preserved partitions: never ripped
  std::vector<std::uint8_t> grown;  // tiles its box's margin has grown by (see route_conn)
  bool changed = false;
};

STATS& stats_slot() { return host_world_slot<STATS>(); }

// The paths of the last complete routing, by connection (sink term: driver
// key and the elements from the top of the net's tree to the sink's input
// element). A later route of the same design takes a connection's old path
// again in its first round when every element of it is still free; the
// final stage's re-route of what the hold-fix steps ripped up then costs a
// walk per connection instead of a negotiation of the whole design.
struct GUIDE {
  const WUMP_ROUTE_INFO* info = nullptr;
  unsigned size = 0;
  std::unordered_map<std::uint64_t, std::pair<std::uint64_t, std::vector<unsigned>>> paths;
};
GUIDE& guide_slot() { return host_world_slot<GUIDE>(); }

std::uint64_t driver_key(const NET& net) {
  return net.site.slot ? (std::uint64_t{1} << 63) | net.site.slot_id : term_key(net.oterm);
}

struct ROUND_LISTENER {
  void (*listener)(const ROUND&) = nullptr;
  double progress_every = 0.0;
  double (*clock)() = nullptr;
};

class ROUTER {
public:
  ROUTER(const GRAPH& g, const OPTIONS& o, std::string* why)
      : m_g(g), m_o(o), m_why(why), m_search(g.size()), m_el(g.size()) {
    m_search.set_cost_state(m_el.data(), sizeof(ELEMENT));
    m_search.set_lookahead(&lookahead(g));
  }

  bool run();

private:
  void report(const std::string& s) {
    if (m_why) *m_why += s + "\n";
  }
  void load();
  bool route_conn(int ni, std::size_t ci, double pres);
  bool follow_guide(int ni, std::size_t ci);
  void add_node(RNET& rn, unsigned e, int parent);
  void append_path(int ni, std::size_t ci, std::vector<unsigned>::const_iterator begin,
                   std::vector<unsigned>::const_iterator end, int parent);
  void keep_guide() const;
  void activate(int ni);
  void rip(int ni, std::size_t ci);
  bool crosses_overuse(int ni, std::size_t ci) const;
  void keep_nearest_seeds(int x0, int y0, int x1, int y1);
  // Trees with more seeds than this in a search's box are seeded near the
  // sink only (see keep_nearest_seeds), from the tree's elements within
  // kNearSeedSlack tiles of the nearest one.
  static constexpr std::size_t kNearSeedsFrom = 32;
  static constexpr double kNearSeedSlack = 4.0;
  int count_overused() const;
  int connections_left() const;
  int connections_to_search(int round) const;
  void write();
  void pin_preserved();

  const GRAPH& m_g;
  const OPTIONS& m_o;
  std::string* m_why;
  SEARCH m_search;
  DESIGN m_d;
  LOADED m_loaded;
  std::vector<RNET> m_nets;
  // Per element, together (a search step reads them all): the history
  // cost, the occupancy (trees using it) and the flags below.
  struct ELEMENT {
    float hist = 0.0f;
    std::uint16_t occ = 0;
    std::uint8_t flags = 0;
  };
  std::vector<ELEMENT> m_el;
  // Per element: BLOCKED (blacklisted, or held by a tree of no routed net),
  // RESERVED (a slot holding a register; m_d.reserved_by gives its net),
  // OWN (in the tree of the net being routed), PINNED (on a pinned
  // connection; m_pin_owner gives its net).
  static constexpr std::uint8_t BLOCKED = 1, RESERVED = 2, OWN = 4, PINNED = 8;
  bool reserved(unsigned e) const { return (m_el[e].flags & RESERVED) != 0; }
  int active_net = -1;
  std::vector<int> m_seed_local;  // per seed: its node in the net's tree, -1 for a driver output
  std::vector<SEED> m_seeds;
  std::vector<unsigned> m_tmp, m_path, m_targets;
  bool m_ok = true;
  std::unordered_map<unsigned, int> m_pin_owner;  // element on a pinned connection: its net
  // True for an element on a pinned connection of another net than ni.
  bool pinned_elsewhere(unsigned e, int ni) const {
    return (m_el[e].flags & PINNED) && m_pin_owner.at(e) != ni;
  }
  // While the first round follows a guide: the active net's node of each
  // of its elements.
  const GUIDE* m_guide = nullptr;
  std::unordered_map<unsigned, int> m_own_node;
};

// The routing of preserved partitions stays as it is: a routed connection
// whose driver and sink both lie in read-only netlists keeps its path, and
// no other net may use that path's elements.
void ROUTER::pin_preserved() {
  for (std::size_t ni = 0; ni < m_nets.size(); ++ni) {
    RNET& rn = m_nets[ni];
    const NET& net = m_d.nets[ni];
    rn.pinned.assign(net.conns.size(), 0);
    if (net.atom == nullptr || net.atom->get_parent_netlist() == nullptr || net.atom->get_parent_netlist()->is_modifiable())
      continue;
    for (std::size_t ci = 0; ci < net.conns.size(); ++ci) {
      const VOK_ATOM_NODE* sink = net.conns[ci].sink->get_my_node();
      if (rn.target[ci] < 0 || sink == nullptr || sink->get_parent_netlist() == nullptr ||
          sink->get_parent_netlist()->is_modifiable())
        continue;
      rn.pinned[ci] = 1;
      for (int n = rn.target[ci]; n >= 0; n = rn.nodes[static_cast<std::size_t>(n)].parent) {
        const unsigned e = rn.nodes[static_cast<std::size_t>(n)].elem;
        m_pin_owner[e] = static_cast<int>(ni);
        m_el[e].flags |= PINNED;
      }
    }
  }
}

void ROUTER::load() {
  const WUMP_DIE_INFO* die = host::device::die_info();
  const WUMP_BLACKLISTING* bl = die->get_blacklisting();
  if (!bl->empty())
    for (unsigned e = 0; e < m_g.size(); ++e)
      if (bl->is_routing_gid_blacklisted(e | GID_BIT)) m_el[e].flags |= BLOCKED;
  m_d = collect_design(m_g);
  for (const auto& [slot, ni] : m_d.slot_net) m_el[slot].flags |= RESERVED;
  const VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  m_loaded = load_trees(m_g, m_d, r, bl, nullptr);
  // Trees of no routed net hold their elements.
  for (int root : m_loaded.foreign) {
    std::vector<int> stack{root};
    while (!stack.empty()) {
      const int n = stack.back();
      stack.pop_back();
      const std::int32_t v = r.get_value(n);
      if (VOK_RE_ROUTING::is_wire_value(v) && (static_cast<unsigned>(v) & ~GID_BIT) < m_g.size())
        m_el[static_cast<unsigned>(v) & ~GID_BIT].flags |= BLOCKED;
      for (int c = r.forest().first_child(n); c != -1; c = r.forest().next_sibling(c)) stack.push_back(c);
    }
  }
  // Routing of full contents hidden by shells stays taken.
  for (unsigned e : host::partitions::hidden_routing_elements())
    if (e < m_g.size()) m_el[e].flags |= BLOCKED;
  m_nets.resize(m_d.nets.size());
  for (std::size_t i = 0; i < m_d.nets.size(); ++i) {
    const NET& net = m_d.nets[i];
    const NET_TREE& t = m_loaded.trees[i];
    RNET& rn = m_nets[i];
    rn.nodes = t.nodes;
    rn.target = t.conn_target;
    rn.failed.assign(net.conns.size(), 0);
    rn.grown.assign(net.conns.size(), 0);
    rn.changed = !t.clean;
    if (net.site.slot && rn.nodes.empty()) rn.nodes.push_back({net.site.slot_id, -1, -1, 1});
    for (std::size_t k = net.site.slot ? 1 : 0; k < rn.nodes.size(); ++k) {
      const TREE_NODE& n = rn.nodes[k];
      if (n.refs > 0 && !reserved(n.elem)) ++m_el[n.elem].occ;
    }
  }
  pin_preserved();
}

void ROUTER::activate(int ni) {
  // The previous net's elements are no longer its own.
  if (active_net >= 0)
    for (const TREE_NODE& n : m_nets[static_cast<std::size_t>(active_net)].nodes) m_el[n.elem].flags &= static_cast<std::uint8_t>(~OWN);
  active_net = ni;
  if (ni < 0) return;
  const RNET& rn = m_nets[static_cast<std::size_t>(ni)];
  const bool slot = m_d.nets[static_cast<std::size_t>(ni)].site.slot;
  m_own_node.clear();
  for (std::size_t k = 0; k < rn.nodes.size(); ++k)
    if (rn.nodes[k].refs > 0 || (slot && k == 0)) {
      m_el[rn.nodes[k].elem].flags |= OWN;
      if (m_guide) m_own_node.emplace(rn.nodes[k].elem, static_cast<int>(k));
    }
}

void ROUTER::add_node(RNET& rn, unsigned e, int parent) {
  rn.nodes.push_back({e, parent, -1, 0});
  m_el[e].flags |= OWN;
  if (!reserved(e)) ++m_el[e].occ;
  if (m_guide) m_own_node.emplace(e, static_cast<int>(rn.nodes.size()) - 1);
}

// The connection's path of the last complete routing, taken as it was when
// it branches from the net's tree as it stands (or, for a net without one,
// starts at a driver output) and every further element is free.
bool ROUTER::follow_guide(int ni, std::size_t ci) {
  const NET& net = m_d.nets[static_cast<std::size_t>(ni)];
  const CONN& conn = net.conns[ci];
  if (!m_loaded.trees[static_cast<std::size_t>(ni)].conn_chain[ci].empty()) return false;
  const auto it = m_guide->paths.find(term_key(conn.sink));
  if (it == m_guide->paths.end() || it->second.first != driver_key(net)) return false;
  const std::vector<unsigned>& p = it->second.second;
  if (p.empty()) return false;
  const unsigned own_slot = conn.slot_d ? conn.site.slot_id : NO_ELEMENT;
  target_elements(m_g, conn.site, conn.sink, m_tmp);
  if (std::find(m_tmp.begin(), m_tmp.end(), p.back()) == m_tmp.end()) return false;
  int parent = -1;
  std::size_t from = 0;
  for (std::size_t i = p.size(); i-- > 0;)
    if (auto own = m_own_node.find(p[i]); own != m_own_node.end()) {
      parent = own->second;
      from = i + 1;
      break;
    }
  if (parent < 0) {
    if (!m_own_node.empty()) return false;
    source_elements(m_g, net.site, m_tmp);
    if (std::find(m_tmp.begin(), m_tmp.end(), p.front()) == m_tmp.end()) return false;
  }
  for (std::size_t i = from; i < p.size(); ++i) {
    const unsigned e = p[i];
    if (e >= m_g.size() || (m_el[e].flags & (BLOCKED | OWN))) return false;
    if (pinned_elsewhere(e, ni)) return false;
    if (reserved(e) ? e != own_slot : m_el[e].occ != 0) return false;
  }
  append_path(ni, ci, p.begin() + static_cast<std::ptrdiff_t>(from), p.end(), parent);
  return true;
}

// Appends the elements below `parent` (-1: a new tree top) and makes the
// last one the connection's target.
void ROUTER::append_path(int ni, std::size_t ci, std::vector<unsigned>::const_iterator begin,
                         std::vector<unsigned>::const_iterator end, int parent) {
  RNET& rn = m_nets[static_cast<std::size_t>(ni)];
  for (auto it = begin; it != end; ++it) {
    add_node(rn, *it, parent);
    parent = static_cast<int>(rn.nodes.size()) - 1;
  }
  rn.target[ci] = parent;
  for (int n = parent; n >= 0; n = rn.nodes[static_cast<std::size_t>(n)].parent) {
    if (m_d.nets[static_cast<std::size_t>(ni)].site.slot && n == 0) break;
    ++rn.nodes[static_cast<std::size_t>(n)].refs;
  }
  rn.changed = true;
}

void ROUTER::keep_guide() const {
  GUIDE& guide = guide_slot();
  guide.info = m_g.route_info();
  guide.size = m_g.size();
  guide.paths.clear();
  std::vector<unsigned> path;
  for (std::size_t ni = 0; ni < m_nets.size(); ++ni) {
    const RNET& rn = m_nets[ni];
    const NET& net = m_d.nets[ni];
    for (std::size_t ci = 0; ci < net.conns.size(); ++ci) {
      if (rn.target[ci] < 0 || !m_loaded.trees[ni].conn_chain[ci].empty()) continue;
      path.clear();
      for (int n = rn.target[ci]; n >= 0; n = rn.nodes[static_cast<std::size_t>(n)].parent)
        path.push_back(rn.nodes[static_cast<std::size_t>(n)].elem);
      std::reverse(path.begin(), path.end());
      guide.paths[term_key(net.conns[ci].sink)] = {driver_key(net), path};
    }
  }
}

bool ROUTER::crosses_overuse(int ni, std::size_t ci) const {
  const RNET& rn = m_nets[static_cast<std::size_t>(ni)];
  for (int n = rn.target[ci]; n >= 0; n = rn.nodes[static_cast<std::size_t>(n)].parent)
    if (m_el[rn.nodes[static_cast<std::size_t>(n)].elem].occ > 1) return true;
  return false;
}

void ROUTER::rip(int ni, std::size_t ci) {
  RNET& rn = m_nets[static_cast<std::size_t>(ni)];
  const bool slot = m_d.nets[static_cast<std::size_t>(ni)].site.slot;
  for (int n = rn.target[ci]; n >= 0; n = rn.nodes[static_cast<std::size_t>(n)].parent) {
    if (slot && n == 0) break;
    TREE_NODE& node = rn.nodes[static_cast<std::size_t>(n)];
    if (--node.refs == 0 && !reserved(node.elem)) --m_el[node.elem].occ;
  }
  rn.target[ci] = -1;
  rn.changed = true;
}

bool ROUTER::route_conn(int ni, std::size_t ci, double pres) {
  RNET& rn = m_nets[static_cast<std::size_t>(ni)];
  const NET& net = m_d.nets[static_cast<std::size_t>(ni)];
  const CONN& conn = net.conns[ci];
  const unsigned own_slot = conn.slot_d ? conn.site.slot_id : NO_ELEMENT;
  auto cost = [&](unsigned e) -> double {
    const ELEMENT& el = m_el[e];
    const std::uint8_t f = el.flags;
    if (f & (BLOCKED | OWN)) return -1.0;
    if ((f & PINNED) && m_pin_owner.at(e) != ni) return -1.0;
    if ((f & RESERVED) && e != own_slot) return -1.0;
    return (m_g.delay(e) + 1.0) * (1.0 + pres * el.occ) * (1.0 + el.hist);
  };
  m_search.begin();
  // A sink the translation hung below its input chain is reached at the top
  // of that chain; the chain is then appended as it stands.
  const std::vector<unsigned>& chain = m_loaded.trees[static_cast<std::size_t>(ni)].conn_chain[ci];
  if (chain.empty()) target_elements(m_g, conn.site, conn.sink, m_tmp);
  else m_tmp.assign(1, chain.front());
  int x0 = 1 << 20, y0 = 1 << 20, x1 = -1, y1 = -1;
  m_targets.clear();
  for (unsigned e : m_tmp) {
    const int reg = reserved(e) ? m_d.reserved_by(e) : -1;
    if (reg >= 0 && e != own_slot && reg != ni) continue;
    if ((m_el[e].flags & BLOCKED) || pinned_elsewhere(e, ni)) continue;
    m_search.mark_target(e);
    m_targets.push_back(e);
    x0 = std::min(x0, m_g.x(e)), y0 = std::min(y0, m_g.y(e));
    x1 = std::max(x1, m_g.x(e)), y1 = std::max(y1, m_g.y(e));
  }
  if (x1 < 0) return false;
  // First within the box of the driver and the sink, with a margin (seeds
  // outside it left out), then anywhere. The margin grows by a tile each
  // time the connection is ripped up, and to WIDE_BOX_MARGIN once its box
  // held no path: only connections that keep failing search wider. (A
  // margin that widened every few rounds for all let the late rounds'
  // searches, which go around crowded elements, flood boxes several times
  // the size they needed.)
  const int margin = BOX_MARGIN + rn.grown[ci];
  int bx0 = std::min(x0, net.site.x) - margin, by0 = std::min(y0, net.site.y) - margin;
  int bx1 = std::max(x1, net.site.x) + margin, by1 = std::max(y1, net.site.y) + margin;
  // A clock over a global network climbs the spine column from row 0, then
  // runs along its row from the PMUX at the first column of the sink's row
  // segment: the box takes in all three.
  if (conn.sink->get_port_type() == DB_INPUT_PORT_CLK && on_global_network(conn.sink)) {
    const int spine = m_g.nx() / 2;
    bx0 = std::min({bx0, spine, wump_pmux_column(x0)});
    bx1 = std::max(bx1, spine);
    by0 = 0;
  }
  auto inside = [&](unsigned e) { return m_g.x(e) >= bx0 && m_g.x(e) <= bx1 && m_g.y(e) >= by0 && m_g.y(e) <= by1; };
  unsigned t = NO_ELEMENT;
  bool has_tree = false;
  for (int attempt = 0; attempt < (has_tree ? 3 : 2) && t == NO_ELEMENT; ++attempt) {
    const bool boxed = attempt == 0;
    if (!boxed) {
      m_search.begin();
      for (unsigned e : m_targets) m_search.mark_target(e);
    }
    m_seeds.clear();
    m_seed_local.clear();
    bool any_own = false;
    for (std::size_t k = 0; k < rn.nodes.size(); ++k)
      if (rn.nodes[k].refs > 0 || (net.site.slot && k == 0)) {
        any_own = true;
        if (!boxed || inside(rn.nodes[k].elem)) {
          m_seeds.push_back({rn.nodes[k].elem, 0.0, 0});
          m_seed_local.push_back(static_cast<int>(k));
        }
      }
    has_tree = any_own;
    if (boxed) keep_nearest_seeds(x0, y0, x1, y1);
    // Last, a net with a tree also starts from the driver's other outputs:
    // a turn keeps to the next track, so on a narrow fabric the wires a
    // tree can reach may miss every wire into a sink's element.
    if (!any_own || attempt == 2) {
      source_elements(m_g, net.site, m_tmp);
      for (unsigned e : m_tmp) {
        const double c = cost(e);
        if (c >= 0) {
          m_seeds.push_back({e, c, m_g.delay(e)});
          m_seed_local.push_back(-1);
        }
      }
    }
    if (m_seeds.empty()) continue;
    if (boxed) m_search.set_region(bx0, by0, bx1, by1);
    t = m_search.run(m_g, m_seeds, x0, y0, x1, y1, cost);
    m_search.clear_region();
    ++stats_slot().searches;
    if (boxed && t == NO_ELEMENT) rn.grown[ci] = std::max<std::uint8_t>(rn.grown[ci], WIDE_BOX_MARGIN - BOX_MARGIN);
  }
  if (t == NO_ELEMENT) return false;
  unsigned seed = NO_ELEMENT;
  m_search.path(t, m_path, &seed);
  // A seed in the tree is where the path branches off; a driver output
  // starts the tree.
  int parent = -1;
  for (std::size_t i = 0; i < m_seeds.size(); ++i)
    if (m_seeds[i].id == seed) {
      parent = m_seed_local[i];
      break;
    }
  if (parent < 0) m_path.insert(m_path.begin(), seed);
  if (!chain.empty()) m_path.insert(m_path.end(), chain.begin() + 1, chain.end());
  append_path(ni, ci, m_path.cbegin(), m_path.cend(), parent);
  return true;
}

// A wide net's tree spreads over much of the device: seeded from all of it,
// each of its sinks' searches would push thousands of seeds that lie far
// from the sink and are never expanded. Its branches near the sink are
// where the new branch starts: the seeds kept are those within a few tiles
// of the nearest one's lower bound to the sink.
void ROUTER::keep_nearest_seeds(int x0, int y0, int x1, int y1) {
  if (m_seeds.size() <= kNearSeedsFrom) return;
  double nearest = 1e300;
  for (const SEED& s : m_seeds) nearest = std::min(nearest, m_g.bound(s.id, x0, y0, x1, y1));
  const double reach = nearest + kNearSeedSlack * m_g.bound_per_tile();
  std::size_t kept = 0;
  for (std::size_t i = 0; i < m_seeds.size(); ++i)
    if (m_g.bound(m_seeds[i].id, x0, y0, x1, y1) <= reach) {
      m_seeds[kept] = m_seeds[i];
      m_seed_local[kept] = m_seed_local[i];
      ++kept;
    }
  m_seeds.resize(kept);
  m_seed_local.resize(kept);
}

int ROUTER::count_overused() const {
  int n = 0;
  for (const ELEMENT& el : m_el) n += el.occ > 1 ? 1 : 0;
  return n;
}

// The connections a round routes: those not routed yet (and not failed)
// and, after the first round, those through an overused element.
int ROUTER::connections_to_search(int round) const {
  int n = 0;
  for (std::size_t ni = 0; ni < m_nets.size(); ++ni) {
    const RNET& rn = m_nets[ni];
    for (std::size_t ci = 0; ci < m_d.nets[ni].conns.size(); ++ci)
      if (rn.target[ci] < 0 ? !rn.failed[ci] : round > 1 && !rn.pinned[ci] && crosses_overuse(static_cast<int>(ni), ci))
        ++n;
  }
  return n;
}

int ROUTER::connections_left() const {
  int left = 0;
  for (std::size_t ni = 0; ni < m_nets.size(); ++ni)
    for (std::size_t ci = 0; ci < m_d.nets[ni].conns.size(); ++ci)
      left += m_nets[ni].target[ci] < 0 || crosses_overuse(static_cast<int>(ni), ci) ? 1 : 0;
  return left;
}

bool ROUTER::run() {
  const auto started = std::chrono::steady_clock::now();
  load();
  STATS& st = stats_slot();
  st = STATS{};
  st.nets = static_cast<int>(m_d.nets.size());
  for (const NET& n : m_d.nets) st.connections += static_cast<int>(n.conns.size());
  double pres = m_o.first_present_factor;
  int overused = 0;
  const bool guided = m_o.follow_last_routing || cfg_is_on("host_router_follow_last_routing", true);
  if (const GUIDE& guide = guide_slot();
      guided && guide.info == m_g.route_info() && guide.size == m_g.size() && !guide.paths.empty())
    m_guide = &guide;
  const ROUND_LISTENER& listener = host_world_slot<ROUND_LISTENER>();
  const double clock_start = listener.clock ? listener.clock() : 0.0;
  const auto seconds = [&] {
    return listener.clock ? listener.clock() - clock_start
                          : std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  };
  for (int round = 1; round <= std::max(1, m_o.max_rounds); ++round) {
    st.rounds = round;
    // Progress within a long round: the connections searched so far of
    // those the round has to route.
    ROUND progress;
    progress.round = round;
    progress.ended = false;
    double next_progress = 0.0;
    if (listener.listener && listener.progress_every > 0) {
      progress.to_search = connections_to_search(round);
      next_progress = seconds() + listener.progress_every;
    }
    m_search.set_bound_weight(m_o.bound_weight);
    for (std::size_t ni = 0; ni < m_nets.size(); ++ni) {
      RNET& rn = m_nets[ni];
      const NET& net = m_d.nets[ni];
      bool need = false;
      for (std::size_t ci = 0; ci < net.conns.size(); ++ci) {
        if (rn.target[ci] >= 0 && round > 1 && !rn.pinned[ci] && crosses_overuse(static_cast<int>(ni), ci)) {
          rip(static_cast<int>(ni), ci);
          if (rn.grown[ci] < 255) ++rn.grown[ci];
        }
        need = need || (rn.target[ci] < 0 && !rn.failed[ci]);
      }
      if (!need) continue;
      activate(static_cast<int>(ni));
      for (std::size_t ci = 0; ci < net.conns.size(); ++ci) {
        if (rn.target[ci] >= 0 || rn.failed[ci]) continue;
        if (progress.to_search > 0) {
          if (const double now = seconds(); now >= next_progress) {
            progress.seconds = now;
            listener.listener(progress);
            next_progress = now + listener.progress_every;
          }
          ++progress.searched;
        }
        if (m_guide && follow_guide(static_cast<int>(ni), ci)) {
          ++st.routed;
          ++st.guided;
        } else if (route_conn(static_cast<int>(ni), ci, pres)) {
          ++st.routed;
        } else {
          rn.failed[ci] = 1;
          m_ok = false;
          report("unroutable connection " + describe(net.oterm ? net.oterm : nullptr, net.conns[ci].sink));
        }
      }
    }
    m_guide = nullptr;
    m_own_node.clear();
    overused = count_overused();
    if (listener.listener) {
      ROUND info;
      info.round = round;
      info.overused = overused;
      info.connections_left = connections_left();
      info.seconds = seconds();
      listener.listener(info);
    }
    if (overused == 0) break;
    for (ELEMENT& el : m_el)
      if (el.occ > 1) el.hist += static_cast<float>(m_o.history_factor * (el.occ - 1));
    pres = round == 1 ? m_o.present_factor : pres * m_o.present_growth;
  }
  if (overused > 0) {
    m_ok = false;
    report("congestion not resolved after " + std::to_string(st.rounds) + " rounds: " + std::to_string(overused) +
           " overused elements");
    for (std::size_t ni = 0; ni < m_nets.size(); ++ni)
      for (std::size_t ci = 0; ci < m_d.nets[ni].conns.size(); ++ci)
        if (m_nets[ni].target[ci] >= 0 && !m_nets[ni].pinned[ci] && crosses_overuse(static_cast<int>(ni), ci)) {
          rip(static_cast<int>(ni), ci);
          report("left unrouted (congestion): " + describe(m_d.nets[ni].oterm, m_d.nets[ni].conns[ci].sink));
        }
  }
  st.expansions = m_search.expansions();
  write();
  if (guided && m_ok) keep_guide();
  return m_ok;
}

void ROUTER::write() {
  VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  const std::size_t count = m_nets.size();
  // Erasing a tree takes the pair roots below its slot leaves along, so the
  // nets of those registers are written anew as well.
  for (bool again = true; again;) {
    again = false;
    for (std::size_t ni = 0; ni < count; ++ni) {
      if (!m_nets[ni].changed) continue;
      const NET& net = m_d.nets[ni];
      for (std::size_t ci = 0; ci < net.conns.size(); ++ci) {
        const int node = m_loaded.trees[ni].conn_node[ci];
        if (!net.conns[ci].slot_d || node < 0 || !r.is_zota_node(node)) continue;
        RNET& q = m_nets[static_cast<std::size_t>(m_d.reserved_by(net.conns[ci].site.slot_id))];
        if (!q.changed) q.changed = again = true;
      }
    }
  }
  // Wires kept only because translated routing still to complete hung below
  // them (a virtual node, which goes with the old tree) lead to no sink once
  // the net is routed: their pins are released, so only wires on the way to
  // a routed connection (or a kept hold stub) are written.
  for (std::size_t ni = 0; ni < count; ++ni) {
    RNET& rn = m_nets[ni];
    if (!rn.changed) continue;
    for (int pin : m_loaded.trees[ni].pinned)
      for (int n = pin; n >= 0; n = rn.nodes[static_cast<std::size_t>(n)].parent) --rn.nodes[static_cast<std::size_t>(n)].refs;
  }
  bool erased = false, wrote = false;
  for (std::size_t ni = 0; ni < count; ++ni) {
    if (!m_nets[ni].changed) continue;
    const NET_TREE& t = m_loaded.trees[ni];
    if (t.root >= 0 && r.is_live(t.root)) r.erase(t.root), erased = true;
    for (int x : t.extra_roots)
      if (r.is_live(x)) r.erase(x), erased = true;
    for (int x : t.virtual_roots)
      if (r.is_live(x)) r.erase(x), erased = true;
  }
  // The slot leaf (D side) and pair root (Q side) of each register net.
  std::vector<int> d_node(count, -1), q_root(count, -1);
  for (std::size_t ni = 0; ni < count; ++ni) {
    RNET& rn = m_nets[ni];
    const NET& net = m_d.nets[ni];
    const NET_TREE& t = m_loaded.trees[ni];
    if (!rn.changed) {
      if (net.site.slot) q_root[ni] = t.root;
      for (std::size_t ci = 0; ci < net.conns.size(); ++ci)
        if (net.conns[ci].slot_d && rn.target[ci] >= 0)
          d_node[static_cast<std::size_t>(m_d.reserved_by(net.conns[ci].site.slot_id))] = t.conn_node[ci];
      continue;
    }
    bool any = false;
    for (int tg : rn.target) any = any || tg >= 0;
    if (!any && !net.site.slot) continue;
    std::vector<int> vok(rn.nodes.size(), -1);
    int root = -1;
    std::size_t first = 0;
    if (net.site.slot) {
      if (!any) continue;
      root = r.new_root(static_cast<std::int32_t>(net.site.slot_id | GID_BIT));
      vok[0] = root;
      q_root[ni] = root;
      first = 1;
    } else {
      root = r.new_source(net.oterm);
    }
    wrote = true;
    for (std::size_t k = first; k < rn.nodes.size(); ++k) {
      const TREE_NODE& n = rn.nodes[k];
      if (n.refs <= 0) continue;
      vok[k] = r.append_child_value(n.parent < 0 ? root : vok[static_cast<std::size_t>(n.parent)],
                              static_cast<std::int32_t>(n.elem | GID_BIT));
    }
    for (std::size_t ci = 0; ci < net.conns.size(); ++ci) {
      const int tg = rn.target[ci];
      if (tg < 0) continue;
      if (net.conns[ci].slot_d)
        d_node[static_cast<std::size_t>(m_d.reserved_by(net.conns[ci].site.slot_id))] = vok[static_cast<std::size_t>(tg)];
      else
        r.append_sink(vok[static_cast<std::size_t>(tg)], net.conns[ci].sink);
    }
  }
  for (std::size_t ni = 0; ni < count; ++ni) {
    if (!m_d.nets[ni].site.slot || d_node[ni] < 0) continue;
    if (q_root[ni] < 0 || !r.is_live(q_root[ni])) {
      q_root[ni] = r.new_root(static_cast<std::int32_t>(m_d.nets[ni].site.slot_id | GID_BIT));
      wrote = true;
    }
    const int d = d_node[ni], q = q_root[ni];
    if (r.is_zota_node(d) && r.is_zota_node(q) && r.get_corresponding_zota_id(d) == q) continue;
    r.set_zota_pair(d, q);
    wrote = true;
  }
  if (erased) {
    if (r.get_atom_netlist() != nullptr) r.rebuild_terminal_maps();
    else r.attach_atom_netlist(host::vok::top_netlist(), VOK_TRAVERSE_HIERARCHICAL);
  }
  if (erased || wrote) r.bump_change_counter();
}

}  // namespace

bool route_design(std::string* why, const OPTIONS& options) {
  ROUTER router(host::korrin::graph(), options, why);
  return router.run();
}

STATS last_stats() { return stats_slot(); }

std::size_t per_element_bytes() { return sizeof(float) + sizeof(std::uint16_t) + sizeof(std::uint8_t) + 1; }

void set_round_listener(void (*listener)(const ROUND&), double progress_every_seconds, double (*clock)()) {
  host_world_slot<ROUND_LISTENER>() = {listener, progress_every_seconds, clock};
}

}  // namespace host::router

namespace host::routing {

using namespace host::korrin;

namespace {
struct CHECK_STATS {
  int hold_stubs = 0;
  int connections = 0;
};
}  // namespace

bool check(std::string* why) {
  const GRAPH& g = graph();
  const DESIGN d = collect_design(g);
  const VOK_RE_ROUTING& r = *VOK_CHIP_DB_ENTRY::current()->get_routing();
  const WUMP_BLACKLISTING* bl = host::device::die_info()->get_blacklisting();
  std::vector<std::string> findings;
  const LOADED loaded = load_trees(g, d, r, bl, &findings);
  for (std::size_t ni = 0; ni < d.nets.size(); ++ni) {
    const NET& net = d.nets[ni];
    const NET_TREE& t = loaded.trees[ni];
    for (std::size_t ci = 0; ci < net.conns.size(); ++ci) {
      if (t.conn_target[ci] < 0) {
        findings.push_back("unrouted connection " + describe(net.oterm, net.conns[ci].sink));
        continue;
      }
      if (!net.conns[ci].slot_d) continue;
      const int dn = t.conn_node[ci];
      const int q = loaded.trees[static_cast<std::size_t>(d.reserved_by(net.conns[ci].site.slot_id))].root;
      if (!r.is_zota_node(dn) || q < 0 || !r.is_zota_node(q) || r.get_corresponding_zota_id(dn) != q)
        findings.push_back("pipeline register " + net.conns[ci].sink->get_my_node()->get_string_hpath() +
                           ": its slot is not paired with its net's root");
    }
  }
  // Connections an end of which has no place on the device are never
  // routed: they count, as unrouted.
  int connections = 0;
  for (const NET& net : d.nets) connections += static_cast<int>(net.conns.size());
  for (const auto& [driver, sink] : blocked_connections(d)) {
    ++connections;
    findings.push_back("unrouted connection " + describe(driver, sink) + " (an end has no place on the device)");
  }
  // Element use over every tree: a register's pair root shares its slot with
  // the leaf where its data input ends.
  std::vector<std::uint8_t> used(g.size(), 0);
  for (int id = 0; id < r.forest().num_slots(); ++id) {
    if (!r.is_live(id)) continue;
    const std::int32_t v = r.get_value(id);
    if (!VOK_RE_ROUTING::is_wire_value(v)) continue;
    const unsigned e = static_cast<unsigned>(v) & ~GID_BIT;
    if (e >= g.size()) {
      findings.push_back("node " + std::to_string(id) + " names no element");
      continue;
    }
    if (r.forest().parent(id) == -1 && d.reserved_by(e) >= 0) continue;
    if (used[e] == 1) findings.push_back("element used more than once: " + element_name(e));
    if (used[e] < 2) ++used[e];
    if (bl->is_routing_gid_blacklisted(e | GID_BIT) && used[e] == 1)
      findings.push_back("blacklisted element used: " + element_name(e));
  }
  host_world_slot<CHECK_STATS>().hold_stubs = loaded.hold_stubs;
  host_world_slot<CHECK_STATS>().connections = connections;
  if (why)
    for (const std::string& f : findings) *why += f + "\n";
  return findings.empty();
}

int last_check_hold_stubs() { return host_world_slot<CHECK_STATS>().hold_stubs; }
int last_check_connections() { return host_world_slot<CHECK_STATS>().connections; }

}  // namespace host::routing
