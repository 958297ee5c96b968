// Prefit steps of the expert: each wraps one netlist or legality operation
// of the prefit and place flow, decides whether it runs (family,
// configuration, compile mode), runs it and returns whether the calling stage
// may go on.
#include <cstdio>
#include <memory>
#include <string>

#include "bav/bav_strengths.h"
#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "gesk/gesk_bundle.h"
#include "hov/hov_utility.h"
#include "hssi/hssi_tx_deskew_op.h"
#include "kem/kem_timing_model.h"
#include "moz/moz_variable.h"
#include "msg/msg_internal_error.h"
#include "nolt/nolt_prefit_ops.h"
#include "omz/omz_option.h"
#include "siv/siv_atom_mod_utility.h"
#include "tibex/tibex_env.h"
#include "velmo_bbic.h"
#include "velmo_dangling_clock_routing_deletion.h"
#include "velmo_debug.h"
#include "velmo_delay_chain_op.h"
#include "velmo_expert.h"
#include "velmo_lutram_conversion.h"
#include "velmo_mac_merge_op.h"
#include "velmo_mac_sign_extension.h"
#include "velmo_main.h"
#include "velmo_msgs.h"
#include "velmo_periphery_to_core_placement.h"
#include "velmo_pll_delay_chains_op.h"
#include "velmo_port_translation.h"
#include "velmo_prefit_netlist_check_op.h"
#include "vok/vok_atom_netlist.h"
#include "w3j3/w3j3_config_creator.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"
#include "wexan/wexan_utilities.h"
#include "wode/wode_init.h"

namespace {
[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_expert", line);
}

constexpr unsigned int kLocationListenerCase = 412211;
constexpr unsigned int kBlackboxGroundingCase = 412212;

// Compiler options addressed by number.
constexpr int kOptionSkipMacMerge = 816;
constexpr int kOptionRawIopllCheck = 621;
constexpr int kOptionLutromFixup = 1166;

// Atom and port types of the host netlist used by the repairs below.
constexpr int kIopllAtomType = 422;
constexpr auto kIopllInputA = static_cast<DB_INPUT_PORT_TYPE>(3389);
constexpr auto kIopllInputB = static_cast<DB_INPUT_PORT_TYPE>(3388);
constexpr auto kLutramAddr = static_cast<DB_INPUT_PORT_TYPE>(35);
constexpr auto kLutramWe = static_cast<DB_INPUT_PORT_TYPE>(41);
constexpr int kLutromInputs[] = {83, 109, 173};
constexpr const char* kFitterCreatedMlab = "FITTER_CREATED_MLAB_CELL";

// The timing-model set the transmit deskew is timed with.
constexpr int kDeskewCornersSet = 6;

// Atom-modification algorithm of the prefit repairs.
constexpr int kPrefitRepairAlgorithm = 9;

bool l_is_family(int code, std::initializer_list<int> codes) {
  for (int c : codes)
    if (c == code) return true;
  return false;
}

bool l_option_is_on(CMP_FACADE* cmp, int id) {
  const OMZ_OPTION* option = OMZ_DERIVED_OPTION::get_single_option(cmp->get_option_namespace(), id, true);
  return option != nullptr && option->get_bool_value();
}

// Connected without a source and tied to 0.
bool l_is_tied_low(const VOK_ATOM_ITERM* iterm) {
  return iterm->is_used() && iterm->get_source(VOK_TRAVERSE_HIERARCHICAL) == nullptr && iterm->is_tie_low();
}
}  // namespace

// ---------------------------------------------------------------------------
// Mechanical steps

bool VELMO_EXPERT::check_constraint_legality() {
  VELMO_SCOPED_PROFILE_BIN bin("VELMO_EXPERT::check_constraint_legality", "Prefit - Other");
  m_env->report_fitter_status(5, 0);
  bool ok = WEXAN_MAC_LOCATION_CHECK::check_legality(m_env, "first", false);
  if (ok) ok = NOLT_RAM_LOCATION_CHECK::check_legality(m_env, false);
  return ok;
}

