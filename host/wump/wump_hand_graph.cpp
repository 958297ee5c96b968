#include "wump/wump_hand_graph.h"

#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

unsigned WUMP_HAND_GRAPH_BUILDER::element(int kind) {
  m_kinds.push_back(kind);
  return static_cast<unsigned>(m_kinds.size() - 1) | WUMP_GID_BIT;
}

WUMP_HAND_GRAPH_BUILDER& WUMP_HAND_GRAPH_BUILDER::edge(unsigned from, unsigned to, int graph) {
  m_edges.push_back({from & ~WUMP_GID_BIT, to & ~WUMP_GID_BIT, graph});
  return *this;
}

WUMP_HAND_GRAPH_BUILDER& WUMP_HAND_GRAPH_BUILDER::chain(const std::vector<unsigned>& gids, int graph) {
  for (std::size_t i = 1; i < gids.size(); ++i) edge(gids[i - 1], gids[i], graph);
  return *this;
}

std::unique_ptr<WUMP_ROUTE_INFO> WUMP_HAND_GRAPH_BUILDER::build() const {
  auto info = std::make_unique<WUMP_ROUTE_INFO>();
  const unsigned n = static_cast<unsigned>(m_kinds.size());
  info->m_nx = info->m_ny = 1;
  info->m_tile_first = {0, n};
  for (unsigned id = 0; id < n; ++id) {
    const WUMP_ROUTE_ELEMENT_RECORD r{static_cast<std::uint16_t>(m_kinds[id]), 0, static_cast<std::uint16_t>(id), 0, 0};
    WUMP_ROUTE_ELEMENT e;
    e.m_id = id;
    e.m_record = static_cast<unsigned>(info->m_element_table.size());
    info->m_element_table.push_back(r);
    info->m_elements.push_back(e);
  }
  // Fanout and fanin lists in edge order.
  std::vector<std::vector<unsigned>> fo(n), fi(n);
  for (const EDGE& e : m_edges) {
    fo[e.from].push_back(e.to);
    fi[e.to].push_back(e.from);
    info->m_edge_graphs[(std::uint64_t(e.from | WUMP_GID_BIT) << 32) | (e.to | WUMP_GID_BIT)] = e.graph;
    info->m_edge_graphs[(std::uint64_t(e.to | WUMP_GID_BIT) << 32) | (e.from | WUMP_GID_BIT)] = e.graph;
  }
  for (unsigned id = 0; id < n; ++id) {
    if (!fo[id].empty()) {
      info->m_elements[id].m_fanout_range = static_cast<int>(info->m_fanout_table.size());
      info->m_fanout_table.push_back(static_cast<int>(fo[id].size()));
      info->m_fanout_table.push_back(static_cast<int>(fo[id].size()));
      info->m_fanout_flags.insert(info->m_fanout_flags.end(), 2, 0);
      for (unsigned to : fo[id]) {
        info->m_fanout_table.push_back(static_cast<int>(to - id));
        info->m_fanout_flags.push_back(0);
      }
    }
    if (!fi[id].empty()) {
      info->m_elements[id].m_fanin_range = static_cast<int>(info->m_fanin_table.size());
      info->m_fanin_table.push_back(static_cast<int>(fi[id].size()));
      info->m_fanin_table.push_back(static_cast<int>(fi[id].size()));
      for (unsigned from : fi[id]) info->m_fanin_table.push_back(static_cast<int>(from - id));
    }
  }
  return info;
}

void WUMP_HAND_GRAPH_BUILDER::install() const { host::device::die_info()->install_route_info(build()); }

void WUMP_HAND_GRAPH_BUILDER::set_edge_graph(unsigned from, unsigned to, int graph) {
  WUMP_ROUTE_INFO* info = const_cast<WUMP_ROUTE_INFO*>(host::device::die_info()->get_route_info());
  info->m_edge_graphs[(std::uint64_t(from | WUMP_GID_BIT) << 32) | (to | WUMP_GID_BIT)] = graph;
  info->m_edge_graphs[(std::uint64_t(to | WUMP_GID_BIT) << 32) | (from | WUMP_GID_BIT)] = graph;
}
