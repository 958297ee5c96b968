// The interconnect edge into an input term.
#include "kem/kem_netlist.h"

KEM_EDGE* KEM_NETLIST::get_ic_edge_to_iterm(const VOK_ATOM_ITERM* iterm) const {
  const KEM_NODE* pin = iterm ? get_kem_node_from_iterm(iterm) : nullptr;
  if (pin == nullptr) return nullptr;
  for (int id = pin->begin_fanin(); id != -1;) {
    KEM_EDGE* e = get_edge(id);
    if (e == nullptr) break;
    if (e->get_kind() == 0) return e;
    id = e->get_next_fanin();
  }
  return nullptr;
}

void KEM_NETLIST::set_edge_excluded(int id, bool excluded) const {
  if (KEM_EDGE* e = get_edge(id)) {
    m_build_id = 0;
    m_structure_id = 0;
    e->m_excluded = excluded ? 1 : 0;
    if (log_open()) m_log.new_edges.push_back(id);
  }
}
