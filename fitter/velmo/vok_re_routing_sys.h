#pragma once
// The routing's navigation, iterators, construction, copy and destruction,
// and the modifier's tree move. Included at the end of the host's routing
// header.
//
// Skip view: a pipeline-register pair splits a route in the stored forest.
// The marked node with a parent (D side) stands for the children of its pair,
// a marked root (Q side), so the driving tree continues with that root's
// children; marked roots are not shown.
#include <fstream>
#include <string>
#include <utility>

#include "msg/msg_internal_error.h"
#include "vok/vok_re_routing.h"

// ---- construction, copy, destruction ---------------------------------------

inline VOK_RE_ROUTING::VOK_RE_ROUTING()
    : m_change_counter(0),
      m_traverse_mode(0),
      m_live_count(0),
      m_attach_generation(0),
      m_spare0(0),
      m_spare1(0),
      m_atom_netlist(nullptr) {}

inline VOK_RE_ROUTING::VOK_RE_ROUTING(const VOK_RE_ROUTING& other) : VOK_RE_ROUTING() { *this = other; }

// Members go in reverse order of declaration.
inline VOK_RE_ROUTING::~VOK_RE_ROUTING() = default;

inline VOK_RE_ROUTING& VOK_RE_ROUTING::operator=(const VOK_RE_ROUTING& other) {
  if (this == &other) return *this;
  m_forest = other.m_forest;
  m_records = other.m_records;
  m_terminals = other.m_terminals;
  m_change_counter = other.m_change_counter;
  m_oterm_map = other.m_oterm_map;
  m_iterm_map = other.m_iterm_map;
  m_hard_constraint_ids = other.m_hard_constraint_ids;
  for (int i = 0; i < 3; ++i) m_networks[i] = other.m_networks[i];
  m_traverse_mode = other.m_traverse_mode;
  m_live_count = other.m_live_count;
  m_attach_generation = other.m_attach_generation;
  m_zota_bits = other.m_zota_bits;
  m_zota_overflow = other.m_zota_overflow;
  m_spare0 = other.m_spare0;
  m_spare1 = other.m_spare1;
  m_spare_ids = other.m_spare_ids;
  m_gid_map = other.m_gid_map;
  m_gid_more = other.m_gid_more;
  m_atom_netlist = other.m_atom_netlist;
  m_terminal_index = other.m_terminal_index;
  return *this;
}

// ---- navigation ------------------------------------------------------------

inline bool VOK_RE_ROUTING::is_zota_node(int id) const {
  return static_cast<unsigned>(id) < m_zota_bits.size() && m_zota_bits.test(static_cast<unsigned>(id));
}

inline int VOK_RE_ROUTING::get_corresponding_zota_id(int id) const {
  const std::int16_t offset = get_record(id).pair_offset;
  if (offset == OVERFLOW_PAIR_OFFSET) return m_zota_overflow.at(id);  // "Key not found" when absent
  return id + offset;
}

inline int VOK_RE_ROUTING::get_first_child(int id, VOK_RE_ROUTING_ZOTA_SKIP) const {
  const int c = m_forest.first_child(id);
  if (c == -1 || !is_zota_node(c)) return c;
  return m_forest.first_child(get_corresponding_zota_id(c));
}

inline int VOK_RE_ROUTING::get_parent(int id, VOK_RE_ROUTING_ZOTA_SKIP) const {
  const int p = m_forest.parent(id);
  if (p == -1 || !is_zota_node(p)) return p;
  return m_forest.parent(get_corresponding_zota_id(p));
}

inline int VOK_RE_ROUTING::get_next_sibling(int id, VOK_RE_ROUTING_ZOTA_SKIP) const {
  int s = m_forest.next_sibling(id);
  if (s != -1) {
    if (!is_zota_node(s)) return s;
    if (m_forest.parent(s) != -1) return m_forest.first_child(get_corresponding_zota_id(s));
    // A marked root: step along the root list to the next unmarked root.
    while (s != -1 && is_zota_node(s)) s = m_forest.next_sibling(s);
    return s;
  }
  const int p = m_forest.parent(id);
  if (p == -1 || !is_zota_node(p)) return -1;
  const int q = get_corresponding_zota_id(p);
  int r = m_forest.next_sibling(q);
  for (;;) {
    if (r == -1 || !is_zota_node(r)) return r;
    const int pr = get_corresponding_zota_id(r);
    if (pr != p) return m_forest.first_child(pr);
    r = m_forest.next_sibling(r);
  }
}

