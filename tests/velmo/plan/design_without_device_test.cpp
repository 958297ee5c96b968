// Design without device: the checks, the modifications in order, and the
// refusals (earlier errors, the skip-to-finalize recompile, failing steps).
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_script.h"
#include "jov/jov_enum.h"
#include "msg/msg_base.h"
#include "msg/msg_internal_error.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "velmo_debug.h"
#include "velmo_main.h"
#include "velmo_msgs.h"
#include "wexan/wexan_design.h"

using host::testing::DEVICE_BUILDER;
using host::testing::Family;
using host::testing::HostTest;

namespace {

class DeviceFreeTest : public HostTest {
protected:
  void start(int family) {
    DEVICE_BUILDER(family).build();
    ASSERT_TRUE(velmo_initialize_fitter(CMP_FACADE::current()));
    host::clear_calls();
  }
  void TearDown() override {
    velmo_shutdown_fitter();
    HostTest::TearDown();
  }
  static bool called(const std::string& name) { return host::call_count(name) > 0; }
  static bool has_line(const std::string& text) {
    for (const std::string& l : host::debug::texts())
      if (l == text) return true;
    return false;
  }
};

}  // namespace

TEST_F(DeviceFreeTest, ChecksThenModifiesInOrder) {
  start(Family::KY);
  EXPECT_TRUE(velmo_process_design_without_device());
  EXPECT_THAT(host::call_names(), CallSequence(std::vector<std::string>{
                                      "WEXAN_ENV::report_fitter_status",
                                      "zel_sanity_check_latch_info",
                                      "ZEL_UTIL::report_migration_io_info",
                                      "WEXAN_ENV::create_atom_mod_utility_for_algorithm",
                                      "NOLT_FF_POWER_UP_OP::work",
                                      "NOLT_PRE_FIT_NETLIST_ADJUST_OP::work",
                                      "NOLT_METASTABLE_FF_CONVERSION_OP::work",
                                  }));
  EXPECT_THAT(host::debug::texts(), CallSequence(std::vector<std::string>{
                                        "        performing:  Read User Info........",
                                        "            * SUCCESS *",
                                        "        performing:  Validate Chain Info........",
                                        "            * SUCCESS *",
                                    }));
  EXPECT_FALSE(called("NOLT_GLOBAL_ASGN_OP::work"));
  EXPECT_THAT(host::call_lines(), ::testing::Contains("NOLT_FF_POWER_UP_OP::work(0)"));
  // Only the delay-chain operation refreshes the check, without a timing
  // utility; the post-fit checker's refresh is off.
  for (const std::string& l : host::call_lines()) {
    if (l.rfind("WEXAN_ATOM_MOD_DRC::refresh_if_necessary", 0) == 0) {
      EXPECT_EQ(l, "WEXAN_ATOM_MOD_DRC::refresh_if_necessary(null)");
    }
  }
  EXPECT_FALSE(called("WEXAN_ATOM_MOD_DRC::build_dont_touch_verification_sets"));
}

TEST_F(DeviceFreeTest, ErrorsPostedAfterStartUpStopTheFlow) {
  start(Family::KY);
  msg_post((MSG_VELMO::E::FAIL)(), nullptr);
  EXPECT_FALSE(velmo_process_design_without_device());
  EXPECT_TRUE(called("WEXAN_ENV::report_fitter_status"));
  EXPECT_FALSE(called("zel_sanity_check_latch_info"));
  EXPECT_FALSE(called("NOLT_METASTABLE_FF_CONVERSION_OP::work"));
}

TEST_F(DeviceFreeTest, SkipToFinalizeRecompileChecksButDoesNotModify) {
  start(Family::KY);
  host::swavo::set_skippable_snapshot(JOV_SNAPSHOT_BASE::ROUTED, true);
  host::swavo::set_skippable_snapshot(JOV_SNAPSHOT_BASE::RETIMED, true);
  // Skippable stages without a user recompile: the design is modified.
  EXPECT_TRUE(velmo_process_design_without_device());
  EXPECT_TRUE(called("NOLT_FF_POWER_UP_OP::work"));
  host::clear_calls();
  host::swavo::set_user_flow(true);
  EXPECT_TRUE(velmo_process_design_without_device());
  EXPECT_TRUE(called("zel_sanity_check_latch_info"));
  EXPECT_FALSE(called("NOLT_FF_POWER_UP_OP::work"));
  EXPECT_TRUE(has_line("SR skip-to-finalize flow is skipping VELMO_EXPERT::modify_design_without_device!"));
}

TEST_F(DeviceFreeTest, EcoWithoutPlacementSkipsOnlyTheDelayChains) {
  start(Family::KY);
  WEXAN_ECO::current()->set(true, true);
  EXPECT_TRUE(velmo_process_design_without_device());
  EXPECT_FALSE(has_line("        performing:  Read User Info........"));
  EXPECT_TRUE(called("NOLT_METASTABLE_FF_CONVERSION_OP::work"));
}

TEST_F(DeviceFreeTest, GlobalAssignmentsOnLargePeripheryFamiliesAndTheirFailure) {
  start(Family::KX);
  host::script::queue<bool>("NOLT_GLOBAL_ASGN_OP::work").push(false);
  EXPECT_FALSE(velmo_process_design_without_device());
  EXPECT_TRUE(has_line("Failed NOLT_GLOBAL_ASGN_OP"));
  EXPECT_FALSE(called("NOLT_METASTABLE_FF_CONVERSION_OP::work"));
  EXPECT_FALSE(has_line("        performing:  Read User Info........"));
}

TEST_F(DeviceFreeTest, PowerUpFailureIsIgnoredPrefitAdjustmentFailureStops) {
  start(Family::KY);
  cfg_set_on("velmo_use_global_asgn_op");
  host::script::queue<bool>("NOLT_FF_POWER_UP_OP::work").push(false);
  EXPECT_TRUE(velmo_process_design_without_device());
  EXPECT_TRUE(called("NOLT_GLOBAL_ASGN_OP::work"));
  host::clear_calls();
  host::script::queue<bool>("NOLT_PRE_FIT_NETLIST_ADJUST_OP::work").push(false);
  EXPECT_FALSE(velmo_process_design_without_device());
  EXPECT_FALSE(called("NOLT_GLOBAL_ASGN_OP::work"));
  EXPECT_FALSE(called("NOLT_METASTABLE_FF_CONVERSION_OP::work"));
}

TEST_F(DeviceFreeTest, InsaneLatchesAreAnInternalError) {
  start(Family::KY);
  host::script::queue<bool>("zel_sanity_check_latch_info").push(false);
  const HOST_INTERNAL_ERROR e = host::testing::expect_internal_error([] { velmo_process_design_without_device(); });
  EXPECT_EQ(e.condition, "Circuit has insane latches at the beginning of the fitter");
  EXPECT_EQ(e.tag, "VELMO");
  EXPECT_EQ(e.file, "velmo_expert");
}

TEST_F(DeviceFreeTest, PostFitCheckerSetUpNeedsTiming) {
  start(Family::KY);
  cfg_set_on("siv_run_post_fit_check");
  EXPECT_TRUE(velmo_process_design_without_device());
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, "
                                      "false, false, null, false, false)",
                                      "WEXAN_ATOM_MOD_DRC::refresh_if_necessary",
                                      "WEXAN_ATOM_MOD_DRC::build_dont_touch_verification_sets"}));
}
