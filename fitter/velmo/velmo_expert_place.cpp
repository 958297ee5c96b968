// The place stage: prefit pre-processing, the end-of-preparation report, and
// the runs of the host's placer-router facade (run_vpr, the post-place
// operation, resynthesis units), with the write-back of locked locations and
// the unloading of the facade.
#include <string>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "gen/gen_profile.h"
#include "jopp/jopp_pr.h"
#include "msg/msg_internal_error.h"
#include "muvo/muvo_flow_type.h"
#include "mub/mub_periph_flow.h"
#include "omz/omz_option.h"
#include "pexa/pexa_utility.h"
#include "swavo/swavo_recompile_op.h"
#include "tibex/tibex_env.h"
#include "tibex/tibex_location_constraint.h"
#include "tst/tst_regtest.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "velmo_msgs.h"
#include "velmo_retimer.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_device.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_fitter_ops.h"
#include "wexan/wexan_utilities.h"
#include "xab/xab_dem.h"
#include "yeb/yeb_timing_model.h"
#include "zel/zel_subgraph_export.h"

bool VELMO_EXPERT::s_muvo_is_initialized = false;

namespace {
[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_expert", line);
}

constexpr int kBinLimit = 2147483647;
// Constraint sources whose locked exact spots are written back to the atoms.
constexpr unsigned kWriteBackSources = 0x4000;

bool l_is_family(int code, std::initializer_list<int> codes) {
  for (int c : codes)
    if (c == code) return true;
  return false;
}

// Closes a bin and every bin opened under it when the scope ends.
class SCOPED_BIN_TREE {
public:
  SCOPED_BIN_TREE(const char* name, const char* tag)
      : m_handle(GEN_PROFILE_BINS::open_with_tag("VELMO", name, kBinLimit, tag)) {}
  ~SCOPED_BIN_TREE() { GEN_PROFILE_BINS::close_recursively(m_handle); }
  SCOPED_BIN_TREE(const SCOPED_BIN_TREE&) = delete;
  SCOPED_BIN_TREE& operator=(const SCOPED_BIN_TREE&) = delete;

private:
  GEN_PROFILE_BINS::HANDLE m_handle;
};

void l_set_regtest_status(const char* key, bool ok) {
  if (!tst_is_regtest_mode()) return;
  if (tst_get_value("General Section", key) == "ON") tst_set_value("General Section", key, ok ? "SUCCESS" : "FAILED");
}
}  // namespace

// ---------------------------------------------------------------------------
// Place stage

bool VELMO_EXPERT::place() {
  if (WEXAN_SWAVO_RECOMPILE_UTILITY::all_partitions_can_skip_fitter()) return true;
  YEB_TIMING_MODEL::get_timing_model_async(PEXA_UTILITY::get_current_device()->get_basic_info()->get_device_enum(),
                                           1, PEXA_UTILITY::get_loaded_timing_model_enum(1), false, false);
  if (!place_pre_vpr()) return false;
  const bool ok = run_vpr(true, false, false, false, MUVO_FLOW_PLACE);
  if (l_is_family(m_env->get_base_family_code(), {46, 48, 15})) return ok;
  if (!ok) return false;
  return perform_port_translation_wrapper();
}

bool VELMO_EXPERT::place_pre_vpr() {
  GEN_PROFILE_BINS::open_with_tag("VELMO", "VELMO_EXPERT::place_pre_vpr", kBinLimit, "Prefit - Other",
                                  "Place Pre-Processing");
  struct CLOSE {
    ~CLOSE() { GEN_PROFILE_BINS::close("VELMO_EXPERT::place_pre_vpr"); }
  } close_bin;

  m_env->report_fitter_status(60, 0);
  bool ok = MUB_PERIPH_FLOW::early_place_load();
  if (ok) {
    WEXAN_PDC_UTILITY* pdc = TIBEX_ENV::get_tibex_pdc_utility();
    if (pdc != nullptr && pdc->extra_effort_pdc_is_on()) pdc->run_extra_effort_pdc();
    ok = process_delay_chains_after_regpacking();
    if (ok) ok = merge_macs();
    if (ok) ok = check_netlist_legality();
    if (ok) ok = prepare_huv();
    if (ok) ok = process_rams();
    if (ok) ok = debug_dump_info_and_maybe_stop_after_prefit();
    if (ok) ok = ZEL_UTIL::validate_location_assignments(m_env->get_chip_db_entry());
  }
  if (l_is_family(m_env->get_base_family_code(), {46, 48, 15}) && ok) ok = perform_port_translation_wrapper();
  if (ok) ok = process_l10_iopll_es_fix_legality();
  if (cfg_is_on("early_retiming_in_place_pre_vpr", false)) {
    if (ok) ok = VELMO_RETIMER::run_prefit_early_retiming_flow(m_env);
    if (!cfg_is_on("skip_early_depop", true) && ok)
      ok = VELMO_RETIMER::depopulate_netlist_for_retiming_flow(m_env->get_cmp(), m_env);
  }
  if (ok) {
    ok = run_resynthesis();
    if (ok) ok = lutrom_fixup_after_belq();
  }
  report_pre_vpr(ok);
  return ok;
}

