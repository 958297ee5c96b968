// The finalize stage end to end on the device and flow classes: a device
// without pipeline registers (route fix-up run), a pipeline-register device
// without and with the retimer (hold-fix re-route), the incremental-recompile
// skip path, the timing-analyzer reports, the emulation exit and the final
// periphery-transfer check.
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "../prefit/expert_fixture.h"
#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "common/host_clock.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "hov/hov_utility.h"
#include "jov/jov_design.h"
#include "kiv/kiv_model.h"
#include "kem/kem_manager.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/netlist_builder.h"
#include "testing/own_process.h"
#include "testing/routing_builder.h"
#include "tibex/tibex_env.h"
#include "velmo_bbic_states.h"
#include "wexan/wexan_env.h"

using host::testing::expect_internal_error;
using host::testing::Family;
using ::testing::Contains;
using ::testing::Not;

namespace {

class FinalizeFlowTest : public velmo_test::ExpertTest {
protected:
  // `more` adds atoms to the design before the fitter starts.
  VELMO_EXPERT* begin(int family, bool retimer = true,
                      const std::function<void(host::testing::NETLIST_BUILDER&)>& more = nullptr) {
    host::testing::device(family).zota_flow_supported(retimer).build();
    auto n = host::testing::netlist();
    n.reg("r").clk(n.input_port("clk")).d(n.input_port("d"));
    if (more) more(n);
    host::testing::routing().attach();
    return start();
  }
  // A sector-level clock gate of a group whose clock output drives nothing.
  static void dead_clock_gate(host::testing::NETLIST_BUILDER& n) {
    auto g = n.atom(VOK_ATOM_KIND::SECTOR_CLK_GATE, "dead_gate").input(DB_INPUT_PORT_CLK, 0, n.input_port("gclk"));
    g->add_output_term(DB_OUTPUT_PORT_CLK_GATE, 0);
    R5T_INTERFACE::get_or_create_instance()->set_atom_metadata(
        g.id(), PELK::intern(4, "SECTOR_LEVEL_CLK_GATE_GROUP"), PELK::intern(4, "G0"));
  }
  static bool has_atom(const std::string& name) { return host::testing::netlist().find(name) != nullptr; }
  static int messages_starting(const std::string& text) {
    int count = 0;
    for (const auto& m : host::messages::posted()) count += m.text.rfind(text, 0) == 0;
    return count;
  }
};

TEST_F(FinalizeFlowTest, DeviceWithoutPipelineRegistersRunsTheRouteFixup) {
  VELMO_EXPERT* expert = begin(Family::KX);
  // The compile database holds a timing netlist: finalize loads it.
  KIV_STATE* state = JOV_ROOT::get()->get_design("")->get_current_state();
  ASSERT_NE(state, nullptr);
  auto* model = new KIV_MODEL();
  model->header().set_path(KIV_PATH({"db", "final", "timing_netlist"}));
  model->header().set_type("timing_netlist");
  state->add_model(model);
  EXPECT_TRUE(expert->finalize());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Checking for timing model at db/final/timing_netlist"));
  EXPECT_THAT(host::call_lines(), Contains("WEXAN_ENV::get_hov_utility_or_create_if_necessary(2, 3, 5, false, false, "
                                           "false, false, null, false, false)"));
  // This family has its dangling clock routing cleaned up first.
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"velmo_finalize\"",
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"Cleanup Dangling Clock Routing\"",
                                      "WEXAN_ENV::run_w3j3",
                                      "TIBEX_VPR_FACADE::begin_flow(32)",
                                      "TIBEX_VPR_FACADE::prepare_finalize(32)",
                                      "TIBEX_VPR_FACADE::end_flow(32)",
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::do_post_finalize_ops\"",
                                      "WEXAN_SWAVO_RECOMPILE_UTILITY::cache_routing_preservation(true)",
                                      "WEXAN_ENV::report_fitter_status(100, 2)",
                                      "GEN_PROFILE_BINS::close(\"velmo_finalize\")"}));
  EXPECT_THAT(host::call_names(), Not(Contains("WEXAN_UNLOAD::unload_device_data")));
  // The fix-up is the placer-router's finalize run, not a routing run.
  EXPECT_THAT(host::call_names(), Not(Contains("TIBEX_VPR_FACADE::prepare_route")));
  EXPECT_EQ(messages_starting("Fitter post-fit operations ending: elapsed time is"), 1);
  EXPECT_EQ(messages_starting("Fitter post-routing fixup operations ending"), 0);
}

TEST_F(FinalizeFlowTest, AnUnmodifiablePartitionRebuildsTheTimingNetlistThoughTheDatabaseHoldsOne) {
  VELMO_EXPERT* expert = begin(Family::KX);
  auto* model = new KIV_MODEL();
  model->header().set_path(KIV_PATH({"db", "final", "timing_netlist"}));
  model->header().set_type("timing_netlist");
  JOV_ROOT::get()->get_design("")->get_current_state()->add_model(model);
  VOK_ATOM_NETLIST kept;
  kept.set_modifiable(false);
  JOV_PARTITION* partition = JOV_ROOT::get()->get_design("")->add_partition("kept");
  partition->get_state()->set_atom_netlist(&kept);
  EXPECT_TRUE(expert->finalize());
  partition->get_state()->set_atom_netlist(nullptr);
  EXPECT_THAT(host::call_lines(), Contains(::testing::StartsWith(
                                      "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, 5, ")));
  EXPECT_THAT(host::call_lines(), Not(Contains(::testing::StartsWith(
                                      "WEXAN_ENV::get_hov_utility_or_create_if_necessary(2, 3, 5, "))));
}

