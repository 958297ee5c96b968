#include "kem/kem_compound_edge.h"

#include <set>

#include "common/host_world.h"
#include "msg/msg_internal_error.h"

namespace {
struct COMPOUND_MARKS {
  std::set<int> nodes;
};
}  // namespace

bool kem_node_has_compound_mark(const KEM_NODE* node) {
  return node != nullptr && host_world_slot<COMPOUND_MARKS>().nodes.count(node->get_id()) != 0;
}

namespace host::kem {
void set_compound_mark(int node_id, bool on) {
  if (on)
    host_world_slot<COMPOUND_MARKS>().nodes.insert(node_id);
  else
    host_world_slot<COMPOUND_MARKS>().nodes.erase(node_id);
}
}  // namespace host::kem

KEM_EDGE_COMPOUND_ITER::KEM_EDGE_COMPOUND_ITER(const KEM_NETLIST* kem, const KEM_NODE* node, int edge_list_mask)
    : m_kem(kem), m_mask(edge_list_mask), m_id(-1) {
  if (m_mask != 0 && m_mask != 1)
    MSG_INTERNAL_ERROR::report("Unsupported 'edge_list_mask'", "KEM", "kem_compound_edge", __LINE__);
  m_id = m_mask == 0 ? node->begin_fanin() : node->begin_fanout();
}

void KEM_EDGE_COMPOUND_ITER::next() {
  const KEM_EDGE* e = get();
  m_id = e == nullptr ? -1 : (m_mask == 0 ? e->get_next_fanin() : e->get_next_fanout());
}
