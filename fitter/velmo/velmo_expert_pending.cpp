// Stage members of the expert whose steps are not part of this build yet.
// Each raises an internal error naming itself; a member moves out of this
// file into its stage's source when its steps are built.
#include <string>
#include <vector>

#include "msg/msg_internal_error.h"
#include "velmo_expert.h"

namespace {
[[noreturn]] void l_not_built(const char* member, int line) {
  std::string text = std::string("VELMO_EXPERT::") + member + ": not built yet";
  MSG_INTERNAL_ERROR::report(text.c_str(), "VELMO", "velmo_expert", line);
}
}  // namespace

// ---------------------------------------------------------------------------
// Stage members whose steps come with later parts of the fitter. Each stops
// with an internal error naming itself rather than pretend to have run.

bool VELMO_EXPERT::check_constraint_legality() { l_not_built("check_constraint_legality", __LINE__); }
bool VELMO_EXPERT::run_w3j3_prefit() { l_not_built("run_w3j3_prefit", __LINE__); }
bool VELMO_EXPERT::translate_current_strengths() { l_not_built("translate_current_strengths", __LINE__); }
bool VELMO_EXPERT::perform_port_translation_wrapper() { l_not_built("perform_port_translation_wrapper", __LINE__); }
bool VELMO_EXPERT::perform_dangling_clock_routing_cleanup() {
  l_not_built("perform_dangling_clock_routing_cleanup", __LINE__);
}
bool VELMO_EXPERT::perform_lutram_conversion() { l_not_built("perform_lutram_conversion", __LINE__); }
bool VELMO_EXPERT::create_timing_netlist(int, int, const std::vector<KEM_TIMING_MODEL>&, bool, bool, bool, bool) {
  l_not_built("create_timing_netlist", __LINE__);
}
bool VELMO_EXPERT::do_global_asgn_op(WEXAN_ENV*) { l_not_built("do_global_asgn_op", __LINE__); }
void VELMO_EXPERT::set_location_listener() { l_not_built("set_location_listener", __LINE__); }
void VELMO_EXPERT::clear_location_listener() { l_not_built("clear_location_listener", __LINE__); }
bool VELMO_EXPERT::perform_user_logic_duplication() { l_not_built("perform_user_logic_duplication", __LINE__); }
bool VELMO_EXPERT::process_macs_after_regpacking() { l_not_built("process_macs_after_regpacking", __LINE__); }
bool VELMO_EXPERT::process_ale_placement_legality() { l_not_built("process_ale_placement_legality", __LINE__); }
bool VELMO_EXPERT::prepare_huv() { l_not_built("prepare_huv", __LINE__); }
bool VELMO_EXPERT::perform_p2c() { l_not_built("perform_p2c", __LINE__); }
bool VELMO_EXPERT::process_delay_chains_after_regpacking() {
  l_not_built("process_delay_chains_after_regpacking", __LINE__);
}
bool VELMO_EXPERT::merge_macs() { l_not_built("merge_macs", __LINE__); }
bool VELMO_EXPERT::check_netlist_legality() { l_not_built("check_netlist_legality", __LINE__); }
bool VELMO_EXPERT::process_rams() { l_not_built("process_rams", __LINE__); }
bool VELMO_EXPERT::process_l10_iopll_es_fix_legality() { l_not_built("process_l10_iopll_es_fix_legality", __LINE__); }
bool VELMO_EXPERT::ground_unconnected_blackbox_inputs() { l_not_built("ground_unconnected_blackbox_inputs", __LINE__); }
bool VELMO_EXPERT::lutrom_fixup_after_belq() { l_not_built("lutrom_fixup_after_belq", __LINE__); }
bool VELMO_EXPERT::run_resynthesis() { l_not_built("run_resynthesis", __LINE__); }

bool VELMO_EXPERT::place() { l_not_built("place", __LINE__); }
bool VELMO_EXPERT::place_pre_vpr() { l_not_built("place_pre_vpr", __LINE__); }
bool VELMO_EXPERT::report_pre_vpr(bool) { l_not_built("report_pre_vpr", __LINE__); }
bool VELMO_EXPERT::run_vpr(bool, bool, bool, bool, MUVO_FLOW_TYPE) { l_not_built("run_vpr", __LINE__); }
bool VELMO_EXPERT::vpr_prelude(WEXAN_INCREMENTAL_UTILITY*) { l_not_built("vpr_prelude", __LINE__); }
void VELMO_EXPERT::vpr_postlude(bool, WEXAN_INCREMENTAL_UTILITY*) { l_not_built("vpr_postlude", __LINE__); }
bool VELMO_EXPERT::post_place_operation() { l_not_built("post_place_operation", __LINE__); }
bool VELMO_EXPERT::run_post_place_operation() { l_not_built("run_post_place_operation", __LINE__); }
bool VELMO_EXPERT::muvo_unit(const char*) { l_not_built("muvo_unit", __LINE__); }
void VELMO_EXPERT::write_back_tibex_locations_to_atoms() {
  l_not_built("write_back_tibex_locations_to_atoms", __LINE__);
}
void VELMO_EXPERT::unload_vpr() { l_not_built("unload_vpr", __LINE__); }

