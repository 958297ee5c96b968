// velmo-fit with resynthesis enabled in the project settings: the place
// stage hands the netlist to the resynthesis engine and the fit completes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "fit_runner.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const std::string kDesign = std::string(VELMO_SOURCE_DIR) + "/tests/data/dup_pin.blif";
const std::string kSettings = std::string(VELMO_SOURCE_DIR) + "/tests/data/resyn_settings.json";

TEST(VelmoFitResyn, ResynthesisRunsInThePlaceStageWhenTheSettingIsOn) {
  auto with = velmo_fit_test::run(kDesign + " --settings " + kSettings + " --debug");
  EXPECT_EQ(with.status, 0) << with.out;
  EXPECT_THAT(with.out, HasSubstr("SYN_TAG: DRASK mapper is running"));
  EXPECT_THAT(with.out, HasSubstr("SYN_TAG: VELMO_RESYN Step RESYN - running map with area recovery"));
  EXPECT_THAT(with.out, HasSubstr("Set "));
  EXPECT_THAT(with.out, HasSubstr("0 unrouted, 0 overused"));
  auto without = velmo_fit_test::run(kDesign + " --debug");
  EXPECT_EQ(without.status, 0) << without.out;
  EXPECT_THAT(without.out, HasSubstr("SYN_TAG: DRASK mapper is not running. MOZ is OFF"));
  EXPECT_THAT(without.out, Not(HasSubstr("VELMO_RESYN Step")));
}


// What the stage line of `stage` says the stage computed: its verdict and
// its timing note, without the elapsed time between them, which differs
// from run to run.
std::string stage_line(const std::string& out, const std::string& stage) {
  std::smatch m;
  return std::regex_search(out, m, std::regex("Stage " + stage + ": (\\w+) \\([0-9:]+\\)([^\n]*)"))
             ? m[1].str() + m[2].str()
             : "none";
}

// Resynthesis runs before the placer; the place stage's timing line is the
// analysis of the placed design all the same: the stand-in resynthesis
// changes nothing, so it equals the line of a run without it.
TEST(VelmoFitResyn, ThePlaceStageLineIsThatOfThePlacedDesign) {
  const std::string s298 = std::string(VELMO_SOURCE_DIR) + "/examples/designs/mcnc/s298.blif";
  auto with = velmo_fit_test::run(s298 + " --settings " + kSettings);
  auto without = velmo_fit_test::run(s298);
  EXPECT_EQ(with.status, 0) << with.out;
  EXPECT_EQ(without.status, 0) << without.out;
  EXPECT_EQ(stage_line(with.out, "place"), stage_line(without.out, "place"));
  EXPECT_NE(stage_line(with.out, "place"), stage_line(with.out, "plan"));
  EXPECT_EQ(stage_line(with.out, "route"), stage_line(without.out, "route"));
}

// The device's zento-aware timing switch lets resynthesis use the
// retiming-aware analysis, with the clock skews saved and reset around it.
TEST(VelmoFitResyn, TheZentoAwareSwitchTurnsTheRetimingAwareAnalysisOn) {
  const std::string settings = velmo_fit_test::test_dir() + "zento_aware.json";
  std::ofstream(settings) << R"({"options": [{"id": 1166, "type": 1, "value": "on"}],
                                 "device": {"zento_aware_optimize_timing": true}})";
  const std::string s298 = std::string(VELMO_SOURCE_DIR) + "/examples/designs/mcnc/s298.blif";
  auto on = velmo_fit_test::run(s298 + " --debug --settings " + settings);
  EXPECT_EQ(on.status, 0) << on.out;
  EXPECT_THAT(on.out, HasSubstr("SYN_TAG: DRASK is ON"));
  EXPECT_THAT(on.out, HasSubstr("Saved skew on 8 (0 non zero) clock iterms"));
  EXPECT_THAT(on.out, HasSubstr("Reset skew on 8 clock iterms"));
  auto off = velmo_fit_test::run(s298 + " --debug --settings " + kSettings);
  EXPECT_EQ(off.status, 0) << off.out;
  EXPECT_THAT(off.out, HasSubstr("SYN_TAG: Not running DRASK because zento-aware timing optimization is OFF"));
  EXPECT_THAT(off.out, Not(HasSubstr("Saved skew")));
}

}  // namespace
