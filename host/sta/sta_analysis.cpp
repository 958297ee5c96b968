#include "sta/sta_analysis.h"
#include "sta/sta_io_constraints.h"
#include "sta/sta_timers.h"
#include "sta/sta_uniform_hold.h"

#include "common/host_call_log.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <exception>
#include <map>
#include <set>
#include <thread>
#include <tuple>

#include "common/host_world.h"
#include "hov/hov_utility.h"
#include "jov/jov_design.h"
#include "kem/kem_manager.h"
#include "msg/msg_internal_error.h"
#include "oxu/oxu_job.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "vok/vok_chip_db_entry.h"

namespace {

[[noreturn]] void fail(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "STA", "sta_analysis", line);
}

constexpr int NONE_LOW = INT_MIN;   // no arrival / no hold requirement
constexpr int NONE_HIGH = INT_MAX;  // no setup requirement

int clamp32(long long v) {
  if (v <= static_cast<long long>(INT_MIN) + 1) return INT_MIN + 2;
  if (v >= INT_MAX - 1) return INT_MAX - 2;
  return static_cast<int>(v);
}

// One domain slot of a node: forward, a launch domain's (or a clock's) max
// and min arrival; backward, a capture domain's setup and hold requirement.
struct ENTRY {
  int slot;
  int a;
  int b;
  bool operator==(const ENTRY&) const = default;
};

// Per node, the slots it has, sorted, as one run in a shared pool: only the
// domains that reach a node are stored (most nodes see one), so the storage
// grows with the sum over nodes of their domains, not with nodes x clocks.
// A node rewritten with no more entries than its run holds keeps its place;
// a longer run moves to the pool's end, and the pool is compacted once the
// runs left behind make up half of it.
class SPARSE_TABLE {
public:
  void reset(std::size_t n) {
    spans_.assign(n, SPAN{});
    pool_.clear();
    dead_ = 0;
  }
  void resize(std::size_t n) { spans_.resize(n); }
  std::size_t size() const { return spans_.size(); }
  const ENTRY* begin(std::size_t v) const { return pool_.data() + spans_[v].off; }
  const ENTRY* end(std::size_t v) const { return begin(v) + spans_[v].len; }
  // The entry of a slot, null when the node has none.
  const ENTRY* find(std::size_t v, int slot) const {
    for (const ENTRY* e = begin(v); e != end(v); ++e)
      if (e->slot == slot) return e;
    return nullptr;
  }
  void set(std::size_t v, const std::vector<ENTRY>& entries) {
    SPAN& span = spans_[v];
    const std::size_t len = entries.size();
    if (len > 0xFFFF) MSG_INTERNAL_ERROR::report("domains per node < 65536", "STA", "sta_analysis", __LINE__);
    if (len <= span.cap) {
      std::copy(entries.begin(), entries.end(), pool_.begin() + span.off);
      span.len = static_cast<std::uint16_t>(len);
      return;
    }
    dead_ += span.cap;
    if (pool_.size() + len > 0xFFFFFFFFu) MSG_INTERNAL_ERROR::report("entries < 2^32", "STA", "sta_analysis", __LINE__);
    span.off = static_cast<std::uint32_t>(pool_.size());
    span.len = span.cap = static_cast<std::uint16_t>(len);
    pool_.insert(pool_.end(), entries.begin(), entries.end());
    if (dead_ > 4096 && 2 * dead_ > pool_.size()) compact();
  }
  // Same entries per node (where the runs lie does not matter).
  bool operator==(const SPARSE_TABLE& o) const {
    const std::size_t n = std::max(size(), o.size());
    for (std::size_t v = 0; v < n; ++v) {
      const ENTRY* a = v < size() ? begin(v) : nullptr;
      const ENTRY* a_end = v < size() ? end(v) : nullptr;
      const ENTRY* b = v < o.size() ? o.begin(v) : nullptr;
      const ENTRY* b_end = v < o.size() ? o.end(v) : nullptr;
      if (a_end - a != b_end - b || !std::equal(a, a_end, b)) return false;
    }
    return true;
  }

private:
  struct SPAN {
    std::uint32_t off = 0;
    std::uint16_t len = 0, cap = 0;
  };
  void compact() {
    std::vector<ENTRY> pool;
    pool.reserve(pool_.size() - dead_);
    for (SPAN& span : spans_) {
      const std::uint32_t off = static_cast<std::uint32_t>(pool.size());
      pool.insert(pool.end(), pool_.begin() + span.off, pool_.begin() + span.off + span.len);
      span.off = off;
      span.cap = span.len;
    }
    pool_ = std::move(pool);
    dead_ = 0;
  }
  std::vector<SPAN> spans_;
  std::vector<ENTRY> pool_;
  std::size_t dead_ = 0;
};

struct CORNER_DATA {
  int corner_id = 0;
  bool setup = true;
  std::vector<int> delay;  // per edge
  // Launch and capture domains: D = 2K, domain 2c + e is clock c at its
  // rising (e = 0) or falling (e = 1) edge; a falling-edge register launches
  // and captures in its clock's falling domain.
  // Forward slots: launch domains 0..D-1 and the unclocked launch D (max and
  // min arrival), then L + c (L = D + 1) for clock c's arrival (max, min).
  SPARSE_TABLE fwd;
  // Backward slots: capture domains 0..D-1 (setup requirement, NONE_HIGH
  // when none; hold requirement, NONE_LOW when none).
  SPARSE_TABLE bwd;
  std::vector<char> unclocked_end;    // node: reaches an endpoint without requirement
  std::vector<int> edge_setup, edge_hold;
  std::vector<ENTRY> scratch;  // a node's entries while they are computed
  // The setup slacks of the endpoints per domain, kept as the edge slacks
  // are computed so that the per-domain summary never walks the design: per
  // keeper data edge, its slack for each launch domain; per domain, the
  // slacks of all its endpoints, their negative sum and how many fail.
  struct ENDPOINT_SLACK {
    HOV_INCR_WNS_DOMAIN domain;
    int slack;
    bool operator==(const ENDPOINT_SLACK&) const = default;
  };
  struct DOMAIN_SLACKS {
    std::multiset<int> slacks;
    long long tns = 0;
    int failing = 0;
    bool operator==(const DOMAIN_SLACKS&) const = default;
  };
  std::vector<std::vector<ENDPOINT_SLACK>> endpoint;  // per edge
  std::map<HOV_INCR_WNS_DOMAIN, DOMAIN_SLACKS> domain_slacks;
  bool operator==(const CORNER_DATA& o) const {
    return corner_id == o.corner_id && setup == o.setup && delay == o.delay && fwd == o.fwd && bwd == o.bwd &&
           unclocked_end == o.unclocked_end && edge_setup == o.edge_setup && edge_hold == o.edge_hold &&
           endpoint == o.endpoint && domain_slacks == o.domain_slacks;
  }
};

struct STA_STATE {
  std::vector<host::timing::CLOCK> clocks;
  bool verify = true;
  bool all_corners = true;
  bool allow_stale = false;
  bool stale = false;
  bool tracking = false;
  std::map<int, VOK_ATOM_NODE*> changed;
  std::map<int, std::vector<int>> register_signature;
  int full_count = 0;
  int incr_count = 0;
  int cone_size = 0;
  int order_rebuilds = 0;

  // The analysed netlist and its shared structure.
  const KEM_NETLIST* kem = nullptr;
  int K = 0;
  std::vector<int> clock_node;  // per clock, -1 when its source has no node
  std::vector<std::pair<int, int>> clock_at_node;  // (node, clock) of clock_node, sorted
  std::map<std::string, int> clock_index;          // clock name -> index
  std::vector<int> periods;
  std::vector<KEM_TERM_REF> clock_sources;
  // A topological order of the cut graph: position -> node (-1 for a hole a
  // freed node left) and node -> position.
  std::vector<int> topo;
  std::vector<int> topo_pos;
  std::vector<char> cut;
  int cut_count = 0;
  std::vector<char> clock_network;
  std::vector<CORNER_DATA> corners;
  int records_corner = -1;  // the corner the edge records were written at
  // Scratch marks of the incremental update, all 0 between updates.
  std::vector<char> node_mark, node_mark2, edge_mark, edge_mark2;
  // What the last full analysis read besides the graph and the delays (see
  // node_inputs), the clocks and corners it had: a full analysis that finds
  // all of them, the graph and every delay unchanged keeps its results.
  std::vector<int> node_inputs;
  std::vector<host::timing::CLOCK> analysed_clocks;
  std::vector<KEM_TIMING_MODEL> analysed_models;
  int kept_count = 0;
  bool updated_since_full = false;  // an incremental update changed the results
  bool full_next = false;           // the next update is a full analysis
};
STA_STATE& st() { return host_world_slot<STA_STATE>(); }

// ---------------------------------------------------------------- graph helpers

bool usable(const KEM_EDGE* e) { return e && e->is_live() && !e->is_excluded(); }

bool is_clock_edge(const KEM_EDGE* e) {
  if (e->get_kind() != KEM_EDGE_CELL) return false;
  const KEM_NODE* d = e->get_dst_node();
  const KEM_NODE* s = e->get_src_node();
  return d && s && d->is_sta_type(KEM_NODE_KEEPER) && s->has_any_flag(KEM_NODE_FLAG_CLOCK_PIN);
}

// Edges along which arrival times propagate (before cutting loops).
bool forward_edge(const KEM_EDGE* e) { return usable(e) && e->get_kind() != KEM_EDGE_KEEPER_DATA; }

template <class F> void for_fanin(const KEM_NETLIST& kem, const KEM_NODE* n, F&& f) {
  for (int id = n->begin_fanin(); id >= 0;) {
    const KEM_EDGE* e = kem.get_edge(id);
    if (!e) break;
    f(e);
    id = e->get_next_fanin();
  }
}
template <class F> void for_fanout(const KEM_NETLIST& kem, const KEM_NODE* n, F&& f) {
  for (int id = n->begin_fanout(); id >= 0;) {
    const KEM_EDGE* e = kem.get_edge(id);
    if (!e) break;
    f(e);
    id = e->get_next_fanout();
  }
}