bool VELMO_EXPERT::process_design_without_device() { l_not_built("process_design_without_device", __LINE__); }
bool VELMO_EXPERT::check_design_without_device() { l_not_built("check_design_without_device", __LINE__); }
bool VELMO_EXPERT::modify_design_without_device() { l_not_built("modify_design_without_device", __LINE__); }

bool VELMO_EXPERT::write_out_kem_netlist(bool, bool) { l_not_built("write_out_kem_netlist", __LINE__); }

bool VELMO_EXPERT::retime() { l_not_built("retime", __LINE__); }
bool VELMO_EXPERT::nimbrel() { l_not_built("nimbrel", __LINE__); }
bool VELMO_EXPERT::do_retime() { l_not_built("do_retime", __LINE__); }
bool VELMO_EXPERT::do_postfit_retime() { l_not_built("do_postfit_retime", __LINE__); }
bool VELMO_EXPERT::mark_lutram_zota_ffs_no_touch_for_retimer() {
  l_not_built("mark_lutram_zota_ffs_no_touch_for_retimer", __LINE__);
}

bool VELMO_EXPERT::route() { l_not_built("route", __LINE__); }
bool VELMO_EXPERT::global_route() { l_not_built("global_route", __LINE__); }
bool VELMO_EXPERT::do_post_route_ops(bool) { l_not_built("do_post_route_ops", __LINE__); }
void VELMO_EXPERT::do_common_post_route_post_finalize_ops(bool) {
  l_not_built("do_common_post_route_post_finalize_ops", __LINE__);
}
bool VELMO_EXPERT::muvo_post_route_fixup_iter(bool, bool, bool&, bool&) {
  l_not_built("muvo_post_route_fixup_iter", __LINE__);
}
bool VELMO_EXPERT::is_post_route_physical_synthesis_enabled(bool*) const {
  l_not_built("is_post_route_physical_synthesis_enabled", __LINE__);
}
bool VELMO_EXPERT::post_route_physical_synthesis(bool) { l_not_built("post_route_physical_synthesis", __LINE__); }
int VELMO_EXPERT::test_incremental_retiming() { l_not_built("test_incremental_retiming", __LINE__); }
int VELMO_EXPERT::test_incremental_resynthesis() { l_not_built("test_incremental_resynthesis", __LINE__); }


void VELMO_EXPERT::check_and_report(bool, bool) { l_not_built("check_and_report", __LINE__); }
int VELMO_EXPERT::get_fanout_limit_for_special_cases(const WUMP_ROUTE_INFO&, unsigned int, bool) {
  l_not_built("get_fanout_limit_for_special_cases", __LINE__);
}
bool VELMO_EXPERT::analyze_fanout_violations(const WEXAN_ENV*, bool) {
  l_not_built("analyze_fanout_violations", __LINE__);
}

void VELMO_EXPERT::dump_netlists(const std::string&, const std::string&) { l_not_built("dump_netlists", __LINE__); }
void VELMO_EXPERT::dump_placement() { l_not_built("dump_placement", __LINE__); }
void VELMO_EXPERT::do_initial_debug_ops() { l_not_built("do_initial_debug_ops", __LINE__); }
bool VELMO_EXPERT::debug_dump_info_and_maybe_stop_after_prefit() {
  l_not_built("debug_dump_info_and_maybe_stop_after_prefit", __LINE__);
}
void VELMO_EXPERT::generate_debug_xab_design_dump_file() {
  l_not_built("generate_debug_xab_design_dump_file", __LINE__);
}
void VELMO_EXPERT::do_debug_drask() { l_not_built("do_debug_drask", __LINE__); }
void VELMO_EXPERT::dump_json_file_for_atom_netlist(VOK_ATOM_NETLIST*, const char*) {
  l_not_built("dump_json_file_for_atom_netlist", __LINE__);
}
void VELMO_EXPERT::verify_incremental_hep(WEXAN_ENV*) { l_not_built("verify_incremental_hep", __LINE__); }
