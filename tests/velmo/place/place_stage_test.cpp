// The place stage and the runs of the placer-router facade: the call
// sequence, the run_vpr branch matrix, the ECO skip, the prelude/postlude
// pairing, the end-of-preparation report, the post-place operation, the
// resynthesis units, the write-back of locked locations and the unloading.
#include "../prefit/expert_fixture.h"
#include "cfg/cfg.h"
#include "common/host_script.h"
#include "gen/gen_profile.h"
#include "hov/hov_utility.h"
#include "muvo/muvo_flow_type.h"
#include "omz/omz_option.h"
#include "pexa/pexa_utility.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/netlist_builder.h"
#include "tibex/tibex_env.h"
#include "tst/tst_regtest.h"
#include "velmo_debug.h"
#include "velmo_msgs.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"
#include "wexan/wexan_utilities.h"
#include "dev/dev_spec.h"
#include "yun/host_yun_env.h"

using velmo_test::ExpertTest;
using Calls = std::vector<std::string>;

namespace {
class PlaceStageTest : public ExpertTest {
protected:
  // The facade's calls, in order.
  static Calls facade_calls() {
    Calls out;
    for (const auto& c : host::call_lines())
      if (c.rfind("TIBEX_VPR_FACADE::", 0) == 0) out.push_back(c.substr(18));
    return out;
  }
};
}  // namespace

TEST_F(PlaceStageTest, PlaceRunsThePrefitStepsThenThePlacer) {
  VELMO_EXPERT* e = start();  // family 46
  // The hold-timing model is fetched ahead, asynchronously.
  host::pexa::set_loaded_timing_model_enum(1, 7);
  EXPECT_TRUE(velmo_place());
  EXPECT_THAT(host::call_lines(),
              CallSequence(Calls{"YEB_TIMING_MODEL::get_timing_model_async(1, 1, 7, false, false)",
                                 "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::place_pre_vpr\", "
                                 "2147483647, \"Prefit - Other\", \"Place Pre-Processing\")",
                                 "WEXAN_ENV::report_fitter_status(60, 0)",
                                 "MUB_PERIPH_FLOW::early_place_load",
                                 "WEXAN_PLL_DELAY_CHAINS_OP::work(0)",
                                 "HSSI_KY_TX_DESKEW_OP::work",
                                 "WEXAN_MAC_LOCATION_CHECK::work(\"last\", true)",
                                 "WEXAN_INCREMENTAL_UTILITY::create_postfit_rcf",
                                 "NOLT_RAM_DUP_DATA_OP::work",
                                 "MEM_MANAGER::check_memory_guards",
                                 "ZEL_UTIL::validate_location_assignments",
                                 "WEXAN_DESIGN::write_user_location_constraints_to_db",
                                 "WEXAN_ATOM_MOD_DRC::write_cached_atom_mod_info",
                                 "OMZ_NAMESPACE::post_process_wildcard(0)",
                                 "gen_log_cookie(\"Atom Netlist (Post Pre-Fitter)\"",
                                 "WEXAN_ENV::report_fitter_status(100, 0)",
                                 "GEN_PROFILE_BINS::close(\"VELMO_EXPERT::place_pre_vpr\")",
                                 "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::run_vpr\"",
                                 "WEXAN_INCREMENTAL_UTILITY::create_postfit_rcf",
                                 "WEXAN_INCREMENTAL_UTILITY::save_rcf_for_retry",
                                 "WEXAN_DESIGN::destroy_all_softlocked_constraints(false)",
                                 "WEXAN_JOV_WIRELUT::constrain_wireluts(46)",
                                 "TIBEX_VPR_FACADE::begin_flow(64)",
                                 "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"\", 2147483647, \"Place Core\")",
                                 "TIBEX_VPR_FACADE::place(64)",
                                 "TIBEX_VPR_FACADE::end_flow(64)",
                                 "WEXAN_INCREMENTAL_UTILITY::show_locked_nodes(true, false)"}));
  EXPECT_THAT(host::debug::texts(),
              CallSequence(Calls{"SYN_TAG: DRASK mapper is not running. MOZ is OFF",
                                 "Finished fitter preparation.", "Finished placement and routing."}));
  // The netlist check sees the netlist after the MAC merge.
  EXPECT_THAT(host::debug::texts(),
              CallSequence(Calls{"VELMO_MAC_MERGE: Performing MAC Merging.",
                                 "Skipped KX prefit netlist check!! Enable it using ini enable_kx_prefit_netlist_check=on",
                                 "Finished fitter preparation."}));
  // Family 46 translates no ports, before or after placement.
  EXPECT_EQ(count_call_lines("VOK_RE_ROUTING_MODIFIER::VOK_RE_ROUTING_MODIFIER(\"L10_port_translation\", false, false)"), 0);
  (void)e;
}

