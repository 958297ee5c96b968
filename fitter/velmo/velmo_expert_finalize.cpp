// The finalize stage, the operations that follow it and the sweep of dead
// sector-level clock gates.
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "gen/gen_profile.h"
#include "gesk/gesk_bundle.h"
#include "hov/hov_utility.h"
#include "jov/jov_design.h"
#include "kem/kem_manager.h"
#include "kem/kem_netlist.h"
#include "kem/kem_timing_model.h"
#include "kiv/kiv_model.h"
#include "korrin/korrin_incremental_router.h"
#include "msg/msg_internal_error.h"
#include "nolt/nolt_ops.h"
#include "norbo/norbo_zota_clock.h"
#include "pexa/pexa_utility.h"
#include "piz/piz_report.h"
#include "r5t/r5t_directive_generator.h"
#include "sta/sta_analysis.h"
#include "swavo/swavo_recompile_op.h"
#include "tibex/tibex_env.h"
#include "tibex/tibex_vpr_facade.h"
#include "umbr/umbr_tcl.h"
#include "velmo_bbic.h"
#include "velmo_finalize_parasitics.h"
#include "velmo_main.h"
#include "velmo_msgs.h"
#include "velmo_retimer.h"
#include "velmo_router.h"
#include "velmo_tbff_autoborrow.h"
#include "vok/vok_pwr_tile_setting_info.h"
#include "w3j3/w3j3_check_op.h"
#include "w3j3/w3j3_port_map_db.h"
#include "wump/wump_die_info.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_finalize_services.h"
#include "wexan/wexan_fitter_ops.h"
#include "wif/wif_sr_state_manager.h"
#include "wode/wode_atom_converter.h"
#include "zel/zel_dev_zota_util.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "siv/siv_atom_mod_utility.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "zel/zel_atom_dumper.h"
#include "zel/zel_atom_util.h"

namespace {

constexpr int k_sector_clock_gate_atom_type = 1850;
// Pipeline registers keep the routing they were given; the ECO re-route
// leaves their inputs alone.
constexpr int k_pipeline_register_type = 401;
constexpr unsigned int kReportLinkingCase = 412213;

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_expert", line);
}

// The sweep keeps atoms it may not or must not delete: preserved logic, I/O
// and black boxes stay even when they fed only a dead clock gate.
bool l_sweepable(const VOK_ATOM_NODE* atom) {
  return atom != nullptr && atom->is_modifiable() && !atom->is_box() && !atom->is_io_pad() && !atom->is_io_ibuf() &&
         !atom->is_io_obuf() && !atom->is_pin() && !atom->is_port() && !atom->is_bidir();
}

}  // namespace

