// The route stage's rules that its sequence tests leave open: the automatic
// delay-chain work after a successful routing run on pipeline-register
// devices, the fix-up iteration's failures and result flags, and post-route
// physical synthesis on the families the option or the run flags do not
// cover.
#include <string>

#include "../prefit/expert_fixture.h"
#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "gen/gen_profile.h"
#include "moz/moz_variable.h"
#include "omz/omz_option.h"
#include "wexan/wexan_env.h"

using host::testing::Family;

namespace {

class RouteRulesTest : public velmo_test::ExpertTest {
protected:
  static int delay_chain_runs() {
    int n = 0;
    for (const auto& e : host::bins::events()) n += e.action == "open" && e.name == "Delay Chain Operations";
    return n;
  }
};

TEST_F(RouteRulesTest, TheAutomaticDelayChainRunsAfterASuccessfulRouteOnPipelineDevices) {
  device(Family::KY);
  VELMO_EXPERT* expert = start();
  EXPECT_TRUE(expert->do_post_route_ops(true));
  EXPECT_EQ(delay_chain_runs(), 1);
  // A failed routing run leaves the chains alone, and so does the switch.
  EXPECT_FALSE(expert->do_post_route_ops(false));
  EXPECT_EQ(delay_chain_runs(), 1);
  cfg_set_value("velmo_enable_post_repop_auto_dc", "off");
  EXPECT_TRUE(expert->do_post_route_ops(true));
  EXPECT_EQ(delay_chain_runs(), 1);
}

// Only devices with routing pipeline slots get the pipeline-register state
// and the global taint after routing, whether their retimer flow runs or not.
TEST_F(RouteRulesTest, DevicesWithoutRoutingPipelineSlotsKeepTheirStateAndRunNoAutomaticDelayChain) {
  device(Family::KX);
  VELMO_EXPERT* expert = start();
  const int state = WEXAN_ENV::get_env()->m_zota_state;
  EXPECT_TRUE(expert->do_post_route_ops(true));
  EXPECT_EQ(delay_chain_runs(), 0);
  EXPECT_EQ(WEXAN_ENV::get_env()->m_zota_state, state);
  EXPECT_EQ(count_calls("WEXAN_ENV::indicate_that_atom_netlist_is_modified"), 0);
  host::testing::device(Family::KY).zota_flow_supported(false).build();
  EXPECT_FALSE(expert->do_post_route_ops(false));
  EXPECT_EQ(WEXAN_ENV::get_env()->m_zota_state, 1);
  EXPECT_EQ(count_call_lines("WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1, false, false)"), 1);
}

// Both result flags are cleared on entry, and an iteration that fails at any
// step (the late placement load, the placer-router's prelude, the fix-up run
// itself) fails as a whole: the locked nodes and the post-route operations
// see the failure.
TEST_F(RouteRulesTest, AFixupIterationThatFailsAnywhereFailsAsAWhole) {
  device(Family::KX);
  VELMO_EXPERT* expert = start();
  bool r1 = true, r2 = true;
  host::script::queue<bool>("MUB_PERIPH_FLOW::late_place_load").push(false);
  EXPECT_FALSE(expert->muvo_post_route_fixup_iter(true, false, r1, r2));
  EXPECT_FALSE(r1);
  EXPECT_FALSE(r2);
  EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::post_route_fixup_iteration"), 0);

  const auto closed_as = [](bool ok) {
    const std::string flag = ok ? "true" : "false";
    EXPECT_EQ(count_call_lines("WEXAN_INCREMENTAL_UTILITY::show_locked_nodes(" + flag + ", false)"), 1) << flag;
    EXPECT_EQ(count_call_lines("WEXAN_SWAVO_RECOMPILE_UTILITY::cache_routing_preservation(" + flag + ")"), 1) << flag;
  };
  host::clear_calls();
  r1 = r2 = true;
  host::script::queue<bool>("WEXAN_JOV_WIRELUT::constrain_wireluts").push(false);
  EXPECT_FALSE(expert->muvo_post_route_fixup_iter(false, false, r1, r2));
  EXPECT_FALSE(r1);
  EXPECT_FALSE(r2);
  EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::post_route_fixup_iteration"), 0);
  closed_as(false);

  host::clear_calls();
  host::script::queue<bool>("TIBEX_VPR_FACADE::post_route_fixup_iteration").push(false);
  EXPECT_FALSE(expert->muvo_post_route_fixup_iter(false, false, r1, r2));
  closed_as(false);

  host::clear_calls();
  EXPECT_TRUE(expert->muvo_post_route_fixup_iter(false, false, r1, r2));
  closed_as(true);
}

// The option turns post-route physical synthesis on only for the families
// its setting variable covers; for the others it stays off unless asked for.
TEST_F(RouteRulesTest, PhysicalSynthesisIsOffForAFamilyTheOptionDoesNotCover) {
  device(Family::KZ);
  VELMO_EXPERT* expert = start();
  host::options::set(683, 1, "on");
  bool run = false;
  ASSERT_TRUE(expert->is_post_route_physical_synthesis_enabled(&run));
  host::moz::exclude_family(683, Family::KZ);
  EXPECT_FALSE(expert->is_post_route_physical_synthesis_enabled(&run));
  cfg_set_on("muvo_post_route_in_finalize");
  EXPECT_TRUE(expert->is_post_route_physical_synthesis_enabled(&run));
}

// Only families 26 and 46 have a run flag of the resynthesis flow: on the
// others the caller's flag is left as it was and neither family's variable
// is filled in.
TEST_F(RouteRulesTest, OtherFamiliesLeaveTheResynthesisRunFlagAlone) {
  device(Family::KX);
  VELMO_EXPERT* expert = start();
  cfg_set_on("muvo_post_route_in_finalize");
  for (const bool before : {false, true}) {
    bool run = before;
    EXPECT_TRUE(expert->is_post_route_physical_synthesis_enabled(&run));
    EXPECT_EQ(run, before);
  }
  EXPECT_EQ(cfg_get_value("muvo_run_post_route_zota_flow"), "");
  EXPECT_EQ(cfg_get_value("muvo_run_post_route_skewopt"), "");
}

}  // namespace
