// Plan-stage members of the expert: the timing-netlist write-out and the
// device-less checks and netlist modifications.
#include <cstdio>

#include "cfg/cfg.h"
#include "gen/gen_profile.h"
#include "nolt/nolt_device_free_ops.h"
#include "nolt/nolt_ops.h"
#include "nolt/nolt_prefit_ops.h"
#include "swavo/swavo_recompile_op.h"
#include "velmo_chain_loc_propagate_op.h"
#include "velmo_delay_chain_op.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "zel/zel_latch.h"
#include "zel/zel_subgraph_export.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_instance_name.h"
#include "velmo_bbic.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "velmo_finalize_parasitics.h"
#include "velmo_main.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "zel/zel_dev_zota_util.h"

namespace {
[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_expert", line);
}

// The atom of that id anywhere in the netlist's hierarchy, or null.
VOK_ATOM_NODE* l_find_atom(VOK_ATOM_NETLIST* netlist, int id) {
  if (netlist == nullptr) return nullptr;
  for (VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL))
    if (atom->get_id() == id) return atom;
  return nullptr;
}
}  // namespace

bool VELMO_EXPERT::write_out_kem_netlist(bool host_flag, bool force_write) {
  const bool flag = host_flag && !ZEL_DEV_ZOTA_UTIL::is_zota_device(m_cmp, 0);
  const JOV_SNAPSHOT_BASE::ENUM snapshot = get_jov_snapshot();
  if (snapshot == JOV_SNAPSHOT_BASE::FINAL && VELMO_FINALIZE_PARASITICS::has_written_out_kem) return true;
  if ((ZEL_DEV_ZOTA_UTIL::is_zento_retimer_nimbrel_emulate_enabled() &&
       (snapshot == JOV_SNAPSHOT_BASE::RETIMED || snapshot == JOV_SNAPSHOT_BASE::FINAL)) ||
      VELMO_BBIC::any_partitions_blackboxed())
    return true;

  const bool written = velmo_write_intermediate_snapshot(nullptr);
  if (!written && force_write && snapshot == JOV_SNAPSHOT_BASE::FINAL) {
    if (cfg_is_on("velmo_finalize_create_sta_reports", false)) {
      KEM_MANAGER::get()->delete_kem_netlist_from_disk();
      return true;
    }
  }
  if (!written && !force_write) return true;
  if (snapshot == JOV_SNAPSHOT_BASE::NIMBREL && !cfg_is_on("nimbrel_write_kem_netlist_to_disk", false)) return true;

  if (force_ky_ea_flow() && !m_env->hov_utility_reflects_atom_netlist_exactly()) {
    msg_vdebug_impl(2, "Ignoring taints for EA flow since we don't want to rebuild W3J3/HEP/KEM!");
    HOV_ATOM_NETLIST_TAINT_MANAGER* hov_taint_mgr = hov_get_atom_netlist_taint_manager();
    if (hov_taint_mgr == nullptr) l_internal_error("hov_taint_mgr", __LINE__);
    WEXAN_DESIGN* design = m_env->get_design();
    if (design == nullptr) l_internal_error("design", __LINE__);
    const int limit = cfg_get_int_value("wexan_ky_taint_debug", 20);
    int printed = 0;
    for (unsigned id : hov_taint_mgr->get_tainted_atom_ids()) {
      if (printed > limit) break;
      VOK_ATOM_NODE* atom = l_find_atom(m_env->get_atom_netlist(), static_cast<int>(id));
      std::string name = atom && atom->get_instance_name()
                             ? atom->get_instance_name()->get_short_hpath(OMZ_HPATH_FORMAT_SHORT)
                             : std::string("unknown");
      msg_vdebug_impl(2, "Atom %d was tainted: %s", static_cast<int>(id), name.c_str());
      ++printed;
    }
    hov_taint_mgr->clear_tainted_atom_ids();
    hov_taint_mgr->indicate_hov_reflects_atom_netlist_exactly();
  }
  return m_env->write_out_kem_netlist(flag);
}

bool VELMO_EXPERT::process_design_without_device() {
  VELMO_SCOPED_PROFILE_BIN bin("VELMO_EXPORT::process_design_without_device", "Prefit - Other");
  m_env->report_fitter_status(0, 0);
  m_prep_start_time = gen_get_current_time_seconds();
  if (get_num_errors_posted() > m_num_errors_at_start) return false;
  return check_design_without_device() && modify_design_without_device();
}

bool VELMO_EXPERT::check_design_without_device() {
  do_initial_debug_ops();
  if (!zel_sanity_check_latch_info(m_env->get_atom_netlist(), true))
    l_internal_error("Circuit has insane latches at the beginning of the fitter", __LINE__);
  ZEL_UTIL::report_migration_io_info();
  if (cfg_is_on("siv_run_post_fit_check", false)) {
    if (m_env->hov_is_on()) {
      WEXAN_HOV_UTILITY* hov_utility =
          m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false);
      if (hov_utility == nullptr) l_internal_error("hov_utility", __LINE__);
      WEXAN_ATOM_MOD_DRC* drc = m_env->get_atom_mod_drc();
      drc->refresh_if_necessary(hov_utility);
      drc->build_dont_touch_verification_sets();
    } else {
      msg_vdebug_impl(2, "The SIV post-fit checker will not run because HOV is off.");
    }
  }
  return true;
}

bool VELMO_EXPERT::modify_design_without_device() {
  if (SWAVO_RECOMPILE_OP::is_user_swavo_recompile_flow() &&
      SWAVO_RECOMPILE_OP::can_skip_fitter_stage_for_all_partitions(JOV_SNAPSHOT_BASE::ROUTED) &&
      SWAVO_RECOMPILE_OP::can_skip_fitter_stage_for_all_partitions(JOV_SNAPSHOT_BASE::RETIMED)) {
    msg_vdebug_impl(2, "SR skip-to-finalize flow is skipping VELMO_EXPERT::modify_design_without_device!");
    return true;
  }
  const bool skip = m_env->get_eco()->is_eco_compile() && m_env->get_eco()->eco_skip_vpr();

  bool ok = ground_unconnected_blackbox_inputs();
  if (ok) {
    NOLT_FF_POWER_UP_OP(m_env).work(0);
    ok = NOLT_PRE_FIT_NETLIST_ADJUST_OP(m_env).work();
  }
  const int family = m_env->get_base_family_code();
  if (family == 48 || family == 15 || cfg_is_on("velmo_use_global_asgn_op", false)) {
    if (ok && !NOLT_GLOBAL_ASGN_OP(m_env).work()) {
      msg_vdebug_impl(2, "Failed NOLT_GLOBAL_ASGN_OP");
      ok = false;
    }
  }
  if (!skip && ok) {
    VELMO_DELAY_CHAIN_OP delay_chain_op(m_env);
    ok = delay_chain_op.work(VELMO_DELAY_CHAIN_OP::READ_USER_INFO);
    if (ok) ok = delay_chain_op.work(VELMO_DELAY_CHAIN_OP::VALIDATE_CHAIN_INFO);
  }
  if (ok) {
    ok = NOLT_METASTABLE_FF_CONVERSION_OP(m_env).work();
    if (ok) return VELMO_CHAIN_LOC_PROPAGATE_OP::propagate_constraints(m_env);
  }
  return false;
}