bool VELMO_EXPERT::final_cleanup() {
  static const bool skip = cfg_is_on("velmo_skip_sweeping_unused_slclkgates", false);
  static const bool verbose = cfg_is_on("velmo_final_cleanup_verbose_debug", false);
  if (skip) return true;

  R5T_INTERFACE* r5t = R5T_INTERFACE::get_or_create_instance();
  const PELK group_key = PELK::intern(4, "SECTOR_LEVEL_CLK_GATE_GROUP");
  std::vector<VOK_ATOM_NODE*> gates;
  for (VOK_ATOM_NODE* atom : m_env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (atom->get_atom_type() == k_sector_clock_gate_atom_type &&
        !r5t->get_atom_metadata(atom->get_id(), group_key).is_null())
      gates.push_back(atom);
  }
  if (gates.empty()) return true;

  VOK_RE_ROUTING* routing = m_env->get_chip_db_entry()->get_routing();
  if (verbose) {
    routing->debug_dump<VOK_RE_ROUTING_ZOTA_SKIP>("stitched.before_final_cleanup_sweeping");
    ZEL_ATOM_DUMPER(m_env->get_chip_db_entry()).dump_current_atom_netlist("atom_netlist.before_final_cleanup_sweeping", true);
  }

  SIV_ATOM_MOD_UTILITY* mod_util = m_env->create_atom_mod_utility_for_algorithm(9, nullptr);
  {
    VOK_RE_ROUTING_MODIFIER modifier(*routing, "velmo_clkgate_cleanup", false, false);
    for (VOK_ATOM_NODE* gate : gates) {
      const VOK_ATOM_OTERM* clock_out = gate->get_output_term_by_type(DB_OUTPUT_PORT_CLK_GATE, 0);
      if (clock_out == nullptr || !clock_out->has_fanout_less_than(1, VOK_TRAVERSE_AS_STORED)) continue;
      if (!l_sweepable(gate)) continue;
      std::deque<VOK_ATOM_NODE*> queue{gate};
      while (!queue.empty()) {
        VOK_ATOM_NODE* node = queue.front();
        queue.pop_front();
        for (VOK_ATOM_ITERM* iterm : node->iterms()) {
          if (!iterm->is_connected()) continue;
          VOK_ATOM_OTERM* source = iterm->get_source(VOK_TRAVERSE_AS_STORED);
          if (source == nullptr) continue;
          WEXAN_DESIGN::break_connection_between_iterm_and_oterm(source, iterm);
          VOK_ATOM_NODE* driver = source->get_my_node();
          if (!l_sweepable(driver)) continue;
          bool driver_dead = true;
          for (const VOK_ATOM_OTERM* out : driver->coterms()) {
            if (!out->has_fanout_less_than(1, VOK_TRAVERSE_AS_STORED)) driver_dead = false;
          }
          if (driver_dead) queue.push_back(driver);
        }
        modifier.erase(node);
        mod_util->remove_node(node, false);
      }
    }
  }
  delete mod_util;

  if (verbose) {
    ZEL_ATOM_DUMPER(m_env->get_chip_db_entry()).dump_current_atom_netlist("atom_netlist.after_final_cleanup_sweeping", true);
    routing->debug_dump<VOK_RE_ROUTING_ZOTA_SKIP>("stitched.after_final_cleanup_sweeping");
  }
  return true;
}

void VELMO_EXPERT::report_success_or_failure(bool ok) {
  if (ok) {
    msg_vdebug_impl(2, "It fits!");
    return;
  }
  m_cmp->report_fitter_failure(1);
  if (WIF_SR_STATE_MANAGER::is_swavo_recompile_enabled()) msg_post(MSG_VELMO::E::SOLK_FIT_FAILED(), nullptr);
}

