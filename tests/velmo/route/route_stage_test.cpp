// The route stage: its sequence around the routing run, the post-route
// operations, the push into partitions, the routing-end message, the route
// fix-up iteration and post-route physical synthesis.
#include <string>
#include <vector>

#include "../prefit/expert_fixture.h"
#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "gen/gen_profile.h"
#include "gesk/gesk_bundle.h"
#include "hov/hov_utility.h"
#include "jov/jov_design.h"
#include "kem/kem_timing_model.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "pexa/pexa_utility.h"
#include "swavo/swavo_recompile_op.h"
#include "tibex/tibex_env.h"
#include "velmo_bbic_states.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"

using host::testing::expect_internal_error;
using host::testing::Family;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class RouteStageTest : public velmo_test::ExpertTest {
protected:
  static int routing_end_messages() {
    int n = 0;
    for (const auto& m : host::messages::posted())
      if (m.text.rfind("Fitter routing operations ending: elapsed time is", 0) == 0) ++n;
    return n;
  }
};

// The push-back opens its bin first.
const char* const kPush = "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"bbic_push_routing_to_partitions\"";
int count_push() {
  int n = 0;
  for (const auto& l : host::call_lines()) n += l.rfind(kPush, 0) == 0;
  return n;
}

TEST_F(RouteStageTest, RoutesThenClosesWithThePostRouteOperations) {
  device(Family::KY);
  VELMO_EXPERT* expert = start();
  // The timing model is fetched ahead for the hold-timing purpose.
  host::pexa::set_loaded_timing_model_enum(1, 7);
  EXPECT_TRUE(expert->route());
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "YEB_TIMING_MODEL::get_timing_model_async(1, 1, 7, false, false)",
                  "WEXAN_INCREMENTAL_UTILITY::process_postfit_tracelyn_assignments_if_necessary",
                  "WEXAN_ENV::run_w3j3", "TIBEX_VPR_FACADE::begin_flow(32)", "TIBEX_VPR_FACADE::route(32)",
                  "TIBEX_VPR_FACADE::end_flow(32)", "TIBEX_VPR_FACADE::release",
                  "WEXAN_ENV::report_fitter_status(0, 2)", "MEM_MANAGER::check_memory_guards",
                  "WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1, false, false)",
                  // The retimer's models for the closing timing-netlist rebuild.
                  "yun_utility_factory", "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, [",
                  "WEXAN_JOV_WIRELUT::backannotate_wireluts",
                  "WEXAN_SWAVO_RECOMPILE_UTILITY::cache_routing_preservation(true)",
                  "MEM_MANAGER::check_memory_guards", "WEXAN_ENV::report_fitter_status(95, 2)"}));
  EXPECT_EQ(WEXAN_ENV::get_env()->m_zota_state, 1);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Unloading VPR in route after run_vpr."));
  EXPECT_EQ(routing_end_messages(), 1);
  EXPECT_EQ(count_push(), 0) << "family 46 pushes only for blackboxed partitions";
  // Also when a partition has no routing of its own.
  JOV_ROOT::get()->get_design("")->add_partition("child")->get_state()->set_has_partition_routing(false);
  EXPECT_TRUE(expert->route());
  EXPECT_EQ(count_push(), 0) << "family 46 pushes only for blackboxed partitions";
  velmo_bbic_set_active(true);
  EXPECT_TRUE(expert->route());
  velmo_bbic_set_active(false);
  EXPECT_EQ(count_push(), 1) << "blackboxed partitions get their routing back";

  // Without retimer models the closing rebuild asks for the default model set.
  host::clear_calls();
  host::script::queue<bool>("YUN_UTILITY::no_timing_models").push(true);
  EXPECT_TRUE(expert->do_post_route_ops(true));
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "YUN_UTILITY::get_timing_models",
                                      "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, "
                                      "false, false, null, false, false)"}));

  // A pipeline-register device without the retimer has no closing rebuild.
  DeviceSpec spec = host::device::spec();
  spec.zento_retimer_disabled = true;
  host::device::configure(spec);
  host::clear_calls();
  EXPECT_TRUE(expert->do_post_route_ops(true));
  EXPECT_EQ(count_calls("WEXAN_ENV::get_hov_utility_or_create_if_necessary"), 0);
}

