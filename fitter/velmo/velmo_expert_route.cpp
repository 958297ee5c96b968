// The route stage: the work around the placer-router's routing run (the
// pre-route netlist refresh, the post-route operations that close every
// routing run, the push of routing into preserved partitions, the closing
// message), the route fix-up iteration of the post-route resynthesis flow,
// and the decision on and the run of post-route physical synthesis.
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "gen/gen_profile.h"
#include "gesk/gesk_bundle.h"
#include "hov/hov_utility.h"
#include "jov/jov_design.h"
#include "kem/kem_netlist.h"
#include "kem/kem_timing_model.h"
#include "mem/mem_initializer.h"
#include "moz/moz_variable.h"
#include "msg/msg_internal_error.h"
#include "mub/mub_periph_flow.h"
#include "muvo/muvo_entry.h"
#include "muvo/muvo_flow_type.h"
#include "norbo/norbo_zota_clock.h"
#include "omz/omz_option.h"
#include "pexa/pexa_utility.h"
#include "r5t/r5t_directive_generator.h"
#include "swavo/swavo_recompile_op.h"
#include "tibex/tibex_env.h"
#include "velmo_auto_delay_chain_op.h"
#include "velmo_bbic.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "velmo_msgs.h"
#include "velmo_postroute_ops.h"
#include "w3j3/w3j3_check_op.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"
#include "yeb/yeb_timing_model.h"
#include "zel/zel_dev_zota_util.h"

namespace {

constexpr int KX_FAMILY = 48;
constexpr int KX15_FAMILY = 15;
constexpr int KY_FAMILY = 46;
constexpr int KZ_FAMILY = 26;
constexpr int POST_ROUTE_OPTION = 683;
constexpr int POST_ROUTE_GUARD_OPTION = 682;

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_expert_route", line);
}


void l_post_routing_end(long long start) {
  msg_post(MSG_VELMO::I::FITTER_ROUTING_END(
               gen_format_elapsed_time(static_cast<double>(gen_get_current_time_seconds() - start))),
           nullptr);
}

GESK_BUNDLE* l_bundle() {
  GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
  if (!bundle) l_internal_error("bundle != NULL", __LINE__);
  return bundle;
}

}  // namespace

bool VELMO_EXPERT::route() {
  if (WEXAN_SWAVO_RECOMPILE_UTILITY::all_partitions_can_skip_fitter()) return true;
  const long long start = gen_get_current_time_seconds();
  const bool place_fixup = SWAVO_RECOMPILE_OP::is_recompile_place_fixup_flow();
  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  YEB_TIMING_MODEL::get_timing_model_async(device->get_device_enum(), 1,
                                           PEXA_UTILITY::get_loaded_timing_model_enum(1), false, false);

  // Post-fit probe assignments may change the netlist and its ports.
  bool ok = true;
  if (WEXAN_INCREMENTAL_UTILITY* reuse = m_env->get_netlist_reuse_utility()) {
    bool netlist_changed = false;
    bool ports_changed = false;
    ok = reuse->process_postfit_tracelyn_assignments_if_necessary(&netlist_changed, &ports_changed);
    if (ports_changed) {
      if (!netlist_changed) l_internal_error("netlist_changed", __LINE__);
      perform_port_translation_wrapper();
    }
  }

  m_env->run_w3j3(hov_get_atom_netlist_taint_manager());
  bool routed = false;
  if (!place_fixup) {
    if (ok) routed = run_vpr(false, true, false, false, MUVO_FLOW_ROUTE);
  } else if (ok && MUB_PERIPH_FLOW::late_place_load()) {
    routed = run_vpr(false, false, false, true,
                     SWAVO_RECOMPILE_OP::is_recompile_place_fixup_muvo() ? MUVO_FLOW_FIXUP : MUVO_FLOW_ROUTE);
  }

  if (cfg_is_on("velmo_route_unload_vpr_after_run_vpr", true)) {
    msg_vdebug_impl(2, "Unloading VPR in route after run_vpr.");
    if (TIBEX_VPR_FACADE* facade = TIBEX_ENV::get_vpr_facade()) facade->release();
  }

  const bool result = do_post_route_ops(routed);

  bool all_yes = true;
  for (const auto& partition : JOV_ROOT::get()->get_design("")->get_partitions())
    if (!partition->get_state()->has_partition_routing()) all_yes = false;
  const int family = static_cast<int>(device->get_basic_info()->get_family_enum());
  if (VELMO_BBIC::any_partitions_blackboxed() || ((family == KX_FAMILY || family == KX15_FAMILY) && !all_yes))
    VELMO_BBIC::push_routing_to_partitions();

  l_post_routing_end(start);
  return result;
}