TEST_F(FinalizeFlowTest, PipelineRegisterDeviceWithoutTheRetimerRoutesNothing) {
  VELMO_EXPERT* expert = begin(Family::KY, false);
  EXPECT_TRUE(expert->finalize());
  EXPECT_THAT(host::call_names(), Not(Contains("TIBEX_VPR_FACADE::begin_flow")));
  EXPECT_THAT(host::call_names(), Not(Contains("WEXAN_UNLOAD::unload_device_data")));
  EXPECT_EQ(WEXAN_ENV::get_env()->m_zota_state, 1);
  EXPECT_EQ(messages_starting("Fitter post-fit operations ending: elapsed time is"), 1);
  // No post-route synthesis and no timing-analyzer reports without their
  // switches.
  EXPECT_THAT(host::call_lines(), Not(Contains(::testing::StartsWith(
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"Post-Route Incremental"))));
  EXPECT_THAT(host::call_lines(), Not(Contains(::testing::StartsWith(
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"velmo_finalize_create_sta_reports\""))));
}

TEST_F(FinalizeFlowTest, RetimerDeviceRunsTheHoldFixReroute) {
  VELMO_EXPERT* expert = begin(Family::KY, true, dead_clock_gate);
  host::swavo::set_spar_modified_atom_ids({1});
  cfg_set_on("fit_spar_ending_kem_rebuild");
  cfg_set_on("velmo_dump_post_spar_atmx");
  ASSERT_TRUE(has_atom("dead_gate"));
  EXPECT_TRUE(expert->finalize());
  // The dump after the re-route is of the whole hierarchy.
  EXPECT_THAT(host::call_lines(),
              Contains(::testing::MatchesRegex(
                  "ZEL_ATOM_DUMPER::dump_current_atom_netlist\\(\".*\\.post_spar\\.atm\", true\\)")));
  // Asked for, the re-route ends with a plain timing-netlist rebuild.
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "GEN_PROFILE_BINS::close(\"velmo_finalize_run_repop\")",
                  "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, null, false, "
                  "false)",
                  "CMP_FACADE::notify_timing_netlist_changed(1)",
                  "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::do_post_finalize_ops\""}));
  // The placer-router is unloaded between the re-route and the
  // repopulation.
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"spar_preamble\"",
                                      "SWAVO_RECOMPILE_OP::parse_recompile_argument(\"routed -hold_fixup\")",
                                      "GEN_PROFILE_BINS::close(\"spar_preamble\")",
                                      "WEXAN_UNLOAD::unload_device_data(2)",
                                      "sta_mark_sccs_as_potentially_stale",
                                      "TIBEX_VPR_FACADE::begin_flow(32)",
                                      "WEXAN_UNLOAD::reload_device_data(2)",
                                      "TIBEX_VPR_FACADE::~TIBEX_VPR_FACADE",
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"velmo_finalize_run_repop\"",
                                      "GEN_PROFILE_BINS::close(\"velmo_finalize_run_repop\")",
                                      "WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1",
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::do_post_finalize_ops\"",
                                      "WEXAN_ENV::report_fitter_status(100, 2)"}));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Performing post finalize hold fixing operations..."));
  EXPECT_EQ(messages_starting("Fitter post-routing fixup operations ending: elapsed time is"), 1);
  EXPECT_EQ(messages_starting("Fitter post-fit operations ending: elapsed time is"), 1);
  // The cleanup after the re-route swept the clock gate that drives nothing.
  EXPECT_FALSE(has_atom("dead_gate"));
  EXPECT_FALSE(exists("post_spar_routing.echo")) << "the routing dump is off by default";
}

// Blackboxed partitions get their routing pushed and their contents back
// before the timing netlist is rebuilt for the closing passes; the one in the
// compile database, made for the shells, is not loaded.
TEST_F(FinalizeFlowTest, BlackboxedContentsComeBackBeforeTheTimingRebuild) {
  VELMO_EXPERT* expert = begin(Family::KY, false);
  JOV_ROOT::get()->get_design("")->set_current_snapshot_str("final");
  auto* model = new KIV_MODEL();
  model->header().set_path(KIV_PATH({"db", "final", "timing_netlist"}));
  model->header().set_type("timing_netlist");
  JOV_ROOT::get()->get_design("")->get_current_state()->add_model(model);
  velmo_bbic_set_active(true);
  EXPECT_TRUE(expert->finalize());
  EXPECT_FALSE(velmo_bbic_is_active()) << "the full contents are back for good";
  velmo_bbic_set_active(false);
  EXPECT_THAT(host::call_lines(), Not(Contains(::testing::StartsWith(
                                      "WEXAN_ENV::get_hov_utility_or_create_if_necessary(2, 3, 5, "))));
  // The closing passes see the restored netlist: another rebuild after them.
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"bbic_push_routing_to_partitions\"",
                  "WEXAN_DESIGN::load_basic_atom_information",
                  "WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1",
                  "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, true, true",
                  "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::do_post_finalize_ops\"",
                  "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false"}));
}

// With the switch off the placer-router stays loaded until the post-finalize
// operations.
TEST_F(FinalizeFlowTest, WithTheSwitchOffThePlacerRouterStaysUntilThePostFinalizeOperations) {
  VELMO_EXPERT* expert = begin(Family::KY, true, dead_clock_gate);
  host::swavo::set_spar_modified_atom_ids({1});
  cfg_set_off("velmo_finalize_unload_vpr_after_spar_before_repop");
  EXPECT_TRUE(expert->finalize());
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"velmo_finalize_run_repop\"",
                                      "TIBEX_VPR_FACADE::~TIBEX_VPR_FACADE",
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::do_post_finalize_ops\""}));
  EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::~TIBEX_VPR_FACADE"), 1);
}

