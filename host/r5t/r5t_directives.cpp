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

void R5T_DIRECTIVES::filter(const VOK_ATOM_NETLIST& netlist, R5T_DIRECTIVES& out) const {
  host::log_call("R5T_DIRECTIVES::filter", netlist.size());
  auto listed = [&](std::uint32_t atom_id) { return netlist.get_atom_by_id(static_cast<int>(atom_id)) != nullptr; };
  for (auto it = m_mappings.begin(); it != m_mappings.end(); ++it) {
    if (!listed(it.key().get_atom_id()) || it.value().empty()) continue;
    out.m_mappings[it.key()] = it.value();
    ++out.m_ref_counts[it.key().get_atom_id()];
  }
  for (auto it = m_port_parameters.begin(); it != m_port_parameters.end(); ++it)
    if (listed(it.key().first.get_atom_id())) out.m_port_parameters[it.key()] = it.value();
  for (auto it = m_atom_parameters.begin(); it != m_atom_parameters.end(); ++it)
    if (listed(it.key().first)) out.m_atom_parameters[it.key()] = it.value();
  for (unsigned id : m_locked_atoms)
    if (listed(id)) out.m_locked_atoms.insert(id);
  for (unsigned id : m_touched_atoms)
    if (listed(id)) out.m_touched_atoms.insert(id);
}

void R5T_DIRECTIVES::merge(const R5T_DIRECTIVES& other) {
  host::log_call("R5T_DIRECTIVES::merge", other.m_mappings.size());
  for (auto it = other.m_mappings.begin(); it != other.m_mappings.end(); ++it) {
    if (it.value().empty()) continue;
    ZMP_TINY_VECTOR<PELK>& mine = m_mappings[it.key()];
    if (!mine.empty()) continue;
    mine = it.value();
    ++m_ref_counts[it.key().get_atom_id()];
  }
  for (auto it = other.m_port_parameters.begin(); it != other.m_port_parameters.end(); ++it)
    m_port_parameters.insert(it.key(), it.value());
  for (auto it = other.m_atom_parameters.begin(); it != other.m_atom_parameters.end(); ++it)
    m_atom_parameters.insert(it.key(), it.value());
  m_locked_atoms.insert(other.m_locked_atoms.begin(), other.m_locked_atoms.end());
  m_touched_atoms.insert(other.m_touched_atoms.begin(), other.m_touched_atoms.end());
}