bool VELMO_EXPERT::run_w3j3_prefit() {
  if (WEXAN_SWAVO_RECOMPILE_UTILITY::all_partitions_can_skip_fitter()) {
    msg_vdebug_impl(2,
                    "SWAVO RECOMPILE is skipping VELMO_EXPERT::run_w3j3_prefit and re-using previous W3J3 model");
    W3J3_CONFIG_CREATOR_MODULE::set_atom_locations(m_env->get_chip_db_entry());
    return true;
  }
  wode_initialize_threads();
  lab_dummy();
  wux_clk_dummy();
  return m_env->run_w3j3_prefit();
}

bool VELMO_EXPERT::translate_current_strengths() { return BAV::translate_current_strengths(true); }

bool VELMO_EXPERT::perform_port_translation_wrapper() {
  if (l_is_family(m_env->get_base_family_code(), {26, 48, 15}) &&
      cfg_is_on("velmo_perform_port_translation", true)) {
    VELMO_SCOPED_PROFILE_BIN bin("Port Translation", "VPR - Other");
    VELMO_PORT_TRANSLATION_MGR mgr(m_env);
    mgr.perform_port_translation();
  }
  return true;
}

bool VELMO_EXPERT::perform_dangling_clock_routing_cleanup() {
  if (l_is_family(m_env->get_base_family_code(), {48, 15}) &&
      cfg_is_on("velmo_perform_dangling_lpclk_routing_cleanup", true) &&
      cfg_is_on("jopp_enable_large_pclks_in_jov_mode", true)) {
    VELMO_SCOPED_PROFILE_BIN bin("Cleanup Dangling Clock Routing", "VPR - Other");
    velmo_delete_dangling_lpclk_routing(m_env);
  }
  return true;
}

bool VELMO_EXPERT::perform_lutram_conversion() {
  VELMO_LUTRAM_CONVERSION_MGR mgr(m_env);
  return mgr.work();
}

bool VELMO_EXPERT::create_timing_netlist(int request, int invoke_mode, const std::vector<KEM_TIMING_MODEL>& models,
                                         bool b1, bool b2, bool b3, bool b4) {
  VELMO_SCOPED_PROFILE_BIN bin("VELMO_EXPERT::create_timing_netlist", "HOV");
  msg_vdebug_impl(2, "Creating timing netlist");
  WEXAN_HOV_UTILITY* hov_utility = m_env->get_hov_utility_or_create_if_necessary(
      request, invoke_mode, models, b1, b2, b3, b4, nullptr, false, false);
  if (hov_utility == nullptr) l_internal_error("hov_utility", __LINE__);
  return true;
}

bool VELMO_EXPERT::do_global_asgn_op(WEXAN_ENV* env) {
  NOLT_GLOBAL_ASGN_OP op(env);
  const bool ok = op.work();
  if (!ok) msg_vdebug_impl(2, "Failed NOLT_GLOBAL_ASGN_OP");
  return ok;
}

void VELMO_EXPERT::set_location_listener() {
  static bool was_printed = false;
  velmo_print_hack_notice(was_printed, __FILE__, __LINE__, kLocationListenerCase,
                      "the location listener is not installed");
}

void VELMO_EXPERT::clear_location_listener() {
  static bool was_printed = false;
  velmo_print_hack_notice(was_printed, __FILE__, __LINE__, kLocationListenerCase,
                      "the location listener is not removed");
}

bool VELMO_EXPERT::perform_user_logic_duplication() {
  WEXAN_USER_ATOM_DUP op(m_env);
  return op.work();
}

bool VELMO_EXPERT::process_macs_after_regpacking() {
  WEXAN_PDC_UTILITY* pdc = TIBEX_ENV::get_tibex_pdc_utility();
  if (pdc != nullptr && pdc->extra_effort_pdc_is_on()) pdc->run_extra_effort_pdc();
  return true;
}