// With repopulation switched off the pipeline registers' clock routing is
// committed as it is instead, unless that switch is off too.
TEST_F(FinalizeFlowTest, WithoutRepopulationTheClockRoutingIsCommitted) {
  for (const bool commit : {true, false}) {
    SCOPED_TRACE(commit);
    VELMO_EXPERT* expert = begin(Family::KY);
    host::swavo::set_spar_modified_atom_ids({1});
    cfg_set_off("velmo_finalize_run_repop");
    if (!commit) cfg_set_off("fit_retime_run_zota_router");
    EXPECT_TRUE(expert->finalize());
    EXPECT_EQ(count_calls("NORBO_ZOTA_MANAGER::commit_clock_routing"), commit ? 1 : 0);
    if (commit)
      EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                          "WEXAN_UNLOAD::reload_device_data(2)",
                                          "NORBO_ZOTA_MANAGER::commit_clock_routing",
                                          "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::do_post_finalize_ops\""}));
    EXPECT_THAT(host::call_lines(), Not(Contains(::testing::StartsWith(
                                        "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"velmo_finalize_run_repop\""))));
    TearDown();
    SetUp();
  }
}

// The preparation of the hold-fix re-route follows its switch; the re-route
// runs without it. Asked for, the routing is dumped after the re-route.
TEST_F(FinalizeFlowTest, TheHoldFixReroutePreparationFollowsItsSwitch) {
  VELMO_EXPERT* expert = begin(Family::KY);
  cfg_set_off("velmo_finalize_run_spar");
  cfg_set_on("velmo_dump_post_spar_routing");
  EXPECT_TRUE(expert->finalize());
  EXPECT_TRUE(exists("post_spar_routing.echo"));
  EXPECT_THAT(host::call_names(), Not(Contains("SWAVO_RECOMPILE_OP::parse_recompile_argument")));
  EXPECT_THAT(host::call_lines(), Not(Contains(::testing::StartsWith(
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"spar_preamble\""))));
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{"WEXAN_UNLOAD::unload_device_data(2)",
                                                                        "TIBEX_VPR_FACADE::begin_flow(32)",
                                                                        "WEXAN_UNLOAD::reload_device_data(2)"}));
  EXPECT_EQ(messages_starting("Fitter post-routing fixup operations ending: elapsed time is"), 1);
}

// A re-route that gave up changed nothing worth repopulating, even with
// atoms on the modified list.
TEST_F(FinalizeFlowTest, ARerouteThatGaveUpRepopulatesNothing) {
  VELMO_EXPERT* expert = begin(Family::KY);
  host::swavo::set_spar_modified_atom_ids({1});
  host::swavo::set_spar_gave_up(true);
  EXPECT_TRUE(expert->finalize());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Skipping Post-SPAR repop due to no SPaR changes"));
  EXPECT_THAT(host::call_lines(), Not(Contains(::testing::StartsWith(
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"velmo_finalize_run_repop\""))));
}

// Each closing message times its own span: the route fix-up from the start
// of the hold-fix flow, the post-fit operations from the start of the stage.
TEST_F(FinalizeFlowTest, ElapsedTimesCoverTheirOwnSpans) {
  VELMO_EXPERT* expert = begin(Family::KY);
  host::script::on("TIBEX_VPR_FACADE::route", [] { host::clock::advance(std::chrono::seconds(65)); });
  host::script::on("W3J3_CHECK_OP::work", [] { host::clock::advance(std::chrono::seconds(10)); });
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(messages_starting("Fitter post-routing fixup operations ending: elapsed time is 00:01:05"), 1);
  EXPECT_EQ(messages_starting("Fitter post-fit operations ending: elapsed time is 00:01:15"), 1);
}

// The emulation of the post-route retimer ends finalize at once only on
// snapshots 10 and 12, and only while it is enabled.
TEST_F(FinalizeFlowTest, EmulationExitsOnlyOnItsSnapshots) {
  VELMO_EXPERT* expert = begin(Family::KY);
  auto warnings = [] {
    int n = 0;
    for (const auto& m : host::messages::posted()) n += m.id == 18968;
    return n;
  };
  JOV_ROOT::get()->get_design("")->set_current_snapshot(10);
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(warnings(), 0);
  EXPECT_EQ(messages_starting("Fitter post-fit operations ending"), 1);
  TIBEX_ENV::set_vpr20k_facade();  // the stage unloads the placer-router

  DeviceSpec spec = host::device::spec();
  spec.zento_nimbrel_emulate = true;
  host::device::configure(spec);
  JOV_ROOT::get()->get_design("")->set_current_snapshot(12);
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(warnings(), 1);
  EXPECT_EQ(messages_starting("Fitter post-fit operations ending"), 1);
  JOV_ROOT::get()->get_design("")->set_current_snapshot(11);
  host::clear_calls();
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(warnings(), 1);
  EXPECT_EQ(messages_starting("Fitter post-fit operations ending"), 2);
  EXPECT_EQ(count_call_lines("WEXAN_ENV::report_fitter_status(100, 2)"), 1);
}

// The last steps check the registers on LUT-RAM data inputs and the
// periphery transfers: a register that breaks either rule fails the stage.
TEST_F(FinalizeFlowTest, AFailedFinalCheckFailsTheStage) {
  VELMO_EXPERT* expert = begin(Family::KY, true, [](host::testing::NETLIST_BUILDER& n) {
    auto clk = n.input_port("ram_clk");
    n.lutram("ram").data_in(n.reg("plain").clk(clk).d(n.input_port("ram_d"))).clk(clk);
  });
  const auto lutram = expect_internal_error([&] { expert->finalize(); });
  EXPECT_THAT(lutram.condition, ::testing::HasSubstr("plain of lutram"));
  EXPECT_THAT(lutram.condition, ::testing::EndsWith("is not zota"));
  EXPECT_THAT(host::call_lines(), Not(Contains("WEXAN_ENV::report_fitter_status(100, 2)")));
  TearDown();
  SetUp();

  expert = begin(Family::KY);
  VOK_ATOM_NODE* r = host::testing::netlist().find("r");
  R5T_INTERFACE::get_or_create_instance()->set_atom_metadata(r->get_id(), PELK::intern(4, "P2C_ZOTA"),
                                                             PELK::intern(4, "P2C"));
  const auto e = expect_internal_error([&] { expert->finalize(); });
  EXPECT_EQ(e.condition, "Final check failed: p2c ff " + std::to_string(r->get_id()) + " - r is not zota");
  EXPECT_THAT(host::call_lines(), Not(Contains("WEXAN_ENV::report_fitter_status(100, 2)")));
}

