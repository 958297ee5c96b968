#pragma once
// data: a small hand-made routing graph for tests: elements of any kind (also
// kinds the generator never makes) on tile (0, 0), and edges each with the
// top-level graph that get_top_level_graph_from_edge reports for it (both
// ways round). install() puts it in the world's die in place of the
// generated graph, until the device changes.
#include <memory>
#include <utility>
#include <vector>

#include "common/host_api.h"

class WUMP_ROUTE_INFO;

struct HOST_API WUMP_HAND_GRAPH_BUILDER {
  // A new element of `kind`; returns its gid.
  unsigned element(int kind);
  // An edge from -> to (gids) in top-level graph `graph`.
  WUMP_HAND_GRAPH_BUILDER& edge(unsigned from, unsigned to, int graph = 1);
  // A chain of edges a -> b -> c ... in `graph`.
  WUMP_HAND_GRAPH_BUILDER& chain(const std::vector<unsigned>& gids, int graph = 1);
  std::unique_ptr<WUMP_ROUTE_INFO> build() const;
  // Builds and installs the graph in the world's die (active in mode 0).
  void install() const;
  // From now on (until the device changes) the world's installed graph,
  // generated or hand-made, reports edge from -> to (both ways round) in
  // top-level graph `graph`.
  static void set_edge_graph(unsigned from, unsigned to, int graph);

private:
  std::vector<int> m_kinds;
  struct EDGE {
    unsigned from, to;
    int graph;
  };
  std::vector<EDGE> m_edges;
};