TEST_F(RouteStageTest, AFailedRoutingRunStillClosesAndReports) {
  device(Family::KY);
  VELMO_EXPERT* expert = start();
  host::script::queue<bool>("TIBEX_VPR_FACADE::route").push(false);
  EXPECT_FALSE(expert->route());
  EXPECT_EQ(count_calls("WEXAN_JOV_WIRELUT::backannotate_wireluts"), 0);
  EXPECT_EQ(count_calls("yun_utility_factory"), 0) << "no timing rebuild after a failed routing";
  EXPECT_THAT(host::call_lines(), Contains("WEXAN_SWAVO_RECOMPILE_UTILITY::cache_routing_preservation(false)"));
  EXPECT_EQ(routing_end_messages(), 1);
}

TEST_F(RouteStageTest, SkippingPartitionsDoNothing) {
  device(Family::KY);
  VELMO_EXPERT* expert = start();
  host::wexan::set_all_partitions_can_skip_fitter(true);
  EXPECT_TRUE(expert->route());
  EXPECT_TRUE(host::messages::posted().empty());
  EXPECT_EQ(count_calls("WEXAN_ENV::report_fitter_status"), 0);
  EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::begin_flow"), 0);
}

class RoutePushFamiliesTest : public RouteStageTest, public ::testing::WithParamInterface<int> {};

TEST_P(RoutePushFamiliesTest, PushDecisionFollowsThePartitionRecords) {
  device(GetParam());
  VELMO_EXPERT* expert = start();
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  JOV_PARTITION* child = design->add_partition("child");
  EXPECT_TRUE(expert->route());
  EXPECT_EQ(count_push(), 0) << "every partition answers yes";
  child->get_state()->set_has_partition_routing(false);
  EXPECT_TRUE(expert->route());
  EXPECT_EQ(count_push(), 1);
}

INSTANTIATE_TEST_SUITE_P(Families, RoutePushFamiliesTest, ::testing::Values(Family::KX, 15));

TEST_F(RouteStageTest, PlaceFixupFlowWithAFailedLateLoadRoutesNothing) {
  device(Family::KY);
  VELMO_EXPERT* expert = start();
  host::swavo::set_place_fixup_flow(true);
  host::script::queue<bool>("MUB_PERIPH_FLOW::late_place_load").push(false);
  EXPECT_FALSE(expert->route());
  EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::begin_flow"), 0);
  EXPECT_THAT(host::call_lines(), Contains("WEXAN_SWAVO_RECOMPILE_UTILITY::cache_routing_preservation(false)"));

  // A MUVO fix-up runs the fix-up flow type 8; otherwise the route flow.
  host::clear_calls();
  host::swavo::set_place_fixup_muvo(true);
  EXPECT_TRUE(expert->route());
  EXPECT_THAT(host::call_lines(), Contains("TIBEX_VPR_FACADE::run_flow_8_fixup(8)"));
  host::clear_calls();
  host::swavo::set_place_fixup_muvo(false);
  EXPECT_TRUE(expert->route());
  EXPECT_THAT(host::call_lines(), Contains("TIBEX_VPR_FACADE::prepare_fixup_route(32)"));
  // The placer-router is released after the fix-up run too, unless that is
  // switched off.
  EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::release"), 1);
  cfg_set_off("velmo_route_unload_vpr_after_run_vpr");
  host::clear_calls();
  EXPECT_TRUE(expert->route());
  EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::release"), 0);
}

