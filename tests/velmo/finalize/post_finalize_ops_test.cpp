// The post-finalize operations in order, with and without the early-access
// flow, and the finalize stage's exits that this build can reach.
#include <algorithm>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "dev/dev_spec.h"
#include "gesk/gesk_bundle.h"
#include "hov/hov_utility.h"
#include "jov/jov_design.h"
#include "msg/msg_base.h"
#include "siv/siv_atom_mod_utility.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/partition_builder.h"
#include "testing/routing_builder.h"
#include "velmo_expert.h"
#include "velmo_finalize_parasitics.h"
#include "velmo_main.h"
#include "vok/vok_chip_db_entry.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_finalize_services.h"
#include "wif/wif_sr_state_manager.h"

using host::testing::expect_internal_error;
using host::testing::Family;
using host::testing::HostTest;
using ::testing::Contains;
using ::testing::Not;

namespace {

class PostFinalizeTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    m_expert = VELMO_EXPERT::create(CMP_FACADE::current(), m_env);
    host::clear_calls();
  }
  void TearDown() override {
    VELMO_EXPERT::s_do_lcell_to_lm_conversion = false;
    VELMO_EXPERT::destroy();
    delete m_env;
    HostTest::TearDown();
  }
  static void set_snapshot(int n) { JOV_ROOT::get()->get_design("")->set_current_snapshot(n); }
  // Runs the operations; the common closing step with the route stage ends
  // them.
  void run_to_fanout_check(bool ok) {
    m_expert->do_post_finalize_ops(ok);
    EXPECT_THAT(host::call_names(), CallSequence(std::vector<std::string>{
                                        "WEXAN_SWAVO_RECOMPILE_UTILITY::cache_routing_preservation",
                                        "GEN_PROFILE_BINS::close"}));
  }
  WEXAN_ENV* m_env = nullptr;
  VELMO_EXPERT* m_expert = nullptr;
};

TEST_F(PostFinalizeTest, FailedFitOnlyOpensAndClosesTheBin) {
  m_expert->do_post_finalize_ops(false);
  EXPECT_EQ(host::call_lines(), (std::vector<std::string>{
                                    "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::do_post_finalize_ops\", "
                                    "2147483647, \"Postfit - Other\", \"Finalize Post-Processing\")",
                                    "GEN_PROFILE_BINS::close(\"VELMO_EXPERT::do_post_finalize_ops\")"}));
}

TEST_F(PostFinalizeTest, RunsItsStepsInOrder) {
  host::wexan::set_has_sondery(true);
  host::script::queue<bool>("WEXAN_SONDERY::is_save_to_database").push(true);
  run_to_fanout_check(true);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Performing all post finalize operations..."));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Performing post finalize hold fixing operations..."));
  EXPECT_THAT(host::call_names(), CallSequence(std::vector<std::string>{
                                      "WEXAN_ENV::run_w3j3_postfit",
                                      "R5T_DIRECTIVE_GENERATOR::create",
                                      "R5T_DIRECTIVE_GENERATOR::generate_directives",
                                      "R5T_DIRECTIVE_GENERATOR::~R5T_DIRECTIVE_GENERATOR",
                                      "W3J3_CHECK_OP::work",
                                      "WEXAN_JOV_PR_UTILITY::update_post_fit_partition_info",
                                      "WEXAN_JOV_PR_UTILITY::update_post_fit_region_info",
                                      "WEXAN_JOV_PR_UTILITY::update_post_fit_routing_info",
                                      "WEXAN_JOV_PR_UTILITY::write_post_fit_pr_bitstream_info",
                                      "WEXAN_JOV_PR_UTILITY::finish_post_fit_pr_processing",
                                      "WEXAN_DESIGN_HASH_UTILITY::apply_design_hash",
                                      "WEXAN_DESIGN::set_post_fit_atom_bit_info",
                                      "WEXAN_ASD_UTILITY::start",
                                      "WEXAN_ASD_UTILITY::finish",
                                      "WEXAN_ASD_UTILITY::destroy",
                                      "WEXAN_SONDERY::update_oterm_omz_instance_tappable_flags",
                                      "WEXAN_SONDERY::save_sondery_required_info",
                                      "GEN_PROFILE_BINS::close"}));
  // No power tiles, no don't-touch check by default.
  EXPECT_THAT(host::call_names(), Not(Contains("VOK_PWR_TILE_SETTING_INFO::set_used_tiles")));
  EXPECT_THAT(host::call_names(), Not(Contains("WEXAN_ATOM_MOD_DRC::verify_dont_touch")));
}

TEST_F(PostFinalizeTest, EarlyAccessFlowSkipsHoldFixingAndThePortModel) {
  set_snapshot(11);  // nimbrel: the early-access flow is forced
  ASSERT_TRUE(force_ky_ea_flow());
  run_to_fanout_check(true);
  EXPECT_THAT(host::debug::texts(), Not(Contains("VELMO_FINALIZE_PARASITICS::run: not built yet")));
  for (const char* skipped : {"WEXAN_ENV::run_w3j3_postfit", "R5T_DIRECTIVE_GENERATOR::create", "W3J3_CHECK_OP::work"})
    EXPECT_THAT(host::call_names(), Not(Contains(skipped))) << skipped;
  EXPECT_THAT(host::debug::texts(), HasDebugLine("TBFF: Initializing TBFF optimization"));
  EXPECT_THAT(host::call_names(), Contains("WEXAN_JOV_PR_UTILITY::finish_post_fit_pr_processing"));
}