// Cuts loops: while the graph of forward edges has a strongly connected
// component with an edge inside it, the lowest-id such edge is cut.
void compute_cuts(STA_STATE& s) {
  const KEM_NETLIST& kem = *s.kem;
  const int n = kem.get_node_count();
  s.cut.assign(static_cast<std::size_t>(kem.get_edge_count()), 0);
  for (;;) {
    std::vector<int> index(static_cast<std::size_t>(n), -1), low(static_cast<std::size_t>(n), 0),
        comp(static_cast<std::size_t>(n), -1);
    std::vector<char> on_stack(static_cast<std::size_t>(n), 0);
    std::vector<int> stack;
    int next_index = 0, next_comp = 0;
    struct FRAME {
      int node;
      int edge;
    };
    for (int root = 0; root < n; ++root) {
      if (!kem.get_node(root) || index[static_cast<std::size_t>(root)] >= 0) continue;
      std::vector<FRAME> frames{{root, kem.get_node(root)->begin_fanout()}};
      index[static_cast<std::size_t>(root)] = low[static_cast<std::size_t>(root)] = next_index++;
      stack.push_back(root);
      on_stack[static_cast<std::size_t>(root)] = 1;
      while (!frames.empty()) {
        FRAME& f = frames.back();
        const KEM_EDGE* e = kem.get_edge(f.edge);
        if (e) {
          f.edge = e->get_next_fanout();
          if (!forward_edge(e) || s.cut[static_cast<std::size_t>(e->get_id())]) continue;
          const int w = e->get_dst_node()->get_id();
          if (index[static_cast<std::size_t>(w)] < 0) {
            index[static_cast<std::size_t>(w)] = low[static_cast<std::size_t>(w)] = next_index++;
            stack.push_back(w);
            on_stack[static_cast<std::size_t>(w)] = 1;
            frames.push_back({w, kem.get_node(w)->begin_fanout()});
          } else if (on_stack[static_cast<std::size_t>(w)]) {
            low[static_cast<std::size_t>(f.node)] = std::min(low[static_cast<std::size_t>(f.node)], index[static_cast<std::size_t>(w)]);
          }
          continue;
        }
        const int v = f.node;
        frames.pop_back();
        if (!frames.empty())
          low[static_cast<std::size_t>(frames.back().node)] =
              std::min(low[static_cast<std::size_t>(frames.back().node)], low[static_cast<std::size_t>(v)]);
        if (low[static_cast<std::size_t>(v)] == index[static_cast<std::size_t>(v)]) {
          int w;
          do {
            w = stack.back();
            stack.pop_back();
            on_stack[static_cast<std::size_t>(w)] = 0;
            comp[static_cast<std::size_t>(w)] = next_comp;
          } while (w != v);
          ++next_comp;
        }
      }
    }
    // The lowest-id edge inside each component.
    std::map<int, int> lowest;
    for (int id = 0; id < kem.get_edge_count(); ++id) {
      const KEM_EDGE* e = kem.get_edge(id);
      if (!forward_edge(e) || s.cut[static_cast<std::size_t>(id)]) continue;
      const int a = comp[static_cast<std::size_t>(e->get_src_node()->get_id())];
      if (a == comp[static_cast<std::size_t>(e->get_dst_node()->get_id())] && !lowest.count(a)) lowest[a] = id;
    }
    if (lowest.empty()) {
      s.cut_count = static_cast<int>(std::count(s.cut.begin(), s.cut.end(), 1));
      return;
    }
    for (const auto& [c, id] : lowest) s.cut[static_cast<std::size_t>(id)] = 1;
  }
}

bool is_cut(const STA_STATE& s, int id) {
  return id >= 0 && static_cast<std::size_t>(id) < s.cut.size() && s.cut[static_cast<std::size_t>(id)] != 0;
}

bool propagates(const STA_STATE& s, const KEM_EDGE* e) { return forward_edge(e) && !is_cut(s, e->get_id()); }

void compute_topo(STA_STATE& s) {
  const KEM_NETLIST& kem = *s.kem;
  const int n = kem.get_node_count();
  std::vector<int> indeg(static_cast<std::size_t>(n), 0);
  for (int id = 0; id < kem.get_edge_count(); ++id) {
    const KEM_EDGE* e = kem.get_edge(id);
    if (e && propagates(s, e)) ++indeg[static_cast<std::size_t>(e->get_dst_node()->get_id())];
  }
  s.topo.clear();
  s.topo_pos.assign(static_cast<std::size_t>(n), -1);
  std::vector<int> queue;
  for (int v = 0; v < n; ++v)
    if (kem.get_node(v) && indeg[static_cast<std::size_t>(v)] == 0) queue.push_back(v);
  for (std::size_t head = 0; head < queue.size(); ++head) {
    const int v = queue[head];
    s.topo_pos[static_cast<std::size_t>(v)] = static_cast<int>(s.topo.size());
    s.topo.push_back(v);
    for_fanout(kem, kem.get_node(v), [&](const KEM_EDGE* e) {
      if (!propagates(s, e)) return;
      const int w = e->get_dst_node()->get_id();
      if (--indeg[static_cast<std::size_t>(w)] == 0) queue.push_back(w);
    });
  }
}

void index_clock_nodes(STA_STATE& s) {
  s.clock_at_node.clear();
  for (int c = 0; c < s.K; ++c)
    if (s.clock_node[static_cast<std::size_t>(c)] >= 0) s.clock_at_node.emplace_back(s.clock_node[static_cast<std::size_t>(c)], c);
  std::sort(s.clock_at_node.begin(), s.clock_at_node.end());
}

// Each clock's node: the lowest-id node standing for its source (one pass
// over the nodes whatever the number of clocks).
void resolve_clocks(STA_STATE& s) {
  s.K = static_cast<int>(s.clocks.size());
  // Forward runs hold up to 3K + 1 slots.
  if (s.K > 20000) fail("at most 20000 clocks", __LINE__);
  s.clock_node.assign(static_cast<std::size_t>(s.K), -1);
  s.periods.assign(static_cast<std::size_t>(s.K), 0);
  s.clock_sources.assign(static_cast<std::size_t>(s.K), KEM_TERM_REF{});
  s.clock_index.clear();
  std::map<std::tuple<int, int, int>, std::vector<int>> by_source;
  for (int c = 0; c < s.K; ++c) {
    const host::timing::CLOCK& clk = s.clocks[static_cast<std::size_t>(c)];
    s.periods[static_cast<std::size_t>(c)] = clk.period_ps;
    s.clock_sources[static_cast<std::size_t>(c)] = clk.source;
    s.clock_index.emplace(clk.name, c);
    by_source[{clk.source.atom_id, clk.source.port_type, clk.source.index}].push_back(c);
  }
  std::size_t open = static_cast<std::size_t>(s.K);
  for (int id = 0; id < s.kem->get_node_count() && open > 0; ++id) {
    const KEM_NODE* node = s.kem->get_node(id);
    if (!node || node->is_sta_type(KEM_NODE_INPUT_PIN) || node->get_oterm_ref().atom_id < 0) continue;
    const KEM_TERM_REF& ref = node->get_oterm_ref();
    const auto it = by_source.find({ref.atom_id, ref.port_type, ref.index});
    if (it == by_source.end()) continue;
    for (int c : it->second)
      if (s.clock_node[static_cast<std::size_t>(c)] < 0) {
        s.clock_node[static_cast<std::size_t>(c)] = id;
        --open;
      }
  }
  index_clock_nodes(s);
}

void size_corner(const STA_STATE& s, CORNER_DATA& cd) {
  const std::size_t n = static_cast<std::size_t>(s.kem->get_node_count());
  const std::size_t E = static_cast<std::size_t>(s.kem->get_edge_count());
  cd.delay.resize(E, 0);
  cd.fwd.resize(n);
  cd.bwd.resize(n);
  cd.unclocked_end.resize(n, 0);
  cd.edge_setup.resize(E, KEM_NO_SLACK);
  cd.edge_hold.resize(E, KEM_NO_SLACK);
  cd.endpoint.resize(E);
}

void edge_delay(const STA_STATE& s, CORNER_DATA& cd, int id) {
  const KEM_EDGE* edge = s.kem->get_edge(id);
  cd.delay[static_cast<std::size_t>(id)] = edge ? s.kem->get_edge_delay_ps(*edge, cd.corner_id) : 0;
}

// Number of launch/capture domains (two edges per clock).
std::size_t domains(const STA_STATE& s) { return 2 * static_cast<std::size_t>(s.K); }

// Whether a keeper is clocked on the falling edge of its clock (its clock
// input inverted).
bool falling_edge(const KEM_NODE* keeper) {
  const VOK_ATOM_NODE* atom = keeper->get_atom();
  if (!atom) return false;
  const VOK_ATOM_ITERM* clk = atom->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
  return clk && clk->is_inverted();
}

// A transfer between opposite edges has half the capture clock's period:
// setup slack loses it, hold slack gains it (the hold edge is half a period
// before the setup edge's predecessor).
long long half_cycle(const STA_STATE& s, std::size_t launch, std::size_t capture) {
  if (((launch ^ capture) & 1u) == 0) return 0;
  return s.periods[capture / 2] / 2;
}

// The capture (= launch) domain of a keeper: the clocked launch slot with an
// arrival, -1 when unclocked.
int keeper_clock(const STA_STATE& s, const CORNER_DATA& cd, int k) {
  const int D = static_cast<int>(domains(s));
  const std::size_t v = static_cast<std::size_t>(k);
  for (const ENTRY* e = cd.fwd.begin(v); e != cd.fwd.end(v); ++e)
    if (e->slot < D) return e->slot;
  return -1;
}

// The launch/capture domain of a pin's I/O delay (its clock's rising edge);
// -1 when the pin has none or its clock is not declared.
int io_domain(const STA_STATE& s, const KEM_NODE* node, const host::timing::IO_DELAY** io) {
  *io = host::timing::io_delay(node->get_atom_id());
  if (*io == nullptr) return -1;
  const auto it = s.clock_index.find((*io)->clock);
  return it == s.clock_index.end() ? -1 : 2 * it->second;
}

// Folds a slot's max and min arrival into a node's entries.
void merge_arrival(std::vector<ENTRY>& out, int slot, int mx, int mn) {
  for (ENTRY& e : out)
    if (e.slot == slot) {
      if (mx > e.a) e.a = mx;
      if (mn < e.b) e.b = mn;
      return;
    }
  out.push_back(ENTRY{slot, mx, mn});
}

// Folds a slot's setup and hold requirement (each may be none) into a node's
// entries.
void merge_required(std::vector<ENTRY>& out, int slot, int r, int h) {
  ENTRY* e = nullptr;
  for (ENTRY& x : out)
    if (x.slot == slot) e = &x;
  if (!e) {
    out.push_back(ENTRY{slot, NONE_HIGH, NONE_LOW});
    e = &out.back();
  }
  if (r != NONE_HIGH) e->a = std::min(e->a, r);
  if (h != NONE_LOW) e->b = std::max(e->b, h);
}

void store(SPARSE_TABLE& table, std::size_t v, std::vector<ENTRY>& entries) {
  std::sort(entries.begin(), entries.end(), [](const ENTRY& x, const ENTRY& y) { return x.slot < y.slot; });
  table.set(v, entries);
}