TEST_F(RouteStageTest, ChangedPortsNeedAChangedNetlist) {
  device(Family::KX);
  VELMO_EXPERT* expert = start();
  const std::string name = "WEXAN_INCREMENTAL_UTILITY::process_postfit_tracelyn_assignments_if_necessary";
  host::script::queue<bool>(name + ":ports_changed").push(true);
  auto e = expect_internal_error([&] { expert->route(); });
  EXPECT_EQ(e.condition, "netlist_changed");
  EXPECT_EQ(e.tag, "VELMO");
  EXPECT_EQ(e.file, "velmo_expert_route");

  // A failed probe update skips the routing run.
  host::clear_calls();
  host::script::queue<bool>(name).push(false);
  EXPECT_FALSE(expert->route());
  EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::begin_flow"), 0);

  // Changed ports of a changed netlist are translated again before routing.
  const std::string translation = "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"Port Translation\"";
  host::clear_calls();
  host::script::queue<bool>(name + ":ports_changed").push(true);
  host::script::queue<bool>(name + ":netlist_changed").push(true);
  EXPECT_TRUE(expert->route());
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{translation, "TIBEX_VPR_FACADE::route"}));

  // A changed netlist whose ports stayed needs no translation.
  host::clear_calls();
  host::script::queue<bool>(name + ":netlist_changed").push(true);
  EXPECT_TRUE(expert->route());
  EXPECT_THAT(host::call_lines(), Not(Contains(::testing::StartsWith(translation))));
}

TEST_F(RouteStageTest, PostRouteOperationsNeedTheReuseUtilityAndABundle) {
  device(Family::KY);
  VELMO_EXPERT* expert = start();
  cfg_set_on("velmo_fit_route_ending_run_w3j3_postfit");
  EXPECT_TRUE(expert->do_post_route_ops(true));
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{"GEN_PROFILE_BINS::open_with_tag(\"VELMO\", "
                                                    "\"VELMO_EXPERT::do_post_route_ops\", 2147483647, "
                                                    "\"Postfit - Other\", \"Route Post-Processing\")",
                                                    "WEXAN_ENV::run_w3j3_postfit", "W3J3_CHECK_OP::work",
                                                    "R5T_DIRECTIVE_GENERATOR::create(46",
                                                    "R5T_DIRECTIVE_GENERATOR::generate_directives",
                                                    "R5T_DIRECTIVE_GENERATOR::~R5T_DIRECTIVE_GENERATOR"}));
  host::gesk::load(false, false);
  EXPECT_EQ(expect_internal_error([&] { expert->do_post_route_ops(true); }).condition, "bundle != NULL");
  EXPECT_FALSE(expert->do_post_route_ops(false)) << "nothing of the block runs without success";

  host::wexan::set_reuse_utility(false);
  EXPECT_EQ(expect_internal_error([&] { expert->do_post_route_ops(true); }).condition,
            "incremental_utility != 0");
}

TEST_F(RouteStageTest, FixupIterationBracketsTheFacadeAndReports) {
  device(Family::KY);
  VELMO_EXPERT* expert = start();
  bool r1 = true, r2 = false;
  host::script::queue<bool>("TIBEX_VPR_FACADE::post_route_fixup_iteration:result2").push(true);
  EXPECT_TRUE(expert->muvo_post_route_fixup_iter(true, true, r1, r2));
  EXPECT_FALSE(r1);
  EXPECT_TRUE(r2);
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "norbo_unroute_rowclocks", "WEXAN_ENV::run_w3j3", "TIBEX_VPR_FACADE::release",
                  "TIBEX_VPR_FACADE::begin_flow(8)", "TIBEX_VPR_FACADE::post_route_fixup_iteration(8)",
                  "TIBEX_VPR_FACADE::end_flow(8)", "WEXAN_ENV::report_fitter_status(0, 2)"}));
  EXPECT_EQ(routing_end_messages(), 1);
  // So does the first iteration on a pipeline-register part without the
  // retimer flow: it has row clocks, and no late placement to load.
  host::testing::device(Family::KY).zota_flow_supported(false).build();
  host::clear_calls();
  EXPECT_TRUE(expert->muvo_post_route_fixup_iter(true, false, r1, r2));
  EXPECT_EQ(count_calls("norbo_unroute_rowclocks"), 1);
  EXPECT_EQ(count_calls("MUB_PERIPH_FLOW::late_place_load"), 0);

  // Later iterations reset the recompile state first.
  host::clear_calls();
  EXPECT_TRUE(expert->muvo_post_route_fixup_iter(false, false, r1, r2));
  EXPECT_THAT(host::call_lines(), Contains("SWAVO_RECOMPILE_OP::reset_swavo_recompile_to_current()"));
  EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::release"), 0);

  // Without a facade the iteration stops, as global routing does.
  TIBEX_VPR_FACADE* facade = TIBEX_ENV::get_vpr_facade();
  TIBEX_ENV::clear_vpr_facade();
  EXPECT_EQ(expect_internal_error([&] { expert->muvo_post_route_fixup_iter(false, false, r1, r2); }).condition,
            "vpr");
  EXPECT_EQ(expect_internal_error([&] { expert->global_route(); }).condition, "vpr");
  delete facade;
  TIBEX_ENV::set_vpr20k_facade();
}

