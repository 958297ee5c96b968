// The retime and Nimbrel stages: the register retimer over the routed design
// of a pipeline-register (ZOTA) device, with the timing netlist in retimer
// mode read from disk when that is safe and rebuilt otherwise, and the
// pipeline-register clock routing committed afterwards.
#include <memory>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "gen/gen_profile.h"
#include "hov/hov_utility.h"
#include "jov/jov_design.h"
#include "kem/kem_manager.h"
#include "kem/kem_timing_model.h"
#include "kiv/kiv_model.h"
#include "msg/msg_internal_error.h"
#include "norbo/norbo_zota_clock.h"
#include "pelk/pelk_symbol.h"
#include "pexa/pexa_utility.h"
#include "r5t/r5t_interface.h"
#include "tibex/tibex_env.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "velmo_msgs.h"
#include "velmo_yun_env.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "vok_atom_netlist_sys.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"
#include "wexan/wexan_hov_retimer_mode.h"
#include "xab/xab_dem.h"
#include "yeb/yeb_timing_model.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_dev_zota_util.h"

namespace {

constexpr int KY_EA_BASE_FAMILY = 26;
// Symbols of atom metadata live in this name space.
constexpr int k_metadata_namespace = 4;
constexpr unsigned k_illegal_global_id = 0xFFFFFFFFu;

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_expert_retime", line);
}

char l_yn(bool b) { return b ? 'Y' : 'N'; }

// The timing models the retiming engine wants.
std::vector<KEM_TIMING_MODEL> get_retimer_timing_models() {
  VELMO_YUN_ENV yun_env;
  std::unique_ptr<YUN_UTILITY> util(yun_env.create_yun_utility(nullptr));
  if (!util) l_internal_error("yun_util", __LINE__);
  std::vector<KEM_TIMING_MODEL> models;
  util->get_timing_models(models);
  if (models.empty()) {
    msg_vdebug_impl(2, "No retimer timing models defined");
  } else {
    msg_vdebug_impl(2, "Retimer timing models:");
    for (const KEM_TIMING_MODEL& m : models) msg_vdebug_impl(2, "    %s", m.get_debug_string().c_str());
  }
  return models;
}

// Whether every partition of the current design has a modifiable netlist.
bool l_every_partition_is_modifiable() {
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  for (const auto& partition : design->get_partitions()) {
    const VOK_ATOM_NETLIST* netlist = partition->get_state()->get_atom_netlist();
    if (!netlist || !netlist->is_modifiable()) return false;
  }
  return true;
}

}  // namespace

// The post-route operations rebuild the timing netlist with the retimer's
// models too.
std::vector<KEM_TIMING_MODEL> velmo_get_retimer_timing_models() { return get_retimer_timing_models(); }

