#include "korrin/korrin_incremental_router.h"

#include <algorithm>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "common/host_call_log.h"
#include "korrin/korrin_design.h"
#include "korrin/korrin_search.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_netlist_boxes.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_logical_port.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_blacklisting.h"
#include "wump/wump_die_info.h"

namespace KORRIN {

using namespace host::korrin;

namespace {

// Per-thread state kept from batch to batch: one index per element for each
// map, the rest grows with what a batch meets; a batch clears nothing in
// proportion to the device.
struct SCRATCH {
  unsigned n = 0;
  std::unique_ptr<SEARCH> fwd, bwd;
  SPARSE_MAP<char> mark;  // elements of the detour being checked for disjointness
  SPARSE_MAP<int> owner;  // owner cached in the current view
  SPARSE_MAP<char> slot_taken;  // whether a register sits in a slot, per view

  void fit(unsigned size) {
    if (n == size && fwd) return;
    n = size;
    fwd = std::make_unique<SEARCH>(size);
    bwd = std::make_unique<SEARCH>(size);
    mark = SPARSE_MAP<char>(size);
    owner = SPARSE_MAP<int>(size);
    slot_taken = SPARSE_MAP<char>(size);
  }
};

SCRATCH& scratch(const GRAPH& g) {
  thread_local SCRATCH s;
  s.fit(g.size());
  return s;
}

// Elements a walk back from a connection's targets meets at most before it
// gives up: a few LABs' worth of routing, whatever the device's size.
constexpr std::size_t WALL_WALK_CAP = 1u << 12;

// Whether no seed can reach a target, shown by walking back from the
// targets over the elements the forward search may enter (a path starts at
// a seed; every later element must have a cost) and meeting no seed. A
// target walled in by other nets' routing is found so within its
// neighbourhood, where the forward search would meet every element it can
// reach, most of the device, before failing. False when a seed is met or
// the walk passes `cap` elements (not known).
template <class COST>
bool walled_in(const GRAPH& g, const std::vector<SEED>& seeds, const std::vector<unsigned>& targets, COST&& cost,
               SPARSE_MAP<char>& mark, std::vector<unsigned>& stack, std::size_t cap) {
  constexpr char SEED_MARK = 1, ENTERED = 2, CLOSED_OFF = 3;
  mark.clear();
  stack.clear();
  for (const SEED& s : seeds) mark.get(s.id) = SEED_MARK;
  auto visit = [&](unsigned v) {
    char& m = mark.get(v);
    if (m == SEED_MARK) return false;
    if (m != 0) return true;
    if (cost(v) < 0) {
      m = CLOSED_OFF;
      return true;
    }
    m = ENTERED;
    stack.push_back(v);
    return true;
  };
  // A target that is a seed is reached at once.
  for (unsigned t : targets)
    if (!visit(t)) return false;
  for (std::size_t walked = 0; !stack.empty(); ++walked) {
    if (walked >= cap) return false;
    const unsigned u = stack.back();
    stack.pop_back();
    const GRAPH::EDGES in = g.fanins(u);
    for (int i = 0; i < in.count; ++i) {
      const unsigned v = u + static_cast<unsigned>(in.rel[i]);
      // An element whose only fanout is virtual leads nowhere forward.
      if (g.virtual_only(v)) continue;
      if (!visit(v)) return false;
    }
  }
  return true;
}

// What a routing holds, looked up where a batch or a commit needs it
// through the routing's element index and terminal maps: the cost follows
// the elements the searches meet, not the routing's size.
struct VIEW {
  const GRAPH& g;
  const VOK_RE_ROUTING& r;
  SCRATCH& s;
  VIEW(const GRAPH& graph, const VOK_RE_ROUTING& routing, SCRATCH& sc) : g(graph), r(routing), s(sc) {
    s.owner.clear();
    s.slot_taken.clear();
  }

