// Finalize-stage rules seen from outside: a failed route fix-up or post-fit
// retiming fails the stage, the parasitic hold fixing runs only where the
// retimer runs, the skip path routes probe changes only after a probe that
// succeeded and merges registers only when it routed, blackboxed partitions
// and the early-access flow get no port-model refresh, and the timing netlist
// is loaded, once, only from the compile database or for the retimer.
#include <algorithm>
#include <string>
#include <vector>

#include "../prefit/expert_fixture.h"
#include "cfg/cfg.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "jov/jov_design.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/netlist_builder.h"
#include "testing/routing_builder.h"
#include "tibex/tibex_env.h"
#include "velmo_bbic_states.h"
#include "velmo_yun_env.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"

using host::testing::Family;

namespace {

class FinalizeStageRulesTest : public velmo_test::ExpertTest {
protected:
  VELMO_EXPERT* begin(int family, bool retimer = true) {
    host::testing::device(family).zota_flow_supported(retimer).build();
    auto n = host::testing::netlist();
    n.reg("r").clk(n.input_port("clk")).d(n.input_port("d"));
    host::testing::routing().attach();
    return start();
  }
  static bool finished() { return count_call_lines("WEXAN_ENV::report_fitter_status(100, 2)") == 1; }
  static int kem_loads() {
    int n = 0;
    for (const auto& l : host::call_lines())
      n += l.rfind("WEXAN_ENV::get_hov_utility_or_create_if_necessary(2, 3, 5, ", 0) == 0;
    return n;
  }
  static int merges() {
    int n = 0;
    for (const auto& l : host::call_lines())
      n += l.rfind("GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"retimer_merge_zotas\"", 0) == 0;
    return n;
  }
  // A stage whose `step` fails once fails and skips its closing steps; the
  // same design then finishes.
  static void fails_once_then_finishes(VELMO_EXPERT* expert, const std::string& step) {
    host::script::queue<bool>(step).push(false);
    EXPECT_FALSE(expert->finalize()) << step;
    EXPECT_FALSE(finished()) << step;
    host::clear_calls();
    TIBEX_ENV::set_vpr20k_facade();  // the stage unloads the placer-router
    EXPECT_TRUE(expert->finalize()) << step;
    EXPECT_TRUE(finished()) << step;
  }
  static void skip_path() {
    host::swavo::set_user_flow(true);
    host::swavo::set_skippable_snapshot(9, true);
    host::swavo::set_skippable_snapshot(10, true);
    cfg_set_off("velmo_finalize_spar_flow");
  }
};

TEST_F(FinalizeStageRulesTest, AFailedRouteFixupFailsTheStage) {
  fails_once_then_finishes(begin(Family::KX), "TIBEX_VPR_FACADE::finalize");
}

TEST_F(FinalizeStageRulesTest, TheSkipPathMergesPipelineRegistersOnlyAfterARoutingThatSucceeded) {
  VELMO_EXPERT* expert = begin(Family::KY);
  skip_path();
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(merges(), 1);
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "TIBEX_VPR_FACADE::route(32)",
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"retimer_merge_zotas\""}));
  host::clear_calls();
  TIBEX_ENV::set_vpr20k_facade();
  host::script::queue<bool>("TIBEX_VPR_FACADE::route").push(false);
  EXPECT_FALSE(expert->finalize());
  EXPECT_EQ(merges(), 0);
  EXPECT_FALSE(finished());
}