TEST_F(RouteStageTest, FixupIterationWithAFailedLateLoadOnAPlainDevice) {
  device(Family::KX);
  VELMO_EXPERT* expert = start();
  bool r1 = false, r2 = false;
  host::script::queue<bool>("MUB_PERIPH_FLOW::late_place_load").push(false);
  EXPECT_FALSE(expert->muvo_post_route_fixup_iter(true, false, r1, r2));
  EXPECT_EQ(count_calls("WEXAN_ENV::run_w3j3"), 0);
  EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::begin_flow"), 0);
  EXPECT_EQ(routing_end_messages(), 1);
}

TEST_F(RouteStageTest, MuvoFlagOnFamily46) {
  device(Family::KY);
  VELMO_EXPERT* expert = start();
  cfg_set_on("muvo_post_route_in_finalize");
  bool run = false;
  EXPECT_TRUE(expert->is_post_route_physical_synthesis_enabled(&run));
  EXPECT_TRUE(run);
  EXPECT_EQ(cfg_get_value("muvo_run_post_route_zota_flow"), "1");

  cfg_set_value("muvo_run_post_route_zota_flow", "0");
  EXPECT_TRUE(expert->is_post_route_physical_synthesis_enabled(&run));
  EXPECT_FALSE(run);
  // A setting that is no number leaves the flow off.
  cfg_set_value("muvo_run_post_route_zota_flow", "x");
  run = true;
  EXPECT_TRUE(expert->is_post_route_physical_synthesis_enabled(&run));
  EXPECT_FALSE(run);
  cfg_set_value("muvo_post_route_zota_tricks", "x");
  EXPECT_TRUE(expert->is_post_route_physical_synthesis_enabled(&run));
  EXPECT_TRUE(run);
  // With tricks asked for, the flow variable is not filled in.
  host::cfg::unset("muvo_run_post_route_zota_flow");
  run = false;
  EXPECT_TRUE(expert->is_post_route_physical_synthesis_enabled(&run));
  EXPECT_TRUE(run);
  EXPECT_EQ(cfg_get_value("muvo_run_post_route_zota_flow"), "");

  velmo_bbic_set_active(true);
  EXPECT_FALSE(expert->is_post_route_physical_synthesis_enabled(&run));
  velmo_bbic_set_active(false);
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("Post-Route Physical Synthesis skipped because its in BBIC flow."));

  host::swavo::set_spar_gave_up(true);
  run = false;
  EXPECT_FALSE(expert->is_post_route_physical_synthesis_enabled(&run));
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("Post-Route Physical Synthesis skipped because SPAR wasn't able to close on hold."));
}