bool VELMO_EXPERT::process_ale_placement_legality() {
  if (cfg_is_on("wexan_skip_prefit_ale_check", false)) return true;
  msg_vdebug_impl(2, "Starting WEXAN_CHECK_LCELL_LEGALITY_OP::check_netlist_lcells_prefit at end of pre-fitter");
  VELMO_SCOPED_PROFILE_BIN bin("Check ALE Legality", nullptr);
  WEXAN_CHECK_LCELL_LEGALITY_OP op(m_env);
  const bool ok = op.check_netlist_lcells_prefit();
  if (!ok) msg_vdebug_impl(2, "WEXAN_CHECK_LCELL_LEGALITY_OP operation failed");
  return ok;
}

bool VELMO_EXPERT::prepare_huv() {
  WEXAN_INCREMENTAL_UTILITY* iu = m_env->get_netlist_reuse_utility();
  if (iu == nullptr) return true;
  const bool ok = iu->create_postfit_rcf();
  msg_vdebug_impl(2, "prepare_huv %s", ok ? "passed" : "failed");
  return ok;
}

// ---------------------------------------------------------------------------
// Composite steps

bool VELMO_EXPERT::perform_p2c() {
  if (WEXAN_SWAVO_RECOMPILE_UTILITY::all_partitions_can_skip_fitter()) return true;
  if (!cfg_is_on("velmo_perform_p2c_c2p_auto", true)) return true;
  GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
  if (bundle == nullptr) l_internal_error("GESK chip must be loaded before running p2c flow", __LINE__);
  bool has_loaded_entry = false;
  for (void* entry : bundle->get_entries())
    if (entry != nullptr) has_loaded_entry = true;
  if (!has_loaded_entry) {
    msg_vdebug_impl(2, "running w3j3 for p2c");
    run_w3j3_prefit();
  }
  VELMO_PERIPHERY_CORE_PLACEMENT p2c(m_env);
  bool ok = p2c.UIB_ESRAM_C2P_core_register_placement();
  if (ok) ok = p2c.periphery_to_core_register_placement();
  return ok;
}

bool VELMO_EXPERT::process_delay_chains_after_regpacking() {
  VELMO_SCOPED_PROFILE_BIN bin("Process delay chains (2)", nullptr);
  bool ok;
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    ok = op.work(VELMO_DELAY_CHAIN_OP::READ_USER_INFO_WITH_MESSAGES);
    if (ok) ok = op.work(VELMO_DELAY_CHAIN_OP::VALIDATE_CHAIN_INFO);
    if (ok) ok = op.work(VELMO_DELAY_CHAIN_OP::VALIDATE_TO_OTHER_ASSIGNMENTS);
  }

  if (cfg_is_on("wexan_pll_delay_chain_opt_post_luj", true)) {
    VELMO_PLL_DELAY_CHAINS_OP pll_op(m_env);
    if (ok) ok = pll_op.WEXAN_PLL_DELAY_CHAINS_OP::work(PLL_OPTIMIZATION_MODE_DEFAULT);
  }

  if (m_env->hov_is_on()) {
    static const bool s_enable_hssi_kx_tx_deskew_op_post_luj =
        cfg_is_on("velmo_enable_hssi_kx_tx_deskew_op_post_luj", true);
    const int family = m_env->get_base_family_code();
    if (family == 26) {
      // No transmit deskew on this family.
    } else if (family == 46) {
      HSSI_KY_TX_DESKEW_OP deskew(m_env->get_chip_db_entry(), m_env->get_atom_netlist());
      if (deskew.init()) deskew.work();
    } else if (s_enable_hssi_kx_tx_deskew_op_post_luj) {
      HSSI_KX_TX_DESKEW_OP deskew(m_env->get_atom_netlist());
      if (deskew.init()) {
        m_env->get_hov_utility_or_create_if_necessary(0, 2, kDeskewCornersSet, false, false, false, false, nullptr,
                                                      false, false);
        deskew.work();
      }
    }
  }
  return ok;
}