TEST_F(PostFinalizeTest, LogicModuleConversionAndMissingUtilities) {
  VELMO_EXPERT::s_do_lcell_to_lm_conversion = true;
  // A preserved partition's read-only netlist is left as it is: only the top
  // one is converted.
  auto n = host::testing::netlist();
  auto box = n.blackbox("A", [](auto& c) { c.output("o", c.reg("r").clk(c.input("c"))); });
  host::testing::partition("A", box).preserved();
  host::clear_calls();
  cfg_set_off("wexan_rebuild_w3j_jev_netlist");
  cfg_set_off("w3j3_run_post_fit_checks");
  run_to_fanout_check(true);
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "WEXAN_ENV::create_atom_mod_utility_for_algorithm(9",
                                      "SIV_ATOM_MOD_UTILITY::set_options(40, 0)",
                                      "WODE_ATOM_CONVERTER_KY::convert(true)",
                                      "SIV_ATOM_MOD_UTILITY::~SIV_ATOM_MOD_UTILITY",
                                      "WEXAN_DESIGN::load_basic_atom_information"}));
  const std::vector<std::string> calls = host::call_names();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "WODE_ATOM_CONVERTER_KY::convert"), 1);
  EXPECT_EQ(host::siv::live_utilities(), 0);

  host::wexan::set_pr_utility_absent(true);
  auto e = expect_internal_error([&] { m_expert->do_post_finalize_ops(true); });
  EXPECT_EQ(e.condition, "pr_util");
  host::wexan::set_pr_utility_absent(false);
  host::wexan::set_asd_utility_absent(true);
  e = expect_internal_error([&] { m_expert->do_post_finalize_ops(true); });
  EXPECT_EQ(e.condition, "asd_util");
  host::wexan::set_asd_utility_absent(false);

  // Both the port-model rebuild and its checks need the design bundle.
  host::gesk::load(false, false);
  for (const char* step : {"wexan_rebuild_w3j_jev_netlist", "w3j3_run_post_fit_checks"}) {
    cfg_set_on(step);
    e = expect_internal_error([&] { m_expert->do_post_finalize_ops(true); });
    EXPECT_EQ(e.condition, "bundle != NULL") << step;
    cfg_set_off(step);
  }
}

// The steps that depend on the design or on a switch: the R5T directives
// (off by default on family 26), the used power tiles (only with power-tile
// settings), the don't-touch check (asked for, and only in a timing-driven
// compile) and the probe data (saved only when it goes to the database).
TEST_F(PostFinalizeTest, OptionalStepsFollowTheirConditions) {
  host::wexan::set_has_sondery(true);
  m_env->get_chip_db_entry()->power_tile_setting_info().push_back(1);
  cfg_set_on("siv_run_post_fit_check");
  run_to_fanout_check(true);
  EXPECT_THAT(host::call_names(), CallSequence(std::vector<std::string>{
                                      "WEXAN_ASD_UTILITY::start", "VOK_PWR_TILE_SETTING_INFO::set_used_tiles",
                                      "WEXAN_ASD_UTILITY::finish", "WEXAN_ATOM_MOD_DRC::verify_dont_touch",
                                      "WEXAN_SONDERY::update_oterm_omz_instance_tappable_flags"}));
  EXPECT_THAT(host::call_names(), Not(Contains("WEXAN_SONDERY::save_sondery_required_info")));

  host::hov::set_on(false);
  host::clear_calls();
  run_to_fanout_check(true);
  EXPECT_THAT(host::call_names(), Not(Contains("WEXAN_ATOM_MOD_DRC::verify_dont_touch")));

  // The port-model rebuild (with its directives) and its post-fit checks
  // each follow their own switch.
  for (const bool rebuild : {false, true}) {
    for (const bool checks : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "rebuild " << rebuild << " checks " << checks);
      rebuild ? cfg_set_on("wexan_rebuild_w3j_jev_netlist") : cfg_set_off("wexan_rebuild_w3j_jev_netlist");
      checks ? cfg_set_on("w3j3_run_post_fit_checks") : cfg_set_off("w3j3_run_post_fit_checks");
      host::clear_calls();
      run_to_fanout_check(true);
      EXPECT_EQ(host::call_count("WEXAN_ENV::run_w3j3_postfit"), rebuild ? 1 : 0);
      EXPECT_EQ(host::call_count("R5T_DIRECTIVE_GENERATOR::generate_directives"), rebuild ? 1 : 0);
      EXPECT_EQ(host::call_count("W3J3_CHECK_OP::work"), checks ? 1 : 0);
    }
  }
  host::cfg::unset("wexan_rebuild_w3j_jev_netlist");
  host::cfg::unset("w3j3_run_post_fit_checks");

  const auto directives = [&] {
    host::clear_calls();
    run_to_fanout_check(true);
    EXPECT_THAT(host::call_names(), Contains("WEXAN_ENV::run_w3j3_postfit"));
    return host::call_count("R5T_DIRECTIVE_GENERATOR::generate_directives");
  };
  cfg_set_off("w3j3_generate_r5t_directives");
  EXPECT_EQ(directives(), 0);
  host::cfg::unset("w3j3_generate_r5t_directives");
  host::testing::device(Family::KZ).build();
  EXPECT_EQ(directives(), 0) << "family 26";
  cfg_set_on("w3j3_generate_r5t_directives");
  EXPECT_EQ(directives(), 1) << "family 26, asked for";
}

