// One-cell atom-to-cell mappings of input and output terms.
#include "common/host_call_log.h"
#include "r5t/r5t_interface.h"
#include "vok/vok_atom_netlist.h"

void R5T_INTERFACE::set_atom_mapping(const VOK_ATOM_ITERM* iterm, PELK cell, bool flag) {
  if (iterm == nullptr || iterm->get_my_node() == nullptr) return;
  host::log_call("R5T_INTERFACE::set_atom_mapping", iterm->get_my_node()->get_id(), std::string(cell.is_null() ? "" : cell.cname()), flag);
  set_atom_mapping(iterm, std::vector<PELK>{cell});
}

void R5T_INTERFACE::set_atom_mapping(const VOK_ATOM_OTERM* oterm, PELK cell, bool flag) {
  if (oterm == nullptr || oterm->get_my_node() == nullptr) return;
  host::log_call("R5T_INTERFACE::set_atom_mapping", oterm->get_my_node()->get_id(), std::string(cell.is_null() ? "" : cell.cname()), flag);
  m_out_mappings[{oterm->get_my_node()->get_id(), static_cast<int>(oterm->get_port_type()), oterm->get_index()}] = cell;
}

PELK R5T_INTERFACE::get_atom_mapping(const VOK_ATOM_OTERM* oterm) const {
  if (oterm == nullptr || oterm->get_my_node() == nullptr) return PELK();
  auto it =
      m_out_mappings.find({oterm->get_my_node()->get_id(), static_cast<int>(oterm->get_port_type()), oterm->get_index()});
  return it == m_out_mappings.end() ? PELK() : it->second;
}
