#pragma once
// algorithm: the shortest-path search shared by the routers: A* over the
// graph view's fanouts from a set of seeds (each with a start cost and a start
// delay) to the first target element popped. The caller's cost functor gives
// the cost of entering an element, negative when the element is forbidden.
// The heap orders by (cost + lower bound, element id), so ties go to the
// lower gid. The state of a search grows with the elements it meets; one
// index per element of the graph finds it, and nothing is cleared or
// allocated per search once the lists have grown.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "korrin/korrin_graph.h"
#include "korrin/korrin_lookahead.h"

namespace host::korrin {

// A map from element ids to values that costs one index per element of the
// graph and otherwise grows with what is put in: clear() is O(1) and nothing
// is cleared per element (a sparse set: an id's index is valid when the id
// list holds the id there, so stale indices fail the check).
template <class V>
class SPARSE_MAP {
public:
  explicit SPARSE_MAP(unsigned n = 0) : m_index(n, 0) {}
  void clear() {
    m_ids.clear();
    m_values.clear();
  }
  std::size_t size() const { return m_ids.size(); }
  const V* find(unsigned id) const {
    const std::uint32_t i = m_index[id];
    return i < m_ids.size() && m_ids[i] == id ? &m_values[i] : nullptr;
  }
  V* find(unsigned id) { return const_cast<V*>(static_cast<const SPARSE_MAP*>(this)->find(id)); }
  // The id's value, added as `init` when absent. The reference holds until
  // the next insertion.
  V& get(unsigned id, const V& init = V{}) {
    if (V* v = find(id)) return *v;
    return add(id, init);
  }
  // Adds an id known to be absent.
  V& add(unsigned id, const V& init = V{}) {
    m_index[id] = static_cast<std::uint32_t>(m_ids.size());
    m_ids.push_back(id);
    m_values.push_back(init);
    return m_values.back();
  }
  void prefetch(unsigned id) const { __builtin_prefetch(&m_index[id]); }
  std::size_t memory_bytes() const {
    return m_index.capacity() * sizeof(std::uint32_t) + m_ids.capacity() * sizeof(unsigned) +
           m_values.capacity() * sizeof(V);
  }

private:
  std::vector<std::uint32_t> m_index;
  std::vector<unsigned> m_ids;
  std::vector<V> m_values;
};

struct SEED {
  unsigned id;
  double cost;
  int delay;
};

class SEARCH {
public:
  // n: the graph's size. Per element the search keeps one index (4 bytes);
  // what it knows of an element lives in a record of a list that grows with
  // the elements it meets and empties at begin().
  explicit SEARCH(unsigned n) : m_nodes(n) {}

  // Starts a new search: targets are marked by mark_target until run.
  void begin() {
    m_visited.clear();
    m_nodes.clear();
  }
  void mark_target(unsigned id) { m_nodes.get(id).state |= TARGET; }
  // Limits expansion to elements whose tile lies in the rectangle (until
  // cleared).
  void set_region(int x0, int y0, int x1, int y1) {
    m_region = true;
    m_rx0 = x0, m_ry0 = y0, m_rx1 = x1, m_ry1 = y1;
  }
  void clear_region() { m_region = false; }
  // Scales the lower bound: 1 keeps paths cheapest, more trades path cost
  // for search speed.
  void set_bound_weight(double w) { m_weight = w; }
  // Bounds the cost still to come by the lookahead's table instead of the
  // graph's flat figure (null: the flat figure).
  void set_lookahead(const LOOKAHEAD* look) { m_look = look; }
  // An array, indexed by element, of `stride`-byte entries that the cost
  // functor reads: fetched ahead like the search's own state (null: none).
  void set_cost_state(const void* base, std::size_t stride) {
    m_side = static_cast<const char*>(base);
    m_side_stride = stride;
  }
  bool is_target(unsigned id) const {
    const NODE* n = m_nodes.find(id);
    return n != nullptr && (n->state & TARGET);
  }

