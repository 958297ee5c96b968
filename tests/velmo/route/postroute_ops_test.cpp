// The route-stage operation list: order, gating and the one-time notices.
#include <string>
#include <vector>

#include "../prefit/expert_fixture.h"
#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "hov/hov_utility.h"
#include "swavo/swavo_recompile_op.h"
#include "velmo_postroute_ops.h"
#include "gen/gen_profile.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "yun/host_yun_env.h"
#include "testing/own_process.h"

using host::testing::Family;
using ::testing::Contains;
using ::testing::Not;

namespace {

class PostRouteOpsTest : public velmo_test::ExpertTest {};

// The merge opens its bin; the netlist update prepares the engine's
// repopulation.
int merges_run() {
  int n = 0;
  for (const auto& e : host::bins::events()) n += e.action == "open" && e.name == "retimer_merge_zotas";
  return n;
}
int preparations() { return host::call_count("YUN_UTILITY::prepare_repopulation"); }

TEST_F(PostRouteOpsTest, DoneOnAZotaDeviceSkipsRepopulationOnlyAndKeepsTheOrder) {
  // The RAM-mode workaround notice is printed once per process.
  if (!host::testing::in_own_process()) return;
  device(Family::KY);
  start();
  HOST_YUN_ENV yun_env;
  host::wexan::set_yun_env(&yun_env);
  host::script::queue<bool>("HSSI_KY_TX_DESKEW_OP::init").push(true);
  EXPECT_TRUE(VELMO_POSTROUTE_OPS::run_route_stage_ops(true));
  EXPECT_EQ(merges_run(), 0);
  EXPECT_EQ(preparations(), 0);
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1, false, false)",
                  "NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::NOLT_PROGRAMMABLE_CLOCK_SKEW_OP",
                  "BAV::translate_current_strengths(true)", "WEXAN_PLL_DELAY_CHAINS_OP::work(0)",
                  "NOLT_FF_POWER_UP_OP::NOLT_FF_POWER_UP_OP", "NOLT_FF_POWER_UP_OP::work(1)",
                  "HSSI_KY_TX_DESKEW_OP::HSSI_KY_TX_DESKEW_OP", "HSSI_KY_TX_DESKEW_OP::init",
                  "HSSI_KY_TX_DESKEW_OP::work", "NOLT_FF_POWER_UP_OP::~NOLT_FF_POWER_UP_OP",
                  "NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::~NOLT_PROGRAMMABLE_CLOCK_SKEW_OP"}));
  // No clock-skew switch is on, no KX deskew on family 46 with KY on.
  EXPECT_EQ(count_calls("NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::work"), 0);
  EXPECT_EQ(count_calls("HSSI_KX_TX_DESKEW_OP::init"), 0);

  // Not done: merging (on by default on ZOTA devices), then the netlist
  // update, before the global taint.
  host::clear_calls();
  EXPECT_TRUE(VELMO_POSTROUTE_OPS::run_route_stage_ops(false));
  EXPECT_EQ(merges_run(), 1);
  EXPECT_EQ(preparations(), 1);
  // The one-time notices appeared once although the list ran twice.
  EXPECT_EQ(count_lines("****** HACK WARNING ******"), 1);
  EXPECT_EQ(count_lines("\tDescription: Process RAM physical modes for KX."), 1);
  EXPECT_THAT(host::debug::texts(),
              ::testing::Contains(::testing::MatchesRegex("\tvelmo_postroute_ops\\.cpp\\([0-9]+\\) contains a hack by "
                                                          "velmo and is tracked by case 412214")));

  // A compile with router fixup leaves the PLL delay chains as they are; the
  // rest of the list still runs.
  cfg_set_on("torvika_compile_with_router_fixup");
  host::clear_calls();
  EXPECT_TRUE(VELMO_POSTROUTE_OPS::run_route_stage_ops(true));
  EXPECT_EQ(count_calls("WEXAN_PLL_DELAY_CHAINS_OP::work"), 0);
  EXPECT_EQ(count_calls("NOLT_FF_POWER_UP_OP::work"), 1);
}

TEST_F(PostRouteOpsTest, ClockSkewTypeIsTheFirstSwitchOn) {
  device(Family::KY);
  start();
  cfg_set_on("velmo_post_fit_apply_clk_delay_chain_settings");
  cfg_set_on("velmo_post_fit_apply_wab_clk_delay_chain_settings");
  cfg_set_on("velmo_run_prog_clk_skew_optimization");
  VELMO_POSTROUTE_OPS::run_route_stage_ops(true);
  EXPECT_THAT(host::call_lines(), Contains("NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::work(0)"));
  EXPECT_EQ(count_calls("NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::work"), 1);

  host::clear_calls();
  host::cfg::unset("velmo_post_fit_apply_clk_delay_chain_settings");
  VELMO_POSTROUTE_OPS::run_route_stage_ops(true);
  EXPECT_THAT(host::call_lines(), Contains("NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::work(1)"));

  host::clear_calls();
  host::cfg::unset("velmo_post_fit_apply_wab_clk_delay_chain_settings");
  VELMO_POSTROUTE_OPS::run_route_stage_ops(true);
  EXPECT_THAT(host::call_lines(), Contains("NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::work(3)"));

  // Without timing-driven compile the optimisation does not run, nor does any
  // transmitter deskew.
  host::clear_calls();
  host::hov::set_on(false);
  VELMO_POSTROUTE_OPS::run_route_stage_ops(true);
  EXPECT_EQ(count_calls("NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::work"), 0);
  EXPECT_EQ(count_calls("HSSI_KY_TX_DESKEW_OP::init"), 0);
}