void forward_node(const STA_STATE& s, CORNER_DATA& cd, int v) {
  const int D = static_cast<int>(domains(s)), L = D + 1;
  const std::size_t n = static_cast<std::size_t>(v);
  std::vector<ENTRY>& out = cd.scratch;
  out.clear();
  const KEM_NODE* node = s.kem->get_node(v);
  if (!node) {
    cd.fwd.set(n, out);
    return;
  }
  if (node->is_sta_type(KEM_NODE_KEEPER)) {
    // Launches at its first clock edge's lowest clock.
    bool found = false;
    const int edge = falling_edge(node) ? 1 : 0;
    for_fanin(*s.kem, node, [&](const KEM_EDGE* e) {
      if (found || !propagates(s, e) || !is_clock_edge(e)) return;
      const std::size_t p = static_cast<std::size_t>(e->get_src_node()->get_id());
      const int d = cd.delay[static_cast<std::size_t>(e->get_id())];
      for (const ENTRY* x = cd.fwd.begin(p); x != cd.fwd.end(p) && !found; ++x) {
        if (x->slot < L) continue;
        out.push_back(ENTRY{2 * (x->slot - L) + edge, clamp32(static_cast<long long>(x->a) + d),
                            clamp32(static_cast<long long>(x->b) + d)});
        found = true;
      }
    });
    if (!found) out.push_back(ENTRY{D, 0, 0});
    store(cd.fwd, n, out);
    return;
  }
  bool has_fanin = false;
  for_fanin(*s.kem, node, [&](const KEM_EDGE* e) {
    if (!propagates(s, e)) return;
    has_fanin = true;
    const std::size_t u = static_cast<std::size_t>(e->get_src_node()->get_id());
    const int d = cd.delay[static_cast<std::size_t>(e->get_id())];
    for (const ENTRY* x = cd.fwd.begin(u); x != cd.fwd.end(u); ++x)
      merge_arrival(out, x->slot, clamp32(static_cast<long long>(x->a) + d), clamp32(static_cast<long long>(x->b) + d));
  });
  bool clock_source = false;
  for (auto it = std::lower_bound(s.clock_at_node.begin(), s.clock_at_node.end(), std::pair<int, int>(v, -1));
       it != s.clock_at_node.end() && it->first == v; ++it) {
    const int slot = L + it->second;
    auto x = std::find_if(out.begin(), out.end(), [&](const ENTRY& e) { return e.slot == slot; });
    if (x == out.end()) out.push_back(ENTRY{slot, 0, 0});
    else x->a = x->b = 0;
    clock_source = true;
  }
  if (!has_fanin && !clock_source && node->is_sta_type(KEM_NODE_DEVICE_PIN)) {
    // A constrained input pin launches in its clock's rising domain at its
    // delay.
    const host::timing::IO_DELAY* io = nullptr;
    const int d = io_domain(s, node, &io);
    if (d >= 0) out.push_back(ENTRY{d, io->max_ps, io->min_ps});
    else out.push_back(ENTRY{D, 0, 0});
  }
  store(cd.fwd, n, out);
}

void backward_node(const STA_STATE& s, CORNER_DATA& cd, int v) {
  const std::size_t n = static_cast<std::size_t>(v);
  std::vector<ENTRY>& out = cd.scratch;
  out.clear();
  cd.unclocked_end[n] = 0;
  const KEM_NODE* node = s.kem->get_node(v);
  if (!node) {
    cd.bwd.set(n, out);
    return;
  }
  if (node->is_sta_type(KEM_NODE_DEVICE_PIN) && node->get_iterm()) {
    // A constrained output pin is an endpoint of its clock's domain.
    const host::timing::IO_DELAY* io = nullptr;
    const int d = io_domain(s, node, &io);
    if (d >= 0) out.push_back(ENTRY{d, s.periods[static_cast<std::size_t>(d) / 2] - io->max_ps, -io->min_ps});
    else cd.unclocked_end[n] = 1;
  }
  for_fanout(*s.kem, node, [&](const KEM_EDGE* e) {
    if (!usable(e) || is_cut(s, e->get_id())) return;
    const int w = e->get_dst_node()->get_id();
    const std::size_t m = static_cast<std::size_t>(w);
    if (e->get_kind() == KEM_EDGE_KEEPER_DATA) {
      const int c = keeper_clock(s, cd, w);
      if (c < 0) {
        cd.unclocked_end[n] = 1;
        return;
      }
      const KEM_NODE& k = *e->get_dst_node();
      const ENTRY* arr = cd.fwd.find(m, c);
      const int r = clamp32(static_cast<long long>(s.periods[static_cast<std::size_t>(c) / 2]) + arr->b -
                            s.kem->get_setup_ps(k, cd.corner_id));
      const int h = clamp32(static_cast<long long>(arr->a) + s.kem->get_hold_ps(k, cd.corner_id));
      merge_required(out, c, r, h);
      return;
    }
    if (is_clock_edge(e)) return;
    const int d = cd.delay[static_cast<std::size_t>(e->get_id())];
    for (const ENTRY* x = cd.bwd.begin(m); x != cd.bwd.end(m); ++x)
      merge_required(out, x->slot, x->a != NONE_HIGH ? clamp32(static_cast<long long>(x->a) - d) : NONE_HIGH,
                     x->b != NONE_LOW ? clamp32(static_cast<long long>(x->b) - d) : NONE_LOW);
    if (cd.unclocked_end[m]) cd.unclocked_end[n] = 1;
  });
  store(cd.bwd, n, out);
}

// The endpoint requirement a keeper data edge imposes (setup, hold) for its
// capture clock c; false when the keeper is unclocked.
bool endpoint_requirement(const STA_STATE& s, const CORNER_DATA& cd, const KEM_EDGE* e, int* c, int* r, int* h) {
  const int w = e->get_dst_node()->get_id();
  *c = keeper_clock(s, cd, w);
  if (*c < 0) return false;
  const ENTRY* arr = cd.fwd.find(static_cast<std::size_t>(w), *c);
  *r = clamp32(static_cast<long long>(s.periods[static_cast<std::size_t>(*c) / 2]) + arr->b -
               s.kem->get_setup_ps(*e->get_dst_node(), cd.corner_id));
  *h = clamp32(static_cast<long long>(arr->a) + s.kem->get_hold_ps(*e->get_dst_node(), cd.corner_id));
  return true;
}

// The launch entries of a node (its clocked slots come first).
template <class F> void for_launch(const STA_STATE& s, const CORNER_DATA& cd, std::size_t u, F&& f) {
  const int D = static_cast<int>(domains(s));
  for (const ENTRY* x = cd.fwd.begin(u); x != cd.fwd.end(u) && x->slot < D; ++x) f(*x);
}

// Takes an endpoint's slacks out of its domains' summaries.
void retract_endpoint(CORNER_DATA& cd, std::size_t ei) {
  std::vector<CORNER_DATA::ENDPOINT_SLACK>& mine = cd.endpoint[ei];
  for (const CORNER_DATA::ENDPOINT_SLACK& x : mine) {
    auto it = cd.domain_slacks.find(x.domain);
    if (it == cd.domain_slacks.end()) MSG_INTERNAL_ERROR::report("endpoint in its domain", "STA", "sta_analysis", __LINE__);
    CORNER_DATA::DOMAIN_SLACKS& d = it->second;
    d.slacks.erase(d.slacks.find(x.slack));
    if (x.slack < 0) {
      d.tns -= x.slack;
      --d.failing;
    }
    if (d.slacks.empty()) cd.domain_slacks.erase(it);
  }
  mine.clear();
}

void edge_slack(const STA_STATE& s, CORNER_DATA& cd, int id) {
  const std::size_t ei = static_cast<std::size_t>(id);
  cd.edge_setup[ei] = cd.edge_hold[ei] = KEM_NO_SLACK;
  if (!cd.endpoint[ei].empty()) retract_endpoint(cd, ei);
  const KEM_EDGE* e = s.kem->get_edge(id);
  if (!usable(e) || is_cut(s, id) || is_clock_edge(e)) return;
  const std::size_t u = static_cast<std::size_t>(e->get_src_node()->get_id());
  const std::size_t m = static_cast<std::size_t>(e->get_dst_node()->get_id());
  long long setup = LLONG_MAX, hold = LLONG_MAX;
  if (e->get_kind() == KEM_EDGE_KEEPER_DATA) {
    int c, r, h;
    if (!endpoint_requirement(s, cd, e, &c, &r, &h)) return;
    for_launch(s, cd, u, [&](const ENTRY& l) {
      const long long half = half_cycle(s, static_cast<std::size_t>(l.slot), static_cast<std::size_t>(c));
      setup = std::min(setup, static_cast<long long>(r) - l.a - half);
      hold = std::min(hold, static_cast<long long>(l.b) - h + half);
      if (!cd.setup) return;
      // Both edges of a clock are one domain in the summary.
      const CORNER_DATA::ENDPOINT_SLACK x{HOV_INCR_WNS_DOMAIN{l.slot / 2, c / 2, 0, 0},
                                          clamp32(static_cast<long long>(r) - l.a - half)};
      cd.endpoint[ei].push_back(x);
      CORNER_DATA::DOMAIN_SLACKS& d = cd.domain_slacks[x.domain];
      d.slacks.insert(x.slack);
      if (x.slack < 0) {
        d.tns += x.slack;
        ++d.failing;
      }
    });
  } else {
    const int d = cd.delay[ei];
    for_launch(s, cd, u, [&](const ENTRY& l) {
      for (const ENTRY* c = cd.bwd.begin(m); c != cd.bwd.end(m); ++c) {
        const long long half = half_cycle(s, static_cast<std::size_t>(l.slot), static_cast<std::size_t>(c->slot));
        if (c->a != NONE_HIGH) setup = std::min(setup, static_cast<long long>(c->a) - l.a - d - half);
        if (c->b != NONE_LOW) hold = std::min(hold, static_cast<long long>(l.b) + d - c->b + half);
      }
    });
  }
  if (setup != LLONG_MAX && cd.setup) cd.edge_setup[ei] = clamp32(setup);
  if (hold != LLONG_MAX) cd.edge_hold[ei] = clamp32(hold);
}

void clear_absent(const STA_STATE& s, CORNER_DATA& cd) {
  for (int v = 0; v < s.kem->get_node_count(); ++v)
    if (!s.kem->get_node(v)) {
      forward_node(s, cd, v);
      backward_node(s, cd, v);
    }
  for (int id = 0; id < s.kem->get_edge_count(); ++id)
    if (!s.kem->get_edge(id)) edge_slack(s, cd, id);
}

void full_corner(const STA_STATE& s, CORNER_DATA& cd, bool delays_known = false) {
  const std::size_t n = static_cast<std::size_t>(s.kem->get_node_count());
  cd.fwd.reset(n);
  cd.bwd.reset(n);
  size_corner(s, cd);
  if (!delays_known)
    for (int id = 0; id < s.kem->get_edge_count(); ++id) edge_delay(s, cd, id);
  clear_absent(s, cd);
  for (int v : s.topo)
    if (v >= 0) forward_node(s, cd, v);
  for (auto it = s.topo.rbegin(); it != s.topo.rend(); ++it)
    if (*it >= 0) backward_node(s, cd, *it);
  for (int id = 0; id < s.kem->get_edge_count(); ++id) edge_slack(s, cd, id);
}