bool VELMO_EXPERT::global_route() {
  TIBEX_VPR_FACADE* facade = TIBEX_ENV::get_vpr_facade();
  if (!facade) l_internal_error("vpr", __LINE__);
  return facade->global_route();
}

bool VELMO_EXPERT::do_post_route_ops(bool ok) {
  VELMO_SCOPED_PROFILE_BIN bin("VELMO_EXPERT::do_post_route_ops", "Postfit - Other", "Route Post-Processing");
  msg_vdebug_impl(2, "Performing all post place and route operations...");
  dump_netlists("wexan_dump_netlist_before_fitter_post_operations", "before_fitter_post_operations");
  m_env->report_fitter_status(0, 2);
  if (m_env->get_netlist_reuse_utility() == nullptr) l_internal_error("incremental_utility != 0", __LINE__);
  msg_vdebug_impl(2, "VELMO_EXPERT::fitter_post_operations()");
  MEM_MANAGER::check_memory_guards();

  const bool zota = ZEL_DEV_ZOTA_UTIL::is_zota_device(m_cmp, 0);
  if (zota) {
    m_env->m_zota_state = 1;
    m_env->indicate_that_atom_netlist_is_modified();
  }
  generate_debug_xab_design_dump_file();

  if (ok) {
    if (zota && cfg_is_on("velmo_enable_post_repop_auto_dc", true)) velmo_auto_delay_chain_work(m_env);
    if (cfg_is_on("velmo_fit_route_ending_run_w3j3_postfit", false)) {
      if (cfg_is_on("wexan_rebuild_w3j_jev_netlist", true)) m_env->run_w3j3_postfit();
      if (cfg_is_on("w3j3_run_post_fit_checks", true)) W3J3_CHECK_OP(l_bundle()).work(m_env->get_chip_db_entry());
      if (cfg_is_on("w3j3_generate_r5t_directives", m_env->get_base_family_code() != KZ_FAMILY)) {
        R5T_DIRECTIVE_GENERATOR* generator = R5T_DIRECTIVE_GENERATOR::create(
            WEXAN_ENV::get_env()->get_base_family_code(), m_env->get_chip_db_entry(), l_bundle());
        generator->generate_directives();
        delete generator;
      }
    }
    const bool rebuild_default =
        ZEL_DEV_ZOTA_UTIL::is_zota_device(m_cmp, 1) && ZEL_DEV_ZOTA_UTIL::is_zento_retimer_enabled();
    if (cfg_is_on("velmo_fit_route_ending_hov_rebuild", rebuild_default)) {
      const std::vector<KEM_TIMING_MODEL> models = velmo_get_retimer_timing_models();
      if (!models.empty())
        m_env->get_hov_utility_or_create_if_necessary(0, 3, models, false, false, false, false, nullptr, false, false);
      else
        m_env->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, nullptr, false, false);
    }
  }

  do_common_post_route_post_finalize_ops(ok);
  MEM_MANAGER::check_memory_guards();
  m_env->report_fitter_status(95, 2);
  return ok;
}

void VELMO_EXPERT::do_common_post_route_post_finalize_ops(bool ok) {
  VELMO_SCOPED_PROFILE_BIN bin("do_common_post_route_post_finalize_ops", "");
  if (ok) WEXAN_JOV_WIRELUT::backannotate_wireluts();
  WEXAN_SWAVO_RECOMPILE_UTILITY::cache_routing_preservation(ok);
}