TEST_F(RouteStageTest, MuvoFlagOnFamily26AndTheOptionDefault) {
  device(Family::KZ);
  VELMO_EXPERT* expert = start();
  bool run = false;
  // Option 683 absent: off by default, the flag untouched.
  EXPECT_FALSE(expert->is_post_route_physical_synthesis_enabled(&run));
  EXPECT_EQ(cfg_get_value("muvo_run_post_route_skewopt"), "");
  // Present but off: still off.
  host::options::set(683, 1, "off");
  EXPECT_FALSE(expert->is_post_route_physical_synthesis_enabled(&run));
  EXPECT_EQ(cfg_get_value("muvo_run_post_route_skewopt"), "");
  host::options::set(683, 1, "on");
  EXPECT_TRUE(expert->is_post_route_physical_synthesis_enabled(&run));
  EXPECT_TRUE(run);
  EXPECT_EQ(cfg_get_value("muvo_run_post_route_skewopt"), "on");
  // The guard option 682, where present, must be on as well.
  host::options::set(682, 1, "on");
  EXPECT_TRUE(expert->is_post_route_physical_synthesis_enabled(&run));
  // A user's own setting of the run flag is kept.
  cfg_set_value("muvo_run_post_route_skewopt", "off");
  EXPECT_TRUE(expert->is_post_route_physical_synthesis_enabled(&run));
  EXPECT_FALSE(run);
  EXPECT_EQ(cfg_get_value("muvo_run_post_route_skewopt"), "off");
  host::options::set(682, 1, "off");
  EXPECT_FALSE(expert->is_post_route_physical_synthesis_enabled(&run));
  // Off family 46 no full timing-netlist rebuild follows the iterations.
  cfg_set_value("test_incremental_retiming", "off");
  cfg_set_value("test_incremental_resynthesis", "off");
  EXPECT_TRUE(expert->post_route_physical_synthesis(false));
  EXPECT_EQ(count_calls("HOV_ACCESSORIES::refresh"), 0);

  host::hov::set_on(false);
  host::options::unset(682);
  EXPECT_FALSE(expert->is_post_route_physical_synthesis_enabled(&run));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Post-Route Physical Synthesis skipped because Timing Driven "
                                                 "Compile (HOV) is disabled."));
}

TEST_F(RouteStageTest, PhysicalSynthesisIteratesAndRebuildsOnFamily46) {
  device(Family::KY);
  VELMO_EXPERT* expert = start();
  cfg_set_value("muvo_post_route_iter_cnt", "2");
  // The retimer and the resynthesiser need a timing netlist this design has
  // not got.
  cfg_set_value("test_incremental_retiming", "off");
  cfg_set_value("test_incremental_resynthesis", "off");
  EXPECT_TRUE(expert->post_route_physical_synthesis(true));
  EXPECT_EQ(count_calls("muvo"), 2);
  // Without a timing netlist the rebuild uses the default slow model.
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "HOV_ACCESSORIES::refresh",
                  "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, [" +
                      KEM_TIMING_MODEL::create_default_timing_model(nullptr, 0).get_name() +
                      "], false, false, true, false, null, false, false)"}));

  // No iteration, but the full rebuild still runs.
  host::clear_calls();
  cfg_set_value("muvo_post_route_iter_cnt", "0");
  EXPECT_TRUE(expert->post_route_physical_synthesis(true));
  EXPECT_EQ(count_calls("muvo"), 0);
  EXPECT_EQ(count_calls("HOV_ACCESSORIES::refresh"), 1);

  // Unset, one iteration.
  host::clear_calls();
  host::cfg::unset("muvo_post_route_iter_cnt");
  EXPECT_TRUE(expert->post_route_physical_synthesis(true));
  EXPECT_EQ(count_calls("muvo"), 1);

  // Left unset, both steps run, the retimer first.
  host::cfg::unset("test_incremental_retiming");
  host::cfg::unset("test_incremental_resynthesis");
  EXPECT_TRUE(expert->post_route_physical_synthesis(false));
  EXPECT_EQ(count_calls("muvo"), 1) << "the resynthesis flow was not asked for";
  std::vector<std::string> opened;
  for (const auto& event : host::bins::events())
    if (event.action == "open") opened.push_back(event.name);
  EXPECT_THAT(opened, CallSequence(std::vector<std::string>{"Post-Route Incremental Retimer",
                                                            "Post-Route Incremental Resynthesis"}));

  // With a timing netlist held, each step of the iteration is checked against
  // a full update when that is asked for, and the closing rebuild is on the
  // netlist's loaded corners.
  host::testing::netlist().timing();
  cfg_set_on("velmo_verify_incremental_hep");
  host::clear_calls();
  EXPECT_TRUE(expert->post_route_physical_synthesis(true));
  EXPECT_EQ(count_calls("sta_debug_remember_last_traversal_settings"), 3);
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "HOV_ACCESSORIES::refresh",
                                      "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, [1_slow_900mv_100c, "
                                      "1_fast_900mv_-40c], false, false, true, false, null, false, false)"}));
}

}  // namespace
