// The timing-side debug members: the annotation-library snapshot request,
// the timing-analysis debug runs and the incremental-versus-full check, with
// the expert's timing-netlist step.
#include "cfg/cfg.h"
#include "common/host_script.h"
#include "expert_fixture.h"
#include "kem/kem_timing_model.h"
#include "testing/timing_builder.h"
#include "wexan/wexan_env.h"

using velmo_test::ExpertTest;
using Calls = std::vector<std::string>;

namespace {
class TimingDebugTest : public ExpertTest {
protected:
  void small_design() {
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    n.clock("clk", 2000, clk);
    auto a = n.reg("a").clk(clk).d(n.input_port("in"));
    n.reg("b").clk(clk).d(n.lut("l", {a}, 0x1ull));
  }
  static Calls calls_named(const std::string& prefix) {
    Calls out;
    for (const auto& c : host::call_lines())
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
  }
};
}  // namespace

TEST_F(TimingDebugTest, DraskRunsAndLabelsInOrderAndReleasesOnceAfterTheLast) {
  small_design();
  cfg_set_value("velmo_debug_run_additional_drask_calls", "2");
  VELMO_EXPERT* e = start();
  host::testing::netlist().timing();
  host::clear_calls();
  e->do_debug_drask();
  EXPECT_EQ(calls_named("HOV_ACCESSORIES::"),
            (Calls{"HOV_ACCESSORIES::record_label(\"Pre-DEBUG-DRASK\")", "HOV_ACCESSORIES::prepare_drask()",
                   "HOV_ACCESSORIES::run_drask(true, true, false)", "HOV_ACCESSORIES::record_label(\"DEBUG-DRASK\")",
                   "HOV_ACCESSORIES::run_drask(true, true, false)",
                   "HOV_ACCESSORIES::record_label(\"DEBUG-DRASK-1\")",
                   "HOV_ACCESSORIES::run_drask(true, true, false)", "HOV_ACCESSORIES::release_drask()",
                   "HOV_ACCESSORIES::record_label(\"DEBUG-DRASK-2\")"}));
  EXPECT_THAT(host::debug::texts(), CallSequence(Calls{"before do_debug_drask cookie: ",
                                                       "DEBUG-DRASK elapsed time = 00:00:00",
                                                       "DEBUG-DRASK-1 elapsed time = 00:00:00",
                                                       "DEBUG-DRASK-2 elapsed time = 00:00:00",
                                                       "after do_debug_drask cookie: "}));
}

TEST_F(TimingDebugTest, DraskWithANegativeCountReleasesLikeZero) {
  small_design();
  cfg_set_on("velmo_debug_run_drask_router_mode");
  VELMO_EXPERT* e = start();
  host::testing::netlist().timing();
  for (const char* count : {"0", "-3"}) {
    SCOPED_TRACE(count);
    cfg_set_value("velmo_debug_run_additional_drask_calls", count);
    host::clear_calls();
    e->do_debug_drask();
    EXPECT_EQ(calls_named("HOV_ACCESSORIES::"),
              (Calls{"HOV_ACCESSORIES::record_label(\"Pre-DEBUG-DRASK\")", "HOV_ACCESSORIES::prepare_drask()",
                     "HOV_ACCESSORIES::run_drask(true, true, true)", "HOV_ACCESSORIES::release_drask()",
                     "HOV_ACCESSORIES::record_label(\"DEBUG-DRASK\")"}));
  }
}

TEST_F(TimingDebugTest, DraskNeedsATimingNetlist) {
  VELMO_EXPERT* e = start();
  auto err = host::testing::expect_internal_error([&] { e->do_debug_drask(); });
  EXPECT_EQ(err.condition, "kem_netlist");
  EXPECT_EQ(err.tag, "VELMO");
  EXPECT_EQ(err.file, "velmo_expert");
  // A timing netlist without a corner gets the default one; one on another
  // corner is moved to it.
  small_design();
  host::testing::netlist().timing();
  KEM_CORNER_MANAGER* corners = KEM_MANAGER::get()->get_kem_netlist()->get_corner_manager();
  const KEM_TIMING_MODEL model = KEM_TIMING_MODEL::create_default_timing_model(CMP_FACADE::current(), 0);
  while (corners->get_corner_count() > 0) corners->erase_corner(corners->get_current_corner());
  e->do_debug_drask();
  ASSERT_EQ(corners->get_corner_count(), 1);
  EXPECT_TRUE(corners->get_current_corner() == model);
  corners->change_corner(KEM_TIMING_MODEL(1, 1, 900, 0));
  ASSERT_FALSE(corners->get_current_corner() == model);
  e->do_debug_drask();
  EXPECT_EQ(corners->get_corner_count(), 2);
  EXPECT_TRUE(corners->get_current_corner() == model);
}

