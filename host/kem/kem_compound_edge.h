#pragma once
// Compound edges of the timing netlist: a node may carry the compound mark
// (the edges through it are also seen as one compound edge); the compound
// iteration lists the edges that make up the compound edges at a node.
#include "common/host_api.h"
#include "kem/kem_netlist.h"

// data: the compound mark of a node (the builder sets none; tests do). It
// is kept by node id and cleared with the world.
HOST_API bool kem_node_has_compound_mark(const KEM_NODE* node);
namespace host::kem {
HOST_API void set_compound_mark(int node_id, bool on);
}

// algorithm: the edges of the compound edges at a node, by edge-list mask
// (the accessories' compound mode): 0 the node's fan-in edges, 1 its fan-out
// edges, in list order. Another mask is the internal error
// "Unsupported 'edge_list_mask'".
class HOST_API KEM_EDGE_COMPOUND_ITER {
public:
  KEM_EDGE_COMPOUND_ITER(const KEM_NETLIST* kem, const KEM_NODE* node, int edge_list_mask);
  // The current edge; null past the end.
  KEM_EDGE* get() const { return m_id < 0 ? nullptr : m_kem->get_edge(m_id); }
  void next();

private:
  const KEM_NETLIST* m_kem;
  int m_mask;
  int m_id;
};
