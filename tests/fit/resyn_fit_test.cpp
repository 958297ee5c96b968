// velmo-fit with resynthesis enabled in the project settings: the place
// stage hands the netlist to the resynthesis engine and the fit completes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

}  // namespace
