// Entry points of the component: start-up lends the host the fitter
// utilities and creates the expert, shut-down takes everything back in a
// fixed order, and the stage entry points forward to the expert.
#include <cstring>
#include "velmo_main.h"

#include <cstdint>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "wexan/wexan_pr_pof_utility.h"
#include "wexan/wexan_fitter_ops.h"
#include "velmo_retimer.h"
#include "velmo_bbic.h"
#include "tawn/tawn_netlist_writer.h"
#include "omz/omz_option.h"
#include "omz/omz_instance_name.h"
#include "jov/jov_design.h"
#include "gen/gen_project.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_family.h"
#include "gen/gen_profile.h"
#include "jov/jov_design.h"
#include "mem/mem_initializer.h"
#include "msg/msg_internal_error.h"
#include "nolt/nolt_ops.h"
#include "nolt/nolt_register_packer.h"
#include "nolt/nolt_utilities.h"
#include "pexa/pexa_utility.h"
#include "teskin/teskin_manager.h"
#include "tibex/tibex_env.h"
#include "truv/truv_lab.h"
#include "velmo_clkgate_fanout_rewirer.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "velmo_periphery_placement_util.h"
#include "velmo_ram_enable_conversion_util.h"
#include "velmo_register_packer_op_interface.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "velmo_register_packer.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_utilities.h"
#include "yeb/yeb_timing_model.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_dev_zota_util.h"

namespace {
const MEM_INITIALIZER l_mem_initializer("VELMO");

// The fitter environment, owned here from start-up to shut-down.
WEXAN_ENV* s_env = nullptr;
// The periphery placement utility, owned here; not lent to the registry.
WEXAN_PERIPHERY_FLOW* s_periph_flow = nullptr;
// The register-packer interface lent to the host's register-packing op.
VELMO_REGISTER_PACKER_OP_INTERFACE* s_rp_iface = nullptr;

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_main", line);
}

constexpr unsigned int kDernFlowCase = 412207;
constexpr unsigned int kRegpackHintsCase = 412208;

void l_print_memory_line() {
  float peak = static_cast<float>(mem_info_get_process_peak_virtual_used());
  float current = static_cast<float>(mem_info_get_process_current_virtual_used());
  msg_vdebug_impl(2, "Memory usage after initialize_fitter: peak %.2f gb, current %.2f gb", peak / 1.0e9,
                  current / 1.0e9);
}

// Makes the host's and the component's fitter utilities and lends each to
// the host's registry before the next is made.
void l_create_fitter_utilities(CMP_FACADE* cmp) {
  VELMO_SCOPED_PROFILE_BIN bin("VELMO_EXPERT::Create fitter utilities", "Prefit - Other");
  if (WEXAN_ENV::get_env() == nullptr) l_internal_error("WEXAN_ENV::get_env() != NULL", __LINE__);
  if (WEXAN_ENV::get_env()->get_cmp() == nullptr) l_internal_error("WEXAN_ENV::get_env()->get_cmp() != NULL", __LINE__);
  DEV_FAMILY_ENUM family = WEXAN_ENV::get_env()->get_cmp()->get_family();

  TIBEX_ENV::set_cmp_facade(cmp);
  nolt_bin_set_env(s_env);

  WEXAN_ENV::set_atom_dup_util(new NOLT_ATOM_DUP_UTILITY());
  WEXAN_ENV::set_lut_ram_conversion_util(new NOLT_LUT_RAM_CONVERSION_UTIL(s_env));
  TIBEX_ENV::set_delay_chain_util(new NOLT_DELAY_CHAIN_UTIL_BODY(family));
  s_rp_iface = new VELMO_REGISTER_PACKER_OP_INTERFACE();
  NOLT_FF_REGISTER_PACKER_OP::set_op_interface(s_rp_iface);
  TIBEX_ENV::set_vpr20k_facade();
  TIBEX_ENV::set_tibex_ram_packer(new NOLT_RAM_PACKING_CHECK_BODY(s_env));
  TIBEX_ENV::set_tibex_ram_merger(new NOLT_KX_MERGE_RAM_OP_BODY(s_env, true));
  TIBEX_ENV::set_tibex_clkbuf_fix_atom_netlist(new NOLT_CLKBUF_FIX_ATOM_NETLIST(s_env));
  TIBEX_ENV::set_tibex_clkgate_fanout_rewirer(new VELMO_CLKGATE_FANOUT_REWIRER(s_env));
  TIBEX_ENV::set_tibex_gnd_lcell_manager(new NOLT_GND_LCELL_MANAGER(s_env));
  TIBEX_ENV::set_tibex_device_migration_constraints_util(new NOLT_DEVICE_MIGRATION_CONSTRAINTS_BODY(s_env));

  WEXAN_LUT_RAM_UTILITY::create_utility(
      cfg_is_on("fitter_enable_full_opportunistic_dout_regpack_for_lutram", false) ? 0 : 6);
  VELMO_RAM_ENABLE_CONVERSION_UTIL::create_utility();
  TIBEX_ENV::set_tibex_pdc_utility(new WEXAN_PDC_UTILITY());

  s_periph_flow = new VELMO_PERIPHERY_PLACEMENT_UTIL();

  if (!s_env->get_register_packing_hints_for_vpr())
    s_env->set_register_packing_hints_for_vpr(new WEXAN_REGISTER_PACKING_HINTS_FOR_VPR());
}