inline int VOK_RE_ROUTING::get_num_children(int id, VOK_RE_ROUTING_ZOTA_SKIP skip) const {
  int n = 0;
  for (int c = get_first_child(id, skip); c != -1; c = get_next_sibling(c, skip)) ++n;
  return n;
}

inline VOK_RE_ROUTING::node_id_iterator VOK_RE_ROUTING::begin_node_ids(VOK_RE_ROUTING_ZOTA_SKIP) const {
  using W = FOREST::id_iterator_wrapper<FOREST::const_node_iterator>;
  const W first(m_forest.nodes_begin());
  node_id_iterator it(ZOTA_SKIP_FILTER{this}, first, first, W(m_forest.nodes_end()));
  it.skip_to_next_unfiltered_elem();
  return it;
}

inline VOK_RE_ROUTING::node_id_iterator VOK_RE_ROUTING::end_node_ids(VOK_RE_ROUTING_ZOTA_SKIP) const {
  using W = FOREST::id_iterator_wrapper<FOREST::const_node_iterator>;
  const W end(m_forest.nodes_end());
  return node_id_iterator(ZOTA_SKIP_FILTER{this}, end, W(m_forest.nodes_begin()), end);
}

template <class SKIP>
inline std::pair<VOK_RE_ROUTING::sibling_id_iterator, VOK_RE_ROUTING::sibling_id_iterator> VOK_RE_ROUTING::root_ids()
    const {
  using W = FOREST::id_iterator_wrapper<FOREST::const_sibling_iterator>;
  const W first(m_forest.roots_begin());
  const W end(m_forest.roots_end());
  sibling_id_iterator b(ZOTA_SKIP_FILTER{this}, first, first, end);
  b.skip_to_next_unfiltered_elem();
  return {b, sibling_id_iterator(ZOTA_SKIP_FILTER{this}, end, first, end)};
}

// Stored first children, a marked child replaced by its pair's first child.
// Stops at the last node reached when a pair root has no child.
inline int VOK_RE_ROUTING::get_first_leaf(int id, VOK_RE_ROUTING_ZOTA_SKIP) const {
  for (;;) {
    int c = m_forest.first_child(id);
    if (c == -1) return id;
    if (is_zota_node(c)) c = m_forest.first_child(get_corresponding_zota_id(c));
    if (c == -1) return id;
    id = c;
  }
}

inline VOK_RE_ROUTING::leaf_id_iterator& VOK_RE_ROUTING::leaf_id_iterator::operator++() {
  const VOK_RE_ROUTING& r = *m_routing;
  const VOK_RE_ROUTING_ZOTA_SKIP skip;
  if (m_current == m_end || m_current == -1) {
    m_current = -1;
    return *this;
  }
  const int from = r.get_first_leaf(m_current, skip);
  const int sibling = r.get_next_sibling(from, skip);
  int candidate = sibling == -1 ? r.get_parent(from, skip) : r.get_first_leaf(sibling, skip);
  // The climb ends at the end node, or at -1 when it never meets it.
  while (candidate != m_end && candidate != -1) {
    if (r.m_forest.first_child(candidate) == -1) {
      m_current = candidate;
      return *this;
    }
    const int s = r.get_next_sibling(candidate, skip);
    if (s != -1) {
      candidate = r.get_first_leaf(s, skip);
      continue;
    }
    int p = r.m_forest.parent(candidate);
    if (p != -1 && r.is_zota_node(p)) p = r.m_forest.parent(r.get_corresponding_zota_id(p));
    candidate = p;
  }
  m_current = -1;
  return *this;
}

inline VOK_RE_ROUTING::post_order_id_iterator& VOK_RE_ROUTING::post_order_id_iterator::operator++() {
  const VOK_RE_ROUTING_ZOTA_SKIP skip;
  if (m_current == -1) return *this;
  if (m_current == m_top) {
    m_current = -1;
    return *this;
  }
  const int s = m_routing->get_next_sibling(m_current, skip);
  m_current = s != -1 ? m_routing->get_first_leaf(s, skip) : m_routing->get_parent(m_current, skip);
  return *this;
}