bool VELMO_EXPERT::merge_macs() {
  bool location_check_enabled = true;
  if (l_option_is_on(m_cmp, kOptionSkipMacMerge)) {
    location_check_enabled = false;
  } else if (!cfg_is_on("wexan_mac_merge_skip", false)) {
    VELMO_SCOPED_PROFILE_BIN bin("MAC Merge Op", nullptr);
    VELMO_MAC_MERGE_OP op(m_env, false);
    if (!op.work()) {
      msg_vdebug_impl(2, "skipping NOLT_MAC_LOCATION_CHECK('last')");
      return false;
    }
  }

  bool ok = true;
  if (!cfg_is_on("nolt_mac_width_adjust_skip", false)) {
    VELMO_SCOPED_PROFILE_BIN bin("MAC Sign Extension", nullptr);
    VELMO_MAC_SIGN_EXTENSION op(m_env);
    ok = op.work();
  }

  if (!ok || !location_check_enabled) {
    msg_vdebug_impl(2, "skipping NOLT_MAC_LOCATION_CHECK('last')");
    return ok;
  }
  if (cfg_is_on("wexan_mac_location_check_skip", false)) {
    msg_vdebug_impl(2, "skipping NOLT_MAC_LOCATION_CHECK('last')");
    return true;
  }
  VELMO_SCOPED_PROFILE_BIN bin("MAC Loc Check", nullptr);
  WEXAN_MAC_LOCATION_CHECK check(m_env, "last");
  const bool checked = check.work(true);
  if (!checked) msg_vdebug_impl(2, "WEXAN_MAC_LOCATION_CHECK('last') failed");
  return checked;
}

bool VELMO_EXPERT::check_netlist_legality() {
  if (VELMO_BBIC::any_partitions_blackboxed()) {
    msg_vdebug_impl(2, "Skipped KX prefit netlist check because BBIC is active");
    return true;
  }
  if (!cfg_is_on("enable_kx_prefit_netlist_check", false)) {
    msg_vdebug_impl(2, "Skipped KX prefit netlist check!! Enable it using ini enable_kx_prefit_netlist_check=on");
    return true;
  }
  msg_vdebug_impl(2, "Starting VELMO_PREFIT_NETLIST_CHECK_OP::work at end of pre-fitter");
  VELMO_SCOPED_PROFILE_BIN bin("Check Netlist Legality", nullptr);
  VELMO_PREFIT_NETLIST_CHECK_OP op(m_env);
  const bool ok = op.work() != 0;
  if (!ok) msg_vdebug_impl(2, "VELMO_PREFIT_NETLIST_CHECK_OP operation failed");
  return ok;
}

bool VELMO_EXPERT::process_rams() {
  const bool ground_default = m_env->get_base_family_code() != 46;
  if (cfg_is_on("wexan_add_ground_address_lines_to_ram_op", ground_default) && !m_skip_vpr) {
    VELMO_SCOPED_PROFILE_BIN bin("Add GND Addr lines to RAM", nullptr);
    NOLT_ADD_GROUND_ADDRESS_LINES_TO_RAM_OP op(m_env);
    if (!op.work()) {
      msg_vdebug_impl(2, "NOLT_ADD_GROUND_ADDRESS_LINES_TO_RAM_OP operation failed");
      return false;
    }
  }
  if (!cfg_is_on("wexan_disable_data_demux", false) && !m_skip_vpr) {
    VELMO_SCOPED_PROFILE_BIN bin("DUP Ram signals", nullptr);
    NOLT_RAM_DUP_DATA_OP op(m_env);
    return op.work();
  }
  return true;
}

bool VELMO_EXPERT::process_l10_iopll_es_fix_legality() {
  if (!l_is_family(m_env->get_base_family_code(), {48, 15})) return true;
  if (!l_option_is_on(m_cmp, kOptionRawIopllCheck)) return true;
  for (VOK_ATOM_NODE* atom : m_env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (atom->get_atom_type() != kIopllAtomType) continue;
    const VOK_ATOM_ITERM* a = atom->get_input_term_by_type(kIopllInputA, 0);
    const VOK_ATOM_ITERM* b = atom->get_input_term_by_type(kIopllInputB, 0);
    if (a != nullptr && b != nullptr && a->is_used() && b->is_used()) continue;
    if (cfg_is_on("allow_raw_iopll_wysiwyg", false)) continue;
    msg_post(MSG_VELMO::E::VELMO_ILLEGAL_RAW_IOPLL(atom->get_instance_name()->get_short_hpath(OMZ_HPATH_FORMAT_SHORT)),
             nullptr);
    return false;
  }
  return true;
}