// Puts every register that feeds the carry-in of an LCELL comb into
// pipeline-register (ZOTA) mode; returns how many were not marked yet.
int l_force_carry_chain_registers_into_zota_mode() {
  int count = 0;
  for (VOK_ATOM_NODE* atom : s_env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!atom->is_lcell_comb()) continue;
    VOK_ATOM_ITERM* carry_in = atom->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(2), 0);
    if (carry_in == nullptr) continue;
    VOK_ATOM_OTERM* source = carry_in->get_source(VOK_TRAVERSE_HIERARCHICAL);
    if (source == nullptr || source->get_my_node() == nullptr) continue;
    VOK_ATOM_NODE* reg = source->get_my_node();
    if (!reg->is_ff() || ZEL_ATOM_UTIL::is_zota_marked_reg(reg)) continue;
    ++count;
    reg->apply_operation(VOK_ATOM_OPERATION_FORCE_ZOTA);
    s_env->indicate_that_atom_netlist_is_modified(reg->get_id(), false, false);
  }
  return count;
}

// Deletes a lent object found in the registry and clears its entry.
template <class T> void l_take_back(T* (*get)(), void (*set)(T*)) {
  if (T* obj = get()) {
    delete obj;
    set(nullptr);
  }
}

// The started expert; internal error when start-up has not run.
VELMO_EXPERT* l_expert() { return VELMO_EXPERT::get(); }

void l_check_env_and_expert() {
  if (s_env == nullptr) l_internal_error("s_env != NULL", __LINE__);
  if (!VELMO_EXPERT::exists()) l_internal_error("VELMO_EXPERT::exists()", __LINE__);
}
}  // namespace

// ---------------------------------------------------------------------------
// Start-up and shut-down

