#include "velmo_main.h"
#include "velmo_postroute_ops.h"

#include <optional>

#include "bav/bav_strengths.h"
#include "cfg/cfg.h"
#include "hssi/hssi_tx_deskew_op.h"
#include "msg/msg_internal_error.h"
#include "nolt/nolt_ops.h"
#include "swavo/swavo_recompile_op.h"
#include "velmo_debug.h"
#include "velmo_delay_chain_op.h"
#include "velmo_pll_delay_chains_op.h"
#include "velmo_retimer.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "zel/zel_dev_zota_util.h"

namespace {

constexpr int KY_BASE_FAMILY = 46;
constexpr int KZ_BASE_FAMILY = 26;

constexpr unsigned int kRamPhysicalModesCase = 412214;
constexpr unsigned int kFixupDeskewCase = 412215;

}  // namespace

bool VELMO_POSTROUTE_OPS::run_route_stage_ops(bool done) {
  WEXAN_ENV* env = WEXAN_ENV::get_env();
  if (!env) MSG_INTERNAL_ERROR::report("m_env", "VELMO", "velmo_postroute_ops", __LINE__);
  const bool zota = ZEL_DEV_ZOTA_UTIL::is_zota_device(env->get_cmp(), 0);

  bool result = true;
  if (!done) {
    if (cfg_is_on("velmo_router_repop", zota)) VELMO_RETIMER::retimer_merge_zotas(env);
    result = VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(true, env);
  }
  env->indicate_that_atom_netlist_is_modified();

  NOLT_PROGRAMMABLE_CLOCK_SKEW_OP clock_skew(env);
  if (cfg_is_on("velmo_post_fit_apply_clk_delay_chain_settings", false)) {
    clock_skew.work(0);
  } else if (cfg_is_on("velmo_post_fit_apply_wab_clk_delay_chain_settings", false)) {
    clock_skew.work(1);
  } else if (cfg_is_on("velmo_run_prog_clk_skew_optimization", false)) {
    if (env->hov_is_on()) clock_skew.work(3);
  }

  // The operations live to the end of the call and go in reverse order of
  // construction.
  std::optional<VELMO_DELAY_CHAIN_OP> delay_chain;
  std::optional<VELMO_PLL_DELAY_CHAINS_OP> pll;
  std::optional<NOLT_FF_POWER_UP_OP> power_up;
  std::optional<HSSI_KX_TX_DESKEW_OP> kx_deskew;
  std::optional<HSSI_KY_TX_DESKEW_OP> ky_deskew;

  bool eco = env->get_eco()->is_eco_compile();
  if (cfg_is_on("force_auto_delay_chain_in_eco", false)) eco = false;
  if (cfg_is_on("wexan_run_auto_delay_chain", false) && !eco) {
    delay_chain.emplace(env);
    if (delay_chain->work(VELMO_DELAY_CHAIN_OP::AUTO_DELAY_CHAIN))
      msg_vdebug_impl(2, "* END Auto Delay Chain : SUCCESS!!!");
    else
      msg_vdebug_impl(2, "* END Auto Delay Chain : FAILED");
  }

  static bool was_printed = false;
  velmo_print_hack_notice(was_printed, __FILE__, __LINE__, kRamPhysicalModesCase, "Process RAM physical modes for KX");
  BAV::translate_current_strengths(true);

  if (cfg_is_on("wexan_pll_delay_chain_opt_post_fit", true) && !cfg_is_on("torvika_compile_with_router_fixup", false)) {
    pll.emplace(env);
    static_cast<WEXAN_PLL_DELAY_CHAINS_OP&>(*pll).work(static_cast<PLL_OPTIMIZATION_MODE>(0));
  }

  power_up.emplace(env);
  power_up->work(1);

  if (env->hov_is_on()) {
    bool kx_default = true;
    if (SWAVO_RECOMPILE_OP::is_recompile_hold_fixup_flow()) {
      static bool was_printed_fixup = false;
      velmo_print_hack_notice(was_printed_fixup, __FILE__, __LINE__, kFixupDeskewCase,
                              "Consider turning on hssi_tx_deskew_op in route fixup in PR");
      kx_default = SWAVO_RECOMPILE_OP::get_previous_routing_networks().size() == 1;
    }
    const bool kx = cfg_is_on("velmo_enable_hssi_kx_tx_deskew_op", kx_default);
    const bool ky = cfg_is_on("velmo_enable_hssi_ky_tx_deskew_op", true);
    const int family = env->get_base_family_code();
    if (family == KY_BASE_FAMILY && ky) {
      ky_deskew.emplace(env->get_chip_db_entry(), env->get_atom_netlist());
      if (ky_deskew->init()) ky_deskew->work();
    } else if (family != KZ_BASE_FAMILY && kx) {
      kx_deskew.emplace(env->get_atom_netlist());
      if (kx_deskew->init()) {
        env->get_hov_utility_or_create_if_necessary(0, 3, 0, false, false, false, false, nullptr, false, false);
        kx_deskew->work();
      }
    }
  }
  return result;
}

bool VELMO_POSTROUTE_OPS::reset_swavo_recompile_to_current() {
  return SWAVO_RECOMPILE_OP::reset_swavo_recompile_to_current();
}