TEST_F(PlaceStageTest, PlaceReturnsAtOnceWhenEveryPartitionSkipsTheFitter) {
  start();
  host::wexan::set_all_partitions_can_skip_fitter(true);
  EXPECT_TRUE(velmo_place());
  EXPECT_TRUE(host::calls().empty());
}

TEST_F(PlaceStageTest, PortTranslationFollowsASuccessfulPlacementOnOtherFamilies) {
  device(host::testing::Family::KZ);
  start();
  const char* translation = "VOK_RE_ROUTING_MODIFIER::VOK_RE_ROUTING_MODIFIER(\"L10_port_translation\", false, false)";
  EXPECT_TRUE(velmo_place());
  EXPECT_EQ(count_call_lines(translation), 1);
  host::script::queue<bool>("TIBEX_VPR_FACADE::place").push(false);
  EXPECT_FALSE(velmo_place());
  EXPECT_EQ(count_call_lines(translation), 1);
}

// Families 48 and 15 translate their ports before placement, once, whether
// the placement succeeds or fails.
class PortTranslationBeforePlacementTest : public PlaceStageTest, public ::testing::WithParamInterface<int> {};

TEST_P(PortTranslationBeforePlacementTest, FamiliesWithPortTranslationBeforePlacementKeepItWhenPlacementFails) {
  device(GetParam());
  start();
  const char* translation = "VOK_RE_ROUTING_MODIFIER::VOK_RE_ROUTING_MODIFIER(\"L10_port_translation\", false, false)";
  EXPECT_TRUE(velmo_place());
  EXPECT_EQ(count_call_lines(translation), 1);
  EXPECT_EQ(count_calls("JOPP::init_pr"), 1) << "the placer-router prelude readies partial reconfiguration";
  host::clear_calls();
  host::script::queue<bool>("TIBEX_VPR_FACADE::place").push(false);
  EXPECT_FALSE(velmo_place());
  EXPECT_EQ(count_call_lines(translation), 1);
}

INSTANTIATE_TEST_SUITE_P(Families, PortTranslationBeforePlacementTest,
                         ::testing::Values(host::testing::Family::KX, 15));

TEST_F(PlaceStageTest, PreprocessingStopsAtTheFirstFailedStepAndStillReports) {
  start();
  host::script::queue<bool>("MUB_PERIPH_FLOW::early_place_load").push(false);
  EXPECT_FALSE(velmo_place());
  EXPECT_EQ(count_lines("        performing:  Read User Info........"), 0);
  EXPECT_EQ(count_lines("SYN_TAG: DRASK mapper is not running. MOZ is OFF"), 0);
  EXPECT_EQ(count_calls("WEXAN_ENV::report_fitter_status"), 2);
  EXPECT_TRUE(facade_calls().empty());

  // Stop after prefit: the placer never runs.
  cfg_set_on("debug_stop_after_prefit");
  EXPECT_FALSE(velmo_place());
  EXPECT_EQ(count_calls("ZEL_UTIL::validate_location_assignments"), 0);
  EXPECT_TRUE(facade_calls().empty());

  // A failed resynthesis, the last step: the placer never runs either.
  cfg_set_off("debug_stop_after_prefit");
  cfg_set_on("belq_resyn");
  host::hov::set_init_errors(true);
  EXPECT_FALSE(velmo_place());
  EXPECT_EQ(count_calls("ZEL_UTIL::validate_location_assignments"), 1);
  EXPECT_TRUE(facade_calls().empty());
  host::hov::set_init_errors(false);
}

TEST_F(PlaceStageTest, AnIllegalRawIopllStopsThePreprocessingBeforeThePlacer) {
  device(host::testing::Family::KX);
  host::options::set(621, 1, "on");
  host::testing::netlist().iopll("raw");
  start();
  EXPECT_FALSE(velmo_place());
  int errors = 0;
  for (const auto& m : host::messages::posted()) errors += m.key == "VELMO_VELMO_ILLEGAL_RAW_IOPLL";
  EXPECT_EQ(errors, 1);
  EXPECT_TRUE(facade_calls().empty());
}