bool velmo_initialize_fitter(CMP_FACADE* cmp) {
  VELMO_SCOPED_PROFILE_BIN bin("velmo_initialize_fitter", nullptr);
  if (s_env != nullptr) l_internal_error("s_env == NULL", __LINE__);
  if (VELMO_EXPERT::exists()) l_internal_error("!VELMO_EXPERT::exists()", __LINE__);

  int num_errors = VELMO_EXPERT::get_num_errors_posted();
  s_env = new WEXAN_ENV(cmp, 0, nolt_device_factory_fn);

  if (!DEV_FAMILY_MANAGER().test_trait_of(s_env->get_base_family_code(), 152)) {
    msg_vdebug_impl(2, "Device family does not have pre fitter luj support");
    return false;
  }

  static const bool use_dern_flow = cfg_is_on("use_dern_flow", false);
  if (use_dern_flow) {
    static bool was_printed = false;
    velmo_print_hack_notice(was_printed, __FILE__, __LINE__, kDernFlowCase, "hack for the dern flow");
  } else {
    l_create_fitter_utilities(cmp);
  }

  VELMO_EXPERT::create(cmp, s_env);
  if (!VELMO_EXPERT::exists()) l_internal_error("VELMO_EXPERT::exists()", __LINE__);
  VELMO_EXPERT::get()->set_num_errors_at_start(num_errors);

  if (TRUV_LAB::is_supported()) TRUV_LAB::initialize();

  if (cfg_is_on("enable_user_macros", true)) {
    if (ZEL_DEV_ZOTA_UTIL::is_zota_device(s_env->get_cmp(), 1)) {
      int forced = l_force_carry_chain_registers_into_zota_mode();
      msg_vdebug_impl(2, "Forced %d carry chain registers to ZOTA mode", forced);
    }
    if (!TESKIN::MANAGER::get()->initialize(s_env->get_atom_netlist())) {
      msg_vdebug_impl(2, "TESKIN::MANAGER::initialize() failed to load user macros.");
      return false;
    }
  }

  YEB_TIMING_MODEL::preload_persistant_default_timing_model();
  YEB_TIMING_MODEL::get_timing_model_async(PEXA_UTILITY::get_current_device()->get_basic_info()->get_device_enum(),
                                           1, PEXA_UTILITY::get_loaded_timing_model_enum(1), false, false);

  if (cfg_is_on("debug_msg", false)) l_print_memory_line();
  return true;
}

void velmo_shutdown_fitter() {
  VELMO_EXPERT::destroy();
  msg_vdebug_impl(2, "Deleting all memory required to exist until the end of the fitter...");

  if (TIBEX_VPR_FACADE* facade = TIBEX_ENV::get_vpr_facade()) {
    facade->release();
    delete facade;
    TIBEX_ENV::clear_vpr_facade();
  }

  delete s_periph_flow;
  s_periph_flow = nullptr;

  l_take_back(&TIBEX_ENV::get_tibex_ram_packer, &TIBEX_ENV::set_tibex_ram_packer);
  l_take_back(&TIBEX_ENV::get_tibex_ram_merger, &TIBEX_ENV::set_tibex_ram_merger);
  l_take_back(&TIBEX_ENV::get_tibex_clkbuf_fix_atom_netlist, &TIBEX_ENV::set_tibex_clkbuf_fix_atom_netlist);
  l_take_back(&TIBEX_ENV::get_tibex_clkgate_fanout_rewirer, &TIBEX_ENV::set_tibex_clkgate_fanout_rewirer);
  l_take_back(&TIBEX_ENV::get_tibex_gnd_lcell_manager, &TIBEX_ENV::set_tibex_gnd_lcell_manager);
  l_take_back(&TIBEX_ENV::get_tibex_device_migration_constraints_util,
              &TIBEX_ENV::set_tibex_device_migration_constraints_util);

  if (WEXAN_LUT_RAM_UTILITY::get_utility()) {
    WEXAN_LUT_RAM_UTILITY::destroy_utility();
    TIBEX_ENV::set_lut_ram_utility(nullptr);
  }

  l_take_back(&TIBEX_ENV::get_tibex_pdc_utility, &TIBEX_ENV::set_tibex_pdc_utility);

  if (NOLT_ATOM_DUP_UTILITY* dup = WEXAN_ENV::get_atom_dup_util()) dup->release();

  l_take_back(&WEXAN_ENV::get_lut_ram_conversion_util, &WEXAN_ENV::set_lut_ram_conversion_util);

  if (NOLT_RAM_ENABLE_CONVERSION_UTIL::get_utility()) {
    NOLT_RAM_ENABLE_CONVERSION_UTIL::destroy_utility();
    TIBEX_ENV::set_ram_enable_conversion_util(nullptr);
  }

  l_take_back(&TIBEX_ENV::get_delay_chain_util, &TIBEX_ENV::set_delay_chain_util);

  WEXAN_ENV::set_wexan_device_factory_fn(nullptr);

  if (s_rp_iface) {
    delete s_rp_iface;
    s_rp_iface = nullptr;
    NOLT_FF_REGISTER_PACKER_OP::set_op_interface(nullptr);
  }

  nolt_bin_set_env(nullptr);
  TIBEX_ENV::set_cmp_facade(nullptr);

  if (s_env) {
    static bool was_printed = false;
    velmo_print_hack_notice(was_printed, __FILE__, __LINE__, kRegpackHintsCase,
                        "Remove regpacking hints for VPR");
    if (s_env->get_register_packing_hints_for_vpr()) s_env->free_register_packing_hints_for_vpr();
  }

  if (TIBEX_ENV::has_allocated_interface_objects())
    l_internal_error("!TIBEX_ENV::has_allocated_interface_objects()", __LINE__);

  if (s_env) {
    delete s_env;
    s_env = nullptr;
  }
}

