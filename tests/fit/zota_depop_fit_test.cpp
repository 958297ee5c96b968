// velmo-fit moving user-chosen registers into pipeline slots: depopulated at
// the plan stage, placed in slots and routed through them, re-created as
// pipeline registers at their slots by the route-stage operations (which fail
// when a register found no slot), and the fit completes with complete routing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "fit_runner.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const std::string kDesign = std::string(VELMO_SOURCE_DIR) + "/tests/data/zota_pipeline.blif";
const std::string kSettings = std::string(VELMO_SOURCE_DIR) + "/tests/data/zota_pipeline_settings.json";

TEST(VelmoFitZota, ForcedRegistersRoundTripThroughPipelineSlots) {
  auto r = velmo_fit_test::run(kDesign + " --settings " + kSettings +
                               " --cfg yun_depopulate_force_user_depop=on --debug");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Force Depop flow depoped 0 LUTRAM data in ff, and 2 user assignments"));
  EXPECT_THAT(r.out, HasSubstr("Info: ZOTA FF merge performed 0 checks and 0 merges"));
  EXPECT_THAT(r.out, HasSubstr("Route-stage operations: ok"));
  EXPECT_THAT(r.out, Not(HasSubstr("Repopulation failed")));
  EXPECT_THAT(r.out, HasSubstr("Routing: 21 connections, 0 unrouted, 0 overused"));
  EXPECT_THAT(r.out, HasSubstr("Placement: legal"));
  EXPECT_THAT(r.out, HasSubstr("Resources: 5 LUTs, 5 registers"));
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
}

TEST(VelmoFitZota, WithoutTheSwitchTheAssignmentsAreIgnored) {
  auto r = velmo_fit_test::run(kDesign + " --settings " + kSettings + " --debug");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, Not(HasSubstr("Force Depop flow depoped")));
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
}

}  // namespace

namespace {

const std::string kDupDesign = std::string(VELMO_SOURCE_DIR) + "/tests/data/dup_pin.blif";

TEST(VelmoFitZota, DuplicationAheadOfEarlyRetimingGivesThePinItsOwnRegister) {
  auto with = velmo_fit_test::run(kDupDesign + " --cfg early_retiming_pre_dup_regs=on --debug");
  EXPECT_EQ(with.status, 0) << with.out;
  EXPECT_THAT(with.out, HasSubstr("Num dup registers for diff clocks: 1"));
  EXPECT_THAT(with.out, HasSubstr("Resources: 3 LUTs, 4 registers"));
  EXPECT_THAT(with.out, HasSubstr("0 unrouted, 0 overused"));
  auto without = velmo_fit_test::run(kDupDesign + " --debug");
  EXPECT_EQ(without.status, 0) << without.out;
  EXPECT_THAT(without.out, HasSubstr("Skip early retimer (it's off)"));
  EXPECT_THAT(without.out, HasSubstr("Resources: 3 LUTs, 3 registers"));
}

// With the time-borrowing option the final stage builds the full optimiser:
// its corners (hold-only ones included) are loaded, its pulse table built,
// and its run reached.
TEST(VelmoFitZota, TimeBorrowingOptionRunsTheFullOptimiser) {
  const std::string settings = std::string(VELMO_SOURCE_DIR) + "/tests/data/zota_pipeline_tbff_settings.json";
  auto r = velmo_fit_test::run(kDesign + " --settings " + settings +
                               " --cfg yun_depopulate_force_user_depop=on --cfg velmo_debug_tbff_optimization=on --debug");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("TBFF: Analyzing 2 corners including hold-only corners"));
  EXPECT_THAT(r.out, HasSubstr("new hold violations after opening pulse width for time borrowing"));
  EXPECT_THAT(r.out, Not(HasSubstr("TBFF_OPTIMIZATION_KY_LE_FIX_UP_ONLY")));
  // The two pipeline registers read the pin's clock over the global network,
  // as the registers around them do: one group behind the row segment's
  // PMUX, opened for borrowing, tightened as far as its borrow needs, and
  // re-checked without a hold violation.
  EXPECT_THAT(r.out, HasSubstr("routing top level block is processed, put all zota registers under pmux"));
  EXPECT_THAT(r.out, HasSubstr("TBFF: found 1 pmux groups to set pulse width"));
  EXPECT_THAT(r.out, ::testing::ContainsRegex("TBFF: pmux [0-9]+ group pulse width is set to level 2"));
  EXPECT_THAT(r.out, ::testing::ContainsRegex("TBFF: pmux [0-9]+ group pulse width is tightened to level 1"));
  EXPECT_THAT(r.out, HasSubstr("TBFF: Changing pulse width parameter for 2 atoms"));
  EXPECT_THAT(r.out, HasSubstr("TBFF: find 0 new hold violations after opening pulse width for time borrowing"));
  EXPECT_THAT(r.out, Not(HasSubstr("causing hold violation")));
  EXPECT_THAT(r.out, HasSubstr("Routing: 21 connections, 0 unrouted, 0 overused"));
}

}  // namespace