// Dropping the facade's caches before the hold-fix re-route keeps the facade:
// the re-route runs on it and the stage succeeds with the switch on or off.
class FacadeReleaseTest : public FinalizeFlowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FacadeReleaseTest, TheRerouteStillHasItsFacade) {
  const bool release = GetParam();
  VELMO_EXPERT* expert = begin(Family::KY);
  if (release) cfg_set_on("velmo_finalize_unload_vpr_before_prf");
  EXPECT_TRUE(expert->finalize());
  const std::vector<std::string> before_reroute{"WEXAN_UNLOAD::unload_device_data(2)", "TIBEX_VPR_FACADE::release",
                                                "TIBEX_VPR_FACADE::begin_flow(32)"};
  if (release) {
    EXPECT_THAT(host::call_lines(), CallSequence(before_reroute));
  } else {
    EXPECT_THAT(host::call_lines(), Not(CallSequence(before_reroute)));
  }
  EXPECT_THAT(host::call_lines(), Not(CallSequence(std::vector<std::string>{
                                      "TIBEX_VPR_FACADE::~TIBEX_VPR_FACADE", "TIBEX_VPR_FACADE::begin_flow(32)"})));
}

INSTANTIATE_TEST_SUITE_P(Switch, FacadeReleaseTest, ::testing::Bool());

// Unless asked for, the re-route ends without a timing-netlist rebuild of
// its own.
TEST_F(FinalizeFlowTest, HoldFixRerouteWithoutChangesRepopulatesAndRebuildsNothing) {
  VELMO_EXPERT* expert = begin(Family::KY);
  EXPECT_TRUE(expert->finalize());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Skipping Post-SPAR repop due to no SPaR changes"));
  EXPECT_THAT(host::call_lines(), Not(Contains(::testing::StartsWith(
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"velmo_finalize_run_repop\""))));
  const std::vector<std::string> lines = host::call_lines();
  const auto post = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.rfind("GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::do_post_finalize_ops\"", 0) == 0;
  });
  ASSERT_NE(post, lines.end());
  EXPECT_EQ(std::count(lines.begin(), post, "CMP_FACADE::notify_timing_netlist_changed(1)"), 0);
}

TEST_F(FinalizeFlowTest, FailedHoldFixRerouteSkipsRepopulationAndTheLaterSteps) {
  VELMO_EXPERT* expert = begin(Family::KY, true, dead_clock_gate);
  host::swavo::set_spar_modified_atom_ids({1});
  host::script::always<bool>("TIBEX_VPR_FACADE::route", false);
  EXPECT_FALSE(expert->finalize());
  EXPECT_THAT(host::call_lines(), Not(Contains(::testing::StartsWith(
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"velmo_finalize_run_repop\""))));
  // The post-finalize operations have nothing to do after a failure.
  EXPECT_THAT(host::debug::texts(), Not(Contains("Performing all post finalize operations...")));
  EXPECT_EQ(messages_starting("Fitter post-routing fixup operations ending: elapsed time is"), 1);
  EXPECT_EQ(messages_starting("Fitter post-fit operations ending: elapsed time is"), 1);
  EXPECT_THAT(host::call_lines(), Not(Contains("WEXAN_ENV::report_fitter_status(100, 2)")));
  // Nor is the cleanup sweep run.
  EXPECT_TRUE(has_atom("dead_gate"));
}

TEST_F(FinalizeFlowTest, RecompileSkipPathReroutesWithoutPreparation) {
  VELMO_EXPERT* expert = begin(Family::KY);
  host::swavo::set_user_flow(true);
  host::swavo::set_skippable_snapshot(9, true);
  host::swavo::set_skippable_snapshot(10, true);
  cfg_set_on("muvo_post_route_in_finalize");
  EXPECT_TRUE(expert->finalize());
  // Nor is the post-route synthesis run there, even when asked for.
  EXPECT_THAT(host::call_lines(), Not(Contains(::testing::StartsWith(
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"Post-Route Incremental Retimer\""))));
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "WEXAN_INCREMENTAL_UTILITY::process_postfit_tracelyn_assignments_if_necessary",
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"velmo_finalize_sr_run_vpr_router\"",
                                      "TIBEX_VPR_FACADE::begin_flow(32)", "TIBEX_VPR_FACADE::route(32)",
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"velmo_finalize_sr_run_vpr_router_repop\"",
                                      "WEXAN_UNLOAD::unload_device_data(2)"}));
  EXPECT_THAT(host::call_names(), Not(Contains("SWAVO_RECOMPILE_OP::parse_recompile_argument")));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Skipping Post-SPAR repop for Swavo Recompile Finalize Flow!"));

  // Nothing changed and no re-route asked for: no routing run in the skip
  // path.
  host::clear_calls();
  cfg_set_off("sr_finalize_nochange_run_router");
  cfg_set_off("velmo_finalize_spar_flow");
  EXPECT_TRUE(expert->finalize());
  EXPECT_THAT(host::call_names(), Not(Contains("TIBEX_VPR_FACADE::begin_flow")));

  // Changed probe connections are marked unrouted and the timing netlist
  // brought up to date; then they are routed.
  host::clear_calls();
  host::script::queue<bool>(
      "WEXAN_INCREMENTAL_UTILITY::process_postfit_tracelyn_assignments_if_necessary:ports_changed")
      .push(true);
  TIBEX_ENV::set_vpr20k_facade();  // the first run unloaded it
  EXPECT_TRUE(expert->finalize());
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "WEXAN_INCREMENTAL_UTILITY::process_postfit_tracelyn_assignments_if_necessary",
                  "WEXAN_INCREMENTAL_UTILITY::set_has_unrouted_postfit_tracelyn_connections(true)",
                  "WEXAN_ENV::indicate_that_atom_netlist_is_modified",
                  "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, null, false, "
                  "false)",
                  "TIBEX_VPR_FACADE::begin_flow(32)"}));
}

