#pragma once
// Route-graph accessors. Each reads the active route info and dispatches on
// its mode: 1 = element-offset representation, 2 = hierarchical
// element-offset representation, anything else = the flat tables.
#include "msg/msg_internal_error.h"
#include "wump/wump_route_objects.h"
#include "wump_route_info_singleton_manager_sys.h"

namespace wump_sys_detail {
inline const WUMP_ACTIVE_ROUTE_INFO& active() { return WUMP_ROUTE_INFO_SINGLETON_MANAGER::get().get_active(); }
}  // namespace wump_sys_detail

inline DEV_ELEMENT_ENUM WUMP_ROUTE_ELEMENT::get_element_enum() const {
  const WUMP_ACTIVE_ROUTE_INFO& a = wump_sys_detail::active();
  switch (a.mode) {
    case 1: return a.info->get_kop().element(m_id).get_element_enum();
    case 2: return a.info->get_kop_hier().hier_element(m_id).get_element_enum();
    default: return static_cast<DEV_ELEMENT_ENUM>(a.info->get_element_record(m_record).kind);
  }
}

inline int WUMP_ROUTE_ELEMENT::get_index() const {
  const WUMP_ACTIVE_ROUTE_INFO& a = wump_sys_detail::active();
  switch (a.mode) {
    case 1: return a.info->get_kop().element(m_id).get_index();
    case 2: return a.info->get_kop_hier().hier_element(m_id).get_index();
    default: return a.info->get_element_record(m_record).index;
  }
}

inline WUMP_ROUTE_NODE WUMP_ROUTE_ELEMENT::get_route_node() const {
  const WUMP_ACTIVE_ROUTE_INFO& a = wump_sys_detail::active();
  switch (a.mode) {
    case 1: return a.info->get_kop().element(m_id).get_route_node();
    case 2: return a.info->get_kop_hier().hier_element(m_id).get_route_node();
    default: {
      const WUMP_ROUTE_ELEMENT_RECORD& r = a.info->get_element_record(m_record);
      WUMP_ROUTE_NODE n;
      n.element_type = static_cast<DEV_ELEMENT_ENUM>(r.kind);
      n.sub_location = r.sub_location;
      n.index = r.index;
      n.length = r.length;
      n.flags = r.flags;
      n.x = m_x;
      n.y = m_y;
      return n;
    }
  }
}

inline int WUMP_ROUTE_ELEMENT::get_fanout_size() const {
  const WUMP_ACTIVE_ROUTE_INFO& a = wump_sys_detail::active();
  switch (a.mode) {
    case 1: return a.info->get_kop().element(m_id).get_fanout_size();
    case 2: return a.info->get_kop_hier().hier_element(m_id).get_fanout_size();
    default: {
      if (m_fanout_range < 0) return 0;
      const int count = a.info->get_fanout_table()[m_fanout_range + 1];
      return count < 0 ? 0 : count;
    }
  }
}

inline WUMP_ROUTE_GRAPH::const_fanout_iterator::const_fanout_iterator(const WUMP_ROUTE_GRAPH* graph, unsigned id,
                                                                      int position, bool end)
    : m_graph(graph), m_id(id), m_position(position), m_is_end(end) {
  const WUMP_ACTIVE_ROUTE_INFO& a = wump_sys_detail::active();
  m_mode = a.mode;
  if ((a.mode != 1 && a.mode != 2) || end) {
    m_effective_count = 65535;
    return;
  }
  const WUMP_ROUTE_ELEMENT* element = graph->get_wump_route_element(id);
  const WUMP_ROUTE_ELEMENT_KOP& kop =
      a.mode == 1 ? a.info->get_kop().element(element->get_id()) : a.info->get_kop_hier().hier_element(element->get_id());
  m_array = kop.get_kop_offset_array();
  unsigned count = graph->includes_purely_redundant_edges() ? m_array.count_incl_redundant : m_array.count;
  if (count == 1 && kop.has_only_virtual_edge()) count = 0;
  m_effective_count = static_cast<std::uint16_t>(count);
  m_is_end = position == static_cast<int>(m_effective_count);
}