// Runs `pass` on every corner, the corners spread over up to the host's
// thread count (velmo-fit --threads). A corner's pass reads only the shared
// state and writes only its own data, so the results do not depend on the
// number of threads. An error raised in a pass, or a helper thread that
// cannot be started, reaches the caller once every thread started has been
// joined.
template <class F> void each_corner(std::vector<CORNER_DATA>& corners, F&& pass) {
  const int threads = corners.size() < 2 ? 1 : OXU_PROCESSOR_MANAGER::get_max_threads(static_cast<int>(corners.size()));
  if (threads <= 1) {
    for (CORNER_DATA& cd : corners) pass(cd);
    return;
  }
  std::atomic<std::size_t> next{0};
  std::vector<std::exception_ptr> errors(corners.size());
  auto work = [&] {
    for (std::size_t i = next++; i < corners.size(); i = next++) {
      try {
        pass(corners[i]);
      } catch (...) {
        errors[i] = std::current_exception();
      }
    }
  };
  std::vector<std::thread> helpers;
  helpers.reserve(static_cast<std::size_t>(threads - 1));
  auto join_all = [&] {
    for (std::thread& h : helpers) h.join();
  };
  // A helper that cannot be started fails the call: the corners not taken
  // yet are left, and those started finish their corner and are joined
  // before the failure goes up (a thread left joinable would end the
  // process).
  for (int t = 1; t < threads; ++t) {
    try {
      helpers.emplace_back(work);
    } catch (...) {
      next = corners.size();
      join_all();
      throw;
    }
  }
  work();
  join_all();
  for (const std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
}

std::vector<CORNER_DATA> fresh_corners(const STA_STATE& s) {
  std::vector<CORNER_DATA> res;
  const auto& models = s.kem->get_corner_manager()->get_loaded_corners();
  for (std::size_t i = 0; i < models.size(); ++i) {
    CORNER_DATA cd;
    cd.corner_id = static_cast<int>(i);
    cd.setup = !models[i].is_hold_only_corner();
    res.push_back(std::move(cd));
  }
  return res;
}

// Copies the current corner's slacks into the edge records: of the given
// edges, of all when null or when the current corner moved since the last
// copy.
void write_edge_records(STA_STATE& s, const std::vector<int>* edges) {
  const int cur = s.kem->get_corner_manager()->get_current_corner_id();
  auto write = [&](int id) {
    if (s.kem->get_edge(id))
      s.kem->set_edge_slacks(id, host::sta::edge_setup_slack(id, cur), host::sta::edge_hold_slack(id, cur));
  };
  if (edges && cur == s.records_corner) {
    for (int id : *edges) write(id);
    return;
  }
  for (int id = 0; id < s.kem->get_edge_count(); ++id) write(id);
  s.records_corner = cur;
}

// Node results at a corner.
std::map<HOV_INCR_WNS_DOMAIN, int> node_setup(const STA_STATE& s, const CORNER_DATA& cd, int v) {
  std::map<HOV_INCR_WNS_DOMAIN, int> res;
  if (!cd.setup || v < 0 || static_cast<std::size_t>(v) >= cd.unclocked_end.size()) return res;
  const std::size_t n = static_cast<std::size_t>(v);
  // Domains are reported per clock (both edges of a clock are one domain).
  for_launch(s, cd, n, [&](const ENTRY& l) {
    for (const ENTRY* c = cd.bwd.begin(n); c != cd.bwd.end(n); ++c) {
      if (c->a == NONE_HIGH) continue;
      HOV_INCR_WNS_DOMAIN d;
      d.launch = l.slot / 2;
      d.capture = c->slot / 2;
      const int slack = clamp32(static_cast<long long>(c->a) - l.a -
                                half_cycle(s, static_cast<std::size_t>(l.slot), static_cast<std::size_t>(c->slot)));
      auto it = res.find(d);
      if (it == res.end() || slack < it->second) res[d] = slack;
    }
  });
  return res;
}

int node_hold(const STA_STATE& s, const CORNER_DATA& cd, int v) {
  if (v < 0 || static_cast<std::size_t>(v) >= cd.unclocked_end.size()) return KEM_NO_SLACK;
  const std::size_t n = static_cast<std::size_t>(v);
  long long worst = LLONG_MAX;
  for_launch(s, cd, n, [&](const ENTRY& l) {
    for (const ENTRY* c = cd.bwd.begin(n); c != cd.bwd.end(n); ++c)
      if (c->b != NONE_LOW)
        worst = std::min(worst, static_cast<long long>(l.b) - c->b +
                                    half_cycle(s, static_cast<std::size_t>(l.slot), static_cast<std::size_t>(c->slot)));
  });
  return worst == LLONG_MAX ? KEM_NO_SLACK : clamp32(worst);
}

bool node_unclocked(const STA_STATE& s, const CORNER_DATA& cd, int v) {
  if (v < 0 || static_cast<std::size_t>(v) >= cd.unclocked_end.size()) return false;
  const int D = static_cast<int>(domains(s)), L = D + 1;
  const std::size_t n = static_cast<std::size_t>(v);
  bool any_arrival = false, unclocked_launch = false, any_req = cd.unclocked_end[n] != 0;
  for (const ENTRY* x = cd.fwd.begin(n); x != cd.fwd.end(n) && x->slot < L; ++x) {
    any_arrival = true;
    unclocked_launch = unclocked_launch || x->slot == D;
  }
  for (const ENTRY* c = cd.bwd.begin(n); c != cd.bwd.end(n); ++c) any_req = any_req || c->a != NONE_HIGH;
  return (unclocked_launch && any_req) || (any_arrival && cd.unclocked_end[n]);
}

// The corners the queries answer over.
std::vector<const CORNER_DATA*> query_corners(const STA_STATE& s, bool all) {
  std::vector<const CORNER_DATA*> res;
  if (!s.kem) return res;
  const int cur = s.kem->get_corner_manager()->get_current_corner_id();
  for (const CORNER_DATA& cd : s.corners)
    if ((all && s.all_corners) || cd.corner_id == cur) res.push_back(&cd);
  return res;
}

std::vector<int> register_signature(const STA_STATE& s, const KEM_NETLIST_CELL& cell) {
  std::vector<int> sig;
  for (const CORNER_DATA& cd : s.corners)
    for (int v : cell.get_node_ids()) {
      for (const auto& [d, slack] : node_setup(s, cd, v)) {
        sig.push_back(d.launch);
        sig.push_back(d.capture);
        sig.push_back(slack);
      }
      sig.push_back(node_hold(s, cd, v));
    }
  return sig;
}

// Refreshes the stored signatures of the given register atoms (all when
// null) and records the moved ones while tracking.
void track_registers(STA_STATE& s, const std::set<int>* atoms) {
  const KEM_NETLIST& kem = *s.kem;
  auto visit = [&](int atom_id) {
    const KEM_NETLIST_CELL* cell = kem.get_cell_from_atom_id(atom_id);
    VOK_ATOM_NODE* atom = nullptr;
    bool reg = false;
    if (cell)
      for (int k : cell->keeper_range()) {
        const KEM_NODE* node = kem.get_node(k);
        if (node->has_any_flag(KEM_NODE_FLAG_REGISTER_KEEPER)) {
          reg = true;
          atom = node->get_atom();
        }
      }
    if (!reg) {
      // A register that is gone (deleted, or rolled back) leaves the record.
      s.register_signature.erase(atom_id);
      s.changed.erase(atom_id);
      return;
    }
    std::vector<int> sig = register_signature(s, *cell);
    auto it = s.register_signature.find(atom_id);
    const bool moved = it == s.register_signature.end() || it->second != sig;
    if (moved && s.tracking && atom) s.changed[atom_id] = atom;
    s.register_signature[atom_id] = std::move(sig);
  };
  if (atoms) {
    for (int id : *atoms) visit(id);
    return;
  }
  std::set<int> all;
  for (const auto& [id, sig] : s.register_signature) all.insert(id);
  for (int v = 0; v < kem.get_node_count(); ++v)
    if (const KEM_NODE* n = kem.get_node(v))
      if (n->is_sta_type(KEM_NODE_KEEPER)) all.insert(n->get_atom_id());
  for (int id : all) visit(id);
}

void run_full(STA_STATE& s, KEM_NETLIST* kem) {
  s.kem = kem;
  resolve_clocks(s);
  compute_cuts(s);
  compute_topo(s);
  s.clock_network.assign(static_cast<std::size_t>(kem->get_node_count()), 0);
  s.corners = fresh_corners(s);
  each_corner(s.corners, [&](CORNER_DATA& cd) { full_corner(s, cd); });
  ++s.full_count;
}

// The per-node values a full analysis reads besides the graph and the edge
// delays: a keeper's clock edge and its setup and hold time per corner, a
// device pin's I/O delay and domain.
std::vector<int> node_inputs(const STA_STATE& s) {
  std::vector<int> res;
  const int corners = static_cast<int>(s.kem->get_corner_manager()->get_loaded_corners().size());
  for (int v = 0; v < s.kem->get_node_count(); ++v) {
    const KEM_NODE* node = s.kem->get_node(v);
    if (!node) continue;
    if (node->is_sta_type(KEM_NODE_KEEPER)) {
      res.push_back(v);
      res.push_back(1 + 2 * corners);
      res.push_back(falling_edge(node) ? 1 : 0);
      for (int c = 0; c < corners; ++c) {
        res.push_back(s.kem->get_setup_ps(*node, c));
        res.push_back(s.kem->get_hold_ps(*node, c));
      }
    } else if (node->is_sta_type(KEM_NODE_DEVICE_PIN)) {
      const host::timing::IO_DELAY* io = nullptr;
      res.push_back(v);
      res.push_back(3);
      res.push_back(io_domain(s, node, &io));
      res.push_back(io ? io->max_ps : 0);
      res.push_back(io ? io->min_ps : 0);
    }
  }
  return res;
}

// The nodes whose inputs (as node_inputs lists them: node, count, values)
// differ between two lists, or that only one of them has.
std::vector<int> changed_input_nodes(const std::vector<int>& a, const std::vector<int>& b) {
  std::vector<int> res;
  std::size_t i = 0, j = 0;
  auto next = [](const std::vector<int>& l, std::size_t k) { return k + 2 + static_cast<std::size_t>(l[k + 1]); };
  while (i < a.size() || j < b.size()) {
    if (j >= b.size() || (i < a.size() && a[i] < b[j])) {
      res.push_back(a[i]);
      i = next(a, i);
    } else if (i >= a.size() || b[j] < a[i]) {
      res.push_back(b[j]);
      j = next(b, j);
    } else {
      if (!std::equal(a.begin() + static_cast<std::ptrdiff_t>(i), a.begin() + static_cast<std::ptrdiff_t>(next(a, i)),
                      b.begin() + static_cast<std::ptrdiff_t>(j), b.begin() + static_cast<std::ptrdiff_t>(next(b, j))))
        res.push_back(a[i]);
      i = next(a, i);
      j = next(b, j);
    }
  }
  return res;
}

// Clock network: nodes a clock reaches, register clock pins excluded.
char in_clock_network(const STA_STATE& s, int v) {
  const KEM_NODE* node = s.kem->get_node(v);
  if (s.corners.empty() || !node || node->has_any_flag(KEM_NODE_FLAG_CLOCK_PIN) || node->is_sta_type(KEM_NODE_KEEPER))
    return 0;
  const std::size_t n = static_cast<std::size_t>(v);
  const SPARSE_TABLE& fwd = s.corners[0].fwd;
  // Clock slots sort last.
  return fwd.begin(n) != fwd.end(n) && (fwd.end(n) - 1)->slot > static_cast<int>(domains(s)) ? 1 : 0;
}

void full_clock_network(STA_STATE& s) {
  s.clock_network.assign(static_cast<std::size_t>(s.kem->get_node_count()), 0);
  for (int v = 0; v < s.kem->get_node_count(); ++v) s.clock_network[static_cast<std::size_t>(v)] = in_clock_network(s, v);
}

// After a full analysis (edges null) or an update that recomputed the given
// edges.
void finish(STA_STATE& s, const std::set<int>* touched_atoms, const std::vector<int>* edges) {
  if (!edges) full_clock_network(s);
  write_edge_records(s, edges);
  track_registers(s, touched_atoms);
}

// ---------------------------------------------------------------- incremental structure

// Keeps the topological order across a structural change of a loop-free
// graph: freed nodes leave holes, new nodes go last, and each created edge
// that runs against the order moves the nodes between its ends (the nodes
// its head reaches forward before its tail's place, then those reaching its
// tail backward after its head's place: the two sets swap places, each in
// its own order). False when the graph has cut edges (a change may alter
// the cut set) or a created edge closes a loop: the caller starts over.
bool repair_order(STA_STATE& s, const KEM_NETLIST::CHANGE_LOG& log) {
  if (s.cut_count > 0) return false;
  const KEM_NETLIST& kem = *s.kem;
  const std::size_t n = static_cast<std::size_t>(kem.get_node_count());
  s.topo_pos.resize(n, -1);
  for (int v : log.freed_nodes) {
    const std::size_t u = static_cast<std::size_t>(v);
    if (kem.get_node(v) || u >= n || s.topo_pos[u] < 0) continue;
    s.topo[static_cast<std::size_t>(s.topo_pos[u])] = -1;
    s.topo_pos[u] = -1;
  }
  for (int v : log.new_nodes)
    if (kem.get_node(v) && s.topo_pos[static_cast<std::size_t>(v)] < 0) {
      s.topo_pos[static_cast<std::size_t>(v)] = static_cast<int>(s.topo.size());
      s.topo.push_back(v);
    }
  // Created edges wait (left out of the searches) until their turn.
  std::vector<int> pending;
  for (int id : log.new_edges) {
    const KEM_EDGE* e = kem.get_edge(id);
    if (!e || !propagates(s, e) || s.edge_mark[static_cast<std::size_t>(id)]) continue;
    s.edge_mark[static_cast<std::size_t>(id)] = 1;
    pending.push_back(id);
  }
  auto pos = [&](int v) { return s.topo_pos[static_cast<std::size_t>(v)]; };
  std::vector<int> ahead, behind, work, places;
  auto unmark = [&](const std::vector<int>& nodes) {
    for (int v : nodes) s.node_mark[static_cast<std::size_t>(v)] = 0;
  };
  bool ok = true;
  for (int id : pending) {
    const KEM_EDGE* e = kem.get_edge(id);
    s.edge_mark[static_cast<std::size_t>(id)] = 0;
    if (!ok) continue;
    const int x = e->get_src_node()->get_id(), y = e->get_dst_node()->get_id();
    const int lo = pos(y), hi = pos(x);
    if (lo > hi) continue;
    if (lo == hi) {
      ok = false;
      continue;
    }
    ahead.clear();
    behind.clear();
    // Forward from the head among places before the tail's.
    s.node_mark[static_cast<std::size_t>(y)] = 1;
    ahead.push_back(y);
    work.assign(1, y);
    while (!work.empty() && ok) {
      const int v = work.back();
      work.pop_back();
      for_fanout(kem, kem.get_node(v), [&](const KEM_EDGE* f) {
        if (!ok || s.edge_mark[static_cast<std::size_t>(f->get_id())] || !propagates(s, f)) return;
        const int w = f->get_dst_node()->get_id();
        if (w == x) ok = false;
        if (!ok || s.node_mark[static_cast<std::size_t>(w)] || pos(w) > hi) return;
        s.node_mark[static_cast<std::size_t>(w)] = 1;
        ahead.push_back(w);
        work.push_back(w);
      });
    }
    if (!ok) {
      unmark(ahead);
      continue;
    }
    // Backward from the tail among places after the head's.
    s.node_mark[static_cast<std::size_t>(x)] = 1;
    behind.push_back(x);
    work.assign(1, x);
    while (!work.empty()) {
      const int v = work.back();
      work.pop_back();
      for_fanin(kem, kem.get_node(v), [&](const KEM_EDGE* f) {
        if (s.edge_mark[static_cast<std::size_t>(f->get_id())] || !propagates(s, f)) return;
        const int w = f->get_src_node()->get_id();
        if (s.node_mark[static_cast<std::size_t>(w)] || pos(w) < lo) return;
        s.node_mark[static_cast<std::size_t>(w)] = 1;
        behind.push_back(w);
        work.push_back(w);
      });
    }
    unmark(ahead);
    unmark(behind);
    auto by_pos = [&](int a, int b) { return pos(a) < pos(b); };
    std::sort(ahead.begin(), ahead.end(), by_pos);
    std::sort(behind.begin(), behind.end(), by_pos);
    places.clear();
    for (int v : behind) places.push_back(pos(v));
    for (int v : ahead) places.push_back(pos(v));
    std::sort(places.begin(), places.end());
    std::size_t i = 0;
    for (const std::vector<int>* group : {&behind, &ahead})
      for (int v : *group) {
        s.topo_pos[static_cast<std::size_t>(v)] = places[i];
        s.topo[static_cast<std::size_t>(places[i++])] = v;
      }
  }
  if (!ok) return false;
  // Holes are squeezed out once they outnumber the nodes.
  if (s.topo.size() > 2 * n + 64) {
    std::vector<int> order;
    for (int v : s.topo)
      if (v >= 0) order.push_back(v);
    s.topo = std::move(order);
    for (std::size_t i = 0; i < s.topo.size(); ++i) s.topo_pos[static_cast<std::size_t>(s.topo[i])] = static_cast<int>(i);
  }
  return true;
}

// A clock's node after a change: the node it had while that still stands
// for its source, else the lowest new node that does.
void follow_clock_sources(STA_STATE& s, const KEM_NETLIST::CHANGE_LOG& log) {
  const KEM_NETLIST& kem = *s.kem;
  for (int c = 0; c < s.K; ++c) {
    const KEM_TERM_REF& source = s.clocks[static_cast<std::size_t>(c)].source;
    auto stands_for = [&](int id) {
      const KEM_NODE* node = kem.get_node(id);
      return node && !node->is_sta_type(KEM_NODE_INPUT_PIN) && node->get_oterm_ref().atom_id >= 0 &&
             node->get_oterm_ref() == source;
    };
    int& node = s.clock_node[static_cast<std::size_t>(c)];
    if (!stands_for(node)) node = -1;
    for (int v : log.new_nodes)
      if ((node < 0 || v < node) && stands_for(v)) node = v;
  }
  index_clock_nodes(s);
}

// What an incremental update starts from: the nodes marked for arrival
// (and the ends of edges whose cut changed), the nodes marked for required
// time, the edges whose delay may have moved, and the freed node ids.
struct CHANGES {
  std::vector<int> seeds, required, delay_edges, gone;
  std::vector<char> created;  // per delay edge: created (or freed) since the last analysis
};

// Brings one corner up to date: the delays of the changed edges, then
// arrivals forward in topological order from the marked nodes and the heads
// of changed edges, then required times backward from the marked nodes, the
// tails of changed edges and the data inputs of keepers whose clock arrival
// moved. A node's fan-out (fan-in) is visited only when its values came back
// different, so the work follows what changed, not the cone it could reach.
// A rebuilt cell's edges are all new, so what its setup and hold times or
// its clock edge change is reached through them. Adds the edges whose slack was recomputed
// to `edges` (once, edge_mark2), the nodes recomputed forward to `fwd_nodes`
// and every recomputed node to `all_nodes`.
void propagate_corner(STA_STATE& s, CORNER_DATA& cd, const CHANGES& ch, std::vector<int>& edges,
                      std::vector<int>& fwd_nodes, std::vector<int>& all_nodes) {
  const KEM_NETLIST& kem = *s.kem;
  // The changed edges whose delay came back different (or that are new).
  std::vector<int> moved;
  const std::size_t known = cd.delay.size();
  size_corner(s, cd);
  for (std::size_t i = 0; i < ch.delay_edges.size(); ++i) {
    const int id = ch.delay_edges[i];
    const std::size_t ei = static_cast<std::size_t>(id);
    const int before = ei < known ? cd.delay[ei] : 0;
    edge_delay(s, cd, id);
    if (ch.created[i] || ei >= known || cd.delay[ei] != before) moved.push_back(id);
  }
  for (int v : ch.gone) {
    forward_node(s, cd, v);
    backward_node(s, cd, v);
  }
  auto pos = [&](int v) { return s.topo_pos[static_cast<std::size_t>(v)]; };
  std::vector<ENTRY> old;
  auto same = [&](const SPARSE_TABLE& t, std::size_t v) {
    return static_cast<std::size_t>(t.end(v) - t.begin(v)) == old.size() && std::equal(old.begin(), old.end(), t.begin(v));
  };
  std::vector<int> queued;
  std::vector<std::pair<int, int>> heap;  // (order key, node): the largest key first
  auto push = [&](std::vector<char>& mark, int key, int v) {
    if (mark[static_cast<std::size_t>(v)]) return;
    mark[static_cast<std::size_t>(v)] = 1;
    queued.push_back(v);
    heap.emplace_back(key, v);
    std::push_heap(heap.begin(), heap.end());
  };
  auto pop = [&] {
    std::pop_heap(heap.begin(), heap.end());
    const int v = heap.back().second;
    heap.pop_back();
    return v;
  };

  // Forward, lowest position first (node_mark: queued).
  std::vector<int> fwd_changed;
  auto push_fwd = [&](int v) { push(s.node_mark, -pos(v), v); };
  for (int v : ch.seeds) push_fwd(v);
  for (int id : moved)
    if (const KEM_EDGE* e = kem.get_edge(id); e && propagates(s, e)) push_fwd(e->get_dst_node()->get_id());
  while (!heap.empty()) {
    const int v = pop();
    const std::size_t u = static_cast<std::size_t>(v);
    old.assign(cd.fwd.begin(u), cd.fwd.end(u));
    forward_node(s, cd, v);
    fwd_nodes.push_back(v);
    all_nodes.push_back(v);
    if (same(cd.fwd, u)) continue;
    fwd_changed.push_back(v);
    for_fanout(kem, kem.get_node(v), [&](const KEM_EDGE* e) {
      if (propagates(s, e)) push_fwd(e->get_dst_node()->get_id());
    });
  }
  for (int v : queued) s.node_mark[static_cast<std::size_t>(v)] = 0;
  queued.clear();

  // Backward, highest position first (node_mark2: queued).
  std::vector<int> bwd_changed;
  auto push_bwd = [&](int v) { push(s.node_mark2, pos(v), v); };
  for (int v : ch.seeds) push_bwd(v);
  for (int v : ch.required) push_bwd(v);
  for (int id : moved)
    if (const KEM_EDGE* e = kem.get_edge(id); e && !is_clock_edge(e)) push_bwd(e->get_src_node()->get_id());
  for (int v : fwd_changed) {
    const KEM_NODE* node = kem.get_node(v);
    if (node->is_sta_type(KEM_NODE_KEEPER))
      for_fanin(kem, node, [&](const KEM_EDGE* e) {
        if (usable(e) && e->get_kind() == KEM_EDGE_KEEPER_DATA) push_bwd(e->get_src_node()->get_id());
      });
  }
  while (!heap.empty()) {
    const int v = pop();
    const std::size_t u = static_cast<std::size_t>(v);
    old.assign(cd.bwd.begin(u), cd.bwd.end(u));
    const char was_unclocked = cd.unclocked_end[u];
    backward_node(s, cd, v);
    all_nodes.push_back(v);
    if (same(cd.bwd, u) && was_unclocked == cd.unclocked_end[u]) continue;
    bwd_changed.push_back(v);
    for_fanin(kem, kem.get_node(v), [&](const KEM_EDGE* e) {
      if (propagates(s, e) && !is_clock_edge(e)) push_bwd(e->get_src_node()->get_id());
    });
  }
  for (int v : queued) s.node_mark2[static_cast<std::size_t>(v)] = 0;

  // Slacks: an edge's reads its delay, its tail's arrival and its head's
  // required time (a keeper's data edge: the keeper's clock arrival).
  std::vector<int> corner_edges;
  auto add_edge = [&](int id) {
    if (id < 0 || s.edge_mark[static_cast<std::size_t>(id)]) return;
    s.edge_mark[static_cast<std::size_t>(id)] = 1;
    corner_edges.push_back(id);
  };
  for (int id : ch.delay_edges) add_edge(id);
  for (int v : fwd_changed) {
    const KEM_NODE* node = kem.get_node(v);
    for_fanout(kem, node, [&](const KEM_EDGE* e) { add_edge(e->get_id()); });
    if (node->is_sta_type(KEM_NODE_KEEPER)) for_fanin(kem, node, [&](const KEM_EDGE* e) { add_edge(e->get_id()); });
  }
  for (int v : bwd_changed) for_fanin(kem, kem.get_node(v), [&](const KEM_EDGE* e) { add_edge(e->get_id()); });
  for (int id : corner_edges) {
    s.edge_mark[static_cast<std::size_t>(id)] = 0;
    edge_slack(s, cd, id);
    if (!s.edge_mark2[static_cast<std::size_t>(id)]) {
      s.edge_mark2[static_cast<std::size_t>(id)] = 1;
      edges.push_back(id);
    }
  }
}

// Compares an incremental result with a full analysis (an internal error on
// any difference) and keeps the incremental order for the next update.
void verify_against_full(STA_STATE& s, KEM_NETLIST* kem) {
  const std::vector<CORNER_DATA> corners = s.corners;
  const std::vector<char> cut = s.cut, clock_network = s.clock_network;
  const std::vector<int> clock_node = s.clock_node;
  std::vector<int> topo = std::move(s.topo), topo_pos = std::move(s.topo_pos);
  for (int id = 0; id < kem->get_edge_count(); ++id) {
    const KEM_EDGE* e = kem->get_edge(id);
    if (!e || !propagates(s, e)) continue;
    const int a = topo_pos[static_cast<std::size_t>(e->get_src_node()->get_id())];
    const int b = topo_pos[static_cast<std::size_t>(e->get_dst_node()->get_id())];
    if (a < 0 || b < 0 || a >= b) fail("the incremental order is topological", __LINE__);
  }
  const int cut_count = s.cut_count;
  run_full(s, kem);
  --s.full_count;
  full_clock_network(s);
  if (!(corners == s.corners)) fail("incremental timing equals a full analysis", __LINE__);
  if (cut != s.cut || cut_count != s.cut_count) fail("incremental loop cuts equal a full analysis", __LINE__);
  if (clock_network != s.clock_network || clock_node != s.clock_node)
    fail("incremental clock network equals a full analysis", __LINE__);
  s.topo = std::move(topo);
  s.topo_pos = std::move(topo_pos);
}

}  // namespace