TEST_F(FinalizeFlowTest, TimingAnalyzerReportsRunTheirTclCommands) {
  // The report-linking workaround notice is printed once per process.
  if (!host::testing::in_own_process()) return;
  VELMO_EXPERT* expert = begin(Family::KY, false);
  cfg_set_on("velmo_finalize_create_sta_reports");
  EXPECT_TRUE(expert->finalize());
  std::vector<std::string> scripts;
  for (const auto& call : host::calls())
    if (call.name == "umbr_tcl_eval") scripts.push_back(call.args);
  ASSERT_EQ(scripts.size(), 7u);
  EXPECT_NE(scripts[0].find("report_clocks -panel_name \\\"Clocks\\\""), std::string::npos) << scripts[0];
  EXPECT_NE(scripts[6].find("create_timing_summary -mpw -panel_name \\\"Minimum Pulse Width Summary\\\" -stdout"),
            std::string::npos)
      << scripts[6];
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "PIZ_CONCURRENT_ACCESS::lock(true)",
                                      "PIZ_COMPILATION_REPORT_ACCESSOR::load",
                                      "PIZ_COMPILATION_REPORT_ACCESSOR::create_linked_report(\"Timing Analyzer\", \"SNAV\", 0)",
                                      "umbr_tcl_eval",
                                      "PIZ_COMPILATION_REPORT_ACCESSOR::link_report",
                                      "PIZ_COMPILATION_REPORT_ACCESSOR::write_report(8)",
                                      "PIZ_CONCURRENT_ACCESS::unlock"}));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("\tDescription: Report linking should not infer ownership rules."));
  EXPECT_THAT(host::debug::texts(),
              Contains(::testing::MatchesRegex("\tvelmo_expert_finalize\\.cpp\\([0-9]+\\) contains a hack by velmo "
                                               "and is tracked by case 412213")));
}

// The reports are on the default (slow) corner when the timing netlist has it
// loaded; a netlist without it is reported on its current corner and gets no
// corner added.
TEST_F(FinalizeFlowTest, TimingAnalyzerReportsUseTheDefaultCornerOnlyWhenLoaded) {
  for (const bool slow_loaded : {true, false}) {
    SCOPED_TRACE(slow_loaded);
    VELMO_EXPERT* expert = begin(Family::KY);
    cfg_set_on("velmo_finalize_create_sta_reports");
    const KEM_TIMING_MODEL slow = KEM_TIMING_MODEL::create_default_timing_model(CMP_FACADE::current(), 0);
    std::string other;
    // After the hold fixing has loaded its corners: make another one current.
    host::script::on("W3J3_CHECK_OP::work", [&] {
      KEM_CORNER_MANAGER* corners = KEM_MANAGER::get()->get_kem_netlist()->get_corner_manager();
      for (const KEM_TIMING_MODEL& m : corners->get_loaded_corners())
        if (m.get_name() != slow.get_name()) other = m.get_name();
      ASSERT_FALSE(other.empty());
      if (!slow_loaded) corners->erase_corner(slow);
      for (const KEM_TIMING_MODEL& m : corners->get_loaded_corners())
        if (m.get_name() == other) corners->change_corner(m);
    });
    EXPECT_TRUE(expert->finalize());
    ASSERT_THAT(host::call_names(), Contains("umbr_tcl_eval"));
    const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
    ASSERT_NE(kem, nullptr);
    EXPECT_EQ(kem->get_corner_manager()->get_current_corner().get_name(), slow_loaded ? slow.get_name() : other);
    EXPECT_EQ(kem->get_corner_manager()->has_corner(slow), slow_loaded);
    TearDown();
    SetUp();
  }
}

}  // namespace

namespace {

// Counts the timing-netlist rebuilds after the post-finalize operations (each
// ends with the compiler facade's notification).
int rebuilds_after_post_finalize_ops() {
  int n = 0;
  bool after = false;
  for (const auto& line : host::call_lines()) {
    if (line.rfind("GEN_PROFILE_BINS::close(\"VELMO_EXPERT::do_post_finalize_ops\")", 0) == 0) after = true;
    if (after && line.rfind("CMP_FACADE::notify_timing_netlist_changed(1)", 0) == 0) ++n;
  }
  return n;
}

}  // namespace

// After the hold-fix re-route the timing is updated incrementally when the
// recompile state asks for it: the taints are dropped instead of a global
// taint, and the post-route synthesis step runs the incremental update, then
// (when asked to) checks it against a full one.
TEST_F(FinalizeFlowTest, PostRerouteIncrementalTimingUpdate) {
  VELMO_EXPERT* expert = begin(Family::KY);
  host::swavo::set_spar_modified_atom_ids({1});
  host::swavo::set_post_spar_incremental_hep(true);
  cfg_set_on("muvo_post_route_in_finalize");
  cfg_set_on("velmo_force_read_sdc_after_post_spar_incremental_hep");
  cfg_set_on("velmo_verify_incremental_hep");
  expert->finalize();
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Read KEM_NETLIST after SPAR."));
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("Incremental HEP after SPAR."));
  EXPECT_FALSE(cfg_is_on("velmo_force_read_sdc_after_post_spar_incremental_hep", true));
  // No global taint between the repopulation and the incremental update; the
  // only one before the post-route synthesis is the check of the incremental
  // update against a full one, right after it.
  const std::vector<std::string> lines = host::call_lines();
  const auto at = [&](const std::string& prefix) {
    return std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  };
  const auto repop = at("GEN_PROFILE_BINS::close(\"velmo_finalize_run_repop\")");
  const auto update =
      at("GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_FINALIZE_PARASITICS::run_incremental_hep_after_spar\"");
  const auto synthesis = at("GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"Post-Route Incremental Retimer\"");
  ASSERT_TRUE(repop < update && update < synthesis);
  const auto global = [](const std::string& l) {
    return l.rfind("WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1", 0) == 0;
  };
  EXPECT_EQ(std::count_if(repop, update, global), 0);
  ASSERT_EQ(std::count_if(update, synthesis, global), 1);
  const auto check = std::find_if(update, synthesis, global);
  EXPECT_EQ(*std::next(check), "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, [1_slow_900mv_100c, "
                               "1_fast_900mv_-40c], false, false, true, true, null, false, false)");
  // The timing is up to date after that: no rebuild of its own before the
  // post-route synthesis.
  EXPECT_EQ(std::count_if(update, synthesis, [](const std::string& l) {
              return l.rfind("WEXAN_ENV::get_hov_utility_or_create_if_necessary", 0) == 0 &&
                     l.find("null, true, false)") != std::string::npos;
            }),
            0);
}

