#include "velmo_eqcheck_netlist.h"

#include "cmp/cmp_facade.h"
#include "jov/jov_design.h"
#include "tawn/tawn_netlist_writer.h"

VELMO_EQCHECK_NETLIST::VELMO_EQCHECK_NETLIST(CMP_FACADE* cmp) : m_name(cmp->get_project_name()) {
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  JOV_PARTITION* root = design ? design->find_partition_by_name("|") : nullptr;
  JOV_STATE* state = root ? root->get_state() : nullptr;
  m_netlist = state ? state->get_atom_netlist() : nullptr;
}

bool VELMO_EQCHECK_NETLIST::write(const char* suffix) const {
  return TAWN_NETLIST_WRITER::write(m_netlist, "eqcheck_vo", (m_name + suffix).c_str());
}