// ---------------------------------------------------------------- host::sta

namespace host::sta {

void verify_incremental(bool on) { st().verify = on; }

void forget(const KEM_NETLIST* kem) {
  STA_STATE& s = st();
  if (s.kem != kem) return;
  s.kem = nullptr;
  s.corners.clear();
  s.cut.clear();
  s.cut_count = 0;
  s.topo.clear();
  s.topo_pos.clear();
  s.clock_network.clear();
  s.records_corner = -1;
}
bool verify_incremental() { return st().verify; }
void expect_full_analysis() { st().full_next = true; }
int full_analysis_count() { return st().full_count; }
int incremental_update_count() { return st().incr_count; }
int last_cone_size() { return st().cone_size; }
int order_rebuild_count() { return st().order_rebuilds; }
int kept_analysis_count() { return st().kept_count; }

std::vector<int> cut_edges() {
  std::vector<int> res;
  const STA_STATE& s = st();
  for (std::size_t i = 0; i < s.cut.size(); ++i)
    if (s.cut[i]) res.push_back(static_cast<int>(i));
  return res;
}

void analyze(KEM_NETLIST* kem) {
  const host::timers::SCOPE timer(host::timers::SCOPE::TIMING);
  STA_STATE& s = st();
  if (!kem) fail("kem", __LINE__);
  const KEM_NETLIST::CHANGE_LOG log = kem->take_change_log();
  // The same netlist with every change since the last analysis in the log:
  // the loop cuts and the order follow the changes as in an update (from
  // scratch when they cannot).
  const bool same_netlist = s.kem == kem && !log.overflow && !s.corners.empty() && !s.stale;
  bool order_kept = false;
  if (same_netlist) {
    s.node_mark.resize(static_cast<std::size_t>(kem->get_node_count()), 0);
    s.node_mark2.resize(static_cast<std::size_t>(kem->get_node_count()), 0);
    s.edge_mark.resize(static_cast<std::size_t>(kem->get_edge_count()), 0);
    s.cut.resize(static_cast<std::size_t>(kem->get_edge_count()), 0);
    order_kept = log.empty() || repair_order(s, log);
  }
  s.kem = kem;
  const std::vector<int> clock_node = s.clock_node;
  resolve_clocks(s);
  if (!order_kept) {
    compute_cuts(s);
    compute_topo(s);
  }
  std::vector<CORNER_DATA> corners = fresh_corners(s);
  each_corner(corners, [&](CORNER_DATA& cd) {
    cd.delay.resize(static_cast<std::size_t>(kem->get_edge_count()), 0);
    for (int id = 0; id < kem->get_edge_count(); ++id) edge_delay(s, cd, id);
  });
  std::vector<int> inputs = node_inputs(s);
  const std::vector<KEM_TIMING_MODEL>& models = kem->get_corner_manager()->get_loaded_corners();
  // Nothing the analysis reads moved since the last one computed: its
  // results stand (the edge records only follow the current corner).
  bool unchanged = same_netlist && log.empty() && !s.updated_since_full && clock_node == s.clock_node &&
                   s.analysed_clocks == s.clocks && s.analysed_models == models && inputs == s.node_inputs &&
                   corners.size() == s.corners.size();
  for (std::size_t i = 0; unchanged && i < corners.size(); ++i)
    unchanged = corners[i].setup == s.corners[i].setup && corners[i].delay == s.corners[i].delay;
  ++s.full_count;
  s.stale = false;
  s.full_next = false;
  if (unchanged) {
    ++s.kept_count;
    const std::vector<int> none;
    write_edge_records(s, &none);
    return;
  }
  each_corner(corners, [&](CORNER_DATA& cd) { full_corner(s, cd, true); });
  s.corners = std::move(corners);
  s.clock_network.assign(static_cast<std::size_t>(kem->get_node_count()), 0);
  s.node_inputs = std::move(inputs);
  s.analysed_clocks = s.clocks;
  s.analysed_models = models;
  s.updated_since_full = false;
  finish(s, nullptr, nullptr);
}

void update(KEM_NETLIST* kem, const KEM_DIRTY& dirty_in) {
  const host::timers::SCOPE timer(host::timers::SCOPE::TIMING);
  STA_STATE& s = st();
  if (!kem) fail("kem", __LINE__);
  // Another netlist or other clocks: nothing to update from.
  const bool same_clocks = [&] {
    if (s.K != static_cast<int>(s.clocks.size())) return false;
    for (int c = 0; c < s.K; ++c)
      if (s.periods[static_cast<std::size_t>(c)] != s.clocks[static_cast<std::size_t>(c)].period_ps ||
          !(s.clock_sources[static_cast<std::size_t>(c)] == s.clocks[static_cast<std::size_t>(c)].source))
        return false;
    return true;
  }();
  if (s.full_next || s.kem != kem || !same_clocks ||
      s.corners.size() != kem->get_corner_manager()->get_loaded_corners().size()) {
    analyze(kem);
    return;
  }
  std::vector<int> touched = dirty_in.arrival;
  touched.insert(touched.end(), dirty_in.required.begin(), dirty_in.required.end());
  for (int v : touched)
    if (const KEM_NODE* n = kem->get_node(v); n && !sta_slack_can_be_updated_incrementally(n)) {
      if (s.allow_stale) {
        s.stale = true;
        return;
      }
      analyze(kem);
      return;
    }
  const KEM_NETLIST::CHANGE_LOG log = kem->take_change_log();
  if (log.overflow) {
    analyze(kem);
    return;
  }
  const int n = kem->get_node_count();
  const int edge_count = kem->get_edge_count();
  s.node_mark.resize(static_cast<std::size_t>(n), 0);
  s.node_mark2.resize(static_cast<std::size_t>(n), 0);
  s.edge_mark.resize(static_cast<std::size_t>(edge_count), 0);
  s.cut.resize(static_cast<std::size_t>(edge_count), 0);
  std::vector<int> seeds;
  for (int v : dirty_in.arrival)
    if (kem->get_node(v)) seeds.push_back(v);
  // The order and the loop cuts follow a structural change locally; a change
  // they cannot follow (a loop made or touched) recomputes them.
  if (!log.empty() && !repair_order(s, log)) {
    const std::vector<char> old_cut = s.cut;
    compute_cuts(s);
    compute_topo(s);
    ++s.order_rebuilds;
    for (int id = 0; id < edge_count; ++id) {
      const bool was = id < static_cast<int>(old_cut.size()) && old_cut[static_cast<std::size_t>(id)];
      if (was == (s.cut[static_cast<std::size_t>(id)] != 0)) continue;
      if (const KEM_EDGE* e = kem->get_edge(id)) {
        seeds.push_back(e->get_src_node()->get_id());
        seeds.push_back(e->get_dst_node()->get_id());
      }
    }
  }
  const std::vector<int> old_clock_node = s.clock_node;
  follow_clock_sources(s, log);
  // A node that became or stopped being a clock's source launches anew.
  for (std::size_t c = 0; c < s.clock_node.size(); ++c)
    if (c >= old_clock_node.size() || old_clock_node[c] != s.clock_node[c]) {
      if (c < old_clock_node.size() && kem->get_node(old_clock_node[c])) seeds.push_back(old_clock_node[c]);
      if (kem->get_node(s.clock_node[c])) seeds.push_back(s.clock_node[c]);
    }
  CHANGES ch;
  ch.seeds = std::move(seeds);
  for (int v : dirty_in.required)
    if (kem->get_node(v)) ch.required.push_back(v);
  // The edges whose delay may have moved: created or freed ones and those of
  // a node marked for arrival (rebuilt, re-annotated, or a sink whose route
  // changed). No other delay moves, so the values move only downstream of
  // these and of the marked nodes, and stop where they come back the same.
  auto add_delay_edge = [&](int id, bool created) {
    if (id < 0 || id >= edge_count || s.edge_mark[static_cast<std::size_t>(id)]) return;
    s.edge_mark[static_cast<std::size_t>(id)] = 1;
    ch.delay_edges.push_back(id);
    ch.created.push_back(created ? 1 : 0);
  };
  for (int id : log.new_edges) add_delay_edge(id, true);
  for (const auto& f : log.freed_edges) {
    add_delay_edge(f.id, true);
    if (kem->get_node(f.dst)) ch.seeds.push_back(f.dst);
    if (kem->get_node(f.src)) ch.required.push_back(f.src);
  }
  for (int v : ch.seeds) {
    const KEM_NODE* node = kem->get_node(v);
    for_fanin(*kem, node, [&](const KEM_EDGE* e) { add_delay_edge(e->get_id(), false); });
    for_fanout(*kem, node, [&](const KEM_EDGE* e) { add_delay_edge(e->get_id(), false); });
  }
  for (int id : ch.delay_edges) s.edge_mark[static_cast<std::size_t>(id)] = 0;
  for (int v : log.freed_nodes)
    if (!kem->get_node(v)) ch.gone.push_back(v);
  s.edge_mark2.resize(static_cast<std::size_t>(edge_count), 0);
  std::vector<int> edges, fwd_nodes, all_nodes;
  for (CORNER_DATA& cd : s.corners) propagate_corner(s, cd, ch, edges, fwd_nodes, all_nodes);
  for (int id : edges) s.edge_mark2[static_cast<std::size_t>(id)] = 0;
  std::sort(all_nodes.begin(), all_nodes.end());
  all_nodes.erase(std::unique(all_nodes.begin(), all_nodes.end()), all_nodes.end());
  std::set<int> touched_atoms;
  s.cone_size = static_cast<int>(all_nodes.size());
  for (int v : all_nodes) touched_atoms.insert(kem->get_node(v)->get_atom_id());
  s.clock_network.resize(static_cast<std::size_t>(n), 0);
  for (int v : ch.gone) s.clock_network[static_cast<std::size_t>(v)] = 0;
  for (int v : fwd_nodes) s.clock_network[static_cast<std::size_t>(v)] = in_clock_network(s, v);
  ++s.incr_count;
  s.updated_since_full = true;
  if (s.verify) verify_against_full(s, kem);
  finish(s, &touched_atoms, &edges);
}

void refresh(KEM_NETLIST* kem, const KEM_DIRTY& dirty_in) {
  const host::timers::SCOPE timer(host::timers::SCOPE::TIMING);
  STA_STATE& s = st();
  if (!kem) fail("kem", __LINE__);
  const std::vector<KEM_TIMING_MODEL>& models = kem->get_corner_manager()->get_loaded_corners();
  // Without results to start from, or with other corners: a full analysis
  // (the other cases update() falls back on itself).
  if (s.kem != kem || s.stale || s.corners.empty() || s.analysed_models != models ||
      s.corners.size() != models.size()) {
    analyze(kem);
    return;
  }
  for (std::size_t i = 0; i < models.size(); ++i)
    if (s.corners[i].setup == models[i].is_hold_only_corner()) {
      analyze(kem);
      return;
    }
  // What the change log does not record but the analysis reads: the delay
  // of every edge (annotations, chain and PLL settings) and each keeper's
  // and pin's values. Where one moved, its node is updated as if rebuilt.
  std::vector<CORNER_DATA> fresh = fresh_corners(s);
  each_corner(fresh, [&](CORNER_DATA& cd) {
    cd.delay.resize(static_cast<std::size_t>(kem->get_edge_count()), 0);
    for (int id = 0; id < kem->get_edge_count(); ++id) edge_delay(s, cd, id);
  });
  KEM_DIRTY dirty = dirty_in;
  const std::size_t edges = static_cast<std::size_t>(kem->get_edge_count());
  for (std::size_t id = 0; id < edges; ++id) {
    bool moved = false;
    for (std::size_t c = 0; c < fresh.size() && !moved; ++c) {
      const std::vector<int>& was = s.corners[c].delay;
      moved = id >= was.size() || was[id] != fresh[c].delay[id];
    }
    if (!moved) continue;
    if (const KEM_EDGE* e = kem->get_edge(static_cast<int>(id))) {
      dirty.arrival.push_back(e->get_dst_node()->get_id());
      dirty.required.push_back(e->get_src_node()->get_id());
    }
  }
  std::vector<int> inputs = node_inputs(s);
  for (int v : changed_input_nodes(s.node_inputs, inputs))
    if (const KEM_NODE* node = kem->get_node(v)) {
      // A keeper's clock edge or timing values, or a pin's I/O delay, move
      // what it launches and what its inputs require.
      dirty.arrival.push_back(v);
      dirty.required.push_back(v);
      for_fanin(*kem, node, [&](const KEM_EDGE* e) { dirty.required.push_back(e->get_src_node()->get_id()); });
      for_fanout(*kem, node, [&](const KEM_EDGE* e) { dirty.arrival.push_back(e->get_dst_node()->get_id()); });
    }
  // A build kept whole asks for a full analysis because what it reads
  // besides the change log may have moved: that was read just above.
  s.full_next = false;
  if (dirty.arrival.empty() && dirty.required.empty() && !kem->has_logged_changes() && s.clocks == s.analysed_clocks &&
      s.K == static_cast<int>(s.clocks.size())) {
    // Nothing moved: the results stand, as after a full analysis that kept
    // them (only the edge records follow the current corner).
    s.stale = false;
    if (s.verify) verify_against_full(s, kem);
    const std::vector<int> none;
    write_edge_records(s, &none);
    s.node_inputs = std::move(inputs);
    return;
  }
  update(kem, dirty);
  s.node_inputs = std::move(inputs);
}

std::int32_t edge_setup_slack(int edge_id, int corner_id) {
  const STA_STATE& s = st();
  if (corner_id < 0 || corner_id >= static_cast<int>(s.corners.size())) return KEM_NO_SLACK;
  const CORNER_DATA& cd = s.corners[static_cast<std::size_t>(corner_id)];
  if (edge_id < 0 || static_cast<std::size_t>(edge_id) >= cd.edge_setup.size()) return KEM_NO_SLACK;
  return cd.edge_setup[static_cast<std::size_t>(edge_id)];
}

std::int32_t edge_hold_slack(int edge_id, int corner_id) {
  const STA_STATE& s = st();
  if (corner_id < 0 || corner_id >= static_cast<int>(s.corners.size())) return KEM_NO_SLACK;
  const CORNER_DATA& cd = s.corners[static_cast<std::size_t>(corner_id)];
  if (edge_id < 0 || static_cast<std::size_t>(edge_id) >= cd.edge_hold.size()) return KEM_NO_SLACK;
  return cd.edge_hold[static_cast<std::size_t>(edge_id)];
}

const std::vector<std::int32_t>& edge_hold_slacks(int corner_id) {
  static const std::vector<std::int32_t> none;
  const STA_STATE& s = st();
  if (corner_id < 0 || corner_id >= static_cast<int>(s.corners.size())) return none;
  return s.corners[static_cast<std::size_t>(corner_id)].edge_hold;
}

std::map<HOV_INCR_WNS_DOMAIN, std::int32_t> node_setup_slacks(int node_id, int corner_id) {
  const STA_STATE& s = st();
  if (corner_id < 0 || corner_id >= static_cast<int>(s.corners.size())) return {};
  return node_setup(s, s.corners[static_cast<std::size_t>(corner_id)], node_id);
}

std::int32_t node_worst_hold_slack(int node_id, int corner_id) {
  const STA_STATE& s = st();
  if (corner_id < 0 || corner_id >= static_cast<int>(s.corners.size())) return KEM_NO_SLACK;
  return node_hold(s, s.corners[static_cast<std::size_t>(corner_id)], node_id);
}

}  // namespace host::sta