// A timing utility left in a partial mode by the re-route cannot be updated
// incrementally: it is replaced by a full one on the timing netlist read back
// from disk, on the default corner, and the taints are dropped with it.
TEST_F(FinalizeFlowTest, PostRerouteIncrementalUpdateReplacesAPartialTimingUtility) {
  VELMO_EXPERT* expert = begin(Family::KY);
  host::swavo::set_spar_modified_atom_ids({1});
  host::swavo::set_post_spar_incremental_hep(true);
  host::script::on("TIBEX_VPR_FACADE::route", [] {
    WEXAN_ENV* env = WEXAN_ENV::get_env();
    env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false);
    ASSERT_TRUE(KEM_MANAGER::get()->write_kem_netlist_to_disk());
    env->indicate_that_atom_netlist_is_modified();
  });
  EXPECT_TRUE(expert->finalize());
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "WEXAN_ENV::delete_hov_utility_completely",
                                      "KEM_MANAGER::read_kem_netlist_from_disk(true)",
                                      "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, [1_slow_900mv_100c], "
                                      "false, false, false, false, null, false, false)",
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::do_post_finalize_ops\""}));
  EXPECT_EQ(count_calls("KEM_MANAGER::read_kem_corners_from_disk"), 0) << "a full netlist, not reloaded corners";
  ASSERT_NE(WEXAN_ENV::get_env()->get_hov_utility_ptr(), nullptr);
  EXPECT_EQ(WEXAN_ENV::get_env()->get_hov_utility_ptr()->get_mode(), 3);
}

// With the incremental update asked for, a full timing utility keeps the
// timing netlist it has and gets its corners read again; so does a netlist
// left in memory without a utility; with no netlist in memory there is
// nothing to reload corners into, and nothing is read back.
TEST_F(FinalizeFlowTest, PostRerouteIncrementalUpdateReloadsCornersIntoWhatIsInMemory) {
  enum WHAT { FULL_UTILITY, NO_UTILITY, NO_NETLIST };
  for (const WHAT what : {FULL_UTILITY, NO_UTILITY, NO_NETLIST}) {
    SCOPED_TRACE(what);
    VELMO_EXPERT* expert = begin(Family::KY);
    host::swavo::set_spar_modified_atom_ids({1});
    host::swavo::set_post_spar_incremental_hep(true);
    if (what == NO_UTILITY) host::script::on("TIBEX_VPR_FACADE::route", [] { host::hov::delete_utility(); });
    if (what == NO_NETLIST)
      host::script::on("TIBEX_VPR_FACADE::route", [] { WEXAN_ENV::get_env()->delete_hov_utility_completely(); });
    expert->finalize();
    EXPECT_THAT(host::debug::texts(), HasDebugLine("Read KEM_NETLIST after SPAR."));
    EXPECT_EQ(count_calls("KEM_MANAGER::read_kem_corners_from_disk"), what == NO_NETLIST ? 0 : 1);
    EXPECT_EQ(count_calls("KEM_MANAGER::read_kem_netlist_from_disk"), 0);
    EXPECT_EQ(count_lines("No timing netlist: corners not reloaded after SPAR."), what == NO_NETLIST ? 1 : 0);
    TearDown();
    SetUp();
  }
}

// Only a hold-fix re-route that ran and succeeded can leave the timing to
// an incremental update: a device without pipeline registers, one without
// the retimer, the early-access flow and a failed re-route all get the full
// update before the post-route synthesis, whatever the recompile state asks.
TEST_F(FinalizeFlowTest, OnlyASuccessfulHoldFixRerouteLeavesTheTimingToAnIncrementalUpdate) {
  struct CASE {
    int family;
    bool retimer;
    int snapshot;
    bool fail;
  };
  for (const CASE& c : {CASE{Family::KX, true, 0, false}, CASE{Family::KY, false, 0, false},
                        CASE{Family::KY, true, 11, false}, CASE{Family::KY, true, 0, true}}) {
    SCOPED_TRACE(::testing::Message() << "family " << c.family << " retimer " << c.retimer << " snapshot "
                                      << c.snapshot << " fail " << c.fail);
    VELMO_EXPERT* expert = begin(c.family, c.retimer);
    host::swavo::set_spar_modified_atom_ids({1});
    host::swavo::set_post_spar_incremental_hep(true);
    cfg_set_on("muvo_post_route_in_finalize");
    if (c.snapshot != 0) JOV_ROOT::get()->get_design("")->set_current_snapshot(c.snapshot);
    if (c.fail) host::script::always<bool>("TIBEX_VPR_FACADE::route", false);
    EXPECT_EQ(expert->finalize(), !c.fail);
    const std::vector<std::string> lines = host::debug::texts();
    const auto post = std::find(lines.begin(), lines.end(), "Performing all post finalize operations...");
    EXPECT_EQ(std::count(lines.begin(), post, "Incremental HEP after SPAR."), 0);
    // A family without pipeline registers has no post-route retiming to run.
    if (c.family == Family::KX)
      EXPECT_THAT(host::call_lines(), Not(Contains(::testing::StartsWith(
                                          "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"Post-Route Incremental Retimer\""))));
    TearDown();
    SetUp();
  }
}