TEST_F(PlaceStageTest, EarlyRetimingRunsWhenAsked) {
  start();
  DeviceSpec spec = host::device::spec();
  spec.zota_depopulation = true;
  host::device::configure(spec);
  HOST_YUN_ENV yun_env;
  host::wexan::set_yun_env(&yun_env);
  EXPECT_TRUE(velmo_place());  // not asked by default
  EXPECT_THAT(host::debug::texts(), ::testing::Not(::testing::Contains("Skip early retimer (it's off)")));
  cfg_set_on("early_retiming_in_place_pre_vpr");
  EXPECT_TRUE(velmo_place());
  EXPECT_THAT(host::debug::texts(),
              CallSequence(Calls{"Skip early retimer (it's off)",
                                 "SYN_TAG: DRASK mapper is not running. MOZ is OFF"}));
  // The depopulation after it is skipped unless asked for.
  EXPECT_EQ(count_calls("YUN_UTILITY::depopulate_netlist"), 0);
  cfg_set_off("skip_early_depop");
  EXPECT_TRUE(velmo_place());
  EXPECT_EQ(count_calls("YUN_UTILITY::depopulate_netlist"), 1);
  host::wexan::set_yun_env(nullptr);
}

// The extra-effort PDC pass runs only in the utility's extra-effort mode, and
// not at all without a utility.
TEST_F(PlaceStageTest, ExtraEffortPdcRunsOnlyInItsMode) {
  start();
  WEXAN_PDC_UTILITY* pdc = TIBEX_ENV::get_tibex_pdc_utility();
  ASSERT_NE(pdc, nullptr);
  const char* pass = "WEXAN_PDC_UTILITY::run_extra_effort_pdc";
  EXPECT_TRUE(velmo_place());
  EXPECT_EQ(count_calls(pass), 0);
  pdc->set_pdc_mode(2);
  EXPECT_TRUE(velmo_place());
  EXPECT_EQ(count_calls(pass), 1);
  EXPECT_THAT(host::call_names(), CallSequence(Calls{"MUB_PERIPH_FLOW::early_place_load", pass,
                                                     "WEXAN_PLL_DELAY_CHAINS_OP::work"}));
  // A failed early load skips it.
  host::clear_calls();
  host::script::queue<bool>("MUB_PERIPH_FLOW::early_place_load").push(false);
  EXPECT_FALSE(velmo_place());
  EXPECT_EQ(count_calls(pass), 0);

  delete pdc;
  TIBEX_ENV::set_tibex_pdc_utility(nullptr);
  EXPECT_TRUE(velmo_place());
  EXPECT_EQ(count_calls(pass), 0);
}

TEST_F(PlaceStageTest, RunVprBranchMatrix) {
  VELMO_EXPERT* e = start();
  struct ROW {
    bool p, r, f, x;
    MUVO_FLOW_TYPE flow;
    Calls want;
    const char* bin;  // the profile bin of the run, if any
  };
  const std::vector<ROW> rows = {
      {true, true, false, false, MUVO_FLOW_PLACE, {"begin_flow(64)", "place(64)", "end_flow(64)"}, "Place Core"},
      {true, false, true, false, MUVO_FLOW_PLACE, {"begin_flow(64)", "place(64)", "end_flow(64)"}, "Place Core"},
      {true, true, true, false, MUVO_FLOW_ROUTE, {"begin_flow(32)", "place_route_finalize(32)", "end_flow(32)"},
       nullptr},
      {false, true, false, false, MUVO_FLOW_ROUTE, {"begin_flow(32)", "prepare_route(32)", "route(32)", "end_flow(32)"},
       "Route Core"},
      {false, true, true, false, MUVO_FLOW_ROUTE, {"begin_flow(32)", "prepare_route(32)", "route(32)", "end_flow(32)"},
       "Route Core"},
      {false, false, true, false, MUVO_FLOW_ROUTE,
       {"begin_flow(32)", "prepare_finalize(32)", "finalize(32)", "end_flow(32)"}, "Finalize Core"},
      {false, false, false, true, MUVO_FLOW_FIXUP, {"begin_flow(8)", "run_flow_8_fixup(8)", "end_flow(8)"}, nullptr},
      {false, false, false, true, MUVO_FLOW_ROUTE,
       {"begin_flow(32)", "prepare_fixup_route(32)", "route(32)", "end_flow(32)"}, nullptr},
  };
  const std::string core_bin = "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"\", 2147483647, \"";
  for (const auto& row : rows) {
    host::clear_calls();
    EXPECT_TRUE(e->run_vpr(row.p, row.r, row.f, row.x, row.flow));
    EXPECT_EQ(facade_calls(), row.want);
    Calls bins;
    for (const auto& c : host::call_lines())
      if (c.rfind(core_bin, 0) == 0) bins.push_back(c.substr(core_bin.size()));
    EXPECT_EQ(bins, row.bin ? Calls{std::string(row.bin) + "\")"} : Calls{}) << row.want[1];
  }
  for (MUVO_FLOW_TYPE flow : {MUVO_FLOW_ROUTE, MUVO_FLOW_FIXUP}) {
    host::clear_calls();
    auto err = host::testing::expect_internal_error([&] { e->run_vpr(false, false, false, false, flow); });
    EXPECT_EQ(err.condition, "must run at least one place, route, or finalize");
    EXPECT_EQ(count_calls("TIBEX_VPR_FACADE::end_flow"), 0);
  }
  // (The fixture checks that every bin was closed on the way out.)
}