bool VELMO_EXPERT::retime() {
  VELMO_SCOPED_PROFILE_BIN bin("velmo_retime", "Retime");
  if (WEXAN_SWAVO_RECOMPILE_UTILITY::all_partitions_can_skip_fitter() || cfg_is_on("flow_skip_retime_stage", false))
    return true;

  WEXAN_ENV* env = WEXAN_ENV::get_env();
  CMP_FACADE* cmp = env ? env->get_cmp() : m_cmp;
  const KEM_TIMING_MODEL default_corner = KEM_TIMING_MODEL::create_default_timing_model(cmp, 0);
  KEM_TIMING_MODEL::create_default_timing_model(cmp, 1);
  YEB_TIMING_MODEL::get_timing_model_async(PEXA_UTILITY::get_current_device()->get_device_enum(), 0,
                                           default_corner.get_corner(), false, false);
  XAB_DEM::shutdown();

  const JOV_SNAPSHOT_BASE::ENUM snapshot = get_jov_snapshot();
  if (ZEL_DEV_ZOTA_UTIL::is_zento_retimer_nimbrel_emulate_enabled() &&
      (snapshot == JOV_SNAPSHOT_BASE::RETIMED || snapshot == JOV_SNAPSHOT_BASE::FINAL)) {
    msg_post(MSG_VELMO::W::VELMO_ZENTO_RETIMER_NIMBREL_EMULATE_NO_RETIME(), nullptr);
    return true;
  }
  if (!ZEL_DEV_ZOTA_UTIL::is_zota_device(m_cmp, 1)) {
    const std::string device = pral_get_part_user_string(
        static_cast<int>(PEXA_UTILITY::get_current_device()->get_basic_info()->get_device_enum()));
    if (snapshot == JOV_SNAPSHOT_BASE::RETIMED)
      msg_post(MSG_VELMO::E::VELMO_ZENTO_RETIMER_UNSUPPORTED_DEVICE(device), nullptr);
    else if (snapshot == JOV_SNAPSHOT_BASE::NIMBREL)
      msg_post(MSG_VELMO::E::VELMO_ZENTO_NIMBREL_UNSUPPORTED_DEVICE(device), nullptr);
    return false;
  }
  if (ZEL_DEV_ZOTA_UTIL::get_zento_retimer_state(m_cmp) == 1) {
    if (snapshot == JOV_SNAPSHOT_BASE::RETIMED)
      msg_post(MSG_VELMO::W::VELMO_ZENTO_RETIMER_NOT_ENABLED(), nullptr);
    else if (snapshot == JOV_SNAPSHOT_BASE::NIMBREL)
      msg_post(MSG_VELMO::W::VELMO_NIMBREL_NOT_ENABLED(), nullptr);
    return true;
  }

  analyze_fanout_violations(m_env, !cfg_is_on("velmo_prevent_fanout_limit_check_assert", false));
  const bool zota = ZEL_DEV_ZOTA_UTIL::is_zota_device(m_env->get_cmp(), 0);
  if (zota) m_env->set_pipeline_register_flag(true);

  // Read the timing netlist from disk when that is safe, else rebuild it.
  const bool always_rebuild = cfg_is_on("fit_retime_always_rebuild_netlist", false);
  const bool safe_to_load = l_every_partition_is_modifiable();
  KEM_MANAGER* mgr = KEM_MANAGER::get();
  bool read = false;
  if (!always_rebuild && safe_to_load && !mgr->get_kem_netlist()) {
    read = mgr->read_kem_netlist_from_disk(true);
    msg_vdebug_impl(2, "Reading kem netlist from disk: %s", read ? "succeeded" : "failed");
  }
  const bool have_netlist = mgr->get_kem_netlist() != nullptr;
  const bool in_retimer_mode = mgr->is_kem_netlist_in_retimer_mode();
  msg_vdebug_impl(2, "always_rebuild: %c; have_netlist: %c; have_netlist_in_retimer_mode: %c; safe_to_load: %c",
                  l_yn(always_rebuild), l_yn(have_netlist), l_yn(in_retimer_mode), l_yn(safe_to_load));
  int request = 0;
  if (!always_rebuild && safe_to_load && (!have_netlist || in_retimer_mode)) {
    msg_vdebug_impl(2, "Getting hov_utility using 'READ_FROM_DISK'");
    request = 2;
  } else {
    msg_vdebug_impl(2, "Getting hov_utility using 'MUST_REFLECT_NETLIST_CHANGES'");
    mgr->delete_kem_netlist_from_disk();
    if (read) mgr->delete_kem_netlist_in_memory();
    if (zota) m_env->indicate_that_atom_netlist_is_modified();
  }

  {
    VELMO_SCOPED_PROFILE_BIN kem_bin("velmo_retime: Getting KEM netlist", "Retime");
    WEXAN_HOV_RETIMER_MODE retimer_mode;
    const std::vector<KEM_TIMING_MODEL> models = get_retimer_timing_models();
    if (models.empty())
      m_env->get_hov_utility_or_create_if_necessary(request, 3, 5, false, false, true, true, nullptr, false, false);
    else
      m_env->get_hov_utility_or_create_if_necessary(request, 3, models, false, false, true, true, nullptr, false,
                                                    false);
    if (m_env->get_hov_utility_ptr() == nullptr) l_internal_error("m_env->get_hov_utility_ptr() != nullptr", __LINE__);
  }

  if (!(have_netlist && in_retimer_mode)) {
    msg_vdebug_impl(2, "Writing back kem netlist to current snapshot");
    mgr->write_kem_netlist_to_disk();
    if (safe_to_load && cfg_is_on("velmo_retimer_write_netlist_to_routed_snapshot", false)) {
      msg_vdebug_impl(2, "Writing back kem netlist to routed snapshot");
      JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
      const std::string previous = design->get_current_snapshot_str();
      design->set_current_snapshot(JOV_SNAPSHOT_BASE::ROUTED);
      mgr->write_kem_netlist_to_disk();
      design->set_current_snapshot_str(previous);
    }
  }

  if (cfg_is_on("velmo_unload_vpr_before_retimer", true) && TIBEX_ENV::get_vpr_facade())
    TIBEX_ENV::get_vpr_facade()->release();

  if (cfg_is_on("velmo_debug_run_drask_instead_of_retime", false)) {
    do_debug_drask();
    return true;
  }

  m_env->get_hov_utility_ptr()->prepare_for_retiming();
  const bool r = do_retime();
  if (force_ky_ea_flow()) return r;
  if (cfg_is_on("velmo_write_yun_view_to_disk", false) && get_jov_snapshot() != JOV_SNAPSHOT_BASE::NIMBREL)
    write_nimbrel_view();
  if (!r) return false;
  if (!zota) return true;

  const bool global_taint = cfg_is_on("fit_post_retimer_global_taint", true);
  if (global_taint && cfg_is_on("fit_retime_destroy_hov_before_zota_router", true)) m_env->delete_hov_utility_completely();
  if (cfg_is_on("fit_retime_run_zota_router", true)) {
    if (cfg_is_on("yun_use_free_ff_after_lut_in_post_fit_retimer", false)) {
      if (m_env->get_base_family_code() == KY_EA_BASE_FAMILY) m_env->run_w3j3_prefit();
      norbo_route_rowclocks(m_env->get_chip_db_entry(), false);
    }
    NORBO_ZOTA_MANAGER(m_env->get_chip_db_entry()).commit_clock_routing();
    VOK_ATOM_NETLIST* netlist = m_env->get_atom_netlist();
    for (VOK_ATOM_ITERATOR<false> it(netlist, VOK_TRAVERSE_HIERARCHICAL, false),
         end(netlist, VOK_TRAVERSE_HIERARCHICAL, true);
         it != end; ++it)
      if (ZEL_ATOM_UTIL::is_zota_marked_reg(*it)) m_env->indicate_that_atom_netlist_is_modified((*it)->get_id(), false, false);
  }
  if (cfg_is_on("velmo_dump_post_retime_atmx", false)) {
    const std::string path = m_env->get_cmp()->get_project_name() + ".post_retime.atm";
    m_design->dump_current_atom_netlist_to_atm_file(path.c_str());
  }
  if (global_taint) m_env->indicate_that_atom_netlist_is_modified();
  if (cfg_is_on("fit_retime_ending_kem_rebuild", true))
    m_env->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, nullptr, false, false);
  return true;
}