// ---------------------------------------------------------------------------
// Services

bool velmo_load_user_constraints(bool apply_clock_skew) {
  l_check_env_and_expert();
  WEXAN_DESIGN* design = s_env->get_design();
  if (design == nullptr) l_internal_error("design", __LINE__);

  bool result = design->clear_existing_location_constraints() &&
                design->load_atom_information_which_requires_basic_information_load() &&
                VELMO_EXPERT::get()->check_constraint_legality();

  if (apply_clock_skew) {
    NOLT_PROGRAMMABLE_CLOCK_SKEW_OP op(s_env);
    op.work(5);
  }
  return result;
}

bool velmo_clear_and_reload_tarnbay_constraints() {
  l_check_env_and_expert();
  return s_env->clear_and_reload_tarnbay_constraints();
}

void velmo_check_and_report(bool check, bool legality) {
  if (s_periph_flow) s_periph_flow->flush_atom_mod_report();
  l_expert()->check_and_report(check, legality);
}

void velmo_print_memory_usage() {
  if (cfg_is_on("debug_msg", false)) l_print_memory_line();
}

// ---------------------------------------------------------------------------
// Stage forwarders

bool velmo_process_design_without_device() { return l_expert()->process_design_without_device(); }
bool velmo_run_w3j3_prefit() { return l_expert()->run_w3j3_prefit(); }
bool velmo_write_out_kem_netlist(bool host_flag, bool force_write) {
  return l_expert()->write_out_kem_netlist(host_flag, force_write);
}
bool velmo_bav_translate_current_strengths() { return l_expert()->translate_current_strengths(); }
bool velmo_perform_port_translation() { return l_expert()->perform_port_translation_wrapper(); }
bool velmo_place() { return l_expert()->place(); }
bool velmo_post_place_operation() { return l_expert()->post_place_operation(); }
bool velmo_muvo(const char* name) { return l_expert()->muvo_unit(name); }
bool velmo_muvo_post_route_fixup_iter(bool first, bool unload, bool& result1, bool& result2) {
  return l_expert()->muvo_post_route_fixup_iter(first, unload, result1, result2);
}
bool velmo_global_route() { return l_expert()->global_route(); }
bool velmo_route() { return l_expert()->route(); }
bool velmo_retime() { return l_expert()->retime(); }
bool velmo_nimbrel() { return l_expert()->nimbrel(); }
bool velmo_finalize() { return l_expert()->finalize(); }

// ---------------------------------------------------------------------------
// Plan-stage operations and intermediate snapshots