TEST_F(PlaceStageTest, PreludeAndPostludeArePairedOnEveryOutcome) {
  VELMO_EXPERT* e = start();
  host::script::queue<bool>("TIBEX_VPR_FACADE::route").push(false);
  EXPECT_FALSE(e->run_vpr(false, true, false, false, MUVO_FLOW_ROUTE));
  EXPECT_THAT(host::debug::texts(), CallSequence(Calls{"Failed in VELMO_EXPERT::run_vpr() because", "run_vpr() failed",
                                                       "Finished placement and routing."}));
  EXPECT_EQ(count_calls("WEXAN_INCREMENTAL_UTILITY::show_locked_nodes"), 1);
  EXPECT_THAT(host::call_lines(), CallSequence(Calls{"WEXAN_INCREMENTAL_UTILITY::show_locked_nodes(false, false)"}));

  host::clear_calls();
  host::script::queue<bool>("WEXAN_JOV_WIRELUT::constrain_wireluts").push(false);
  EXPECT_FALSE(e->run_vpr(true, false, false, false, MUVO_FLOW_PLACE));
  EXPECT_TRUE(facade_calls().empty());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("vpr_prelude failed"));
  EXPECT_THAT(host::call_lines(), CallSequence(Calls{"WEXAN_INCREMENTAL_UTILITY::show_locked_nodes(false, false)"}));

  // On the large-periphery families the partial-reconfiguration rules are
  // part of the prelude.
  host::testing::device(host::testing::Family::KX).build();
  host::clear_calls();
  host::script::queue<bool>("JOPP::init_pr").push(false);
  EXPECT_FALSE(e->run_vpr(true, false, false, false, MUVO_FLOW_PLACE));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("JOPP::init_pr failed in vpr_prelude"));
  EXPECT_TRUE(facade_calls().empty());
  EXPECT_EQ(count_calls("WEXAN_INCREMENTAL_UTILITY::show_locked_nodes"), 1);

  // Without an incremental utility there is nothing to hide or show.
  host::wexan::set_reuse_utility(false);
  host::clear_calls();
  EXPECT_TRUE(e->run_vpr(true, false, false, false, MUVO_FLOW_PLACE));
  EXPECT_EQ(count_calls("WEXAN_INCREMENTAL_UTILITY::show_locked_nodes"), 0);
}

TEST_F(PlaceStageTest, EmptyFlowHidesLockedNodesBeforeTheRun) {
  VELMO_EXPERT* e = start();
  WEXAN_INCREMENTAL_UTILITY::current()->set_empty_flow_enabled(true);
  cfg_set_off("wexan_destroy_softlocks_before_vpr");
  EXPECT_TRUE(e->run_vpr(true, false, false, false, MUVO_FLOW_PLACE));
  EXPECT_THAT(host::call_names(), CallSequence(Calls{"WEXAN_INCREMENTAL_UTILITY::hide_locked_nodes",
                                                     "WEXAN_INCREMENTAL_UTILITY::create_postfit_rcf",
                                                     "TIBEX_VPR_FACADE::place",
                                                     "WEXAN_INCREMENTAL_UTILITY::show_locked_nodes"}));
  EXPECT_EQ(count_calls("WEXAN_DESIGN::destroy_all_softlocked_constraints"), 0);
}

