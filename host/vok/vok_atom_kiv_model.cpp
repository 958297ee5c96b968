#include "vok/vok_atom_kiv_model.h"

#include "vok/vok_atom_netlist.h"

const char* const VOK_ATOM_KIV_MODEL::s_model_type_string = "atom";

VOK_ATOM_KIV_MODEL::VOK_ATOM_KIV_MODEL(VOK_ATOM_NETLIST* netlist, bool owned) : m_netlist(netlist), m_owned(owned) {
  header().set_type(s_model_type_string);
}

VOK_ATOM_KIV_MODEL::~VOK_ATOM_KIV_MODEL() {
  if (!m_owned || m_netlist == nullptr) return;
  if (VOK_ATOM_BLACKBOX* box = m_netlist->get_parent_box())
    if (box->get_child_netlist() == m_netlist) box->release_child_netlist();
  delete m_netlist;
}