namespace {

// Wire-LUT insertion at partition boundaries, with the completion of
// dangling ports when configured.
bool l_insert_wireluts() {
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  bool r = WEXAN_JOV_WIRELUT::insert_wireluts();
  if (cfg_is_on("jov_insert_wirelut_for_unconnected_output_ports", true)) {
    r = r && WEXAN_JOV_WIRELUT::insert_wirelut_to_complete_dangling_output_ports_in_design(design);
    r = r && WEXAN_JOV_WIRELUT::insert_wirelut_to_complete_dangling_input_ports_in_design(design);
  }
  return r;
}

// Whether some input of the atom is driven (through hierarchy).
bool l_has_fanin(const VOK_ATOM_NODE* atom) {
  for (const VOK_ATOM_ITERM* iterm : atom->citerms())
    if (iterm->get_source(VOK_TRAVERSE_HIERARCHICAL) != nullptr) return true;
  return false;
}

// Whether some output of the atom drives anything (through hierarchy).
bool l_has_fanout(const VOK_ATOM_NODE* atom) {
  for (VOK_ATOM_OTERM* oterm : atom->oterms())
    if (!oterm->has_fanout_less_than(1, VOK_TRAVERSE_HIERARCHICAL)) return true;
  return false;
}

// Marks LCELLs carrying the LCELL_AS_VIO assignment as virtual I/Os when
// exactly one of their sides dangles.
void l_process_lcell_as_vio() {
  VELMO_SCOPED_PROFILE_BIN bin("Process LCELL_AS_VIO assignment", "Prefit - Other");
  constexpr int kLcellAsVioAssignment = 1172;
  constexpr int kVioBit = 41;
  std::vector<int> marked;
  for (VOK_ATOM_NODE* atom : s_env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!atom->is_modifiable() || !atom->is_lcell_comb()) continue;
    const OMZ_INSTANCE_NAME* name = atom->get_instance_name();
    const std::string path = name ? name->get_short_hpath(OMZ_HPATH_FORMAT_SHORT) : std::string();
    if (OMZ_DERIVED_OPTION::get_single_option(path, kLcellAsVioAssignment, true) == nullptr) continue;
    const bool fanin = l_has_fanin(atom);
    const bool fanout = l_has_fanout(atom);
    if (fanin == fanout) {
      msg_vdebug_impl(2, "LCELL %s must have only one dangling side.", path.c_str());
      continue;
    }
    if (!atom->bit_is_legal(kVioBit)) {
      msg_vdebug_impl(2, "Assignment LCELL_AS_VIO ignored for node %s", path.c_str());
      continue;
    }
    atom->set_bit(kVioBit, true);
    marked.push_back(atom->get_id());
    const_cast<OMZ_INSTANCE_NAME*>(name)->set_flag(fanin ? 8u : 4u);
  }
  if (!marked.empty())
    msg_vdebug_impl(2, "Modified %u LCELL(s) to have VIO flag", static_cast<unsigned>(marked.size()));
}

}  // namespace

