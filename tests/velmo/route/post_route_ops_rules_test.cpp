// The post-route operations that close every routing run: the netlist dump
// under its switch, the port-model block under its switches, and the closing
// timing-netlist rebuild, on by default only where the device supports the
// retimer and the retimer is enabled; and the place fix-up flow's late
// placement load, only after a probe that succeeded.
#include <filesystem>
#include <vector>

#include "../prefit/expert_fixture.h"
#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "swavo/swavo_recompile_op.h"
#include "tibex/tibex_env.h"
#include "testing/netlist_builder.h"

using host::testing::Family;

namespace {

class PostRouteOpsRulesTest : public velmo_test::ExpertTest {
protected:
  static bool dumped() { return exists("top.before_fitter_post_operations") && exists("top.before_fitter_post_operations.atm"); }
  static void forget_dumps() {
    std::filesystem::remove("top.before_fitter_post_operations");
    std::filesystem::remove("top.before_fitter_post_operations.atm");
  }
  static int rebuilds() { return count_calls("WEXAN_ENV::get_hov_utility_or_create_if_necessary"); }
};

TEST_F(PostRouteOpsRulesTest, TheNetlistIsDumpedBeforeThePostRouteOperationsUnderItsSwitch) {
  device(Family::KY);
  auto n = host::testing::netlist();
  n.reg("r").clk(n.input_port("clk")).d(n.input_port("d"));
  VELMO_EXPERT* expert = start();

  EXPECT_TRUE(expert->do_post_route_ops(true));
  EXPECT_FALSE(exists("top.before_fitter_post_operations")) << "the switch is off by default";

  cfg_set_on("wexan_dump_netlist_before_fitter_post_operations");
  EXPECT_TRUE(expert->do_post_route_ops(true));
  EXPECT_TRUE(dumped());
  // A failed routing run is dumped too: the dump comes before anything that
  // depends on the result.
  forget_dumps();
  EXPECT_FALSE(expert->do_post_route_ops(false));
  EXPECT_TRUE(dumped());
  // The route stage closes with the same operations.
  forget_dumps();
  EXPECT_TRUE(expert->route());
  EXPECT_TRUE(dumped());
  // So is the debug design snapshot, under its own switch.
  cfg_set_on("generate_single_xab_dump_design_snapshot");
  EXPECT_TRUE(expert->do_post_route_ops(true));
  EXPECT_EQ(count_lines("generate_single_xab_dump_design_snapshot set, enabling xab_dump_design_snapshot"), 1);
}

TEST_F(PostRouteOpsRulesTest, TheClosingRebuildFollowsRetimerSupportAndTheRoutingResult) {
  device(Family::KY);
  VELMO_EXPERT* expert = start();
  const auto rebuilds_after = [&](bool ok) {
    host::clear_calls();
    EXPECT_EQ(expert->do_post_route_ops(ok), ok);
    return rebuilds();
  };
  EXPECT_EQ(rebuilds_after(true), 1) << "retimer device, retimer enabled";
  EXPECT_EQ(rebuilds_after(false), 0) << "nothing to rebuild after a failed routing";

  // Pipeline registers in the routing but no retimer flow on this part.
  host::testing::device(Family::KY).zota_flow_supported(false).build();
  EXPECT_EQ(rebuilds_after(true), 0);
  // The retimer turned off on a part that supports it.
  DeviceSpec spec = host::device::spec();
  spec.zota_flow_supported = true;
  spec.zento_retimer_disabled = true;
  host::device::configure(spec);
  EXPECT_EQ(rebuilds_after(true), 0);
  // The switch decides over its default, both ways.
  cfg_set_on("velmo_fit_route_ending_hov_rebuild");
  EXPECT_EQ(rebuilds_after(true), 1);
  EXPECT_EQ(rebuilds_after(false), 0);
  host::testing::device(Family::KY).build();
  cfg_set_off("velmo_fit_route_ending_hov_rebuild");
  EXPECT_EQ(rebuilds_after(true), 0);
}


// The port-model block at the end of routing runs only when asked for; each
// of its three steps then has its own switch, and the R5T directives are off
// by default on family 26.
TEST_F(PostRouteOpsRulesTest, TheRouteEndingPortModelStepsFollowTheirSwitches) {
  device(Family::KY);
  VELMO_EXPERT* expert = start();
  const auto steps = [&] {
    host::clear_calls();
    EXPECT_TRUE(expert->do_post_route_ops(true));
    return std::vector<int>{count_calls("WEXAN_ENV::run_w3j3_postfit"), count_calls("W3J3_CHECK_OP::work"),
                            count_calls("R5T_DIRECTIVE_GENERATOR::generate_directives")};
  };
  EXPECT_EQ(steps(), (std::vector<int>{0, 0, 0})) << "off by default";
  cfg_set_on("velmo_fit_route_ending_run_w3j3_postfit");
  EXPECT_EQ(steps(), (std::vector<int>{1, 1, 1}));
  const char* const switches[] = {"wexan_rebuild_w3j_jev_netlist", "w3j3_run_post_fit_checks",
                                  "w3j3_generate_r5t_directives"};
  for (int i = 0; i < 3; ++i) {
    cfg_set_off(switches[i]);
    std::vector<int> expected{1, 1, 1};
    expected[i] = 0;
    EXPECT_EQ(steps(), expected) << switches[i];
    host::cfg::unset(switches[i]);
  }
  host::testing::device(Family::KZ).build();
  EXPECT_EQ(steps(), (std::vector<int>{1, 1, 0})) << "family 26";
  cfg_set_on("w3j3_generate_r5t_directives");
  EXPECT_EQ(steps(), (std::vector<int>{1, 1, 1})) << "family 26, asked for";
}
}  // namespace

namespace {

// In the place fix-up flow a failed probe of the post-fit probe assignments
// leaves the late placement unloaded and routes nothing.
TEST_F(PostRouteOpsRulesTest, PlaceFixupFlowWithAFailedProbeLoadsAndRoutesNothing) {
  device(Family::KY);
  VELMO_EXPERT* expert = start();
  host::swavo::set_place_fixup_flow(true);
  EXPECT_TRUE(expert->route());
  EXPECT_EQ(count_calls("MUB_PERIPH_FLOW::late_place_load"), 1);
  EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::begin_flow"), 1);
  host::clear_calls();
  TIBEX_ENV::set_vpr20k_facade();
  host::script::queue<bool>("WEXAN_INCREMENTAL_UTILITY::process_postfit_tracelyn_assignments_if_necessary")
      .push(false);
  EXPECT_FALSE(expert->route());
  EXPECT_EQ(count_calls("MUB_PERIPH_FLOW::late_place_load"), 0);
  EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::begin_flow"), 0);
}

}  // namespace
