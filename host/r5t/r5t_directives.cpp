#include "r5t/r5t_directives.h"

#include <string>

#include "common/host_call_log.h"
#include "vok/vok_atom_netlist.h"

R5T_DIRECTIVES::~R5T_DIRECTIVES() = default;

void R5T_DIRECTIVES::assert_modifiable(const VOK_ATOM_LOGICAL_PORT& port) const {
  if (m_netlist != nullptr && !m_netlist->is_modifiable())
    MSG_INTERNAL_ERROR::report(("directives of a read-only netlist (atom " + std::to_string(port.get_atom_id()) + ")").c_str(),
                               "HOST", "r5t_directives", __LINE__);
}

void R5T_DIRECTIVES::add_atom_mapping(const VOK_ATOM_LOGICAL_PORT& port, PELK cell_port) {
  host::log_call("R5T_DIRECTIVES::add_atom_mapping", port.get_atom_id(), cell_port.cname(), port.get_index());
  ZMP_TINY_VECTOR<PELK>& list = m_mappings[port];
  if (list.empty()) ++m_ref_counts[port.get_atom_id()];
  list.push_back(cell_port);
}