// ---------------------------------------------------------------- sta_ interface

void sta_full_update_timing(bool all_corners) {
  const host::timers::SCOPE timer(host::timers::SCOPE::TIMING);
  KEM_NETLIST* kem = host::hov::apply_pending_taints(nullptr);
  st().all_corners = all_corners;
  host::sta::analyze(kem);
}

void sta_update_timing_after_stage(bool all_corners) {
  const host::timers::SCOPE timer(host::timers::SCOPE::TIMING);
  KEM_DIRTY dirty;
  KEM_NETLIST* kem = host::hov::apply_pending_taints(&dirty);
  st().all_corners = all_corners;
  host::sta::refresh(kem, dirty);
}

void sta_increm_update_timing() {
  const host::timers::SCOPE timer(host::timers::SCOPE::TIMING);
  KEM_DIRTY dirty;
  KEM_NETLIST* kem = host::hov::apply_pending_taints(&dirty);
  if (!kem) fail("kem_netlist", __LINE__);
  host::sta::update(kem, dirty);
}

std::vector<HOV_INCR_WNS_DOMAIN> sta_get_wns_domains() {
  const STA_STATE& s = st();
  std::set<HOV_INCR_WNS_DOMAIN> domains;
  for (const CORNER_DATA* cd : query_corners(s, true))
    for (int v = 0; v < s.kem->get_node_count(); ++v) {
      if (!s.kem->get_node(v)) continue;
      for (const auto& [d, slack] : node_setup(s, *cd, v)) domains.insert(d);
      if (node_unclocked(s, *cd, v)) domains.insert(HOV_INCR_WNS_DOMAIN{});
    }
  return {domains.begin(), domains.end()};
}

