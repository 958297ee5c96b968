// The post-fit checks: legality checks over the fitted design, the MAC check
// (on this thread or as the only task of a four-worker host job), the
// post-fit dumps and the report flushes.
#include <memory>
#include <vector>

#include "bav/bav_strengths.h"
#include "cfg/cfg.h"
#include "gen/gen_profile.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "hssi/hssi_legality.h"
#include "msg/msg_internal_error.h"
#include "nolt/nolt_prefit_ops.h"
#include "omz/omz_option.h"
#include "oxu/oxu_job.h"
#include "pexa/pexa_utility.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "velmo_main.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"
#include "wexan/wexan_postfit_checks.h"
#include "wexan/wexan_utilities.h"
#include "wif/wif_huv_rpt.h"
#include "zel/zel_subgraph_export.h"
#include "zel/zel_dev_zota_util.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_expert", line);
}

// One unit of work of the parallel check job.
struct VELMO_CHECK_TASK {
  void (*check)(WEXAN_ENV*);
  WEXAN_ENV* env;
};

void velmo_run_check(VELMO_CHECK_TASK* task) { task->check(task->env); }

void velmo_postfit_mac_check(WEXAN_ENV* env) {
  WEXAN_MAC_LOCATION_CHECK check(env, "post_check");
  if (!check.work(true)) l_internal_error("Post Fit Check of MAC failed", __LINE__);
}

constexpr unsigned int kPostfitChecksCase = 67241;

}  // namespace

void VELMO_EXPERT::check_and_report(bool check, bool legality) {
  GEN_PROFILE_BINS::open_with_tag("VELMO", "check_and_report", 0x7fffffff, nullptr);
  // The bin closes on every way out, also when a check's internal error
  // passes through.
  struct CLOSE {
    ~CLOSE() { GEN_PROFILE_BINS::close("check_and_report"); }
  } close_bin;
  if (!check) return;

  dump_placement();
  dump_netlists("wexan_dump_netlist_before_fitter_post_check", "before_fitter_post_check");
  msg_vdebug_impl(2, "Checking the final fit...");

  if (legality) {
    WEXAN_POST_FIT_CHECKER checker(m_env);
    checker.run_legality_checks();
  }

  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  if (device == nullptr) l_internal_error("device != NULL", __LINE__);
  if (device->get_basic_info() == nullptr) l_internal_error("basic_info != NULL", __LINE__);
  static bool was_printed = false;
  velmo_print_hack_notice(was_printed, __FILE__, __LINE__, kPostfitChecksCase,
                          "Enable post-fit LUTRAM/MAC checks for KX");
  msg_vdebug_impl(2, "VELMO_EXPERT::check_and_report()");

  // Post-fit netlist check.
  bool netlist_check_default = check;
  if (get_jov_snapshot() == JOV_SNAPSHOT_BASE::NIMBREL) {
    msg_vdebug_impl(2, "Final postfit netlist check skipped (nimbrel)");
    netlist_check_default = false;
  }
  if (ZEL_DEV_ZOTA_UTIL::is_zento_retimer_debugging_flow_enabled()) {
    msg_vdebug_impl(2, "Final postfit netlist check skipped (debugging greedy retiming mode)");
    netlist_check_default = false;
  }
  if (cfg_is_on("enable_kx_postfit_netlist_check", netlist_check_default)) {
    NOLT_NETLIST_CHECK_OP netlist_check(m_env);
    if (netlist_check.netlist_is_ok()) {
      msg_vdebug_impl(2, "Final postfit netlist check succeeded");
    } else {
      msg_vdebug_impl(2, "Final postfit netlist check failed");
      l_internal_error("Final postfit netlist check failed", __LINE__);
    }
  }

  HSSI::hssi_legality_checker_are_coreclk_connections_valid();

  bool skip_lutram_check = true;
  bool skip_mac_check = true;
  if (legality) {
    skip_lutram_check = cfg_is_on("wexan_skip_postfit_lutram_check", false);
    skip_mac_check = cfg_is_on("wexan_skip_postfit_mac_check", false);
  }
  const bool parallel_all = cfg_is_on("wexan_parallize_allchecks", false);
  const bool parallel_mac = cfg_is_on("wexan_parallize_mac_check", false);
  msg_vdebug_impl(2, "VELMO_EXPERT::fitter_post_check()");
  msg_vdebug_impl(2, "TODO Stub: ...::check_rams_are_legal()");

  std::unique_ptr<std::vector<VELMO_CHECK_TASK>> tasks = std::make_unique<std::vector<VELMO_CHECK_TASK>>();
  if (!skip_mac_check) {
    if (parallel_all || parallel_mac)
      tasks->push_back(VELMO_CHECK_TASK{velmo_postfit_mac_check, m_env});
    else
      velmo_postfit_mac_check(m_env);
  }

  if (!skip_lutram_check) {
    msg_vdebug_impl(2, "Starting WEXAN_CHECK_LUTRAM_LEGALITY_OP::check() during fitter post-check");
    WEXAN_CHECK_LUTRAM_LEGALITY_OP lutram_check(m_env);
    if (!lutram_check.check())
      l_internal_error("WEXAN_CHECK_LUTRAM_LEGALITY_OP postfit operation failed, check debug messages for details",
                       __LINE__);
  }

  if (!tasks->empty()) {
    msg_vdebug_impl(2, "VELMO Parallel checks running\n");
    OXU_SPMD_JOB_VOID_PTR* job = OXU_SPMD_JOB_VOID_PTR::create_job(velmo_run_check, 4, false, nullptr, nullptr);
    struct DESTROY {
      OXU_SPMD_JOB_VOID_PTR* job;
      ~DESTROY() { OXU_SPMD_JOB_VOID_PTR::destroy_job(job); }
    } destroy_job{job};
    for (VELMO_CHECK_TASK& task : *tasks) job->add_task(&task);
    job->run();
  }
  tasks.reset();

  VOK_ATOM_NETLIST* netlist = m_env->get_atom_netlist();
  msg_vdebug_impl(2, "Last atom netlist %p", static_cast<void*>(netlist));
  ZEL_UTIL::check_duplicate_atom_names(netlist);
  ZEL_UTIL::check_duplicate_oterm_names(netlist);
  msg_vdebug_impl(2, "Final-fit check passed.");

  dump_netlists("wexan_dump_post_fit_netlist", "post_fit_netlist");
  if (cfg_is_on("vpr_print_placement_echo_files", false)) dump_netlists("", "post_fit_netlist");

  if (!legality) BAV::report_io_rules();

  if (WEXAN_LUT_RAM_UTILITY* lut_ram = WEXAN_LUT_RAM_UTILITY::get_utility()) lut_ram->flush_reports();
  WEXAN_IGNORED_ASSIGNMENTS_REPORT::current()->flush(true);
  WEXAN_SWAVO_RECOMPILE_UTILITY::generate_swavo_recompile_reports(true, legality);
  WIF_HUV_RPT::flush_huv_report();
  OMZ_NAMESPACE::post_process_wildcard(m_cmp->get_option_namespace(), false);

  msg_vdebug_impl(2, "It fits!");
}