inline VOK_RE_ROUTING::post_order_id_iterator VOK_RE_ROUTING::begin_post_order_ids(int top,
                                                                                    VOK_RE_ROUTING_ZOTA_SKIP skip) const {
  return post_order_id_iterator(this, top == -1 ? -1 : get_first_leaf(top, skip), top);
}

template <class SKIP> inline void VOK_RE_ROUTING::debug_dump(const std::string& file_name) const {
  std::ofstream out(file_name, std::ios::out | std::ios::trunc);
  debug_dump(out, VOK_RE_ROUTING_ZOTA_SKIP());
  out.close();
}

// ---- terminal lookups ------------------------------------------------------

inline ZMP_TINY_VECTOR<int> VOK_RE_ROUTING::get_iterm_mappings(const VOK_ATOM_ITERM* iterm,
                                                              const VOK_ATOM_LOGICAL_PORT& port,
                                                              VOK_RE_ROUTING_ZOTA_SKIP) const {
  if (!m_atom_netlist) MSG_INTERNAL_ERROR::report("m_atom_netlist", "VELMO", "vok_re_routing_sys", __LINE__);
  const ZMP_TINY_VECTOR<int>* nodes = m_iterm_map.lookup(iterm);
  if (nodes == nullptr || nodes->empty()) return {};
  const int first = (*nodes)[0];
  if (is_zota_node(first)) return {};
  const std::int32_t value = get_value(first);
  if (value < 0 || !(get_terminal(value).port == port)) return {};
  return *nodes;
}

inline int VOK_RE_ROUTING::get_oterm_mapping(const VOK_ATOM_OTERM* oterm, const VOK_ATOM_LOGICAL_PORT& port,
                                             VOK_RE_ROUTING_ZOTA_SKIP) const {
  if (!m_atom_netlist) MSG_INTERNAL_ERROR::report("m_atom_netlist", "VELMO", "vok_re_routing_sys", __LINE__);
  const int* node = m_oterm_map.lookup(oterm);
  if (node == nullptr || *node == -1 || is_zota_node(*node)) return -1;
  const std::int32_t value = get_value(*node);
  if (value < 0 || !(get_terminal(value).port == port)) return -1;
  return *node;
}

// ---- the modifier's tree move -----------------------------------------------

inline void VOK_RE_ROUTING_MODIFIER::move_tree_under(int new_parent, int node) {
  VOK_RE_ROUTING& r = m_routing;
  const VOK_RE_ROUTING_ZOTA_SKIP skip;
  if (r.get_parent(node, skip) == new_parent) return;
  // A move under no node, or into the moved subtree itself (seen through
  // pipeline-register pairs), would leave an unreachable cycle.
  if (new_parent < 0) MSG_INTERNAL_ERROR::report("new_parent != -1", "VELMO", "vok_re_routing_sys", __LINE__);
  if (new_parent != node) {
    int cur = new_parent;
    for (int steps = r.m_forest.num_slots(); cur != -1 && steps >= 0; --steps) {
      if (cur == node)
        MSG_INTERNAL_ERROR::report("!is_in_subtree(node, new_parent)", "VELMO", "vok_re_routing_sys", __LINE__);
      const int p = r.m_forest.parent(cur);
      cur = p == -1 && r.is_zota_node(cur) ? r.get_corresponding_zota_id(cur) : p;
    }
  }
  bool first = false;
  if (r.get_value(new_parent) <= -2) {
    if (r.get_value(node) <= -2) {
      first = true;
    } else {
      const int gp = r.get_parent(new_parent, skip);
      first = gp != -1 && r.get_value(gp) <= -2;
    }
  }
  (first ? m_wire_changed : m_other_changed) = true;
  ++r.m_change_counter;
  if (node == new_parent || r.m_forest.parent(node) == new_parent) return;
  r.m_forest.unlink(node);
  r.m_forest.append_child(new_parent, node);
}

// ---- the modifier's immediate erase ------------------------------------------

inline void VOK_RE_ROUTING_MODIFIER::erase_node_now(int id) {
  m_wire_changed = true;
  ++m_routing.m_change_counter;
  m_routing.erase(id);
}
