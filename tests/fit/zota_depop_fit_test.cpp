// velmo-fit moving user-chosen registers into pipeline slots: depopulated at
// the plan stage, placed in slots and routed through them, re-created as
// pipeline registers at their slots by the route-stage operations (which fail
// when a register found no slot), and the fit completes with complete routing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
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
  EXPECT_THAT(r.out, Not(HasSubstr("Hold: FAILING")));
  EXPECT_THAT(r.out, HasSubstr("Routing: 21 connections, 0 unrouted, 0 overused"));
}

}  // namespace

namespace {

const std::string kDesigns = std::string(VELMO_SOURCE_DIR) + "/examples/designs/";

// A settings file of the given text in the test's temporary directory.
std::string settings_file(const std::string& name, const std::string& text) {
  const std::string path = velmo_fit_test::test_dir() + name;
  std::ofstream(path) << text;
  return path;
}

// The first number of `out` after `prefix`, -1 without one.
int number_after(const std::string& out, const std::string& prefix) {
  std::smatch m;
  if (!std::regex_search(out, m, std::regex(prefix + "([0-9]+)"))) return -1;
  return std::stoi(m[1]);
}

// Each device switch of the settings file reaches the step it gates on a
// bundled design; the stand-in engine's retiming run and whole-netlist
// depopulation change nothing there (no register moves, none is a pipeline
// register), so those say that they ran and what they found.
TEST(VelmoFitZota, DeviceSwitchesOfTheSettingsFileReachTheirSteps) {
  const std::string s298 = kDesigns + "mcnc/s298.blif";
  auto off = velmo_fit_test::run(s298 + " --cfg skip_early_depop=off --debug");
  EXPECT_EQ(off.status, 0) << off.out;
  EXPECT_THAT(off.out, HasSubstr("Skip early retimer (it's off)"));
  EXPECT_THAT(off.out, Not(HasSubstr("register restriction table:")));
  EXPECT_THAT(off.out, Not(HasSubstr("depopulate_netlist:")));

  auto early = velmo_fit_test::run(
      s298 + " --debug --settings " + settings_file("early.json", R"({"device": {"early_retiming": true}})"));
  EXPECT_EQ(early.status, 0) << early.out;
  EXPECT_THAT(early.out, Not(HasSubstr("Skip early retimer (it's off)")));
  EXPECT_THAT(early.out, HasSubstr("Running Early Retiming Flow\nretime: 0 registers moved"));
  EXPECT_THAT(early.out, HasSubstr("Resources: 1301 LUTs, 8 registers"));

  auto depop = velmo_fit_test::run(s298 + " --cfg skip_early_depop=off --debug --settings " +
                                   settings_file("depop.json", R"({"device": {"zota_depopulation": true}})"));
  EXPECT_EQ(depop.status, 0) << depop.out;
  EXPECT_THAT(depop.out, HasSubstr("register restriction table: 8 registers, 0 restricted"));
  EXPECT_THAT(depop.out, HasSubstr("depopulate_netlist: 0 of 8 registers depopulated"));

  auto rfpar = velmo_fit_test::run(s298 + " --cfg skip_early_depop=off --debug --settings " +
                                   settings_file("rfpar.json", R"({"device": {"rfpar": true}})"));
  EXPECT_EQ(rfpar.status, 0) << rfpar.out;
  EXPECT_THAT(rfpar.out, HasSubstr("register restriction table: 8 registers, 0 restricted"));
  EXPECT_THAT(rfpar.out, Not(HasSubstr("depopulate_netlist:")));

  // By instance: a register's assignment alone moves it into a pipeline
  // slot, no configuration switch needed.
  const std::string diffeq = kDesigns + "mcnc/diffeq.blif";
  const std::string assigned = R"("assignments": [{"instance": "nlak3_2", "id": 1177, "type": 6, "value": "424"}],
      "global_clocks": ["pclk"])";
  auto by_instance = velmo_fit_test::run(
      diffeq + " --debug --settings " +
      settings_file("by_instance.json",
                    "{" + assigned + R"(, "device": {"zota_depopulation_by_instance": true}})"));
  EXPECT_EQ(by_instance.status, 0) << by_instance.out;
  EXPECT_THAT(by_instance.out, HasSubstr("Force Depop flow depoped 0 LUTRAM data in ff, and 1 user assignments"));
  EXPECT_THAT(by_instance.out, HasSubstr("depopulate_registers: 1 of 1 registers depopulated"));
  EXPECT_THAT(by_instance.out, HasSubstr("0 unrouted, 0 overused"));
  auto not_by_instance =
      velmo_fit_test::run(diffeq + " --debug --settings " + settings_file("assigned.json", "{" + assigned + "}"));
  EXPECT_EQ(not_by_instance.status, 0) << not_by_instance.out;
  EXPECT_THAT(not_by_instance.out, Not(HasSubstr("Force Depop flow")));