void VELMO_EXPERT::do_post_finalize_ops(bool ok) {
  VELMO_SCOPED_PROFILE_BIN bin("VELMO_EXPERT::do_post_finalize_ops", "Postfit - Other", "Finalize Post-Processing");
  if (!ok) return;

  msg_vdebug_impl(2, "Performing all post finalize operations...");
  const bool ea = force_ky_ea_flow();

  if (ZEL_DEV_ZOTA_UTIL::is_zota_device(m_cmp, 1) && ZEL_DEV_ZOTA_UTIL::is_zento_retimer_enabled() &&
      cfg_is_on("velmo_finalize_spar_flow", true) && !ea &&
      cfg_is_on("fit_finalize_runs_parasitics_hold_fixing", true))
    VELMO_FINALIZE_PARASITICS::run(m_env, {}, 0);

  if (s_do_lcell_to_lm_conversion) {
    SIV_ATOM_MOD_UTILITY* mod_util = m_env->create_atom_mod_utility_for_algorithm(9, nullptr);
    mod_util->set_options(40, 0);
    {
      WODE_ATOM_CONVERTER_KY converter(PEXA_UTILITY::get_current_device(), mod_util);
      JUK::FOREST<int, int>* network = m_env->get_chip_db_entry()->get_crf_re_network();
      for (const auto& partition : JOV_ROOT::get()->get_design("")->get_partitions()) {
        VOK_ATOM_NETLIST* netlist = partition->get_state(JOV_PARTITION::s_unspecified)->get_atom_netlist();
        if (netlist != nullptr && netlist->is_modifiable()) converter.convert(netlist, network);
      }
    }
    delete mod_util;
    WEXAN_ENV::get_env()->get_design()->load_basic_atom_information();
  }

  velmo_optimize_tbff(m_env);

  if (cfg_is_on("wexan_rebuild_w3j_jev_netlist", true) && !ea) {
    m_env->run_w3j3_postfit();
    GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
    if (bundle == nullptr) l_internal_error("bundle != NULL", __LINE__);
    if (cfg_is_on("w3j3_generate_r5t_directives", m_env->get_base_family_code() != 26)) {
      R5T_DIRECTIVE_GENERATOR* generator =
          R5T_DIRECTIVE_GENERATOR::create(m_env->get_base_family_code(), m_env->get_chip_db_entry(), bundle);
      generator->generate_directives();
      delete generator;
    }
  }

  if (cfg_is_on("w3j3_run_post_fit_checks", true) && !ea) {
    GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
    if (bundle == nullptr) l_internal_error("bundle != NULL", __LINE__);
    W3J3_CHECK_OP(bundle).work(m_env->get_chip_db_entry());
  }

  {
    VELMO_SCOPED_PROFILE_BIN pr_bin("post_finalize_pr_stuff", "");
    WEXAN_JOV_PR_UTILITY* pr_util = WEXAN_JOV_PR_UTILITY::get_existing_instance();
    if (pr_util == nullptr) l_internal_error("pr_util", __LINE__);
    pr_util->update_post_fit_partition_info();
    pr_util->update_post_fit_region_info();
    pr_util->update_post_fit_routing_info();
    pr_util->write_post_fit_pr_bitstream_info();
    pr_util->finish_post_fit_pr_processing();
    WEXAN_DESIGN_HASH_UTILITY::apply_design_hash();
    m_design->set_post_fit_atom_bit_info();
    WEXAN_ASD_UTILITY* asd_util = WEXAN_ASD_UTILITY::get_instance();
    if (asd_util == nullptr) l_internal_error("asd_util", __LINE__);
    asd_util->start();
    if (!m_env->get_chip_db_entry()->get_power_tile_setting_info().empty()) {
      VELMO_SCOPED_PROFILE_BIN tiles_bin("HSLP compute used power tiles", "");
      VOK_PWR_TILE_SETTING_INFO::set_used_tiles(m_env->get_chip_db_entry(), PEXA_UTILITY::get_current_device());
    }
    asd_util->finish();
    WEXAN_ASD_UTILITY::destroy();
  }

  if (cfg_is_on("siv_run_post_fit_check", false) && m_env->hov_is_on()) {
    VELMO_SCOPED_PROFILE_BIN siv_bin("SIV Post-fit check", "");
    m_env->get_atom_mod_drc()->verify_dont_touch();
  }

  if (WEXAN_SONDERY* sondery = m_env->get_sondery()) {
    sondery->update_oterm_omz_instance_tappable_flags();
    if (sondery->is_save_to_database()) sondery->save_sondery_required_info();
  }

  analyze_fanout_violations(m_env, !cfg_is_on("velmo_prevent_fanout_limit_check_assert", false));
  do_common_post_route_post_finalize_ops(true);
}

namespace {

// The HOV utility request every "rebuild" of finalize makes: request 0,
// invoke mode 3, timing-model set 5.
void l_rebuild_hov(WEXAN_ENV* env, bool b3 = false, bool b4 = false) {
  env->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, b3, b4, nullptr, false, false);
}

// The timing-netlist rebuild: the request above and the compiler's
// notification.
void l_rebuild_timing_netlist(WEXAN_ENV* env, CMP_FACADE* cmp, bool b3 = false, bool b4 = false) {
  l_rebuild_hov(env, b3, b4);
  cmp->notify_timing_netlist_changed(1);
}

bool l_compile_database_has_timing_netlist(std::string* path) {
  KIV_STATE* state = JOV_ROOT::get()->get_design("")->get_current_state();
  if (state == nullptr) return false;
  for (KIV_MODEL* model : state->get_models()) {
    if (model->get_type() == "timing_netlist") {
      *path = model->get_path().get_trie().as_string();
      return true;
    }
  }
  return false;
}