TEST_F(FinalizeFlowTest, FullTimingUpdateSkipsTheIncrementalStep) {
  VELMO_EXPERT* expert = begin(Family::KY);
  host::swavo::set_spar_modified_atom_ids({1});
  cfg_set_on("muvo_post_route_in_finalize");
  cfg_set_on("velmo_force_read_sdc_after_post_spar_incremental_hep");
  expert->finalize();
  EXPECT_THAT(host::debug::texts(),
              Not(Contains("VELMO_FINALIZE_PARASITICS::run_incremental_hep_after_spar: not built yet")));
  EXPECT_TRUE(cfg_is_on("velmo_force_read_sdc_after_post_spar_incremental_hep", false));
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "GEN_PROFILE_BINS::close(\"velmo_finalize_run_repop\")",
                                      "WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1",
                                      // Rebuilt on the loaded corners before the post-route synthesis.
                                      "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, [1_slow_900mv_100c, "
                                      "1_fast_900mv_-40c], false, false, false, false, null, true, false)",
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"Post-Route Incremental Retimer\""}));
}

// With no timing netlist left in memory after the hold-fix re-route there are
// no loaded corners: the rebuild before the post-route synthesis is on the
// default (slow) model.
TEST_F(FinalizeFlowTest, FullTimingUpdateWithoutATimingNetlistUsesTheDefaultModel) {
  VELMO_EXPERT* expert = begin(Family::KY);
  host::swavo::set_spar_modified_atom_ids({1});
  cfg_set_on("muvo_post_route_in_finalize");
  host::script::on("TIBEX_VPR_FACADE::route", [] { KEM_MANAGER::get()->delete_kem_netlist_in_memory(); });
  expert->finalize();
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "GEN_PROFILE_BINS::close(\"velmo_finalize_run_repop\")",
                                      "WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1",
                                      "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, [1_slow_900mv_100c], "
                                      "false, false, false, false, null, true, false)",
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"Post-Route Incremental Retimer\""}));
}

// Finalize runs once per fitter run (it unloads the facade): one case per
// switch setting.
struct SWITCHES_CASE {
  int family;
  std::vector<const char*> on;
  std::vector<const char*> off;
  std::string expect;  // a call line the run makes ("" for none)
  int rebuilds;        // closing timing rebuilds after the post-finalize operations
  bool unloaded = false;  // no timing netlist loaded by the post-finalize operations
  bool retimer = true;    // the device runs the retimer
  int snapshot = 0;       // the snapshot the stage runs on (0: the default)
};

class FinalizeSwitchesTest : public FinalizeFlowTest, public ::testing::WithParamInterface<SWITCHES_CASE> {};

TEST_P(FinalizeSwitchesTest, TimeBorrowingAndTheClosingRebuild) {
  const SWITCHES_CASE& c = GetParam();
  VELMO_EXPERT* expert = begin(c.family, c.retimer);
  if (c.snapshot != 0) JOV_ROOT::get()->get_design("")->set_current_snapshot(c.snapshot);
  // The conversion switch is read once per process and other tests set it:
  // every case states it, so that a run of many tests in one process gives
  // each case the same answer as a process of its own.
  VELMO_EXPERT::s_do_lcell_to_lm_conversion = false;
  for (const char* name : c.on) cfg_set_on(name);
  for (const char* name : c.off) cfg_set_off(name);
  // The post-fit checks run after the hold fixing's rebuild.
  bool unloaded = false;
  if (c.unloaded)
    host::script::on("W3J3_CHECK_OP::work", [&unloaded] {
      KEM_MANAGER::get()->delete_kem_netlist_in_memory();
      unloaded = true;
    });
  EXPECT_TRUE(expert->finalize());
  // The case is about a finalize that ends without a timing netlist only if
  // it did end so.
  EXPECT_EQ(unloaded, c.unloaded);
  if (c.expect.empty())
    EXPECT_EQ(count_calls("NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::work"), 0);
  else
    EXPECT_THAT(host::call_lines(), Contains(c.expect));
  EXPECT_EQ(rebuilds_after_post_finalize_ops(), c.rebuilds);
}

// On a retimer device the parasitic hold fixing rebuilds the timing netlist,
// so finalize does only when that is switched off; elsewhere only the
// analyzer reports ask for one.
INSTANTIATE_TEST_SUITE_P(
    Finalize, FinalizeSwitchesTest,
    ::testing::Values(SWITCHES_CASE{Family::KY, {}, {}, "", 0},
                      SWITCHES_CASE{Family::KY, {"velmo_finalize_enable_tborrow_flow"}, {},
                                    "NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::work(3)", 0},
                      SWITCHES_CASE{Family::KY, {"velmo_finalize_enable_tborrow_flow", "velmo_ky_tbff_set_by_ini"}, {},
                                    "NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::work(0)", 0},
                      SWITCHES_CASE{Family::KY, {}, {"fit_finalize_runs_parasitics_hold_fixing"}, "", 1},
                      SWITCHES_CASE{Family::KY, {}, {"fit_finalize_runs_parasitics_hold_fixing",
                                                     "fit_finalize_ending_kem_rebuild"}, "", 0},
                      // With the hold fixing's own rebuild the reports need
                      // none while a timing netlist is loaded.
                      SWITCHES_CASE{Family::KY, {"velmo_finalize_create_sta_reports"}, {}, "", 0},
                      SWITCHES_CASE{Family::KY, {"velmo_finalize_create_sta_reports"},
                                    {"fit_finalize_runs_parasitics_hold_fixing"}, "", 1},
                      SWITCHES_CASE{Family::KX, {}, {}, "", 0},
                      SWITCHES_CASE{Family::KX, {"velmo_finalize_create_sta_reports"}, {}, "", 1},
                      // Without a timing netlist the reports need the rebuild
                      // after all, the hold fixing's notwithstanding.
                      SWITCHES_CASE{Family::KY, {"velmo_finalize_create_sta_reports"}, {}, "", 1, true},
                      // The hold fixing stands for the closing rebuild only
                      // when the ending rebuild is asked for: without it the
                      // reports need one of their own.
                      SWITCHES_CASE{Family::KY, {"velmo_finalize_create_sta_reports"},
                                    {"fit_finalize_ending_kem_rebuild"}, "", 1},
                      // The ending rebuild belongs to the hold-fix flow: no
                      // rebuild without the retimer, without the flow, or in
                      // the early-access flow (forced on the Nimbrel
                      // snapshot), the hold fixing off notwithstanding.
                      SWITCHES_CASE{Family::KY, {}, {"fit_finalize_runs_parasitics_hold_fixing"}, "", 0, false,
                                    false},
                      SWITCHES_CASE{Family::KY, {}, {"fit_finalize_runs_parasitics_hold_fixing",
                                                     "velmo_finalize_spar_flow"}, "", 0},
                      SWITCHES_CASE{Family::KY, {}, {"fit_finalize_runs_parasitics_hold_fixing"}, "", 0, false, true,
                                    11}),
    // Named by position: the cases' bytes hold addresses, and a name that
    // differs from run to run would not select the case it was listed for.
    [](const ::testing::TestParamInfo<SWITCHES_CASE>& info) { return "Case" + std::to_string(info.index); });

