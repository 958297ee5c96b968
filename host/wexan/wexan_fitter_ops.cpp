#include "wexan/wexan_fitter_ops.h"

#include <memory>
#include <string>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "common/host_world.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"

namespace {
struct FITTER_OPS_STATE {
  std::unique_ptr<WEXAN_INCREMENTAL_UTILITY> reuse = std::make_unique<WEXAN_INCREMENTAL_UTILITY>();
  bool all_skip = false;
  std::set<unsigned> pfit_atoms;
};
FITTER_OPS_STATE& state() { return host_world_slot<FITTER_OPS_STATE>(); }

bool l_scripted(const char* name) { return host::script::next<bool>(name, true); }
}  // namespace

WEXAN_INCREMENTAL_UTILITY::WEXAN_INCREMENTAL_UTILITY() = default;
WEXAN_INCREMENTAL_UTILITY::~WEXAN_INCREMENTAL_UTILITY() = default;
WEXAN_INCREMENTAL_UTILITY* WEXAN_INCREMENTAL_UTILITY::current() { return state().reuse.get(); }

bool WEXAN_INCREMENTAL_UTILITY::allowed_to_optimize_delay_chain(const VOK_ATOM_NODE* atom) const {
  return atom != nullptr && m_preserved_delay_chains.count(atom->get_id()) == 0;
}

bool WEXAN_INCREMENTAL_UTILITY::any_optimizable_delay_chains() const {
  const WEXAN_ENV* env = WEXAN_ENV::get_env();
  VOK_ATOM_NETLIST* top = env ? env->get_atom_netlist() : nullptr;
  if (top == nullptr) return false;
  for (const VOK_ATOM_NODE* atom : top->get_atom_list())
    if (atom->is_pin() && allowed_to_optimize_delay_chain(atom)) return true;
  return false;
}
void WEXAN_INCREMENTAL_UTILITY::hide_locked_nodes(void* filter) {
  host::log_call("WEXAN_INCREMENTAL_UTILITY::hide_locked_nodes", filter);
}
void WEXAN_INCREMENTAL_UTILITY::show_locked_nodes(bool ok, bool flag) {
  host::log_call("WEXAN_INCREMENTAL_UTILITY::show_locked_nodes", ok, flag);
}
bool WEXAN_INCREMENTAL_UTILITY::create_postfit_rcf() {
  host::log_call("WEXAN_INCREMENTAL_UTILITY::create_postfit_rcf");
  return l_scripted("WEXAN_INCREMENTAL_UTILITY::create_postfit_rcf");
}
void WEXAN_INCREMENTAL_UTILITY::save_rcf_for_retry() {
  host::log_call("WEXAN_INCREMENTAL_UTILITY::save_rcf_for_retry");
}

bool WEXAN_SWAVO_RECOMPILE_UTILITY::all_partitions_can_skip_fitter() { return state().all_skip; }
bool WEXAN_SWAVO_RECOMPILE_UTILITY::atom_from_pfit_netlist(unsigned atom_id) {
  return state().pfit_atoms.count(atom_id) != 0;
}

bool WEXAN_MAC_LOCATION_CHECK::check_legality(WEXAN_ENV*, const char* phase, bool flag) {
  host::log_call("WEXAN_MAC_LOCATION_CHECK::check_legality", phase, flag);
  return l_scripted("WEXAN_MAC_LOCATION_CHECK::check_legality");
}
WEXAN_MAC_LOCATION_CHECK::WEXAN_MAC_LOCATION_CHECK(WEXAN_ENV*, const char* phase) : m_phase(phase) {
  host::log_call("WEXAN_MAC_LOCATION_CHECK::WEXAN_MAC_LOCATION_CHECK", phase);
}
WEXAN_MAC_LOCATION_CHECK::~WEXAN_MAC_LOCATION_CHECK() = default;
bool WEXAN_MAC_LOCATION_CHECK::work(bool flag) {
  host::log_call("WEXAN_MAC_LOCATION_CHECK::work", m_phase, flag);
  return l_scripted("WEXAN_MAC_LOCATION_CHECK::work");
}