void l_post_elapsed(MSG_I* (*factory)(const std::string&), const GEN_STOPWATCH& watch) {
  double seconds = watch.get_elapsed_seconds();
  if (seconds < 0) seconds = 0;
  msg_post(factory(gen_format_elapsed_time(seconds)), nullptr);
}

void l_create_sta_reports(CMP_FACADE* cmp) {
  VELMO_SCOPED_PROFILE_BIN bin("velmo_finalize_create_sta_reports", "");
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  if (kem == nullptr) return;
  PIZ_COMPILATION_REPORT_ACCESSOR compilation_report_accessor;
  PIZ_CONCURRENT_ACCESS::lock(&compilation_report_accessor, true);
  if (!compilation_report_accessor.load()) l_internal_error("compilation_report_accessor.load()", __LINE__);
  const int report = compilation_report_accessor.create_linked_report("Timing Analyzer", "SNAV", 0);
  const KEM_TIMING_MODEL model = KEM_TIMING_MODEL::create_default_timing_model(cmp, 0);
  if (kem->get_corner_manager()->has_corner(model)) kem->get_corner_manager()->change_corner(model);
  Tcl_Interp* interp = umbr_get_interpreter();
  static const char* const k_commands[] = {
      "report_clocks -panel_name \"Clocks\"",
      "report_clock_fmax_summary -panel_name \"Fmax Summary\"",
      "create_timing_summary -setup -panel_name \"Setup Summary\" -stdout",
      "create_timing_summary -hold -panel_name \"Hold Summary\" -stdout",
      "create_timing_summary -recovery -panel_name \"Recovery Summary\" -stdout",
      "create_timing_summary -removal -panel_name \"Removal Summary\" -stdout",
      "create_timing_summary -mpw -panel_name \"Minimum Pulse Width Summary\" -stdout",
  };
  for (const char* command : k_commands) umbr_tcl_eval(interp, command);
  compilation_report_accessor.link_report(report);
  static bool was_printed = false;
  velmo_print_hack_notice(was_printed, __FILE__, __LINE__, kReportLinkingCase,
                          "Report linking should not infer ownership rules");
  compilation_report_accessor.write_report(8);
  PIZ_CONCURRENT_ACCESS::unlock(&compilation_report_accessor);
}