bool VELMO_EXPERT::nimbrel() {
  if (cfg_is_on("velmo_pre_nimbrel_w3j3", true)) {
    if (ZEL_DEV_ZOTA_UTIL::is_zota_device(m_env->get_cmp(), 0)) m_env->set_pipeline_register_flag(true);
    msg_vdebug_impl(2, "Rebuild W3J3 before NIMBREL if design is tainted!");
    m_env->run_w3j3(hov_get_atom_netlist_taint_manager());
  }
  return retime();
}

bool VELMO_EXPERT::do_retime() {
  const long long t0 = gen_get_current_time_seconds();
  unsigned long long cookie = m_design->get_cookie();
  msg_vdebug_impl(2, "before do_retime cookie: %llu", cookie);
  gen_log_cookie("Atom Netlist (Before Retimer)", cookie);

  VELMO_YUN_ENV yun_env;
  if (cfg_is_on("velmo_finalize_spar_flow", true)) {
    const JOV_SNAPSHOT_BASE::ENUM snapshot = get_jov_snapshot();
    if (snapshot == JOV_SNAPSHOT_BASE::RETIMED) yun_env.set_bool_data(YUN_ENV::SPAR_FLOW_RETIMED, true);
    if (snapshot == JOV_SNAPSHOT_BASE::FINAL) yun_env.set_bool_data(YUN_ENV::SPAR_FLOW_FINAL, true);
  }
  if (cfg_is_on("wexan_hov_util_expand_labs_for_retimer", true)) yun_env.set_bool_data(YUN_ENV::EXPAND_LABS, true);
  std::unique_ptr<YUN_UTILITY> util(yun_env.create_yun_utility(nullptr));
  if (!util) l_internal_error("yun_util", __LINE__);
  const bool r = util->retime();

  MSG_I* end = MSG_VELMO::I::FITTER_ZENTO_RETIMER_END(
      gen_format_elapsed_time(static_cast<double>(gen_get_current_time_seconds() - t0)));
  msg_post(end, nullptr);

  cookie = m_design->get_cookie();
  msg_vdebug_impl(2, "after do_retime cookie: %llu", cookie);
  gen_log_cookie("Atom Netlist (After Retimer)", cookie);
  return r;
}