// On the skip path a probe that changed the netlist or its ports has the
// probe connections marked unrouted and routed; a probe that failed marks
// nothing and fails the stage, even when a re-route asked for regardless
// succeeds (the post-fit changes were never applied).
TEST_F(FinalizeStageRulesTest, TheSkipPathRoutesProbeChangesOnlyAfterAProbeThatSucceeded) {
  VELMO_EXPERT* expert = begin(Family::KY);
  skip_path();
  const std::string probe = "WEXAN_INCREMENTAL_UTILITY::process_postfit_tracelyn_assignments_if_necessary";
  struct CASE {
    bool ok, netlist, ports, routed;
  };
  for (const bool regardless : {false, true}) {
    regardless ? cfg_set_on("sr_finalize_nochange_run_router") : cfg_set_off("sr_finalize_nochange_run_router");
    for (const CASE& c : {CASE{true, true, false, true}, CASE{true, false, true, true},
                          CASE{true, false, false, false}, CASE{false, true, true, false}}) {
      SCOPED_TRACE(::testing::Message() << "regardless " << regardless << " ok " << c.ok << " netlist " << c.netlist
                                        << " ports " << c.ports);
      host::clear_calls();
      host::script::queue<bool>(probe).push(c.ok);
      host::script::queue<bool>(probe + ":netlist_changed").push(c.netlist);
      host::script::queue<bool>(probe + ":ports_changed").push(c.ports);
      EXPECT_EQ(expert->finalize(), c.ok);
      EXPECT_EQ(finished(), c.ok);
      EXPECT_EQ(count_call_lines("WEXAN_INCREMENTAL_UTILITY::set_has_unrouted_postfit_tracelyn_connections(true)"),
                c.routed ? 1 : 0);
      EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::route"), c.routed || regardless ? 1 : 0);
      TIBEX_ENV::set_vpr20k_facade();  // the stage unloads the placer-router
    }
  }
  // The skip path cannot go on without the netlist reuse utility.
  host::wexan::set_reuse_utility(false);
  EXPECT_EQ(host::testing::expect_internal_error([&] { expert->finalize(); }).condition, "incr_util");
}

// A probe that changed the netlist or its ports marks the whole netlist
// changed before its connections are routed, unless its taint switch is off;
// the marking follows the switch and the change, nothing else.
TEST_F(FinalizeStageRulesTest, TheProbeTaintsTheWholeNetlistOnlyAfterAChangeAndWithItsSwitchOn) {
  VELMO_EXPERT* expert = begin(Family::KY);
  skip_path();
  const std::string probe = "WEXAN_INCREMENTAL_UTILITY::process_postfit_tracelyn_assignments_if_necessary";
  for (const bool taint : {true, false}) {
    for (const bool changed : {true, false}) {
      SCOPED_TRACE(::testing::Message() << "taint " << taint << " changed " << changed);
      taint ? cfg_set_on("velmo_pre_spar_spam_global_taint") : cfg_set_off("velmo_pre_spar_spam_global_taint");
      host::clear_calls();
      host::script::queue<bool>(probe + ":ports_changed").push(changed);
      EXPECT_TRUE(expert->finalize());
      const std::vector<std::string> lines = host::call_lines();
      const auto from =
          std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(probe, 0) == 0; });
      ASSERT_NE(from, lines.end());
      const auto to = std::find_if(from, lines.end(), [](const std::string& l) {
        return l.rfind("TIBEX_VPR_FACADE::begin_flow", 0) == 0;
      });
      ASSERT_NE(to, lines.end()) << "the skip path re-routes";
      EXPECT_EQ(std::count_if(from, to,
                              [](const std::string& l) {
                                return l.rfind("WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1", 0) == 0;
                              }),
                taint && changed ? 1 : 0);
      EXPECT_EQ(count_call_lines("WEXAN_INCREMENTAL_UTILITY::set_has_unrouted_postfit_tracelyn_connections(true)"),
                changed ? 1 : 0);
      TIBEX_ENV::set_vpr20k_facade();  // the stage unloads the placer-router
    }
  }
}

TEST_F(FinalizeStageRulesTest, BlackboxedPartitionsAndTheEarlyAccessFlowGetNoPortModelRefresh) {
  VELMO_EXPERT* expert = begin(Family::KY, false);
  JOV_ROOT::get()->get_design("")->set_current_snapshot_str("final");
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(count_calls("WEXAN_ENV::run_w3j3"), 1);
  host::clear_calls();
  TIBEX_ENV::set_vpr20k_facade();
  velmo_bbic_set_active(true);
  EXPECT_TRUE(expert->finalize());
  velmo_bbic_set_active(false);
  // Only the restore of the full contents refreshes it, after the push-back.
  EXPECT_EQ(count_calls("WEXAN_ENV::run_w3j3"), 1);
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"bbic_push_routing_to_partitions\"",
                                      "WEXAN_ENV::run_w3j3"}));
  // The early-access flow (forced on the Nimbrel snapshot) has none at all.
  host::clear_calls();
  TIBEX_ENV::set_vpr20k_facade();
  JOV_ROOT::get()->get_design("")->set_current_snapshot(11);
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(count_calls("WEXAN_ENV::run_w3j3"), 0);
}