TEST_F(FinalizeFlowTest, NoTimeBorrowingWithoutTheRetimer) {
  VELMO_EXPERT* expert = begin(Family::KY, false);
  cfg_set_on("velmo_finalize_enable_tborrow_flow");
  expert->finalize();
  EXPECT_EQ(count_calls("NOLT_PROGRAMMABLE_CLOCK_SKEW_OP::work"), 0);
}

// After a conversion of LCELLs to logic modules the whole netlist is tainted
// and the timing netlist rebuilt with the conversion's flags.
TEST_F(FinalizeFlowTest, LcellConversionRebuildsTheTimingNetlistWithItsFlags) {
  VELMO_EXPERT* expert = begin(Family::KY);
  VELMO_EXPERT::s_do_lcell_to_lm_conversion = true;
  const bool ok = expert->finalize();
  VELMO_EXPERT::s_do_lcell_to_lm_conversion = false;
  EXPECT_TRUE(ok);
  EXPECT_EQ(rebuilds_after_post_finalize_ops(), 1);
  // The converted netlist is marked changed as a whole right before it.
  const std::vector<std::string> lines = host::call_lines();
  const auto rebuild = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.rfind("WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, true, true", 0) == 0;
  });
  ASSERT_NE(rebuild, lines.end());
  ASSERT_NE(rebuild, lines.begin());
  EXPECT_EQ(std::prev(rebuild)->rfind("WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1", 0), 0u) << *std::prev(rebuild);
}

// Forcing a full update before post-route synthesis, or the router test
// hooks' full rebuild, replaces the incremental update by a global taint,
// even after an incremental re-route.
TEST_F(FinalizeFlowTest, AForcedFullUpdateSkipsTheIncrementalOne) {
  for (const char* force : {"muvo_post_route_force_full_hep", "korrin_incremental_router"}) {
    SCOPED_TRACE(force);
    VELMO_EXPERT* expert = begin(Family::KY);
    host::swavo::set_spar_modified_atom_ids({1});
    host::swavo::set_post_spar_incremental_hep(true);
    cfg_set_on("muvo_post_route_in_finalize");
    cfg_set_on(force);
    cfg_set_on("velmo_force_read_sdc_after_post_spar_incremental_hep");
    expert->finalize();
    EXPECT_THAT(host::debug::texts(), HasDebugLine("Read KEM_NETLIST after SPAR."));
    // None before the post-finalize operations (the hold fixing there has its
    // own).
    const auto lines = host::debug::texts();
    const auto post = std::find(lines.begin(), lines.end(), "Performing all post finalize operations...");
    ASSERT_NE(post, lines.end());
    EXPECT_EQ(std::count(lines.begin(), post, "Incremental HEP after SPAR."), 0);
    EXPECT_TRUE(cfg_is_on("velmo_force_read_sdc_after_post_spar_incremental_hep", false));
    EXPECT_THAT(host::call_lines(),
                Contains(::testing::StartsWith("WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1")));
    TearDown();
    SetUp();
  }
}

// Finalize checks the fan-out limits after each step that changes the
// routing (the stage's own re-route, the hold fixing, the closing
// operations): by default a violation stops it with an internal error; with
// the switch every check only reports and the stage goes on.
TEST_F(FinalizeFlowTest, AFanoutViolationStopsTheStageUnlessTheSwitchAsksOnlyForAReport) {
  for (const bool prevent : {false, true}) {
    SCOPED_TRACE(prevent);
    VELMO_EXPERT* expert = begin(Family::KY, true, [](host::testing::NETLIST_BUILDER& n) {
      route_past_the_fanout_limit(n.reg("q").d(n.input_port("in")));
    });
    if (prevent) {
      cfg_set_on("velmo_prevent_fanout_limit_check_assert");
      EXPECT_TRUE(expert->finalize());
      EXPECT_EQ(count_lines("Fanout limit violations found, but I will not assert."), 3);
      EXPECT_EQ(messages_starting("Fitter post-fit operations ending: elapsed time is"), 1);
    } else {
      const HOST_INTERNAL_ERROR e = host::testing::expect_internal_error([&] { expert->finalize(); });
      EXPECT_EQ(e.condition, "Fanout limits violated. See debug output for details.");
      // The first check, before the hold-fix re-route, is the one that stops it.
      EXPECT_THAT(host::call_names(), Not(Contains("TIBEX_VPR_FACADE::begin_flow")));
    }
    TearDown();
    SetUp();
  }
}