  // A name the device has no switch for, or a value that is no boolean.
  auto bad = velmo_fit_test::run(s298 + " --settings " + settings_file("bad.json", R"({"device": {"retiming": true}})"));
  EXPECT_EQ(bad.status, 2);
  EXPECT_THAT(bad.out, HasSubstr("unknown device switch 'device.retiming' (valid: early_retiming, zota_depopulation, "
                                 "zota_depopulation_by_instance, rfpar, zento_aware_optimize_timing)"));
  auto not_bool =
      velmo_fit_test::run(s298 + " --settings " + settings_file("not_bool.json", R"({"device": {"rfpar": 1}})"));
  EXPECT_EQ(not_bool.status, 2);
  EXPECT_THAT(not_bool.out, HasSubstr("device.rfpar must be true or false"));
}

// The clock-enable hack with gobbling deletes the LUTs it leaves dangling
// while the design has a timing netlist; the fit goes on without them and
// every connection is routed. This checks the hack's result through
// velmo-fit only: that a deleted atom's timing cells go with it is pinned by
// EarlyRetimingTest.EnablesAndClearsAreCutAndDanglingLutsGobbledPassByPass,
// which crashes without it; here the timing netlist is rebuilt after the
// deletion, so the fit's output is the same either way.
TEST(VelmoFitZota, TheEnableHackGobblesLutsAndTheFitCompletes) {
  const std::string crc = kDesigns + "yosys/crc32x8.blif";
  auto r = velmo_fit_test::run(crc + " --cfg fit_hack_ce_aclr=on --cfg fit_hack_ce_aclr_gobble=on --debug");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Info: Removed 32 CE iterms and 0 ACLR iterms"));
  const int gobbled = number_after(r.out, "Deleting ");
  EXPECT_GT(gobbled, 0);
  auto plain = velmo_fit_test::run(crc);
  EXPECT_EQ(plain.status, 0) << plain.out;
  EXPECT_EQ(number_after(r.out, "Resources: "), number_after(plain.out, "Resources: ") - gobbled);
  EXPECT_THAT(r.out, HasSubstr("0 unrouted, 0 overused"));
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
}

// Duplication ahead of early retiming adds registers before placement: the
// device is sized with room for the copies its limits allow, so the larger
// design still places and routes; without the pass the size stays.
TEST(VelmoFitZota, DuplicationRoomKeepsTheDuplicatedDesignPlaceable) {
  const std::string tseng = kDesigns + "mcnc/tseng.blif";
  auto with = velmo_fit_test::run(tseng + " --cfg early_retiming_pre_dup_regs=on --debug");
  EXPECT_EQ(with.status, 0) << with.out;
  const int copies = number_after(with.out, "Total dup registers for retiming: total dups: ");
  EXPECT_GT(copies, 0);
  EXPECT_EQ(number_after(with.out, "Resources: [0-9]+ LUTs, "), 385 + copies);
  EXPECT_THAT(with.out, HasSubstr("Placement: legal"));
  EXPECT_THAT(with.out, HasSubstr("0 unrouted, 0 overused"));
  auto without = velmo_fit_test::run(tseng);
  EXPECT_EQ(without.status, 0) << without.out;
  const int cols_with = number_after(with.out, "device family 46, ");
  const int cols_without = number_after(without.out, "device family 46, ");
  EXPECT_GT(cols_with, cols_without);
  EXPECT_THAT(without.out, HasSubstr("16 x 14 tiles"));
}

}  // namespace