std::map<HOV_INCR_WNS_DOMAIN, HOV_INCR_DOMAIN_VALUES> sta_get_wns_map(const KEM_NETLIST* kem) {
  const STA_STATE& s = st();
  std::map<HOV_INCR_WNS_DOMAIN, HOV_INCR_DOMAIN_VALUES> res;
  if (!kem || kem != s.kem) return res;
  for (const CORNER_DATA* cd : query_corners(s, true)) {
    if (!cd->setup) continue;
    for (const auto& [d, slacks] : cd->domain_slacks) {
      HOV_INCR_DOMAIN_VALUES v;
      v.wns = *slacks.slacks.begin();
      v.tns = clamp32(slacks.tns);
      v.endpoints = static_cast<std::int32_t>(slacks.slacks.size());
      v.failing_endpoints = slacks.failing;
      auto it = res.find(d);
      if (it == res.end()) {
        res[d] = v;
        continue;
      }
      it->second.wns = std::min(it->second.wns, v.wns);
      it->second.tns = std::min(it->second.tns, v.tns);
      it->second.failing_endpoints = std::max(it->second.failing_endpoints, v.failing_endpoints);
      it->second.endpoints = std::max(it->second.endpoints, v.endpoints);
    }
  }
  return res;
}

std::map<HOV_INCR_WNS_DOMAIN, std::int32_t> sta_get_node_wns_map(const KEM_NODE* node, bool all_corners) {
  const STA_STATE& s = st();
  std::map<HOV_INCR_WNS_DOMAIN, std::int32_t> res;
  if (!node || node->get_netlist() != s.kem) return res;
  for (const CORNER_DATA* cd : query_corners(s, all_corners))
    for (const auto& [d, slack] : node_setup(s, *cd, node->get_id())) {
      auto it = res.find(d);
      if (it == res.end() || slack < it->second) res[d] = slack;
    }
  return res;
}

namespace {
std::optional<std::int32_t>& uniform_hold_slack() {
  static std::optional<std::int32_t> value;
  return value;
}
}  // namespace

void host::sta::set_uniform_hold_slack(std::optional<std::int32_t> value) { uniform_hold_slack() = value; }