  // Whether a slot holds a register (any atom of the hierarchy placed in
  // it): the only atoms the routing's elements can collide with. Read from
  // the netlists' indexes of placed atoms, so that a query costs what the
  // slot holds, not the design; kept per view.
  static bool placed_in(const VOK_ATOM_NETLIST* n, std::uint32_t gid) {
    if (n == nullptr) return false;
    for (const VOK_ATOM_NODE* a : n->get_atoms_at_gid(gid))
      if (!a->is_box() && site_of(a).slot) return true;
    for (const VOK_ATOM_BLACKBOX* box : host::vok::boxes_of(n))
      if (placed_in(box->get_child_netlist(), gid)) return true;
    return false;
  }
  bool reserved(unsigned e) {
    if (!g.is_slot(e)) return false;
    // Asked on every step a search takes into a slot: kept in the scratch's
    // array-indexed map (slot elements already asked about).
    if (const char* taken = s.slot_taken.find(e)) return *taken != 0;
    const bool taken = placed_in(host::vok::top_netlist(), e | GID_BIT);
    s.slot_taken.add(e, taken ? 1 : 0);
    return taken;
  }
  // The root of the tree holding element e (-1: free; a slot holding a
  // register is never owned), or what set_owner recorded.
  int owner(unsigned e) {
    if (const int* o = s.owner.find(e)) return *o;
    int o = -1;
    if (!reserved(e)) {
      const int node = r.get_element_node(e);
      if (node >= 0) o = r.get_raw_root(node);
    }
    set_owner(e, o);
    return o;
  }
  void set_owner(unsigned e, int o) {
    s.owner.get(e) = o;
  }
  // The pair root (Q side) and the data-input leaf (D side) of a slot, -1
  // for none.
  int slot_root(unsigned slot) const {
    for (int n : r.get_element_nodes(slot))
      if (r.forest().parent(n) == -1) return n;
    return -1;
  }
  int slot_leaf(unsigned slot) const {
    for (int n : r.get_element_nodes(slot))
      if (r.forest().parent(n) != -1) return n;
    return -1;
  }
  // The source root of a driver's output term, -1 for none.
  int source_root(const VOK_ATOM_OTERM* o) const {
    const std::uint64_t key = term_key(o);
    auto names = [&](int n) {
      if (!r.is_live(n) || r.forest().parent(n) != -1 || !r.is_terminal(n)) return false;
      const VOK_RE_TERMINAL& t = r.get_node_terminal(n);
      return t.name_space == VOK_PORT_NAMESPACE_OUTPUT &&
             term_key(static_cast<int>(t.port.get_atom_id()), vok_port_type_of_symbol(t.port.get_port()),
                      t.port.get_index()) == key;
    };
    // The terminal maps follow every edit while a netlist is attached.
    if (r.get_atom_netlist() != nullptr) {
      const int n = r.get_source_node(o);
      return n >= 0 && names(n) ? n : -1;
    }
    for (int root = r.forest().first_root(); root != -1; root = r.forest().next_sibling(root))
      if (names(root)) return root;
    return -1;
  }
  // The wire elements of a tree (raw children; slots holding registers left
  // out), with their delay from the root.
  template <class FN> void walk_tree(int root, FN&& fn) {
    struct WALK {
      int node;
      int delay;
    };
    std::vector<WALK> stack{{root, 0}};
    while (!stack.empty()) {
      const WALK w = stack.back();
      stack.pop_back();
      const std::int32_t v = r.get_value(w.node);
      int delay = w.delay;
      if (VOK_RE_ROUTING::is_wire_value(v)) {
        const unsigned e = static_cast<unsigned>(v) & ~GID_BIT;
        if (e < g.size()) {
          delay += g.delay(e);
          if (!reserved(e)) fn(e, delay, -1);
        }
      } else if (v >= 0) {
        fn(NO_ELEMENT, delay, w.node);
      }
      for (int c = r.forest().first_child(w.node); c != -1; c = r.forest().next_sibling(c)) stack.push_back({c, delay});
    }
  }
};

// A net of the batch: its tree in the routing (if any) and what the batch added.
struct BATCH_NET {
  int owner = -1;  // value of SCAN::owner for its elements
  int root = -1;
  std::vector<SEED> own;  // its elements with their delay from the root
  std::unordered_set<std::uint64_t> sinks;
  bool slot = false;
};

}  // namespace

INCREMENTAL_ROUTER::INCREMENTAL_ROUTER(VOK_RE_ROUTING* routing, const WUMP_ROUTE_INFO* route_info,
                                       const W3J3_PORT_MAP_INTERFACE* port_map)
    : m_routing(routing), m_route_info(route_info) {
  host::log_call("KORRIN::INCREMENTAL_ROUTER::INCREMENTAL_ROUTER", static_cast<const void*>(routing),
                 static_cast<const void*>(route_info), static_cast<const void*>(port_map));
}

INCREMENTAL_ROUTER::~INCREMENTAL_ROUTER() = default;

bool INCREMENTAL_ROUTER::add_connection(VOK_ATOM_OTERM* src, VOK_ATOM_ITERM* sink,
                                        const std::vector<DELAY_BUDGET>* budgets, const WUMP_BLACKLISTING* blacklist) {
  host::log_call("KORRIN::INCREMENTAL_ROUTER::add_connection", host::vok::arg(src), host::vok::arg(sink),
                 static_cast<int>(budgets ? budgets->size() : 0), static_cast<const void*>(blacklist));
  if (src == nullptr || sink == nullptr || src->get_my_node() == nullptr || sink->get_my_node() == nullptr) return false;
  m_pending.push_back({src, sink, budgets ? *budgets : std::vector<DELAY_BUDGET>{}, blacklist});
  return true;
}

IR_RESULT* INCREMENTAL_ROUTER::route_all_new_connections(bool stop_at_first_failure, NORBO_ZOTA_MANAGER* zota_manager) {
  host::log_call("KORRIN::INCREMENTAL_ROUTER::route_all_new_connections", stop_at_first_failure,
                 static_cast<const void*>(zota_manager));
  auto result = std::make_unique<IR_RESULT>();
  if (m_routing == nullptr ||
      (m_route_info != nullptr && m_route_info != host::device::die_info()->get_route_info())) {
    result->m_succeeded = false;
    result->m_reports.push_back(m_routing == nullptr ? "no routing" : "the route info is not the device's");
    for (const PENDING& p : m_pending) {
      IR_RESULT::PATH out;
      out.source = p.src;
      out.sink = p.sink;
      result->m_paths.push_back(out);
    }
    m_pending.clear();
    return result.release();
  }
  const GRAPH& g = graph();
  const WUMP_BLACKLISTING* die_bl = host::device::die_info()->get_blacklisting();
  const VOK_RE_ROUTING& r = *m_routing;
  SCRATCH& sc = scratch(g);
  VIEW view(g, r, sc);

  // Order: data inputs of registers in pipeline slots first (each has one
  // target, the slot, reached through its mux's few fan-ins; a connection
  // routed earlier in the batch, say a new register's clock entering its
  // LAB, could take the last free one), then driver id, output term and the
  // sink's place in the fanout walk.
  struct ITEM {
    std::size_t index;
    bool slot_d;
    int driver;
    int oterm;
    int position;
  };
  std::vector<ITEM> order;
  for (std::size_t i = 0; i < m_pending.size(); ++i) {
    const PENDING& p = m_pending[i];
    int pos = 0, k = 0;
    for (const VOK_ATOM_ITERM* f : p.src->cfanout(VOK_TRAVERSE_HIERARCHICAL)) {
      if (f == p.sink) {
        pos = k;
        break;
      }
      pos = ++k;
    }
    int slot_index = 0;
    for (std::size_t s = 0; s < p.src->get_my_node()->get_oterm_slot_count(); ++s)
      if (p.src->get_my_node()->get_oterm_slot(s) == p.src) slot_index = static_cast<int>(s);
    const bool slot_d = is_slot_data_input(site_of(p.sink->get_my_node()), static_cast<int>(p.sink->get_port_type()));
    order.push_back({i, slot_d, p.src->get_my_node()->get_id(), slot_index, pos});
  }
  std::stable_sort(order.begin(), order.end(), [](const ITEM& a, const ITEM& b) {
    if (a.slot_d != b.slot_d) return a.slot_d;
    if (a.driver != b.driver) return a.driver < b.driver;
    if (a.oterm != b.oterm) return a.oterm < b.oterm;
    return a.position < b.position;
  });

  std::map<std::uint64_t, BATCH_NET> nets;
  int next_synthetic = -2;
  SEARCH& fwd = *sc.fwd;
  SEARCH& bwd = *sc.bwd;
  std::vector<SEED> seeds;
  std::vector<unsigned> tmp, path, back;
  SPARSE_MAP<char>& mark = sc.mark;
  std::unordered_map<unsigned, int> slot_leaf_added;  // slots whose data input the batch routed
  bool failed = false;

  for (const ITEM& item : order) {
    const PENDING& p = m_pending[item.index];
    IR_RESULT::PATH out;
    out.source = p.src;
    out.sink = p.sink;
    auto fail = [&](const std::string& why) {
      out.status = IR_RESULT::FAILED;
      result->m_reports.push_back("unroutable connection " + describe(p.src, p.sink) + ": " + why);
      result->m_succeeded = false;
      failed = true;
    };
    const SITE sa = site_of(p.src->get_my_node());
    const SITE sb = site_of(p.sink->get_my_node());
    if (failed && stop_at_first_failure) {
      fail("not tried after an earlier failure");
      result->m_paths.push_back(out);
      continue;
    }
    if (p.sink->get_source(VOK_TRAVERSE_HIERARCHICAL) != p.src && p.sink->get_source(VOK_TRAVERSE_AS_STORED) != p.src) {
      fail("the sink is not driven by the source");
      result->m_paths.push_back(out);
      continue;
    }
    if (!sa.placed || !sb.placed) {
      fail("an atom is not placed");
      result->m_paths.push_back(out);
      continue;
    }
    if (!is_routable(g, p.src, p.sink)) {
      out.status = IR_RESULT::DEDICATED;
      result->m_paths.push_back(out);
      continue;
    }
    out.slot_d = is_slot_data_input(sb, static_cast<int>(p.sink->get_port_type()));
    // The net and its tree.
    const std::uint64_t key = sa.slot ? (std::uint64_t{1} << 63) | sa.slot_id : term_key(p.src);
    auto [it, inserted] = nets.try_emplace(key);
    BATCH_NET& net = it->second;
    if (inserted) {
      net.slot = sa.slot;
      net.root = sa.slot ? view.slot_root(sa.slot_id) : view.source_root(p.src);
      net.owner = net.root >= 0 ? net.root : next_synthetic--;
      if (sa.slot) net.own.push_back({sa.slot_id, 0.0, g.delay(sa.slot_id)});
      if (net.root >= 0)
        view.walk_tree(net.root, [&](unsigned e, int delay, int terminal) {
          if (e != NO_ELEMENT) {
            net.own.push_back({e, 0.0, delay});
            return;
          }
          const VOK_RE_TERMINAL& t = r.get_node_terminal(terminal);
          if (t.name_space == VOK_PORT_NAMESPACE_INPUT)
            net.sinks.insert(term_key(static_cast<int>(t.port.get_atom_id()), vok_port_type_of_symbol(t.port.get_port()),
                                      t.port.get_index()));
        });
    }
    // Already routed?
    if (out.slot_d ? (slot_leaf_added.count(sb.slot_id) != 0 || view.slot_leaf(sb.slot_id) >= 0)
                   : (net.sinks.count(term_key(p.sink)) != 0)) {
      out.status = IR_RESULT::ALREADY_ROUTED;
      result->m_paths.push_back(out);
      continue;
    }
    const unsigned own_slot = out.slot_d ? sb.slot_id : NO_ELEMENT;
    const WUMP_BLACKLISTING* extra = p.blacklist;
    auto blocked = [&](unsigned e) {
      return die_bl->is_routing_gid_blacklisted(e | GID_BIT) || (extra && extra->is_routing_gid_blacklisted(e | GID_BIT));
    };
    auto cost = [&](unsigned e) -> double {
      if (view.owner(e) != -1 || blocked(e)) return -1.0;
      if (e != own_slot && view.reserved(e)) return -1.0;
      return g.delay(e) + 1.0;
    };
    // Targets.
    target_elements(g, sb, p.sink, tmp);
    std::vector<unsigned> targets;
    for (unsigned e : tmp) {
      if (blocked(e)) continue;
      const bool reserved = view.reserved(e);
      if (reserved && e != own_slot && !(net.slot && e == sa.slot_id)) continue;
      if (view.owner(e) != -1 && view.owner(e) != net.owner) continue;
      targets.push_back(e);
    }
    int x0 = 1 << 20, y0 = 1 << 20, x1 = -1, y1 = -1;
    for (unsigned e : targets) {
      x0 = std::min(x0, g.x(e)), y0 = std::min(y0, g.y(e));
      x1 = std::max(x1, g.x(e)), y1 = std::max(y1, g.y(e));
    }
    auto make_seeds = [&](bool by_delay) {
      seeds.clear();
      for (const SEED& s : net.own) seeds.push_back({s.id, by_delay ? static_cast<double>(s.delay) : 0.0, s.delay});
      if (seeds.empty()) {
        source_elements(g, sa, tmp);
        for (unsigned e : tmp) {
          const double c = cost(e);
          if (c >= 0) seeds.push_back({e, by_delay ? static_cast<double>(g.delay(e)) : c, g.delay(e)});
        }
      }
    };
    auto search = [&](bool by_delay) {
      fwd.begin();
      for (unsigned e : targets) fwd.mark_target(e);
      make_seeds(by_delay);
      return targets.empty() || seeds.empty() ? NO_ELEMENT : fwd.run(g, seeds, x0, y0, x1, y1, cost);
    };
    if (!targets.empty()) {
      make_seeds(false);
      if (walled_in(g, seeds, targets, cost, mark, back, WALL_WALK_CAP)) {
        fail("no path");
        result->m_paths.push_back(out);
        continue;
      }
    }
    unsigned t = search(false);
    if (t == NO_ELEMENT) {
      fail(targets.empty() ? "no usable input element" : "no path");
      result->m_paths.push_back(out);
      continue;
    }
    unsigned seed = NO_ELEMENT;
    fwd.path(t, path, &seed);
    int delay = fwd.delay(t);
    const DELAY_BUDGET budget = p.budgets.empty() ? DELAY_BUDGET{} : p.budgets.back();
    if (delay > budget.second) {
      const unsigned t2 = search(true);
      if (t2 != NO_ELEMENT && fwd.delay(t2) < delay) {
        t = t2;
        fwd.path(t, path, &seed);
        delay = fwd.delay(t);
      }
      if (delay > budget.second) {
        out.budget_met = false;
        result->m_reports.push_back("maximum delay budget of " + std::to_string(budget.second) + " ps not met by " +
                                    describe(p.src, p.sink) + " (" + std::to_string(delay) + " ps)");
      }
    } else if (delay < budget.first) {
      // The cheapest detour through a waypoint w: forward from the sources to
      // w, backward from the targets to w, the two parts disjoint. The
      // searches keep to a box around the source and the sink's input
      // elements (an element counts as inside when either of its ends is),
      // widened by a margin that doubles while no detour is found, up to the
      // whole device: the work follows the connection, not the design.
      const double plain = fwd.cost(t);
      double limit = 2.0 * std::max(plain, static_cast<double>(budget.first)) + 200.0;
      // A path costs its delay plus one per element, so a detour within the
      // window costs at most budget.second (1 + 1 / the least hop delay):
      // the searches stop there.
      if (g.min_delay() > 0) limit = std::min(limit, budget.second * (1.0 + 1.0 / g.min_delay()) + 1.0);
      const int bx0 = std::min(x0, sa.x), by0 = std::min(y0, sa.y);
      const int bx1 = std::max(x1, sa.x), by1 = std::max(y1, sa.y);
      // A minimum above the maximum is met by no path.
      bool found = false;
      for (int margin = std::max(0, m_detour_margin); !found && budget.first <= budget.second; margin = 2 * margin + 1) {
        const int rx0 = bx0 - margin, ry0 = by0 - margin, rx1 = bx1 + margin, ry1 = by1 + margin;
        const bool whole = rx0 <= 0 && ry0 <= 0 && rx1 >= g.nx() - 1 && ry1 >= g.ny() - 1;
        auto inside = [&](unsigned e) { return whole || g.bound(e, rx0, ry0, rx1, ry1) == 0.0; };
        // Whether the box kept the searches from an element they could
        // enter: when it did not, a wider box finds nothing more.
        bool clipped = false;
        auto boxed = [&](unsigned e) {
          const double c = cost(e);
          if (c < 0 || inside(e)) return c;
          clipped = true;
          return -1.0;
        };
        // The searches run to a cost cap that grows in steps up to `limit`.
        // Every step cost is positive, so a waypoint whose two costs sum to
        // at most the cap has both exact (its paths run through cheaper
        // elements only), and the waypoints within a cap are the first of
        // the whole list in its order: when one of its first 64 is a
        // detour, the searches to `limit` would pick the same one. Only the
        // last step, to `limit` itself, decides that none is found and
        // whether the box clipped.
        const double least = std::max(plain, static_cast<double>(budget.first));
        std::vector<double> caps;
        for (double f : {1.25, 1.5})
          if (m_detour_cap_steps && f * least + 50.0 < limit) caps.push_back(f * least + 50.0);
        caps.push_back(limit);
        for (std::size_t ci = 0; ci < caps.size() && !found; ++ci) {
          const double cap = caps[ci];
          const bool last = ci + 1 == caps.size();
          fwd.begin();
          make_seeds(false);
          const std::size_t all_seeds = seeds.size();
          seeds.erase(std::remove_if(seeds.begin(), seeds.end(), [&](const SEED& s) { return !inside(s.id); }),
                      seeds.end());
          clipped = seeds.size() != all_seeds;
          fwd.run(g, seeds, 0, 0, 0, 0, boxed, cap, true);
          bwd.begin();
          std::vector<SEED> bseeds;
          for (unsigned e : targets)
            if (view.owner(e) != net.owner) bseeds.push_back({e, 0.0, 0});
          bwd.run(g, bseeds, 0, 0, 0, 0, boxed, cap, true, true);
          // With a top to the window, detours below it wait for the last
          // step and come after every detour that reaches it.
          const bool top_first = budget.top > budget.first;
          struct CAND {
            bool below_top;
            double cost;
            unsigned id;
            int delay;
          };
          std::vector<CAND> cands;
          // Only what the forward search reached can be a waypoint.
          for (unsigned w : fwd.visited()) {
            if (!bwd.reached(w) || view.owner(w) == net.owner) continue;
            const double c = fwd.cost(w) + bwd.cost(w);
            if (!last && c > cap) continue;
            const int d = fwd.delay(w) + bwd.delay(w);
            if (d < budget.first || d > budget.second) continue;
            const bool below_top = top_first && d < budget.top;
            if (!below_top || last) cands.push_back({below_top, c, w, d});
          }
          std::sort(cands.begin(), cands.end(), [](const CAND& a, const CAND& b) {
            if (a.below_top != b.below_top) return b.below_top;
            return a.cost < b.cost || (a.cost == b.cost && a.id < b.id);
          });
          for (std::size_t k = 0; k < cands.size() && k < 64 && !found; ++k) {
            unsigned s2 = NO_ELEMENT;
            fwd.path(cands[k].id, tmp, &s2);
            mark.clear();
            const bool fresh =
                std::find_if(net.own.begin(), net.own.end(), [&](const SEED& s) { return s.id == s2; }) == net.own.end();
            if (fresh) mark.get(s2);
            for (unsigned e : tmp) mark.get(e);
            back.clear();
            bool ok = true;
            for (int u = bwd.prev(cands[k].id); u >= 0 && ok; u = bwd.prev(static_cast<unsigned>(u))) {
              ok = mark.find(static_cast<unsigned>(u)) == nullptr;
              mark.get(static_cast<unsigned>(u));
              back.push_back(static_cast<unsigned>(u));
            }
            if (!ok) continue;
            found = true;
            seed = s2;
            path = tmp;
            path.insert(path.end(), back.begin(), back.end());
            delay = cands[k].delay;
          }
          // The first 64 of the whole list were all tried: only the last
          // step can say no more.
          if (!found && !last && cands.size() >= 64) ci = caps.size() - 2;
        }
        if (whole || !clipped) break;
        // Nor once the box holds every detour the window allows: a path's
        // delay grows by at least 40 ps a tile it travels (the graph's
        // bound), so no element of a detour of at most budget.second lies
        // further than budget.second / 40 tiles from the sink's elements.
        // Widening on costs searches of the whole device for nothing.
        if (margin > budget.second / 40 + 1) break;
      }
      if (!found) {
        out.budget_met = false;
        result->m_reports.push_back("minimum delay budget of " + std::to_string(budget.first) + " ps not met by " +
                                    describe(p.src, p.sink) + " (" + std::to_string(delay) + " ps)");
      }
    }
    // Record the path and make it the net's.
    const auto own_it = std::find_if(net.own.begin(), net.own.end(), [&](const SEED& s) { return s.id == seed; });
    int running = 0;
    if (own_it != net.own.end()) {
      out.attach = seed | GID_BIT;
      running = own_it->delay;
    } else {
      path.insert(path.begin(), seed);
    }
    for (unsigned e : path) {
      out.gids.push_back(e | GID_BIT);
      running += g.delay(e);
      if (view.reserved(e)) continue;
      view.set_owner(e, net.owner);
      net.own.push_back({e, 0.0, running});
    }
    out.delay_ps = running;
    out.status = IR_RESULT::ROUTED;
    if (out.slot_d) slot_leaf_added.emplace(sb.slot_id, -1);
    else net.sinks.insert(term_key(p.sink));
    result->m_paths.push_back(out);
  }
  m_pending.clear();
  return result.release();
}

bool INCREMENTAL_ROUTER::commit(IR_RESULT* result, VOK_RE_ROUTING* routing) {
  host::log_call("KORRIN::INCREMENTAL_ROUTER::commit", static_cast<const void*>(result), static_cast<const void*>(routing));
  if (result == nullptr || routing == nullptr) return false;
  const GRAPH& g = graph();
  VOK_RE_ROUTING& r = *routing;
  VIEW view(g, r, scratch(g));
  // Check everything first: new elements free, branch points present.
  std::map<std::uint64_t, std::unordered_set<unsigned>> net_elems;
  std::unordered_set<unsigned> taken;
  auto net_key = [](const IR_RESULT::PATH& p, const SITE& sa) {
    return sa.slot ? (std::uint64_t{1} << 63) | sa.slot_id : term_key(p.source);
  };
  for (const IR_RESULT::PATH& p : result->m_paths) {
    if (p.status != IR_RESULT::ROUTED) continue;
    const SITE sa = site_of(p.source->get_my_node());
    const std::uint64_t key = net_key(p, sa);
    auto [it, inserted] = net_elems.try_emplace(key);
    if (inserted) {
      const int root = sa.slot ? view.slot_root(sa.slot_id) : view.source_root(p.source);
      if (sa.slot) it->second.insert(sa.slot_id);
      // A named reference: clang 14 cannot capture a structured binding.
      auto& elems = it->second;
      if (root >= 0)
        view.walk_tree(root, [&](unsigned e, int, int) {
          if (e != NO_ELEMENT) elems.insert(e);
        });
    }
    if (p.attach != 0xFFFFFFFFu && !it->second.count(p.attach & ~GID_BIT)) return false;
    for (unsigned gid : p.gids) {
      const unsigned e = gid & ~GID_BIT;
      if (e >= g.size()) return false;
      if (view.reserved(e)) {
        if (!p.slot_d || view.slot_leaf(e) >= 0) return false;
        continue;
      }
      if (view.owner(e) != -1 || !taken.insert(e).second) return false;
      it->second.insert(e);
    }
  }
  // Apply.
  std::map<int, std::unordered_map<unsigned, int>> node_of;  // root -> element -> node
  auto nodes = [&](int root) -> std::unordered_map<unsigned, int>& {
    auto [it, inserted] = node_of.try_emplace(root);
    if (inserted) {
      std::vector<int> stack{root};
      while (!stack.empty()) {
        const int n = stack.back();
        stack.pop_back();
        if (r.is_wire(n)) it->second.emplace(r.get_gid(n) & ~GID_BIT, n);
        for (int c = r.forest().first_child(n); c != -1; c = r.forest().next_sibling(c)) stack.push_back(c);
      }
    }
    return it->second;
  };
  // The routing's element index follows each node written, so the slots'
  // two sides are looked up as they stand.
  auto pair_slot = [&](unsigned slot) {
    const int d = view.slot_leaf(slot);
    const int q = view.slot_root(slot);
    if (d < 0 || q < 0) return;
    if (r.is_zota_node(d) && r.is_zota_node(q) && r.get_corresponding_zota_id(d) == q) return;
    r.set_zota_pair(d, q);
  };
  std::unordered_map<std::uint64_t, int> new_sources;
  bool wrote = false;
  for (const IR_RESULT::PATH& p : result->m_paths) {
    if (p.status != IR_RESULT::ROUTED) continue;
    const SITE sa = site_of(p.source->get_my_node());
    int root = -1;
    if (sa.slot) {
      root = view.slot_root(sa.slot_id);
      if (root < 0) {
        root = r.new_root(static_cast<std::int32_t>(sa.slot_id | GID_BIT));
        pair_slot(sa.slot_id);
      }
    } else {
      auto f = new_sources.find(term_key(p.source));
      root = f != new_sources.end() ? f->second : view.source_root(p.source);
      if (root < 0) {
        root = r.new_source(p.source);
        new_sources[term_key(p.source)] = root;
      }
    }
    auto& map = nodes(root);
    if (sa.slot) map.emplace(sa.slot_id, root);
    int parent = p.attach == 0xFFFFFFFFu ? root : map.at(p.attach & ~GID_BIT);
    for (unsigned gid : p.gids) {
      parent = r.append_child_value(parent, static_cast<std::int32_t>(gid | GID_BIT));
      map.emplace(gid & ~GID_BIT, parent);
    }
    if (p.slot_d) {
      const unsigned slot = p.gids.back() & ~GID_BIT;
      if (view.slot_root(slot) < 0) r.new_root(static_cast<std::int32_t>(slot | GID_BIT));
      pair_slot(slot);
    } else {
      r.append_sink(parent, p.sink);
    }
    wrote = true;
  }
  if (wrote) r.bump_change_counter();
  return true;
}

bool test_korrin_incremental_router() {
  host::log_call("KORRIN::test_korrin_incremental_router");
  const GRAPH& g = graph();
  VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  const DESIGN d = collect_design(g);
  const LOADED loaded = load_trees(g, d, *routing, host::device::die_info()->get_blacklisting(), nullptr);
  INCREMENTAL_ROUTER ir(routing, g.route_info(), nullptr);
  for (std::size_t ni = 0; ni < d.nets.size(); ++ni) {
    const NET& net = d.nets[ni];
    for (std::size_t ci = 0; ci < net.conns.size(); ++ci) {
      if (loaded.trees[ni].conn_target[ci] >= 0) continue;
      VOK_ATOM_OTERM* src = net.conns[ci].sink->get_source(VOK_TRAVERSE_HIERARCHICAL);
      ir.add_connection(src ? src : net.oterm, net.conns[ci].sink, nullptr, nullptr);
    }
  }
  std::unique_ptr<IR_RESULT> result(ir.route_all_new_connections(false, nullptr));
  if (!result->routing_succeeded()) return false;
  return ir.commit(result.get(), routing);
}

}  // namespace KORRIN