bool velmo_post_plan_ops(bool write_arg) {
  VELMO_SCOPED_PROFILE_BIN bin("VELMO_EXPERT::post_plan_ops", "Prefit - Other");
  const int family = s_env->get_base_family_code();
  if (cfg_is_on("velmo_process_prpof_id", true) && family == 48 && !VELMO_BBIC::any_partitions_blackboxed())
    WEXAN_PR_POF_UTILITY::process_prpof_id();

  bool result = false;
  if (WEXAN_SWAVO_RECOMPILE_UTILITY::all_partitions_can_skip_fitter()) {
    msg_vdebug_impl(2, "Skip post-plan ops because SR says all partitions are preserved!");
    msg_vdebug_impl(2, "Running LUTRAM depop in SR in case lutram atoms are changed.");
    result = VELMO_RETIMER::force_depop_ffs_for_zota(s_env);
  } else {
    bool r = true;
    {
      VELMO_SCOPED_PROFILE_BIN wirelut_bin("velmo_insert_wireluts", "Prefit - Other");
      r = l_insert_wireluts();
    }
    r = r && WEXAN_JOV_WIRELUT::constrain_wireluts(family);
    if (r) l_process_lcell_as_vio();
    r = r && velmo_pack_registers();
    r = r && velmo_convert_lutram();
    r = r && velmo_insert_zota_lutram_wireluts();
    r = r && VELMO_RETIMER::force_depop_ffs_for_zota(s_env);
    r = r && velmo_perform_user_logic_duplication();
    r = r && VELMO_RETIMER::generate_zento_reg_restriction_report(s_env);
    r = r && VELMO_RETIMER::dedicated_depop_repop_for_p2c2p_zota(s_env);
    r = r && velmo_perform_p2c();

    bool depop_failed = false;
    if (cfg_is_on("early_retiming_in_plan", true)) {
      if (cfg_is_on("velmo_dump_vo_netlist", false))
        TAWN_NETLIST_WRITER::write(s_env->get_atom_netlist(), gen_get_project_output_directory().c_str(),
                                   s_env->get_cmp()->get_project_name().c_str());
      if (r) r = VELMO_RETIMER::run_prefit_early_retiming_flow(s_env);
      if (!cfg_is_on("skip_early_depop", true) && r &&
          !VELMO_RETIMER::depopulate_netlist_for_retiming_flow(s_env->get_cmp(), s_env))
        depop_failed = true;
    }
    result = depop_failed ? false : (r && velmo_bav_translate_current_strengths());
  }

  const bool use_dem = cfg_is_on("xab_use_dem", !(family == 48 || family == 15));
  if (result && cfg_is_on("jov_write_out_kem_netlist_after_plan", !use_dem)) {
    result = velmo_write_out_kem_netlist(true, write_arg);
  } else {
    msg_vdebug_impl(
        2, "Skipping post-plan KEM netlist write because xab_use_dem=%d or jov_write_out_kem_netlist_after_plan=%d",
        use_dem ? 1 : 0, cfg_is_on("jov_write_out_kem_netlist_after_plan", false) ? 1 : 0);
  }
  if (result && !s_env->hov_utility_reflects_atom_netlist_exactly()) result = velmo_run_w3j3_prefit();
  return result;
}

bool velmo_insert_wireluts() {
  VELMO_SCOPED_PROFILE_BIN bin("velmo_insert_wireluts", "Prefit - Other");
  return l_insert_wireluts();
}

bool velmo_insert_zota_lutram_wireluts() {
  if (s_env->get_base_family_code() != 46) return true;
  if (!cfg_is_on("jov_insert_wirelut_for_ports_connected_to_zota_lutram", true)) return true;
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  return WEXAN_JOV_WIRELUT::insert_wirelut_for_zota_lutram_parent_partition_in_design(design) &&
         WEXAN_JOV_WIRELUT::insert_wirelut_for_zota_lutram_child_partition_in_design(design);
}
bool velmo_perform_user_logic_duplication() { return l_expert()->perform_user_logic_duplication(); }
bool velmo_pack_registers() { return VELMO_REGISTER_PACKER::do_packing(WEXAN_ENV::get_env()); }
bool velmo_perform_p2c() { return l_expert()->perform_p2c(); }
bool velmo_convert_lutram() { return l_expert()->perform_lutram_conversion(); }
void velmo_print_hack_notice(bool& was_printed, const char* file, int line, unsigned long long tracking,
                             const char* description) {
  if (was_printed) return;
  was_printed = true;
  const char* slash = std::strrchr(file, '/');
  msg_vdebug_impl(2, "****** HACK WARNING ******");
  msg_vdebug_impl(2, "\t%s(%d) contains a hack by %s and is tracked by case %llu", slash ? slash + 1 : file, line,
                  "velmo", tracking);
  msg_vdebug_impl(2, "\tDescription: %s.", description);
  msg_vdebug_impl(2, "**** END HACK WARNING ****");
}

bool velmo_write_intermediate_snapshot(std::string* reason) {
  const OMZ_NAMESPACE* ns = JOV_ROOT::get()->get_design("")->get_option_namespace();
  const std::string command_line = gen_get_command_line();
  // Decided (and reported) on the first call; every later call in the
  // process gets the same answer.
  static const std::pair<bool, std::string> write_out_snapshot =
      velmo_write_intermediate_snapshot_and_report_reason_(ns, command_line);
  if (reason != nullptr) *reason = write_out_snapshot.second;
  return write_out_snapshot.first;
}