bool VELMO_EXPERT::report_pre_vpr(bool result) {
  l_set_regtest_status("PLIV_PREP_STATUS", result);

  m_design->write_user_location_constraints_to_db();
  m_env->get_atom_mod_drc()->write_cached_atom_mod_info(nullptr);
  OMZ_NAMESPACE::post_process_wildcard(m_cmp->get_option_namespace(), 0);

  const unsigned long long cookie = m_design->get_cookie();
  msg_vdebug_impl(2, "Final wexan prefit netlist cookie: %llu", cookie);
  gen_log_cookie("Atom Netlist (Post Pre-Fitter)", cookie);

  dump_netlists("wexan_dump_post_fit_prep_netlist", "post_fit_prep");

  if (cfg_is_on("wexan_dump_pre_fit_user_location_constraints", false)) {
    msg_vdebug_impl(2, "Dumping pre-fit user location constraints...");
    m_design->dump_user_location_constraints("wexan_pre_fit_user_location_constraints.echo");
  }

  if (m_cmp->m_fitter_exit_after_preprocess) write_back_tibex_locations_to_atoms();

  m_env->report_fitter_status(100, 0);
  msg_vdebug_impl(2, "Finished fitter preparation.");

  if (m_prep_start_time != 0) {
    double elapsed = static_cast<double>(gen_get_current_time_seconds() - m_prep_start_time);
    if (elapsed < 0) elapsed = 0;
    msg_post(MSG_VELMO::I::FITTER_PREPARATION_END(gen_format_elapsed_time(elapsed)), nullptr);
    m_prep_start_time = 0;
  }

  if (result && get_num_errors_posted() > m_num_errors_at_start)
    l_internal_error("!result || !new_errors_occurred()", __LINE__);
  return result;
}

// ---------------------------------------------------------------------------
// Placer-router runs

bool VELMO_EXPERT::run_vpr(bool do_place, bool do_route, bool do_finalize, bool do_fixup, MUVO_FLOW_TYPE flow) {
  VELMO_SCOPED_PROFILE_BIN bin("VELMO_EXPERT::run_vpr", "VPR - Other");
  WEXAN_INCREMENTAL_UTILITY* iu = m_env->get_netlist_reuse_utility();
  const bool prelude_ok = vpr_prelude(iu);
  bool result = false;

  if (m_skip_vpr && prelude_ok) {
    msg_post(MSG_VELMO::I::WEXAN_ECO_SKIP_VPR_ON(), nullptr);
    result = true;
  } else if (prelude_ok) {
    bool r = false;
    {
      SCOPED_BIN_TREE run_bin("run_vpr", "VPR - Other");
      TIBEX_VPR_FACADE* facade = TIBEX_ENV::get_vpr_facade();
      if (facade == nullptr) l_internal_error("vpr", __LINE__);
      facade->begin_flow(flow);
      if (do_place && do_route && do_finalize) {
        r = facade->place_route_finalize();
      } else if (do_place) {
        GEN_PROFILE_BINS::open_with_tag("VELMO", "", kBinLimit, "Place Core");
        r = facade->place();
      } else if (do_route) {
        GEN_PROFILE_BINS::open_with_tag("VELMO", "", kBinLimit, "Route Core");
        facade->prepare_route();
        r = facade->route();
      } else if (do_finalize) {
        GEN_PROFILE_BINS::open_with_tag("VELMO", "", kBinLimit, "Finalize Core");
        facade->prepare_finalize();
        r = facade->finalize();
      } else if (flow == MUVO_FLOW_FIXUP) {
        if (!do_fixup) l_internal_error("must run at least one place, route, or finalize", __LINE__);
        r = facade->run_flow_8_fixup();
      } else {
        if (!do_fixup) l_internal_error("must run at least one place, route, or finalize", __LINE__);
        facade->prepare_fixup_route();
        r = facade->route();
      }
      facade->end_flow(flow);
    }
    result = r;
  }

  if (!result && !(m_skip_vpr && prelude_ok)) {
    msg_vdebug_impl(2, "Failed in VELMO_EXPERT::run_vpr() because");
    msg_vdebug_impl(2, prelude_ok ? "run_vpr() failed" : "vpr_prelude failed");
  }
  msg_vdebug_impl(2, "Finished placement and routing.");
  vpr_postlude(result, iu);
  return result;
}