// The incremental (ECO) re-route of the recompile skip path: every input
// term that maps to a device port, has a driver and no routing yet is routed
// over the routing as it stands. A connection that cannot be routed, or a
// routing that cannot be committed, ends the compile.
void l_eco_reroute(WEXAN_ENV* env) {
  if (env == nullptr) l_internal_error("env", __LINE__);
  VOK_ATOM_NETLIST* netlist = env->get_atom_netlist();
  if (netlist == nullptr) l_internal_error("netlist", __LINE__);
  VOK_CHIP_DB_ENTRY* chip_db_entry = env->get_chip_db_entry();
  if (chip_db_entry == nullptr) l_internal_error("chip_db_entry", __LINE__);
  VOK_RE_ROUTING* routing = chip_db_entry->get_routing();
  if (routing == nullptr) l_internal_error("routing", __LINE__);
  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  if (device == nullptr) l_internal_error("device", __LINE__);
  const DEV_DIE_INFO* die = device->get_die_info();
  const WUMP_DIE_INFO* wump = die != nullptr ? die->get_wump_die_info() : nullptr;
  const WUMP_ROUTE_INFO* route_info = wump != nullptr ? wump->get_route_info() : nullptr;
  if (route_info == nullptr) l_internal_error("route_info", __LINE__);
  GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
  if (bundle == nullptr) l_internal_error("bundle", __LINE__);
  const W3J3_PORT_MAP_DB* port_map_db = bundle->get_port_map_db();
  if (port_map_db == nullptr) l_internal_error("port_map_db", __LINE__);
  const W3J3_PORT_MAP_INTERFACE* port_map = W3J3_PORT_MAP_INTERFACE::get_instance(port_map_db, nullptr);
  if (port_map == nullptr) l_internal_error("port_map_interface", __LINE__);

  KORRIN::INCREMENTAL_ROUTER ir(routing, route_info, port_map);
  unsigned count = 0;
  for (VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (atom->is_io_pad() || atom->is_io_ibuf() || (atom->is_ff() && atom->get_atom_type() == k_pipeline_register_type))
      continue;
    for (VOK_ATOM_ITERM* iterm : atom->iterms()) {
      VOK_ATOM_OTERM* source = iterm->get_source(VOK_TRAVERSE_HIERARCHICAL);
      if (source == nullptr || port_map->get_port_map_results(iterm).empty() || !routing->get_sink_nodes(iterm).empty())
        continue;
      msg_vdebug_impl(2, "ECO: add_connection(%s -> %s)", source->get_my_node()->get_string_hpath().c_str(),
                      atom->get_string_hpath().c_str());
      if (ir.add_connection(source, iterm, nullptr, nullptr)) ++count;
    }
  }
  msg_vdebug_impl(2, "ECO will re-route %u connections", count);
  std::unique_ptr<KORRIN::IR_RESULT> result(ir.route_all_new_connections(false, nullptr));
  bool eco_ok = false;
  if (result == nullptr) {
    msg_vdebug_impl(2, "ECO: Invalid IR_RESULT or VOK_RE_ROUTING.\n");
  } else if (!result->routing_succeeded()) {
    msg_vdebug_impl(2, "ECO: route_all_new_connections did not succeed.");
  } else if (!ir.commit(result.get(), routing)) {
    // The paths no longer fit the routing: nothing was written.
    msg_vdebug_impl(2, "ECO: commit did not succeed.");
  } else {
    msg_vdebug_impl(2, "ECO: Successfully committed routing.\n");
    env->indicate_that_atom_netlist_is_modified();
    eco_ok = true;
  }
  if (!eco_ok) l_internal_error("eco_ok", __LINE__);
}

}  // namespace

