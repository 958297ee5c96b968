#include "r5t/r5t_kiv_model.h"

#include "r5t/r5t_directives.h"

const char* const R5T_KIV_MODEL::s_model_type_string = "r5t";

R5T_KIV_MODEL::R5T_KIV_MODEL(R5T_DIRECTIVES* directives) : m_directives(directives) {
  header().set_type(s_model_type_string);
}
R5T_KIV_MODEL::R5T_KIV_MODEL(R5T_INTERFACE* metadata) : m_metadata(metadata) { header().set_type(s_model_type_string); }
R5T_KIV_MODEL::~R5T_KIV_MODEL() { delete m_directives; }

void R5T_KIV_MODEL::set_atom_netlist(VOK_ATOM_NETLIST* netlist) {
  m_netlist = netlist;
  if (m_directives != nullptr) m_directives->set_atom_netlist(netlist);
}