std::int32_t sta_get_node_worst_hold_slack(const KEM_NODE* node, bool all_corners) {
  const STA_STATE& s = st();
  if (!node || node->get_netlist() != s.kem) return KEM_NO_SLACK;
  if (uniform_hold_slack()) return *uniform_hold_slack();
  std::int32_t worst = KEM_NO_SLACK;
  for (const CORNER_DATA* cd : query_corners(s, all_corners)) {
    const int h = node_hold(s, *cd, node->get_id());
    if (h != KEM_NO_SLACK && (worst == KEM_NO_SLACK || h < worst)) worst = h;
  }
  return worst;
}

bool sta_kem_node_has_domain(const KEM_NODE* node, const HOV_INCR_WNS_DOMAIN& domain, bool) {
  const STA_STATE& s = st();
  if (!node || node->get_netlist() != s.kem) return false;
  for (const CORNER_DATA* cd : query_corners(s, true)) {
    if (domain.is_unclocked()) {
      if (node_unclocked(s, *cd, node->get_id())) return true;
      continue;
    }
    const std::size_t n = static_cast<std::size_t>(node->get_id());
    if (n >= cd->unclocked_end.size()) return false;
    if (domain.launch < 0 || domain.capture < 0 || domain.launch >= s.K || domain.capture >= s.K) return false;
    // Either edge of the launch clock, either edge of the capture clock.
    for (std::size_t le = 0; le < 2; ++le)
      for (std::size_t ce = 0; ce < 2; ++ce) {
        const int l = 2 * domain.launch + static_cast<int>(le);
        const int c = 2 * domain.capture + static_cast<int>(ce);
        const ENTRY* req = cd->bwd.find(n, c);
        if (cd->fwd.find(n, l) && req && (req->a != NONE_HIGH || req->b != NONE_LOW)) return true;
      }
  }
  return false;
}

bool sta_is_node_in_clock_network(const KEM_NODE* node) {
  const STA_STATE& s = st();
  if (!node || node->get_netlist() != s.kem) return false;
  const std::size_t v = static_cast<std::size_t>(node->get_id());
  return v < s.clock_network.size() && s.clock_network[v] != 0;
}

bool sta_slack_can_be_updated_incrementally(const KEM_NODE* node) {
  return node && !node->has_any_flag(KEM_NODE_FLAG_DONT_TOUCH);
}

void sta_incr_track_changed_flops(bool on, bool) { st().tracking = on; }

const std::map<int, VOK_ATOM_NODE*>* sta_incr_get_changed_flops() {
  STA_STATE& s = st();
  // Registers whose timing cell is gone are no longer atoms of the design.
  if (s.kem)
    for (auto it = s.changed.begin(); it != s.changed.end();)
      it = s.kem->get_cell_from_atom_id(it->first) ? std::next(it) : s.changed.erase(it);
  return s.tracking ? &s.changed : nullptr;
}

void sta_incr_reset_changed_flops() { st().changed.clear(); }

void sta_allow_stale_timing_when_unable_to_incrementally_update(bool allow) { st().allow_stale = allow; }
bool sta_is_timing_stale() { return st().stale; }
bool sta_is_stale_timing_allowed() { return st().allow_stale; }

void sta_reset_timing_as_no_longer_stale() {
  const host::timers::SCOPE timer(host::timers::SCOPE::TIMING);
  STA_STATE& s = st();
  KEM_DIRTY dirty;
  KEM_NETLIST* kem = host::hov::apply_pending_taints(&dirty);
  if (s.stale) {
    s.stale = false;
    host::sta::analyze(kem);
    return;
  }
  // Timing that is not stale is exact after an update (the incremental
  // result equals a full analysis), so the changes since the last one are
  // all there is to do; a node the update cannot follow falls back to a full
  // analysis here instead of leaving the timing stale.
  struct KEEP {
    bool& flag;
    const bool was;
    ~KEEP() { flag = was; }
  } keep{s.allow_stale, s.allow_stale};
  s.allow_stale = false;
  host::sta::update(kem, dirty);
}

// ---------------------------------------------------------------- host::timing

namespace host::timing {

void declare_clock(const std::string& name, int period_ps, const VOK_ATOM_OTERM* source) {
  if (!source || !source->get_my_node() || period_ps <= 0) fail("a clock source and a positive period", __LINE__);
  CLOCK clk{name, period_ps,
            KEM_TERM_REF{source->get_my_node()->get_id(), static_cast<int>(source->get_port_type()), source->get_index()}};
  auto& clocks = st().clocks;
  for (CLOCK& c : clocks)
    if (c.name == name) {
      c = clk;
      return;
    }
  clocks.push_back(clk);
}

const std::vector<CLOCK>& clocks() { return st().clocks; }

namespace {
// Constrained output pins are endpoints of the summary too.
std::string endpoint_name(const VOK_ATOM_ITERM* t) {
  if (!t || !t->get_my_node()) return "?";
  return t->get_my_node()->get_string_hpath();
}

// An endpoint pin: its atom and pin, unique within the design.
std::string endpoint_pin(const VOK_ATOM_ITERM* t) {
  if (!t) return "?";
  return endpoint_name(t) + "." + std::to_string(t->get_port_type()) + "[" + std::to_string(t->get_index()) + "]";
}

void add_output_pin_endpoints(const STA_STATE& s, const CORNER_DATA& cd, CORNER_SUMMARY* sum) {
  for (int v = 0; v < s.kem->get_node_count(); ++v) {
    const KEM_NODE* node = s.kem->get_node(v);
    if (!node || !node->is_sta_type(KEM_NODE_DEVICE_PIN) || !node->get_iterm()) continue;
    const host::timing::IO_DELAY* io = nullptr;
    const int d = io_domain(s, node, &io);
    if (d < 0) continue;
    const std::size_t n = static_cast<std::size_t>(v), C = static_cast<std::size_t>(d);
    const ENTRY* req = cd.bwd.find(n, d);
    const long long setup_req = req ? req->a : NONE_HIGH, hold_req = req ? req->b : NONE_LOW;
    long long setup = LLONG_MAX, hold = LLONG_MAX;
    for_launch(s, cd, n, [&](const ENTRY& l) {
      const long long half = half_cycle(s, static_cast<std::size_t>(l.slot), C);
      setup = std::min(setup, setup_req - l.a - half);
      hold = std::min(hold, static_cast<long long>(l.b) - hold_req + half);
    });
    auto add = [](long long slack, std::int32_t* wns, std::int64_t* tns, int* failing) {
      const int x = clamp32(slack);
      *wns = *wns == KEM_NO_SLACK ? x : std::min(*wns, x);
      if (x < 0) {
        *tns += x;
        ++*failing;
      }
    };
    if (setup != LLONG_MAX && cd.setup) {
      add(setup, &sum->setup_wns, &sum->setup_tns, &sum->setup_failing_endpoints);
      sum->setup_endpoints.emplace_back(endpoint_pin(node->get_iterm()), clamp32(setup));
    }
    if (hold != LLONG_MAX) {
      add(hold, &sum->hold_wns, &sum->hold_tns, &sum->hold_failing_endpoints);
      if (hold < 0) sum->hold_failing.emplace_back(clamp32(hold), endpoint_name(node->get_iterm()));
    }
  }
}
}  // namespace

namespace {
// While a partition shows only its shell, the paths inside the routing the
// shell hides are not in the timing netlist. The records the earlier compile
// left on that routing stand for them: the worst setup and hold record
// (KEM_NO_SLACK when none, or when no shell is active).
std::pair<std::int32_t, std::int32_t> hidden_routing_worst() {
  std::pair<std::int32_t, std::int32_t> worst{KEM_NO_SLACK, KEM_NO_SLACK};
  const JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  bool shells = false;
  for (const auto& p : design->get_partitions())
    shells = shells || p->get_active_state() == JOV_PARTITION::BBIC_DEPOPULATED;
  if (!shells) return worst;
  auto fold = [](std::int32_t& w, std::int32_t v) {
    if (v != KEM_NO_SLACK && (w == KEM_NO_SLACK || v < w)) w = v;
  };
  for (const VOK_RE_PRESSLACK& r :
       VOK_CHIP_DB_ENTRY::current()->get_preserved_slacks_on_routing_hidden_by_bbic().records()) {
    fold(worst.first, r.slack[0]);
    fold(worst.second, r.slack[1]);
  }
  return worst;
}
}  // namespace

std::vector<CORNER_SUMMARY> summary() {
  const STA_STATE& s = st();
  std::vector<CORNER_SUMMARY> res;
  if (!s.kem) return res;
  const auto& models = s.kem->get_corner_manager()->get_loaded_corners();
  for (const CORNER_DATA& cd : s.corners) {
    CORNER_SUMMARY sum;
    sum.corner = models[static_cast<std::size_t>(cd.corner_id)].get_name();
    for (int id = 0; id < s.kem->get_edge_count(); ++id) {
      const KEM_EDGE* e = s.kem->get_edge(id);
      if (!usable(e) || e->get_kind() != KEM_EDGE_KEEPER_DATA || is_cut(s, id)) continue;
      int c, r, h;
      if (!endpoint_requirement(s, cd, e, &c, &r, &h)) continue;
      const std::size_t u = static_cast<std::size_t>(e->get_src_node()->get_id());
      long long setup = LLONG_MAX, hold = LLONG_MAX;
      for_launch(s, cd, u, [&](const ENTRY& l) {
        const long long half = half_cycle(s, static_cast<std::size_t>(l.slot), static_cast<std::size_t>(c));
        setup = std::min(setup, static_cast<long long>(r) - l.a - half);
        hold = std::min(hold, static_cast<long long>(l.b) - h + half);
      });
      if (setup != LLONG_MAX && cd.setup) {
        const int v = clamp32(setup);
        sum.setup_wns = sum.setup_wns == KEM_NO_SLACK ? v : std::min(sum.setup_wns, v);
        if (v < 0) {
          sum.setup_tns += v;
          ++sum.setup_failing_endpoints;
        }
        sum.setup_endpoints.emplace_back(endpoint_pin(e->get_src_node()->get_iterm()), v);
      }
      if (hold != LLONG_MAX) {
        const int v = clamp32(hold);
        sum.hold_wns = sum.hold_wns == KEM_NO_SLACK ? v : std::min(sum.hold_wns, v);
        if (v < 0) {
          sum.hold_tns += v;
          ++sum.hold_failing_endpoints;
          sum.hold_failing.emplace_back(v, endpoint_name(e->get_src_node()->get_iterm()));
        }
      }
    }
    add_output_pin_endpoints(s, cd, &sum);
    std::sort(sum.hold_failing.begin(), sum.hold_failing.end());
    res.push_back(sum);
  }
  const auto [hidden_setup, hidden_hold] = hidden_routing_worst();
  for (std::size_t i = 0; i < res.size(); ++i) {
    CORNER_SUMMARY& sum = res[i];
    if (hidden_setup != KEM_NO_SLACK && s.corners[i].setup &&
        (sum.setup_wns == KEM_NO_SLACK || hidden_setup < sum.setup_wns))
      sum.setup_wns = hidden_setup;
    if (hidden_hold != KEM_NO_SLACK && (sum.hold_wns == KEM_NO_SLACK || hidden_hold < sum.hold_wns))
      sum.hold_wns = hidden_hold;
  }
  return res;
}

}  // namespace host::timing

void sta_mark_sccs_as_potentially_stale() { host::log_call("sta_mark_sccs_as_potentially_stale"); }