// The operations check the fan-out limits of the routing they end with: by
// default a violation stops them; with the switch it is only reported.
TEST_F(PostFinalizeTest, AFanoutViolationStopsTheOperationsUnlessOnlyAReportIsAskedFor) {
  using host::testing::NET_BUILDER;
  auto n = host::testing::netlist();
  auto q = n.reg("q").d(n.input_port("in"));
  // One wire with seven fabric branches, one more than a wire may drive.
  host::testing::routing().routing(q).wire(host::testing::h(7, 7)).branch([](NET_BUILDER& b) {
    for (int i = 0; i < 7; ++i)
      b.branch([&](NET_BUILDER& c) { c.wire(i % 2 ? host::testing::v(1 + i / 2, 2) : host::testing::h(1 + i / 2, 2)); });
  });
  host::testing::routing().attach();
  // The hold fixing has a check of its own: only the operations' closing one
  // here.
  cfg_set_off("fit_finalize_runs_parasitics_hold_fixing");
  host::clear_calls();
  EXPECT_EQ(expect_internal_error([&] { m_expert->do_post_finalize_ops(true); }).condition,
            "Fanout limits violated. See debug output for details.");
  EXPECT_THAT(host::call_names(), Not(Contains("WEXAN_SWAVO_RECOMPILE_UTILITY::cache_routing_preservation")));
  cfg_set_on("velmo_prevent_fanout_limit_check_assert");
  run_to_fanout_check(true);
  const std::vector<std::string> texts = host::debug::texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Fanout limit violations found, but I will not assert."), 1);
}

TEST_F(PostFinalizeTest, FinalizeEmulationExitAndItsFirstSteps) {
  DeviceSpec spec = host::device::spec();
  spec.zento_nimbrel_emulate = true;
  host::device::configure(spec);
  set_snapshot(10);
  VELMO_FINALIZE_PARASITICS::has_written_out_kem = true;
  // The exported entry point reaches the expert's stage.
  EXPECT_TRUE(velmo_finalize());
  EXPECT_FALSE(VELMO_FINALIZE_PARASITICS::has_written_out_kem);
  int warnings = 0;
  for (const auto& m : host::messages::posted()) warnings += m.id == 18968;
  EXPECT_EQ(warnings, 1);
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"velmo_finalize\"",
                                      "GEN_PROFILE_BINS::close(\"velmo_finalize\")"}));

}

// A failed fit is reported to the compiler; the error that blames reused
// results is posted only in a recompile, and never for a fit that succeeded.
TEST_F(PostFinalizeTest, SuccessOrFailureReport) {
  const auto reused_results_errors = [] {
    int n = 0;
    for (const auto& m : host::messages::posted())
      n += m.id == 11166 && m.text.find("Previous compilation results are reused") != std::string::npos;
    return n;
  };
  struct CASE {
    bool ok, recompile;
    int failures, errors;
  };
  for (const CASE& c : {CASE{true, false, 0, 0}, CASE{true, true, 0, 0}, CASE{false, false, 1, 0},
                        CASE{false, true, 1, 1}}) {
    SCOPED_TRACE(::testing::Message() << "ok " << c.ok << " recompile " << c.recompile);
    host::clear_calls();
    const int errors_before = reused_results_errors();
    const size_t posted_before = host::messages::posted().size();
    const std::vector<std::string> texts_before = host::debug::texts();
    const auto fits_before = std::count(texts_before.begin(), texts_before.end(), "It fits!");
    host::wif::set_swavo_recompile_enabled(c.recompile);
    m_expert->report_success_or_failure(c.ok);
    const std::vector<std::string> lines = host::call_lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "CMP_FACADE::report_fitter_failure(1)"), c.failures);
    EXPECT_EQ(host::call_count("CMP_FACADE::report_fitter_failure"), c.failures);
    EXPECT_EQ(reused_results_errors() - errors_before, c.errors);
    EXPECT_EQ(host::messages::posted().size() - posted_before, static_cast<size_t>(c.errors)) << "nothing else";
    const std::vector<std::string> texts = host::debug::texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "It fits!") - fits_before, c.ok ? 1 : 0);
  }
  host::wif::set_swavo_recompile_enabled(false);
}

}  // namespace