WEXAN_USER_ATOM_DUP::WEXAN_USER_ATOM_DUP(WEXAN_ENV*) {}
WEXAN_USER_ATOM_DUP::~WEXAN_USER_ATOM_DUP() = default;
bool WEXAN_USER_ATOM_DUP::work() {
  host::log_call("WEXAN_USER_ATOM_DUP::work");
  return l_scripted("WEXAN_USER_ATOM_DUP::work");
}

WEXAN_CHECK_LCELL_LEGALITY_OP::WEXAN_CHECK_LCELL_LEGALITY_OP(WEXAN_ENV*) {}
WEXAN_CHECK_LCELL_LEGALITY_OP::~WEXAN_CHECK_LCELL_LEGALITY_OP() = default;
bool WEXAN_CHECK_LCELL_LEGALITY_OP::check_netlist_lcells_prefit() {
  host::log_call("WEXAN_CHECK_LCELL_LEGALITY_OP::check_netlist_lcells_prefit");
  return l_scripted("WEXAN_CHECK_LCELL_LEGALITY_OP::check_netlist_lcells_prefit");
}

bool WEXAN_JOV_WIRELUT::constrain_wireluts(int internal_family_code) {
  host::log_call("WEXAN_JOV_WIRELUT::constrain_wireluts", internal_family_code);
  return l_scripted("WEXAN_JOV_WIRELUT::constrain_wireluts");
}


namespace host::wexan {
void set_reuse_utility(bool present) {
  auto& st = state();
  if (present && !st.reuse) st.reuse = std::make_unique<WEXAN_INCREMENTAL_UTILITY>();
  if (!present) st.reuse.reset();
}
void set_all_partitions_can_skip_fitter(bool on) { state().all_skip = on; }
void set_pfit_netlist_atoms(std::set<unsigned> atom_ids) { state().pfit_atoms = std::move(atom_ids); }
}  // namespace host::wexan

bool WEXAN_INCREMENTAL_UTILITY::process_postfit_tracelyn_assignments_if_necessary(bool* netlist_changed,
                                                                                  bool* ports_changed) {
  const char* name = "WEXAN_INCREMENTAL_UTILITY::process_postfit_tracelyn_assignments_if_necessary";
  host::log_call(name);
  *netlist_changed = host::script::next<bool>(std::string(name) + ":netlist_changed", false);
  *ports_changed = host::script::next<bool>(std::string(name) + ":ports_changed", false);
  return host::script::next<bool>(name, true);
}

void WEXAN_INCREMENTAL_UTILITY::set_has_unrouted_postfit_tracelyn_connections(bool on) {
  host::log_call("WEXAN_INCREMENTAL_UTILITY::set_has_unrouted_postfit_tracelyn_connections", on);
}

void WEXAN_SWAVO_RECOMPILE_UTILITY::cache_routing_preservation(bool ok) {
  host::log_call("WEXAN_SWAVO_RECOMPILE_UTILITY::cache_routing_preservation", ok);
}

void WEXAN_JOV_WIRELUT::backannotate_wireluts() { host::log_call("WEXAN_JOV_WIRELUT::backannotate_wireluts"); }

void WEXAN_SWAVO_RECOMPILE_UTILITY::generate_swavo_recompile_reports(bool flag, bool legality) {
  host::log_call("WEXAN_SWAVO_RECOMPILE_UTILITY::generate_swavo_recompile_reports", flag, legality);
}

#define WEXAN_WIRELUT_STEP(NAME, ...)                                   \
  bool WEXAN_JOV_WIRELUT::NAME(__VA_ARGS__) {                           \
    host::log_call("WEXAN_JOV_WIRELUT::" #NAME);                        \
    return host::script::next<bool>("WEXAN_JOV_WIRELUT::" #NAME, true); \
  }
WEXAN_WIRELUT_STEP(insert_wireluts)
WEXAN_WIRELUT_STEP(insert_wirelut_to_complete_dangling_output_ports_in_design, JOV_DESIGN*)
WEXAN_WIRELUT_STEP(insert_wirelut_to_complete_dangling_input_ports_in_design, JOV_DESIGN*)
WEXAN_WIRELUT_STEP(insert_wirelut_for_zota_lutram_parent_partition_in_design, JOV_DESIGN*)
WEXAN_WIRELUT_STEP(insert_wirelut_for_zota_lutram_child_partition_in_design, JOV_DESIGN*)
#undef WEXAN_WIRELUT_STEP
