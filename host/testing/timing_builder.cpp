#include "testing/timing_builder.h"

#include "wump/wump_die_info.h"

namespace host::testing {

NETLIST_BUILDER& NETLIST_BUILDER::clock(const std::string& name, int period_ps, SIG source) {
  if (source.oterm == nullptr) throw NETLIST_BUILD_ERROR("clock '" + name + "': no source");
  if (period_ps <= 0) throw NETLIST_BUILD_ERROR("clock '" + name + "': the period must be positive");
  host::timing::declare_clock(name, period_ps, source.oterm);
  return *this;
}

// The builder changed the netlist without tainting it: the whole netlist is
// taken as modified.
WEXAN_HOV_UTILITY* NETLIST_BUILDER::timing() {
  hov_get_atom_netlist_taint_manager()->taint_all();
  return host::hov::get_or_create(0, 3, host::hov::models_of_set(5));
}

const KEM_NODE* timing_input(VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE type, int index) {
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  VOK_ATOM_ITERM* t = atom ? atom->get_input_term_by_type(type, index) : nullptr;
  return kem && t ? kem->get_kem_node_from_iterm(t) : nullptr;
}

const KEM_NODE* timing_output(VOK_ATOM_NODE* atom) {
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  if (!kem || !atom) return nullptr;
  for (std::size_t i = 0; i < atom->get_oterm_slot_count(); ++i)
    if (VOK_ATOM_OTERM* o = atom->get_oterm_slot(i)) return kem->get_kem_node_from_oterm(o);
  return nullptr;
}

std::uint32_t site_gid(int x, int y, int z) {
  return host::device::die_info()->get_place_info()->get_global_id(0, x, y, z);
}

}  // namespace host::testing