TEST_F(PostRouteOpsTest, AutomaticDelayChainIsOffByDefaultAndEcoSkipsItUnlessForced) {
  device(Family::KY);
  start();
  VELMO_POSTROUTE_OPS::run_route_stage_ops(true);
  EXPECT_EQ(count_lines("* END Auto Delay Chain : SUCCESS!!!") + count_lines("* END Auto Delay Chain : FAILED"), 0);
  cfg_set_on("wexan_run_auto_delay_chain");
  WEXAN_ECO::current()->set(true, false);
  VELMO_POSTROUTE_OPS::run_route_stage_ops(true);
  EXPECT_EQ(count_lines("* END Auto Delay Chain : SUCCESS!!!") + count_lines("* END Auto Delay Chain : FAILED"), 0);
  cfg_set_on("force_auto_delay_chain_in_eco");
  VELMO_POSTROUTE_OPS::run_route_stage_ops(true);
  EXPECT_EQ(count_lines("* END Auto Delay Chain : SUCCESS!!!") + count_lines("* END Auto Delay Chain : FAILED"), 1);
}

TEST_F(PostRouteOpsTest, KxDeskewRunsOnFamily46WhenKyIsOffAndAsksForTiming) {
  device(Family::KY);
  start();
  cfg_set_off("velmo_enable_hssi_ky_tx_deskew_op");
  VELMO_POSTROUTE_OPS::run_route_stage_ops(true);
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "HSSI_KX_TX_DESKEW_OP::HSSI_KX_TX_DESKEW_OP", "HSSI_KX_TX_DESKEW_OP::init",
                  "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, 0, false, false, false, false, null, "
                  "false, false)",
                  "HSSI_KX_TX_DESKEW_OP::work"}));
  EXPECT_EQ(count_calls("HSSI_KY_TX_DESKEW_OP::init"), 0);

  // A failed init skips the work.
  host::clear_calls();
  host::script::queue<bool>("HSSI_KX_TX_DESKEW_OP::init").push(false);
  VELMO_POSTROUTE_OPS::run_route_stage_ops(true);
  EXPECT_EQ(count_calls("HSSI_KX_TX_DESKEW_OP::work"), 0);
}

// Family 26 has neither transmitter deskew, even when the KX one is asked
// for.
TEST_F(PostRouteOpsTest, Family26RunsNoTransmitterDeskew) {
  device(Family::KZ);
  start();
  cfg_set_on("velmo_enable_hssi_kx_tx_deskew_op");
  VELMO_POSTROUTE_OPS::run_route_stage_ops(true);
  EXPECT_EQ(count_calls("HSSI_KX_TX_DESKEW_OP::HSSI_KX_TX_DESKEW_OP"), 0);
  EXPECT_EQ(count_calls("HSSI_KY_TX_DESKEW_OP::HSSI_KY_TX_DESKEW_OP"), 0);
  EXPECT_EQ(count_calls("NOLT_FF_POWER_UP_OP::~NOLT_FF_POWER_UP_OP"), 1);  // the operations did run
}

TEST_F(PostRouteOpsTest, HoldFixupFlowRunsKxDeskewOnlyForOnePreviousNetwork) {
  // The deskew workaround notice is printed once per process.
  if (!host::testing::in_own_process()) return;
  device(Family::KX);
  start();
  HOST_YUN_ENV yun_env;
  host::wexan::set_yun_env(&yun_env);
  host::swavo::set_hold_fixup_flow(true);
  host::swavo::set_previous_routing_networks({1, 2});
  VELMO_POSTROUTE_OPS::run_route_stage_ops(true);
  EXPECT_EQ(count_calls("HSSI_KX_TX_DESKEW_OP::init"), 0);
  EXPECT_EQ(count_lines("\tDescription: Consider turning on hssi_tx_deskew_op in route fixup in PR."), 1);
  // Not a ZOTA device: the repopulation does not merge by default.
  VELMO_POSTROUTE_OPS::run_route_stage_ops(false);
  EXPECT_EQ(merges_run(), 0);
  EXPECT_EQ(preparations(), 1);

  host::swavo::set_previous_routing_networks({1});
  VELMO_POSTROUTE_OPS::run_route_stage_ops(true);
  EXPECT_EQ(count_calls("HSSI_KX_TX_DESKEW_OP::init"), 1);
  EXPECT_EQ(count_lines("\tDescription: Consider turning on hssi_tx_deskew_op in route fixup in PR."), 1);
}

TEST_F(PostRouteOpsTest, NoEnvironmentIsAnInternalError) {
  device(Family::KY);
  auto e = host::testing::expect_internal_error([] { VELMO_POSTROUTE_OPS::run_route_stage_ops(true); });
  EXPECT_EQ(e.condition, "m_env");
}

}  // namespace