TEST_F(FinalizeStageRulesTest, TheTimingNetlistIsLoadedForTheRetimerOnly) {
  // No timing netlist in the compile database: a pipeline-register device
  // loads one only when it runs the retimer.
  VELMO_EXPERT* expert = begin(Family::KY, false);
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(kem_loads(), 0);
  host::clear_calls();
  TIBEX_ENV::set_vpr20k_facade();
  host::testing::device(Family::KY).build();
  WEXAN_ENV::get_env()->delete_hov_utility_completely();
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(kem_loads(), 1);
  // One that is there already is kept.
  host::clear_calls();
  TIBEX_ENV::set_vpr20k_facade();
  ASSERT_NE(WEXAN_ENV::get_env()->get_hov_utility_ptr(), nullptr);
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(kem_loads(), 0);
  // A stale one stops the hold-fix re-route before it starts.
  host::clear_calls();
  TIBEX_ENV::set_vpr20k_facade();
  WEXAN_ENV::get_env()->indicate_that_atom_netlist_is_modified();
  EXPECT_EQ(host::testing::expect_internal_error([&] { expert->finalize(); }).condition,
            "m_env->hov_utility_reflects_atom_netlist_exactly()");
  EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::begin_flow"), 0);
  host::clear_calls();
  TIBEX_ENV::set_vpr20k_facade();
  host::testing::device(Family::KX).build();
  WEXAN_ENV::get_env()->delete_hov_utility_completely();
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(kem_loads(), 0);
}

TEST_F(FinalizeStageRulesTest, AFailedPostFitRetimingFailsTheStage) {
  VELMO_EXPERT* expert = begin(Family::KY);
  VELMO_YUN_ENV yun_env;
  host::wexan::set_yun_env(&yun_env);
  cfg_set_on("wexan_enable_post_route_yun");
  fails_once_then_finishes(expert, "YUN_UTILITY::retime");
  host::wexan::set_yun_env(nullptr);
}

TEST_F(FinalizeStageRulesTest, ParasiticHoldFixingRunsOnlyWhereTheRetimerRunsAndItsSwitchesAreOn) {
  VELMO_EXPERT* expert = begin(Family::KY);
  const auto hold_fixing = [&] {
    host::clear_calls();
    expert->do_post_finalize_ops(true);
    int n = 0;
    for (const auto& l : host::call_lines())
      n += l.rfind("GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::do_post_finalize_hold_fixing\"", 0) == 0;
    return n;
  };
  EXPECT_EQ(hold_fixing(), 1);
  // Not after a failed stage.
  host::clear_calls();
  expert->do_post_finalize_ops(false);
  EXPECT_EQ(count_calls("GEN_PROFILE_BINS::open_with_tag"), 1) << "only the operations' own bin";
  // Not in the early-access flow (the Nimbrel snapshot forces it).
  JOV_ROOT::get()->get_design("")->set_current_snapshot(11);
  EXPECT_EQ(hold_fixing(), 0);
  JOV_ROOT::get()->get_design("")->set_current_snapshot_str("final");
  EXPECT_EQ(hold_fixing(), 1);
  for (const char* name : {"velmo_finalize_spar_flow", "fit_finalize_runs_parasitics_hold_fixing"}) {
    cfg_set_off(name);
    EXPECT_EQ(hold_fixing(), 0) << name;
    cfg_set_on(name);
  }
  // A part without the retimer flow, and one with the retimer turned off.
  host::testing::device(Family::KY).zota_flow_supported(false).build();
  EXPECT_EQ(hold_fixing(), 0);
  DeviceSpec spec = host::device::spec();
  spec.zota_flow_supported = true;
  spec.zento_retimer_disabled = true;
  host::device::configure(spec);
  EXPECT_EQ(hold_fixing(), 0);
}

}  // namespace