  // Runs to the first target; returns it, or NO_ELEMENT. Elements whose cost
  // exceeds `limit` are not expanded. Without targets (`to_all`), explores
  // everything within the limit.
  template <class COST>
  unsigned run(const GRAPH& g, const std::vector<SEED>& seeds, int x0, int y0, int x1, int y1, COST&& cost,
               double limit = 1e300, bool to_all = false, bool backward = false) {
    m_heap.clear();
    for (const SEED& s : seeds) {
      NODE& n = m_nodes.get(s.id);
      if ((n.state & SEEN) && n.cost <= s.cost) continue;
      n.state = (n.state & TARGET) | SEEN;
      n.cost = s.cost;
      n.delay = s.delay;
      n.prev = -1;
      m_heap.push_back({s.cost + (to_all ? 0.0 : m_weight * bound(g, s.id, x0, y0, x1, y1)), s.id});
    }
    std::make_heap(m_heap.begin(), m_heap.end(), greater);
    while (!m_heap.empty()) {
      std::pop_heap(m_heap.begin(), m_heap.end(), greater);
      const ITEM item = m_heap.back();
      m_heap.pop_back();
      const unsigned u = item.id;
      NODE* nu = m_nodes.find(u);
      if (nu->state & CLOSED) continue;
      nu->state |= CLOSED;
      m_visited.push_back(u);
      ++m_expansions;
      if (!to_all && (nu->state & TARGET)) return u;
      const double cu = nu->cost;
      const int du = nu->delay;
      if (cu > limit) continue;
      const GRAPH::EDGES edges = backward ? g.fanins(u) : g.fanouts(u);
      // What the steps below read of each fanout is scattered over the
      // graph: ask for all of it first, so the loads overlap.
      for (int i = 0; i < edges.count; ++i) {
        const unsigned v = u + static_cast<unsigned>(edges.rel[i]);
        m_nodes.prefetch(v);
        g.prefetch(v);
        if (m_side) __builtin_prefetch(m_side + std::size_t{v} * m_side_stride);
      }
      // Backward, the cost of a step is that of the element left behind.
      const double step_back = backward ? cost(u) : 0.0;
      for (int i = 0; i < edges.count; ++i) {
        const unsigned v = u + static_cast<unsigned>(edges.rel[i]);
        NODE* nv = m_nodes.find(v);
        if (nv != nullptr && (nv->state & CLOSED)) continue;
        if (backward && g.virtual_only(v)) continue;
        if (m_region && (g.x(v) < m_rx0 || g.x(v) > m_rx1 || g.y(v) < m_ry0 || g.y(v) > m_ry1)) continue;
        const double c = backward ? (cost(v) < 0 ? -1.0 : step_back) : cost(v);
        if (c < 0) continue;
        const double cv = cu + c;
        if (nv != nullptr && (nv->state & SEEN) && nv->cost <= cv) continue;
        if (nv == nullptr) nv = &m_nodes.add(v);
        nv->state |= SEEN;
        nv->cost = cv;
        nv->delay = du + (backward ? g.delay(u) : g.delay(v));
        nv->prev = static_cast<int>(u);
        m_heap.push_back({cv + (to_all ? 0.0 : m_weight * bound(g, v, x0, y0, x1, y1)), v});
        std::push_heap(m_heap.begin(), m_heap.end(), greater);
        if (!backward) g.prefetch_fanouts(v);
      }
    }
    return NO_ELEMENT;
  }

  // Bytes the search holds: its per-element index and what the records,
  // heap and visit list have grown to.
  std::size_t memory_bytes() const {
    return m_nodes.memory_bytes() + m_heap.capacity() * sizeof(ITEM) + m_visited.capacity() * sizeof(unsigned);
  }
  // Elements taken off the heap by all runs so far.
  long long expansions() const { return m_expansions; }
  bool reached(unsigned id) const {
    const NODE* n = m_nodes.find(id);
    return n != nullptr && (n->state & CLOSED);
  }
  // The elements taken off the heap since begin(), in that order.
  const std::vector<unsigned>& visited() const { return m_visited; }
  // Cost, delay and predecessor (-1 for a seed) of an element the search met.
  double cost(unsigned id) const {
    const NODE* n = m_nodes.find(id);
    return n != nullptr && (n->state & SEEN) ? n->cost : 1e300;
  }
  int delay(unsigned id) const {
    const NODE* n = m_nodes.find(id);
    return n != nullptr && (n->state & SEEN) ? n->delay : 0;
  }
  int prev(unsigned id) const {
    const NODE* n = m_nodes.find(id);
    return n != nullptr && (n->state & SEEN) ? n->prev : -1;
  }
  // The elements from the seed's successor to `end`, in path order (empty when
  // end is a seed). Sets *seed to the seed the path starts from.
  void path(unsigned end, std::vector<unsigned>& out, unsigned* seed) const {
    out.clear();
    unsigned u = end;
    for (int p = prev(u); p >= 0; p = prev(u)) {
      out.push_back(u);
      u = static_cast<unsigned>(p);
    }
    *seed = u;
    std::reverse(out.begin(), out.end());
  }

private:
  double bound(const GRAPH& g, unsigned id, int x0, int y0, int x1, int y1) const {
    return m_look ? m_look->bound(g, id, x0, y0, x1, y1) : g.bound(id, x0, y0, x1, y1);
  }
  struct ITEM {
    double key;
    unsigned id;
  };
  struct GREATER {
    bool operator()(const ITEM& a, const ITEM& b) const { return a.key > b.key || (a.key == b.key && a.id > b.id); }
  };
  static constexpr GREATER greater{};
  // What the current search knows of an element: TARGET (marked), SEEN
  // (cost, delay and prev set), CLOSED (taken off the heap).
  static constexpr std::uint32_t TARGET = 1, SEEN = 2, CLOSED = 4;
  struct NODE {
    double cost = 0.0;
    int delay = 0;
    int prev = -1;
    std::uint32_t state = 0;
  };
  SPARSE_MAP<NODE> m_nodes;
  std::vector<ITEM> m_heap;
  std::vector<unsigned> m_visited;
  const char* m_side = nullptr;
  const LOOKAHEAD* m_look = nullptr;
  std::size_t m_side_stride = 0;
  bool m_region = false;
  long long m_expansions = 0;
  double m_weight = 1.0;
  int m_rx0 = 0, m_ry0 = 0, m_rx1 = 0, m_ry1 = 0;
};

}  // namespace host::korrin