TEST_F(PlaceStageTest, EcoCompileThatSkipsPlacementPostsTheSkipMessage) {
  WEXAN_ECO::current()->set(true, true);
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->run_vpr(true, false, false, false, MUVO_FLOW_PLACE));
  EXPECT_TRUE(facade_calls().empty());
  EXPECT_EQ(count_calls("WEXAN_INCREMENTAL_UTILITY::create_postfit_rcf"), 0);
  auto posted = host::messages::posted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].id, 11877u);
  EXPECT_EQ(count_calls("WEXAN_INCREMENTAL_UTILITY::show_locked_nodes"), 1);

  auto err = host::testing::expect_internal_error([&] { e->run_post_place_operation(); });
  EXPECT_EQ(err.condition, "!m_skip_vpr");
  err = host::testing::expect_internal_error([&] { e->muvo_unit("u"); });
  EXPECT_EQ(err.condition, "!m_skip_vpr");
}

TEST_F(PlaceStageTest, AMissingFacadeIsAnInternalError) {
  VELMO_EXPERT* e = start();
  e->unload_vpr();
  auto err = host::testing::expect_internal_error([&] { e->run_vpr(true, false, false, false, MUVO_FLOW_PLACE); });
  EXPECT_EQ(err.condition, "vpr");
  err = host::testing::expect_internal_error([&] { e->run_post_place_operation(); });
  EXPECT_EQ(err.condition, "vpr");
}

TEST_F(PlaceStageTest, ThePreparationEndMessageIsPostedOnce) {
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->report_pre_vpr(true));
  EXPECT_TRUE(host::messages::posted().empty());  // no start time set

  e->set_prep_start_time(5);
  EXPECT_TRUE(e->report_pre_vpr(true));
  EXPECT_TRUE(e->report_pre_vpr(true));
  auto posted = host::messages::posted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].text, "Fitter preparation operations ending: elapsed time is 00:00:00");
  EXPECT_EQ(e->get_prep_start_time(), 0);
}

TEST_F(PlaceStageTest, NewErrorsDuringASuccessfulPreparationAreFatal) {
  VELMO_EXPERT* e = start();
  msg_post((MSG_VELMO::E::FAIL)(), nullptr);
  EXPECT_FALSE(e->report_pre_vpr(false));
  auto err = host::testing::expect_internal_error([&] { e->report_pre_vpr(true); });
  EXPECT_EQ(err.condition, "!result || !new_errors_occurred()");
}

TEST_F(PlaceStageTest, RegressionStatusKeysAreWrittenOnlyWhenOn) {
  host::tst::set_regtest_mode(true);
  tst_set_value("General Section", "PLIV_PREP_STATUS", "ON");
  tst_set_value("General Section", "PLIV_VPR_STATUS", "OFF");
  VELMO_EXPERT* e = start();
  e->report_pre_vpr(false);
  EXPECT_EQ(tst_get_value("General Section", "PLIV_PREP_STATUS"), "FAILED");
  e->vpr_postlude(true, nullptr);
  EXPECT_EQ(tst_get_value("General Section", "PLIV_VPR_STATUS"), "OFF");
}

TEST_F(PlaceStageTest, PostPlaceOperationBeginsFlowFourWithoutEndingIt) {
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(velmo_post_place_operation());
  EXPECT_EQ(facade_calls(), (Calls{"begin_flow(4)", "post_place_operation(4)"}));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Finished post placement operation."));

  // A failed prelude still runs the operation; the result is false.
  host::clear_calls();
  host::script::queue<bool>("WEXAN_JOV_WIRELUT::constrain_wireluts").push(false);
  EXPECT_FALSE(e->run_post_place_operation());
  EXPECT_EQ(facade_calls(), (Calls{"begin_flow(4)", "post_place_operation(4)"}));
  EXPECT_THAT(host::debug::texts(), CallSequence(Calls{"Failed in VELMO_EXPERT::run_post_place_operation() because",
                                                       "vpr_prelude failed"}));
  // A failed operation after a good prelude fails the call too.
  host::clear_calls();
  host::script::queue<bool>("TIBEX_VPR_FACADE::post_place_operation").push(false);
  EXPECT_FALSE(velmo_post_place_operation());
  EXPECT_THAT(host::debug::texts(), CallSequence(Calls{"Failed in VELMO_EXPERT::run_post_place_operation() because",
                                                       "post_place_operation() failed"}));
  EXPECT_THAT(host::call_lines(), CallSequence(Calls{"WEXAN_INCREMENTAL_UTILITY::show_locked_nodes(false, false)"}));
  host::wexan::set_all_partitions_can_skip_fitter(true);
  host::clear_calls();
  EXPECT_TRUE(velmo_post_place_operation());
  EXPECT_TRUE(host::calls().empty());
}