bool VELMO_EXPERT::vpr_prelude(WEXAN_INCREMENTAL_UTILITY* iu) {
  if (!m_is_eco_compile && iu != nullptr) {
    if (iu->is_empty_flow_enabled()) iu->hide_locked_nodes(nullptr);
    iu->create_postfit_rcf();
    iu->save_rcf_for_retry();
  }
  if (cfg_is_on("wexan_destroy_softlocks_before_vpr", true)) m_design->destroy_all_softlocked_constraints(false);
  const bool ok = WEXAN_JOV_WIRELUT::constrain_wireluts(m_env->get_internal_family_code());
  if (l_is_family(m_env->get_base_family_code(), {48, 15}) && ok) {
    if (!JOPP::init_pr()) {
      msg_vdebug_impl(2, "JOPP::init_pr failed in vpr_prelude");
      return false;
    }
  }
  return ok;
}

void VELMO_EXPERT::vpr_postlude(bool ok, WEXAN_INCREMENTAL_UTILITY* iu) {
  l_set_regtest_status("PLIV_VPR_STATUS", ok);
  if (iu != nullptr) iu->show_locked_nodes(ok, false);
}

bool VELMO_EXPERT::post_place_operation() {
  if (WEXAN_SWAVO_RECOMPILE_UTILITY::all_partitions_can_skip_fitter()) return true;
  return run_post_place_operation();
}

bool VELMO_EXPERT::run_post_place_operation() {
  VELMO_SCOPED_PROFILE_BIN bin("VELMO_EXPERT::run_post_place_operation", "VPR - Other");
  WEXAN_INCREMENTAL_UTILITY* iu = m_env->get_netlist_reuse_utility();
  const bool prelude_ok = vpr_prelude(iu);
  if (m_skip_vpr) l_internal_error("!m_skip_vpr", __LINE__);
  bool r = false;
  {
    SCOPED_BIN_TREE run_bin("run_post_place_operation", "VPR - Other");
    TIBEX_VPR_FACADE* facade = TIBEX_ENV::get_vpr_facade();
    if (facade == nullptr) l_internal_error("vpr", __LINE__);
    facade->begin_flow(MUVO_FLOW_POST_PLACE);
    r = facade->post_place_operation();
  }
  const bool result = r && prelude_ok;
  if (!result) {
    msg_vdebug_impl(2, "Failed in VELMO_EXPERT::run_post_place_operation() because");
    msg_vdebug_impl(2, prelude_ok ? "post_place_operation() failed" : "vpr_prelude failed");
  }
  msg_vdebug_impl(2, "Finished post placement operation.");
  vpr_postlude(result, iu);
  return result;
}

bool VELMO_EXPERT::muvo_unit(const char* name) {
  WEXAN_INCREMENTAL_UTILITY* iu = m_env->get_netlist_reuse_utility();
  TIBEX_VPR_FACADE* facade = TIBEX_ENV::get_vpr_facade();
  if (m_skip_vpr) l_internal_error("!m_skip_vpr", __LINE__);
  if (facade == nullptr) l_internal_error("vpr", __LINE__);
  if (!s_muvo_is_initialized) {
    facade->begin_flow(MUVO_FLOW_UNIT);
    s_muvo_is_initialized = true;
  }
  facade->run_unit(name);
  if (name != nullptr && std::string(name) == "vpr_postlude") {
    msg_vdebug_impl(2, "Finished BLE synthesis.");
    vpr_postlude(true, iu);
  }
  return true;
}

void VELMO_EXPERT::write_back_tibex_locations_to_atoms() {
  VELMO_SCOPED_PROFILE_BIN bin("Write Tibex locations back to atoms", nullptr);
  const int max_id = m_design->get_max_atom_id(false);
  for (int id = 0; id <= max_id; ++id) {
    if (m_design->get_atom_node(id) == nullptr) continue;
    const TIBEX_LOCATION_CONSTRAINT constraint = m_design->get_atom_location_constraint(id);
    if (!constraint.has_locked_constraint(kWriteBackSources)) continue;
    const TIBEX_LOCKED_CONSTRAINT locked = constraint.get_locked_constraint(kWriteBackSources);
    if (!locked.is_specified_exactly()) continue;
    m_env->get_device()->place_atom_at_sub_location(locked.get_x(), locked.get_y(), locked.get_sub_location(), id);
  }
}

void VELMO_EXPERT::unload_vpr() {
  msg_vdebug_impl(2, "Unloading VPR.");
  if (TIBEX_VPR_FACADE* facade = TIBEX_ENV::get_vpr_facade()) {
    facade->release();
    delete facade;
    TIBEX_ENV::clear_vpr_facade();
  }
  // A facade loaded later starts without a resynthesis flow.
  s_muvo_is_initialized = false;
  XAB_DEM::shutdown();
  SWAVO_RECOMPILE_OP::reset_hint_db();
}