bool VELMO_EXPERT::ground_unconnected_blackbox_inputs() {
  // The utility is owned here and freed on every way out.
  std::unique_ptr<SIV_ATOM_MOD_UTILITY> amu(
      m_env->create_atom_mod_utility_for_algorithm(kPrefitRepairAlgorithm, nullptr));
  for (VOK_ATOM_NODE* atom : m_env->get_atom_netlist()->nodes(VOK_TRAVERSE_PARTITION)) {
    if (!atom->is_box()) continue;
    auto* box = static_cast<VOK_ATOM_BLACKBOX*>(atom);
    if (!box->is_modifiable()) {
      static bool was_printed = false;
      velmo_print_hack_notice(was_printed, __FILE__, __LINE__, kBlackboxGroundingCase,
                          "unsourced inputs of black boxes that cannot be modified are left alone");
      continue;
    }
    const std::string box_name = box->get_instance_name()->get_short_hpath(OMZ_HPATH_FORMAT_SHORT);
    msg_vdebug_impl(2, "Grounding unsourced iterms on blackbox %s", box_name.c_str());
    for (VOK_ATOM_ITERM* iterm : box->iterms()) {
      if (iterm->get_source(VOK_TRAVERSE_HIERARCHICAL) != nullptr) continue;
      const std::string port = box->get_port_by_index(iterm->get_index());
      if (iterm->is_used() && !iterm->is_tie_low()) {
        char text[4096];
        std::snprintf(text, sizeof text, "Port %s on bb %s has no driver but is set to be driven high.", port.c_str(),
                      box_name.c_str());
        l_internal_error(text, __LINE__);
      }
      msg_vdebug_impl(2, "...Grounding iterm %s", port.c_str());
      iterm->disconnect_from_source(VOK_NET_ITERM::GROUND);
      amu->connect_iterm_to_gnd(iterm);
    }
  }
  return true;
}

bool VELMO_EXPERT::lutrom_fixup_after_belq() {
  static const bool run_lutrom_fixup =
      moz_variable_includes_family(kOptionLutromFixup, static_cast<int>(m_cmp->get_family())) &&
      l_option_is_on(m_cmp, kOptionLutromFixup) && cfg_is_on("velmo_perform_lutram_conversion_at_plan", true);
  if (!run_lutrom_fixup) return true;

  dump_netlists("dump_lutrom_fixup", "pre_lutrom_fixup_netlist");
  // The utility is owned here and freed on every way out.
  std::unique_ptr<SIV_ATOM_MOD_UTILITY> amu(
      m_env->create_atom_mod_utility_for_algorithm(kPrefitRepairAlgorithm, nullptr));
  for (VOK_ATOM_NODE* atom : m_env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!atom->is_modifiable() || !atom->is_lutram()) continue;
    if (atom->get_string_hpath().find(kFitterCreatedMlab) == std::string::npos) continue;

    const VOK_ATOM_ITERM* addr = atom->get_input_term_by_type(kLutramAddr, 0);
    const VOK_ATOM_ITERM* we = atom->get_input_term_by_type(kLutramWe, 0);
    const bool addr_undriven =
        addr == nullptr || !addr->is_used() || addr->get_source(VOK_TRAVERSE_HIERARCHICAL) == nullptr;
    const bool we_tied_low = we != nullptr && l_is_tied_low(we);
    if (!addr_undriven && !we_tied_low) continue;

    bool touched = false;
    for (VOK_ATOM_ITERM* iterm : atom->iterms()) {
      if (!iterm->is_used()) continue;
      bool acts = false;
      for (int usage : kLutromInputs) acts = acts || iterm->is_used_as(usage);
      if (!acts) continue;
      amu->set_iterm_in_use(iterm, false);
      touched = true;
    }
    if (touched) m_env->indicate_that_atom_netlist_is_modified(atom->get_id(), false, false);
  }
  dump_netlists("dump_lutrom_fixup", "post_lutrom_fixup_netlist");
  return true;
}