inline WUMP_ROUTE_EDGE WUMP_ROUTE_GRAPH::const_fanout_iterator::operator*() const {
  WUMP_ROUTE_EDGE edge;
  edge.from = m_id;
  if (m_mode == 1 || m_mode == 2) {
    unsigned to = m_array.base_id + static_cast<unsigned>(m_array.offsets[m_position]);
    if (m_mode == 2 && to >= m_array.boundary_id)
      to = wump_sys_detail::active().info->get_kop_hier().push_boundary_node_up_hierarchy(to);
    edge.to = to;
  } else {
    // Made in flat mode: read through the route info active now.
    const WUMP_ACTIVE_ROUTE_INFO& a = wump_sys_detail::active();
    if (a.mode == 1 || a.mode == 2) {
      const WUMP_ROUTE_ELEMENT_KOP& kop =
          a.mode == 1 ? a.info->get_kop().element(m_id) : a.info->get_kop_hier().hier_element(m_id);
      edge.to = kop.get_fanout_incl_purely_redundant_edges(m_position) & ~WUMP_GID_BIT;
    } else {
      const WUMP_ROUTE_ELEMENT& element = a.info->element(m_id);
      const int* range = a.info->get_fanout_table() + element.get_fanout_range();
      edge.to = (element.get_id() + static_cast<unsigned>(range[2 + m_position])) & ~WUMP_GID_BIT;
    }
  }
  int ordinary = m_array.count;
  if (m_mode != 1 && m_mode != 2) {
    // A flat iterator holds no counts: the element's own range says where
    // its purely redundant edges start.
    const WUMP_ROUTE_INFO& info = m_graph->get_route_info();
    const int range = info.element(m_id).get_fanout_range();
    ordinary = range < 0 ? 0 : info.get_fanout_table()[range];
  }
  edge.redundant = m_graph->includes_purely_redundant_edges() && m_position >= ordinary;
  return edge;
}

inline WUMP_ROUTE_EDGE WUMP_ROUTE_GRAPH::const_fanin_iterator::operator*() const {
  const WUMP_ACTIVE_ROUTE_INFO& a = wump_sys_detail::active();
  WUMP_ROUTE_EDGE edge;
  edge.to = m_id;
  if (a.mode == 1 || a.mode == 2) {
    const WUMP_ROUTE_ELEMENT_KOP& kop =
        a.mode == 1 ? a.info->get_kop().element(m_id) : a.info->get_kop_hier().hier_element(m_id);
    edge.from = kop.get_fanin(m_position) & ~WUMP_GID_BIT;
  } else {
    const WUMP_ROUTE_ELEMENT& element = a.info->element(m_id);
    const int* range = a.info->get_fanin_table() + element.get_fanin_range();
    edge.from = (element.get_id() + static_cast<unsigned>(range[2 + m_position])) & ~WUMP_GID_BIT;
  }
  (void)m_graph;
  return edge;
}

template <bool R> inline unsigned WUMP_ROUTE_ELEMENT_BIDIR_ITERATOR<R>::operator*() const {
  (void)wump_sys_detail::active();
  if (m_is_end) MSG_INTERNAL_ERROR::report("!m_is_end", "VELMO", "wump_route_objects_sys", 2070);
  switch (m_mode) {
    case 0: return m_info->element(m_position).get_id() | WUMP_GID_BIT;
    case 1: return m_info->get_kop().element(m_position).get_id() | WUMP_GID_BIT;
    case 2: return m_info->get_kop_hier().hier_element(m_position).get_id() | WUMP_GID_BIT;
    default: break;
  }
  MSG_INTERNAL_ERROR::report("unhandled", "VELMO", "wump_route_objects_sys", 2092);
}