bool VELMO_EXPERT::finalize() {
  VELMO_SCOPED_PROFILE_BIN bin("velmo_finalize", "Finalize");
  GEN_STOPWATCH t0;
  t0.start();
  VELMO_FINALIZE_PARASITICS::has_written_out_kem = false;

  const int snapshot = static_cast<int>(get_jov_snapshot());
  if (ZEL_DEV_ZOTA_UTIL::is_zento_retimer_nimbrel_emulate_enabled() && (snapshot == 10 || snapshot == 12)) {
    msg_post(MSG_VELMO::W::VELMO_ZENTO_RETIMER_NIMBREL_EMULATE_NO_FINALIZE(), nullptr);
    return true;
  }

  const bool z = ZEL_DEV_ZOTA_UTIL::is_zota_device(m_cmp, 0);
  const bool rt = ZEL_DEV_ZOTA_UTIL::is_zento_retimer_enabled();
  const bool ea = force_ky_ea_flow();

  perform_dangling_clock_routing_cleanup();

  const bool s = SWAVO_RECOMPILE_OP::is_user_swavo_recompile_flow() &&
                 SWAVO_RECOMPILE_OP::can_skip_fitter_stage_for_all_partitions(9) &&
                 SWAVO_RECOMPILE_OP::can_skip_fitter_stage_for_all_partitions(10) &&
                 !cfg_is_on("velmo_force_disable_sr_skip_to_finalize_flow", false);
  bool r = true;
  // Full timing update after the re-route unless the hold-fix flow says
  // otherwise.
  bool full_update = true;
  // A failed probe leaves the post-fit connection changes unapplied. A
  // re-route may still run below, but the stage has not fitted what was asked
  // and must not end as a success.
  bool probe_ok = true;

  if (s) {
    if (z) m_env->m_zota_state = 0;
    bool changed_a = false;
    bool changed_b = false;
    {
      VELMO_SCOPED_PROFILE_BIN spam_bin("apply_tracelyn_postfit_connection_changes", "");
      WEXAN_INCREMENTAL_UTILITY* incr_util = m_env->get_netlist_reuse_utility();
      if (incr_util == nullptr) l_internal_error("incr_util", __LINE__);
      r = incr_util->process_postfit_tracelyn_assignments_if_necessary(&changed_a, &changed_b);
      probe_ok = r;
      if (!r) msg_vdebug_impl(2, "SPAM failed!");
      if (r && (changed_a || changed_b)) {
        incr_util->set_has_unrouted_postfit_tracelyn_connections(true);
        if (cfg_is_on("velmo_pre_spar_spam_global_taint", true)) m_env->indicate_that_atom_netlist_is_modified();
        m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false);
      }
    }
    const bool reroute = (r && (changed_a || changed_b)) || cfg_is_on("sr_finalize_nochange_run_router", true);
    if (reroute) {
      if (cfg_is_on("sr_finalize_use_ir", false)) {
        l_eco_reroute(m_env);
      } else {
        {
          VELMO_SCOPED_PROFILE_BIN route_bin("velmo_finalize_sr_run_vpr_router", "");
          r = run_vpr(false, true, false, false, static_cast<MUVO_FLOW_TYPE>(32));
        }
        if (r) {
          VELMO_SCOPED_PROFILE_BIN repop_bin("velmo_finalize_sr_run_vpr_router_repop", "");
          VELMO_RETIMER::retimer_merge_zotas(m_env);
          r = VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(true, m_env);
        }
      }
    }
  }

  if (!ea && !VELMO_BBIC::any_partitions_blackboxed()) {
    if (z) m_env->m_zota_state = 1;
    m_env->run_w3j3(hov_get_atom_netlist_taint_manager());
  }

  analyze_fanout_violations(m_env, !cfg_is_on("velmo_prevent_fanout_limit_check_assert", false));

  if (m_env->get_hov_utility_ptr() == nullptr && !VELMO_BBIC::any_partitions_blackboxed()) {
    bool any_unmodifiable = false;
    for (const auto& partition : JOV_ROOT::get()->get_design("")->get_partitions()) {
      const VOK_ATOM_NETLIST* netlist = partition->get_state(JOV_PARTITION::s_unspecified)->get_atom_netlist();
      if (netlist != nullptr && !netlist->is_modifiable()) any_unmodifiable = true;
    }
    std::string path;
    if (any_unmodifiable) {
      l_rebuild_hov(m_env);
    } else {
      const bool has_model = l_compile_database_has_timing_netlist(&path);
      if (has_model) msg_vdebug_impl(2, "Checking for timing model at %s", path.c_str());
      if (has_model || (z && rt)) {
        VELMO_SCOPED_PROFILE_BIN load_bin("velmo_finalize: Load KEM netlist", "");
        m_env->get_hov_utility_or_create_if_necessary(2, 3, 5, false, false, false, false, nullptr, false, false);
      }
    }
  }

  bool spar_flow = false;
  if (!z) {
    r = run_vpr(false, false, true, false, static_cast<MUVO_FLOW_TYPE>(32));
    full_update = true;
  } else if (!rt) {
    full_update = true;
  } else if (cfg_is_on("velmo_finalize_spar_flow", true) && !ea) {
    spar_flow = true;
  } else {
    full_update = true;
  }

  if (spar_flow) {
    GEN_STOPWATCH t1;
    t1.start();
    if (cfg_is_on("velmo_finalize_run_spar", true) && !s) spar_preamble();
    WEXAN_UNLOAD::unload_device_data(2);
    // Only the facade's caches are dropped: the re-route below still needs it.
    if (cfg_is_on("velmo_finalize_unload_vpr_before_prf", false))
      if (TIBEX_VPR_FACADE* facade = TIBEX_ENV::get_vpr_facade()) facade->release();
    if (!m_env->hov_utility_reflects_atom_netlist_exactly())
      l_internal_error("m_env->hov_utility_reflects_atom_netlist_exactly()", __LINE__);
    {
      VELMO_SCOPED_PROFILE_BIN fixup_bin("velmo_finalize_run_vpr_route_fixup", "");
      sta_mark_sccs_as_potentially_stale();
      r = run_vpr(false, true, false, false, static_cast<MUVO_FLOW_TYPE>(32));
      if (cfg_is_on("velmo_dump_post_spar_atmx", false))
        ZEL_ATOM_DUMPER(m_env->get_chip_db_entry())
            .dump_current_atom_netlist(m_cmp->get_project_name() + ".post_spar.atm", true);
      if (cfg_is_on("velmo_dump_post_spar_routing", false))
        m_env->get_chip_db_entry()->get_routing()->debug_dump<VOK_RE_ROUTING_ZOTA_SKIP>("post_spar_routing.echo");
      WEXAN_UNLOAD::reload_device_data(2);
    }
    if (r) {
      const bool incremental = SWAVO_RECOMPILE_OP::enable_post_spar_incremental_hep();
      if (cfg_is_on("velmo_finalize_unload_vpr_after_spar_before_repop", true)) unload_vpr();
      if (incremental) {
        msg_vdebug_impl(2, "Read KEM_NETLIST after SPAR.");
        WEXAN_HOV_UTILITY* hov = m_env->get_hov_utility_ptr();
        if (hov != nullptr && hov->get_mode() != 3) {
          m_env->delete_hov_utility_completely();
          KEM_MANAGER::get()->read_kem_netlist_from_disk(true);
          const KEM_TIMING_MODEL model = KEM_TIMING_MODEL::create_default_timing_model(m_cmp, 0);
          hov_get_atom_netlist_taint_manager()->clear_tainted_atom_ids();
          hov_get_atom_netlist_taint_manager()->indicate_hov_reflects_atom_netlist_exactly();
          m_env->get_hov_utility_or_create_if_necessary(0, 3, std::vector<KEM_TIMING_MODEL>{model}, false, false,
                                                        false, false, nullptr, false, false);
        } else if (KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist()) {
          kem->get_corner_manager()->clear();
          KEM_MANAGER::get()->read_kem_corners_from_disk(KEM_TIMING_MODEL::get_list_of_timing_models(
              static_cast<int>(PEXA_UTILITY::get_current_device()->get_device_enum())));
        } else {
          // Nothing in memory to reload corners into.
          msg_vdebug_impl(2, "No timing netlist: corners not reloaded after SPAR.");
        }
      }
      if (s) {
        msg_vdebug_impl(2, "Skipping Post-SPAR repop for Swavo Recompile Finalize Flow!");
      } else if (cfg_is_on("velmo_finalize_run_repop", true)) {
        if (SWAVO_RECOMPILE_OP::get_spar_modified_atom_ids().empty() || SWAVO_RECOMPILE_OP::did_spar_give_up()) {
          msg_vdebug_impl(2, "Skipping Post-SPAR repop due to no SPaR changes");
        } else {
          VELMO_SCOPED_PROFILE_BIN repop_bin("velmo_finalize_run_repop", "");
          VELMO_RETIMER::retimer_merge_zotas(m_env);
          VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(true, m_env);
        }
      } else if (cfg_is_on("fit_retime_run_zota_router", true)) {
        NORBO_ZOTA_MANAGER(m_env->get_chip_db_entry()).commit_clock_routing();
      }
      if (incremental) {
        hov_get_atom_netlist_taint_manager()->clear_tainted_atom_ids();
        full_update = false;
      } else {
        for (const VOK_ATOM_NODE* atom : m_env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL))
          if (ZEL_ATOM_UTIL::is_zota_marked_reg(atom)) m_env->indicate_that_atom_netlist_is_modified(atom->get_id());
        full_update = r;
      }
      m_env->m_zota_state = 1;
      final_cleanup();
      if (!incremental && cfg_is_on("fit_post_retimer_global_taint", true))
        m_env->indicate_that_atom_netlist_is_modified();
    }
    l_post_elapsed(&MSG_VELMO::I::FITTER_ROUTE_FIXUP_END, t1);
    if (cfg_is_on("fit_spar_ending_kem_rebuild", false)) l_rebuild_timing_netlist(m_env, m_cmp);
  }

  if (cfg_is_on("korrin_incremental_router", false)) {
    if (cfg_is_on("korrin_test_spar", false)) VELMO_SPAR(cfg_is_on("velmo_spar_dump_netlist", false)).run();
    if (cfg_is_on("korrin_test_incremental_router", true) && !KORRIN::test_korrin_incremental_router())
      msg_vdebug_impl(2, "KORRIN::test_korrin_incremental_router did not route every connection.");
    if (cfg_is_on("korrin_test_force_full_hep", true)) {
      m_env->indicate_that_atom_netlist_is_modified();
      l_rebuild_timing_netlist(m_env, m_cmp);
      full_update = true;
    }
  }

  bool muvo_run = false;
  if (is_post_route_physical_synthesis_enabled(&muvo_run) && !s) {
    if (cfg_is_on("muvo_post_route_force_full_hep", false)) {
      m_env->indicate_that_atom_netlist_is_modified();
    } else if (!full_update) {
      if (VELMO_FINALIZE_PARASITICS::run_incremental_hep_after_spar(m_env)) verify_incremental_hep(m_env);
      cfg_set_off("velmo_force_read_sdc_after_post_spar_incremental_hep");
    }
    if (!m_env->hov_utility_reflects_atom_netlist_exactly()) {
      std::vector<KEM_TIMING_MODEL> models;
      if (const KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist())
        models = kem->get_corner_manager()->get_loaded_corners();
      if (models.empty()) models.push_back(KEM_TIMING_MODEL::create_default_timing_model(m_cmp, 0));
      m_env->get_hov_utility_or_create_if_necessary(0, 3, models, false, false, false, false, nullptr, true, false);
    }
    post_route_physical_synthesis(muvo_run);
  }

  if (z) {
    m_env->m_zota_state = 1;
    if (rt && cfg_is_on("velmo_finalize_enable_tborrow_flow", false))
      NOLT_PROGRAMMABLE_CLOCK_SKEW_OP(m_env).work(cfg_is_on("velmo_ky_tbff_set_by_ini", false) ? 0 : 3);
  }

  const bool b = VELMO_BBIC::any_partitions_blackboxed();
  if (b) {
    VELMO_BBIC::push_routing_to_partitions();
    VELMO_BBIC::restore_all_blackbox_contents();
    l_rebuild_hov(m_env, true, true);
  }

  if (cfg_is_on("velmo_finalize_unload_vpr_after_spar", true)) unload_vpr();
  do_post_finalize_ops(r);

  bool k = false;
  bool p = false;
  if (r) {
    r = do_postfit_retime();
    if (z && rt && cfg_is_on("velmo_finalize_spar_flow", true) && !ea) {
      k = cfg_is_on("fit_finalize_ending_kem_rebuild", true);
      p = k && cfg_is_on("fit_finalize_runs_parasitics_hold_fixing", true);
    }
  }

  r = r && probe_ok;
  const bool t = cfg_is_on("velmo_finalize_create_sta_reports", false);
  if (r) {
    if (s_do_lcell_to_lm_conversion) {
      m_env->indicate_that_atom_netlist_is_modified();
      l_rebuild_timing_netlist(m_env, m_cmp, true, true);
    } else if (b || t) {
      if (!p || (t && hov_get_accessories()->get_kem_netlist() == nullptr)) l_rebuild_timing_netlist(m_env, m_cmp);
    } else if (k && !p) {
      l_rebuild_timing_netlist(m_env, m_cmp);
    }
    r = final_lutram_check() && final_p2c2p_zota_check();
  }

  if (t && r) l_create_sta_reports(m_cmp);

  l_post_elapsed(&MSG_VELMO::I::FITTER_POST_OPERATION_END, t0);
  if (r) m_env->report_fitter_status(100, 2);
  return r;
}
