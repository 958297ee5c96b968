#pragma once
// algorithm: the shortest-path search shared by the routers: A* over the
// graph view's fanouts from a set of seeds (each with a start cost and a start
// delay) to the first target element popped. The caller's cost functor gives
// the cost of entering an element, negative when the element is forbidden.
// The heap orders by (cost + lower bound, element id), so ties go to the
// lower gid. All arrays live as long as the search object; a stamp marks what
// belongs to the current search, so nothing is allocated per search.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "korrin/korrin_graph.h"

namespace host::korrin {

struct SEED {
  unsigned id;
  double cost;
  int delay;
};

class SEARCH {
public:
  explicit SEARCH(unsigned n)
      : m_cost(n), m_delay(n), m_prev(n), m_mark(n, 0), m_target(n, 0) {}

  // Starts a new search: targets are marked by mark_target until run.
  void begin() {
    m_visited.clear();
    if (++m_stamp >= 0x7FFFFFFFu) {
      std::fill(m_mark.begin(), m_mark.end(), 0u);
      std::fill(m_target.begin(), m_target.end(), 0u);
      m_stamp = 1;
    }
  }
  void mark_target(unsigned id) { m_target[id] = m_stamp; }
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
  bool is_target(unsigned id) const { return m_target[id] == m_stamp; }

  // Runs to the first target; returns it, or NO_ELEMENT. Elements whose cost
  // exceeds `limit` are not expanded. Without targets (`to_all`), explores
  // everything within the limit.
  template <class COST>
  unsigned run(const GRAPH& g, const std::vector<SEED>& seeds, int x0, int y0, int x1, int y1, COST&& cost,
               double limit = 1e300, bool to_all = false, bool backward = false) {
    m_heap.clear();
    for (const SEED& s : seeds) {
      if (seen(s.id) && m_cost[s.id] <= s.cost) continue;
      m_mark[s.id] = 2 * m_stamp;
      m_cost[s.id] = s.cost;
      m_delay[s.id] = s.delay;
      m_prev[s.id] = -1;
      m_heap.push_back({s.cost + (to_all ? 0.0 : m_weight * g.bound(s.id, x0, y0, x1, y1)), s.id});
    }
    std::make_heap(m_heap.begin(), m_heap.end(), greater);
    while (!m_heap.empty()) {
      std::pop_heap(m_heap.begin(), m_heap.end(), greater);
      const ITEM item = m_heap.back();
      m_heap.pop_back();
      const unsigned u = item.id;
      if (m_mark[u] == 2 * m_stamp + 1) continue;
      m_mark[u] = 2 * m_stamp + 1;
      m_visited.push_back(u);
      ++m_expansions;
      if (!to_all && m_target[u] == m_stamp) return u;
      const double cu = m_cost[u];
      if (cu > limit) continue;
      const GRAPH::EDGES edges = backward ? g.fanins(u) : g.fanouts(u);
      // Backward, the cost of a step is that of the element left behind.
      const double step_back = backward ? cost(u) : 0.0;
      for (int i = 0; i < edges.count; ++i) {
        const unsigned v = u + static_cast<unsigned>(edges.rel[i]);
        if (m_mark[v] == 2 * m_stamp + 1) continue;
        if (backward && g.virtual_only(v)) continue;
        if (m_region && (g.x(v) < m_rx0 || g.x(v) > m_rx1 || g.y(v) < m_ry0 || g.y(v) > m_ry1)) continue;
        const double c = backward ? (cost(v) < 0 ? -1.0 : step_back) : cost(v);
        if (c < 0) continue;
        const double cv = cu + c;
        if (seen(v) && m_cost[v] <= cv) continue;
        m_mark[v] = 2 * m_stamp;
        m_cost[v] = cv;
        m_delay[v] = m_delay[u] + (backward ? g.delay(u) : g.delay(v));
        m_prev[v] = static_cast<int>(u);
        m_heap.push_back({cv + (to_all ? 0.0 : m_weight * g.bound(v, x0, y0, x1, y1)), v});
        std::push_heap(m_heap.begin(), m_heap.end(), greater);
      }
    }
    return NO_ELEMENT;
  }

  // Bytes the per-element arrays hold.
  std::size_t memory_bytes() const {
    return m_cost.capacity() * sizeof(double) + (m_delay.capacity() + m_prev.capacity()) * sizeof(int) +
           (m_mark.capacity() + m_target.capacity()) * sizeof(std::uint32_t);
  }
  // Elements taken off the heap by all runs so far.
  long long expansions() const { return m_expansions; }
  bool reached(unsigned id) const { return m_mark[id] == 2 * m_stamp + 1; }
  // The elements taken off the heap since begin(), in that order.
  const std::vector<unsigned>& visited() const { return m_visited; }
  double cost(unsigned id) const { return m_cost[id]; }
  int delay(unsigned id) const { return m_delay[id]; }
  int prev(unsigned id) const { return m_prev[id]; }
  // The elements from the seed's successor to `end`, in path order (empty when
  // end is a seed). Sets *seed to the seed the path starts from.
  void path(unsigned end, std::vector<unsigned>& out, unsigned* seed) const {
    out.clear();
    unsigned u = end;
    while (m_prev[u] >= 0) {
      out.push_back(u);
      u = static_cast<unsigned>(m_prev[u]);
    }
    *seed = u;
    std::reverse(out.begin(), out.end());
  }

private:
  struct ITEM {
    double key;
    unsigned id;
  };
  struct GREATER {
    bool operator()(const ITEM& a, const ITEM& b) const { return a.key > b.key || (a.key == b.key && a.id > b.id); }
  };
  static constexpr GREATER greater{};

  std::vector<double> m_cost;
  std::vector<int> m_delay;
  std::vector<int> m_prev;
  // Per element 2 * stamp when seen in the current search, 2 * stamp + 1 when
  // taken off the heap (closed); older values belong to earlier searches.
  bool seen(unsigned id) const { return m_mark[id] >= 2 * m_stamp; }
  std::vector<std::uint32_t> m_mark, m_target;
  std::uint32_t m_stamp = 0;
  std::vector<ITEM> m_heap;
  std::vector<unsigned> m_visited;
  bool m_region = false;
  long long m_expansions = 0;
  double m_weight = 1.0;
  int m_rx0 = 0, m_ry0 = 0, m_rx1 = 0, m_ry1 = 0;
};

}  // namespace host::korrin
