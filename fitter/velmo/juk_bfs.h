#pragma once
// Breadth-first search over a routing graph.
//
// BFS_ENGINE<GRAPH, WAVEFRONT, FILTER, PRED_MAP>:
//  - GRAPH offers begin_fanout(id) / end_fanout(id), iterators whose
//    operator* gives an edge with a `to` id (WUMP_ROUTE_GRAPH does);
//  - WAVEFRONT is the fanout policy: CUSTOM_FANOUT_WAVEFRONT walks the fanouts
//    in graph order and keeps those its validity function accepts;
//  - FILTER is the visit filter (ZMP::ALWAYS_TRUE_FN accepts every node);
//  - PRED_MAP maps an id to the id it was first reached from; it needs
//    exists(key), operator[](key), erase(key) and clear().
// The wavefront is a first-in first-out singly linked list of ids.
#include <cstddef>
#include <utility>
#include <vector>

#include "zmp_hash_lite_sys.h"

namespace ZMP {
// A predicate that accepts everything.
struct ALWAYS_TRUE_FN {
  template <class... A> bool operator()(const A&...) const { return true; }
};
}  // namespace ZMP

namespace JUK::DETAIL {

// First-in first-out list of ids, singly linked; nodes are recycled.
class FIFO_ID_LIST {
public:
  bool empty() const { return m_head < 0; }
  std::size_t size() const { return m_size; }
  int front() const { return m_nodes[static_cast<std::size_t>(m_head)].id; }
  void push_back(int id) {
    int n;
    if (m_free >= 0) {
      n = m_free;
      m_free = m_nodes[static_cast<std::size_t>(n)].next;
      m_nodes[static_cast<std::size_t>(n)] = NODE{id, -1};
    } else {
      n = static_cast<int>(m_nodes.size());
      m_nodes.push_back(NODE{id, -1});
    }
    if (m_tail >= 0) m_nodes[static_cast<std::size_t>(m_tail)].next = n;
    else m_head = n;
    m_tail = n;
    ++m_size;
  }
  void pop_front() {
    const int n = m_head;
    m_head = m_nodes[static_cast<std::size_t>(n)].next;
    if (m_head < 0) m_tail = -1;
    m_nodes[static_cast<std::size_t>(n)].next = m_free;
    m_free = n;
    --m_size;
  }
  void clear() {
    m_nodes.clear();
    m_head = m_tail = m_free = -1;
    m_size = 0;
  }

private:
  struct NODE {
    int id;
    int next;
  };
  std::vector<NODE> m_nodes;
  int m_head = -1;
  int m_tail = -1;
  int m_free = -1;
  std::size_t m_size = 0;
};

// Fanout policy: every fanout of a node in graph order that `is_valid`
// accepts (a callable taking the fanout id).
template <class VALID_FN = ZMP::ALWAYS_TRUE_FN> class CUSTOM_FANOUT_WAVEFRONT {
public:
  using LIST = FIFO_ID_LIST;
  CUSTOM_FANOUT_WAVEFRONT() = default;
  explicit CUSTOM_FANOUT_WAVEFRONT(VALID_FN is_valid) : m_is_valid(std::move(is_valid)) {}

  template <class GRAPH, class FN> void for_each_fanout(const GRAPH& graph, int node, FN&& fn) const {
    const auto end = graph.end_fanout(static_cast<unsigned>(node));
    for (auto it = graph.begin_fanout(static_cast<unsigned>(node)); it != end; ++it) {
      const int to = static_cast<int>((*it).to);
      if (m_is_valid(to)) fn(to);
    }
  }

private:
  VALID_FN m_is_valid;
};

template <class GRAPH, class WAVEFRONT = CUSTOM_FANOUT_WAVEFRONT<>, class FILTER = ZMP::ALWAYS_TRUE_FN,
          class PRED_MAP = ZMP_HASH_LITE<int, int>>
class BFS_ENGINE {
public:
  using WAVEFRONT_LIST = typename WAVEFRONT::LIST;

  explicit BFS_ENGINE(const GRAPH& graph, WAVEFRONT wavefront = WAVEFRONT(), FILTER filter = FILTER())
      : m_graph(graph), m_wavefront_policy(std::move(wavefront)), m_filter(std::move(filter)) {}

  // Appends every fanout of `node` that the wavefront policy and the filter
  // accept and that has no predecessor yet; the fanout's predecessor becomes
  // `node`.
  void add_valid_neighbors_to_wavefront(int node, WAVEFRONT_LIST& wavefront) {
    m_wavefront_policy.for_each_fanout(m_graph, node, [&](int to) {
      if (!m_filter(to) || m_pred.exists(to)) return;
      m_pred[to] = node;
      wavefront.push_back(to);
    });
  }

  // Searches from `start` until `target` reaches the head of the wavefront.
  // The start is its own predecessor, so it is never queued again. Returns
  // whether the target was found; the predecessor map stays for path().
  bool search(int start, int target) {
    m_pred.clear();
    m_wavefront.clear();
    m_pred[start] = start;
    add_valid_neighbors_to_wavefront(start, m_wavefront);
    if (start == target) return true;
    while (!m_wavefront.empty()) {
      const int head = m_wavefront.front();
      if (head == target) return true;
      m_wavefront.pop_front();
      add_valid_neighbors_to_wavefront(head, m_wavefront);
    }
    return false;
  }

  // The path of the last successful search, start first and target last;
  // empty when the target was not reached.
  std::vector<int> path(int start, int target) {
    std::vector<int> res;
    if (!m_pred.exists(target)) return res;
    int cur = target;
    // Each step moves one node closer to the start; the bound guards a map
    // that was changed from outside.
    for (std::size_t steps = 0; steps <= m_pred.size(); ++steps) {
      res.push_back(cur);
      if (cur == start) break;
      if (!m_pred.exists(cur)) return {};
      const int prev = m_pred[cur];
      if (prev == cur) return {};
      cur = prev;
    }
    if (res.back() != start) return {};
    return std::vector<int>(res.rbegin(), res.rend());
  }

  PRED_MAP& predecessors() { return m_pred; }
  WAVEFRONT_LIST& wavefront() { return m_wavefront; }

private:
  const GRAPH& m_graph;
  WAVEFRONT m_wavefront_policy;
  FILTER m_filter;
  PRED_MAP m_pred;
  WAVEFRONT_LIST m_wavefront;
};

}  // namespace JUK::DETAIL