TEST_F(TimingDebugTest, VerifyIncrementalHepComparesWithAFullRebuild) {
  small_design();
  VELMO_EXPERT::verify_incremental_hep(WEXAN_ENV::get_env());  // no environment is touched while off
  start();
  host::testing::netlist().timing();
  host::clear_calls();
  VELMO_EXPERT::verify_incremental_hep(WEXAN_ENV::get_env());
  EXPECT_TRUE(host::calls().empty());

  cfg_set_on("velmo_verify_incremental_hep");
  cfg_set_on("velmo_verify_incremental_hep_dump_dots");
  VELMO_EXPERT::verify_incremental_hep(WEXAN_ENV::get_env());
  EXPECT_THAT(host::call_lines(),
              CallSequence(Calls{"sta_debug_compute_incoming_kem_netlist_cookie(true)",
                                 "sta_debug_compute_outgoing_slack_cookie(true)",
                                 "sta_debug_remember_last_traversal_settings()",
                                 "umbr_tcl_eval(null, \"load_package sta_internal; dump_dot sta_dump.before *",
                                 "WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1, false, false)",
                                 "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, [1_slow_900mv_100c, "
                                 "1_fast_900mv_-40c], false, false, true, true, null, false, false)",
                                 "sta_debug_compute_incoming_kem_netlist_cookie(true)",
                                 "sta_debug_restore_last_traversal_settings_and_refresh()",
                                 "sta_debug_compute_outgoing_slack_cookie(true)",
                                 "umbr_tcl_eval(null, \"load_package sta_internal; dump_dot sta_dump.after *"}));
}

TEST_F(TimingDebugTest, VerifyIncrementalHepRaisesOnDifferingCookies) {
  small_design();
  cfg_set_on("velmo_verify_incremental_hep");
  start();
  host::testing::netlist().timing();
  host::script::queue<std::uint64_t>("sta_debug_compute_incoming_kem_netlist_cookie").push(1).push(2);
  auto err = host::testing::expect_internal_error([] { VELMO_EXPERT::verify_incremental_hep(WEXAN_ENV::get_env()); });
  EXPECT_EQ(err.condition, "incr_kem_cookie == full_kem_cookie");

  host::script::queue<std::uint64_t>("sta_debug_compute_outgoing_slack_cookie").push(7).push(8);
  err = host::testing::expect_internal_error([] { VELMO_EXPERT::verify_incremental_hep(WEXAN_ENV::get_env()); });
  EXPECT_EQ(err.condition, "incr_sta_cookie == full_sta_cookie");
}

TEST_F(TimingDebugTest, XabSnapshotIsRequestedOncePerCall) {
  small_design();
  VELMO_EXPERT* e = start();
  e->generate_debug_xab_design_dump_file();
  EXPECT_TRUE(host::calls().empty());

  cfg_set_on("generate_single_xab_dump_design_snapshot");
  e->generate_debug_xab_design_dump_file();
  EXPECT_THAT(host::call_lines(),
              CallSequence(Calls{"WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, 5, true, false, true, false"}));
  EXPECT_FALSE(cfg_is_on("xab_dump_design_snapshot", false));

  // Reusing the timing data: invoke mode 2 and the first flag off.
  CMP_FACADE::current()->m_reuse_timing_for_debug_dumps = true;
  host::clear_calls();
  e->generate_debug_xab_design_dump_file();
  EXPECT_THAT(host::call_lines(),
              CallSequence(Calls{"WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, true, false"}));

  // Already on: only the notice.
  cfg_set_on("xab_dump_design_snapshot");
  host::clear_calls();
  e->generate_debug_xab_design_dump_file();
  EXPECT_EQ(count_calls("WEXAN_ENV::get_hov_utility_or_create_if_necessary"), 0);
  EXPECT_EQ(count_lines("generate_single_xab_dump_design_snapshot set, enabling xab_dump_design_snapshot"), 3);
}

TEST_F(TimingDebugTest, CreateTimingNetlistRequestsTheTimingUtility) {
  small_design();
  VELMO_EXPERT* e = start();
  const std::vector<KEM_TIMING_MODEL> models = {KEM_TIMING_MODEL::create_default_timing_model(CMP_FACADE::current(), 0)};
  EXPECT_TRUE(e->create_timing_netlist(0, 3, models, false, true, false, true));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Creating timing netlist"));
  EXPECT_THAT(host::call_lines(),
              CallSequence(Calls{"WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, [1_slow_900mv_100c], false, "
                                 "true, false, true, null, false, false)"}));
}

TEST_F(TimingDebugTest, TheTransmitDeskewOnOtherFamiliesIsTimedFirst) {
  device(host::testing::Family::KX);
  small_design();
  VELMO_EXPERT* e = start();
  EXPECT_TRUE(e->process_delay_chains_after_regpacking());
  EXPECT_THAT(host::call_lines(),
              CallSequence(Calls{"HSSI_KX_TX_DESKEW_OP::init",
                                 "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 2, 6, false, false, false, false",
                                 "HSSI_KX_TX_DESKEW_OP::work"}));
  cfg_set_off("velmo_enable_hssi_kx_tx_deskew_op_post_luj");  // read once: no change
  host::clear_calls();
  EXPECT_TRUE(e->process_delay_chains_after_regpacking());
  EXPECT_EQ(count_calls("HSSI_KX_TX_DESKEW_OP::work"), 1);
}