TEST_F(PlaceStageTest, ResynthesisUnitsBeginTheirFlowOncePerFacade) {
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(velmo_muvo("first"));
  EXPECT_TRUE(e->muvo_unit("vpr_postlude"));
  EXPECT_EQ(facade_calls(), (Calls{"begin_flow(16)", "run_unit(16, \"first\")", "run_unit(16, \"vpr_postlude\")"}));
  EXPECT_EQ(count_lines("Finished BLE synthesis."), 1);
  EXPECT_THAT(host::call_lines(), CallSequence(Calls{"TIBEX_VPR_FACADE::run_unit(16, \"vpr_postlude\")",
                                                     "WEXAN_INCREMENTAL_UTILITY::show_locked_nodes(true, false)"}));

  // A facade loaded after an unload starts its own flow.
  e->unload_vpr();
  TIBEX_ENV::set_vpr20k_facade();
  host::clear_calls();
  EXPECT_TRUE(e->muvo_unit("again"));
  EXPECT_EQ(facade_calls(), (Calls{"begin_flow(16)", "run_unit(16, \"again\")"}));
  EXPECT_EQ(count_calls("WEXAN_INCREMENTAL_UTILITY::show_locked_nodes"), 0);
}

TEST_F(PlaceStageTest, UnloadReleasesAndDeletesTheFacade) {
  VELMO_EXPERT* e = start();
  e->unload_vpr();
  EXPECT_THAT(host::call_names(),
              CallSequence(Calls{"TIBEX_VPR_FACADE::release", "TIBEX_VPR_FACADE::~TIBEX_VPR_FACADE",
                                 "TIBEX_ENV::clear_vpr_facade", "XAB_DEM::shutdown", "SWAVO_RECOMPILE_OP::reset_hint_db"}));
  EXPECT_EQ(TIBEX_ENV::get_vpr_facade(), nullptr);
  // Without a facade only the two shut-downs run.
  host::clear_calls();
  e->unload_vpr();
  EXPECT_EQ(host::call_names(), (Calls{"XAB_DEM::shutdown", "SWAVO_RECOMPILE_OP::reset_hint_db"}));
}

TEST_F(PlaceStageTest, LockedExactLocationsAreWrittenBackToAtoms) {
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto exact = n.reg("exact").clk(clk).locked(2, 3, 4);
  auto box = n.reg("box").clk(clk).locked_box(1, 1, 4, 4);
  int region = host::testing::region("r", {{1, 1, 3, 3}});
  auto floating = n.reg("floating").clk(clk).floating(region);
  auto inner = n.blackbox("u", [](auto& c) { c.reg("inner").clk(c.input("c")).locked(5, 5, 7); });
  inner.in("c", clk);
  VELMO_EXPERT* e = start();
  e->write_back_tibex_locations_to_atoms();
  EXPECT_TRUE(exact->is_placed());
  EXPECT_FALSE(box->is_placed());
  EXPECT_FALSE(floating->is_placed());
  EXPECT_THAT(host::call_lines(), CallSequence(Calls{"WEXAN_DEVICE::place_atom_at_sub_location(2, 3, 4, " +
                                                     std::to_string(exact.id()) + ")"}));
  EXPECT_EQ(count_calls("WEXAN_DEVICE::place_atom_at_sub_location"), 2);  // the box's contents too
}

TEST_F(PlaceStageTest, ResynthesisFlowStateDoesNotOutliveShutDown) {
  start();
  EXPECT_TRUE(velmo_muvo("u"));
  velmo_shutdown_fitter();
  start();
  EXPECT_TRUE(velmo_muvo("u"));
  EXPECT_EQ(facade_calls(), (Calls{"begin_flow(16)", "run_unit(16, \"u\")"}));
}