bool VELMO_EXPERT::do_postfit_retime() {
  WEXAN_ENV* env = WEXAN_ENV::get_env();
  if (!env || env->get_yun_env() == nullptr) return true;
  if (cfg_is_on("velmo_enable_post_fit_hep_refresh", false)) {
    VELMO_SCOPED_PROFILE_BIN bin("Post-Fit HEP Refresh", "Retime");
    env->indicate_that_atom_netlist_is_modified();
    env->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, true, true, nullptr, false, false);
  }
  if (!cfg_is_on("wexan_enable_post_route_yun", false)) return true;
  return do_retime();
}

void VELMO_EXPERT::write_nimbrel_view() {
  JOV_DESIGN* db = JOV_ROOT::get()->get_design("");
  cfg_set_on("jov_skip_cached_model_copy");
  for (const auto& partition : db->get_partitions()) db->set_partition_model_copy_mode(partition.get(), 5);
  db->set_current_snapshot(JOV_SNAPSHOT_BASE::ROUTED, false, true);
  db->set_current_snapshot(JOV_SNAPSHOT_BASE::NIMBREL, false, false);

  const std::vector<std::string> components = db->get_current_state_path_components();
  for (KIV_MODEL* model : db->get_current_state()->get_models()) {
    if (model->get_name() != "timing_netlist") continue;
    model->set_path(KIV_PATH(components));
    msg_vdebug_impl(2, "Update KEM_MODEL path: %s", model->get_path().get_trie().as_string().c_str());
    break;
  }
  KEM_MANAGER::get()->write_kem_netlist_to_disk();
  if (get_jov_snapshot() != JOV_SNAPSHOT_BASE::NIMBREL)
    l_internal_error("db_utils.get_current_snapshot() == JOV_SNAPSHOT::NIMBREL", __LINE__);

  db->commit_design(true);
  db->set_current_snapshot(JOV_SNAPSHOT_BASE::ROUTED, false, true);
  db->set_current_snapshot(JOV_SNAPSHOT_BASE::RETIMED, false, true);
  for (const auto& partition : db->get_partitions()) JOV_UTILS::set_read_only_status(partition->get_state(), false);
}

// Locks the pipeline register that feeds each LUT-RAM's port A data input so
// that the retimer leaves it in its slot. The register must be there already:
// a LUT-RAM whose data input is not driven by a placed pipeline register is an
// internal error.
bool VELMO_EXPERT::mark_lutram_zota_ffs_no_touch_for_retimer() {
  if (!ZEL_DEV_ZOTA_UTIL::is_zota_device(m_cmp, 0)) return true;
  const DEV_DIE_INFO* die_info = PEXA_UTILITY::get_current_device()->get_die_info();
  const bool verbose = cfg_is_on("lutram_zota_debug_verbose", false);
  const PELK key = PELK::intern(k_metadata_namespace, "RETIMER_NO_TOUCH");
  const PELK value = PELK::intern(k_metadata_namespace, "LOCKED");
  for (const VOK_ATOM_NODE* atom : m_env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!atom->is_lutram()) continue;
    const VOK_ATOM_ITERM* port_a_data_in = atom->get_input_term_by_type(DB_INPUT_PORT_LUTRAM_DATA_A, 0);
    if (port_a_data_in == nullptr || port_a_data_in->is_vcc_or_gnd())
      l_internal_error("port_a_data_in && !port_a_data_in->is_vcc_or_gnd()", __LINE__);
    const VOK_ATOM_OTERM* source = port_a_data_in->get_source(VOK_TRAVERSE_HIERARCHICAL);
    const VOK_ATOM_NODE* input_ff = source != nullptr ? source->get_my_node() : nullptr;
    if (input_ff == nullptr || !input_ff->is_ff() || !ZEL_ATOM_UTIL::is_zota_marked_reg(input_ff))
      l_internal_error("input_ff->is_ff() && ZEL_ATOM_UTIL::is_zota_marked_reg(input_ff)", __LINE__);
    const unsigned gid = input_ff->get_location_gid();
    if (gid == k_illegal_global_id || !ZEL_DEV_ZOTA_UTIL::is_zota_gid(die_info, gid))
      l_internal_error("gid != DEV_ILLEGAL_GLOBAL_ID && ZEL_DEV_ZOTA_UTIL::is_zota_gid(die_info, gid)", __LINE__);
    if (verbose)
      msg_vdebug_impl(2, "setting 'RETIMER_NO_TOUCH' on zota ff %d in zota location %u", input_ff->get_id(), gid);
    R5T_INTERFACE::get_instance()->set_atom_metadata(input_ff->get_id(), key, value);
  }
  return true;
}