bool VELMO_EXPERT::muvo_post_route_fixup_iter(bool first, bool unload, bool& result1, bool& result2) {
  result1 = false;
  result2 = false;
  const long long start = gen_get_current_time_seconds();
  bool ok = true;
  bool loaded = true;
  if (first) {
    if (ZEL_DEV_ZOTA_UTIL::is_zota_device(m_cmp, 0))
      norbo_unroute_rowclocks(m_env->get_chip_db_entry());
    else
      loaded = MUB_PERIPH_FLOW::late_place_load();
  } else {
    VELMO_POSTROUTE_OPS::reset_swavo_recompile_to_current();
  }
  if (!loaded) {
    ok = false;
  } else {
    m_env->run_w3j3(hov_get_atom_netlist_taint_manager());
    WEXAN_INCREMENTAL_UTILITY* reuse = m_env->get_netlist_reuse_utility();
    ok = vpr_prelude(reuse);
    if (ok) {
      TIBEX_VPR_FACADE* facade = TIBEX_ENV::get_vpr_facade();
      if (!facade) l_internal_error("vpr", __LINE__);
      if (unload) facade->release();
      facade->begin_flow(MUVO_FLOW_FIXUP);
      ok = facade->post_route_fixup_iteration(result1, result2);
      facade->end_flow(MUVO_FLOW_FIXUP);
    }
    vpr_postlude(ok, reuse);
  }
  const bool result = do_post_route_ops(ok);
  l_post_routing_end(start);
  return result;
}

bool VELMO_EXPERT::is_post_route_physical_synthesis_enabled(bool* muvo_run) const {
  if (!m_env->hov_is_on()) {
    msg_vdebug_impl(2, "Post-Route Physical Synthesis skipped because Timing Driven Compile (HOV) is disabled.");
    return false;
  }
  if (SWAVO_RECOMPILE_OP::did_spar_give_up()) {
    msg_vdebug_impl(2, "Post-Route Physical Synthesis skipped because SPAR wasn't able to close on hold.");
    return false;
  }
  if (VELMO_BBIC::any_partitions_blackboxed()) {
    msg_vdebug_impl(2, "Post-Route Physical Synthesis skipped because its in BBIC flow.");
    return false;
  }
  const int family = static_cast<int>(m_cmp->get_family());
  bool enabled_by_default = false;
  if (moz_variable_includes_family(POST_ROUTE_OPTION, family)) {
    const OMZ_OPTION* option =
        OMZ_DERIVED_OPTION::get_single_option(m_cmp->get_option_namespace(), POST_ROUTE_OPTION, true);
    const OMZ_OPTION* guard =
        OMZ_DERIVED_OPTION::get_single_option(m_cmp->get_option_namespace(), POST_ROUTE_GUARD_OPTION, true);
    enabled_by_default = option && option->get_bool_value() && (!guard || guard->get_bool_value());
  }
  if (!cfg_is_on("muvo_post_route_in_finalize", enabled_by_default)) return false;

  if (family == KZ_FAMILY) {
    if (cfg_get_value("muvo_run_post_route_skewopt").empty()) cfg_set_on("muvo_run_post_route_skewopt");
    *muvo_run = cfg_is_on("muvo_run_post_route_skewopt", false);
  } else if (family == KY_FAMILY) {
    const std::string tricks = cfg_get_value("muvo_post_route_zota_tricks");
    if (tricks.empty() && cfg_get_value("muvo_run_post_route_zota_flow").empty())
      cfg_set_value("muvo_run_post_route_zota_flow", "1");
    *muvo_run = cfg_get_int_value("muvo_run_post_route_zota_flow", 0) >= 1 || !tricks.empty();
  }
  return true;
}

bool VELMO_EXPERT::post_route_physical_synthesis(bool muvo_run) {
  const int iterations = cfg_get_int_value("muvo_post_route_iter_cnt", 1);
  for (int i = 0; i < iterations; ++i) {
    if (cfg_is_on("test_incremental_retiming", true)) {
      test_incremental_retiming();
      verify_incremental_hep(m_env);
    }
    if (cfg_is_on("test_incremental_resynthesis", true)) {
      test_incremental_resynthesis();
      verify_incremental_hep(m_env);
    }
    if (muvo_run) {
      muvo(MUVO_STRATEGY_POST_ROUTE);
      verify_incremental_hep(m_env);
    }
  }
  if (cfg_is_on("velmo_run_full_hep_after_post_route_muvo", m_env->get_base_family_code() == KY_FAMILY)) {
    HOV_ACCESSORIES* accessories = hov_get_accessories();
    std::vector<KEM_TIMING_MODEL> models;
    if (const KEM_NETLIST* kem = accessories->get_kem_netlist())
      models = kem->get_corner_manager()->get_loaded_corners();
    else
      models.push_back(KEM_TIMING_MODEL::create_default_timing_model(m_cmp, 0));
    accessories->refresh();
    m_env->get_hov_utility_or_create_if_necessary(0, 3, models, false, false, true, false, nullptr, false, false);
  }
  return true;
}
