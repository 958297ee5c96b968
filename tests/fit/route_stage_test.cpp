// velmo-fit running the place, route and retime stages on the default design.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fit_runner.h"

#include <string>

namespace {
using velmo_fit_test::RESULT;
const auto run_fit = velmo_fit_test::run;
}  // namespace

using ::testing::HasSubstr;
using ::testing::Not;

TEST(VelmoFitRoute, RouteAndRetimeRunAfterPlacementOnRetimingFamilies) {
  for (const char* family : {"46", "26"}) {
    auto r = run_fit(std::string("--stages place,route,retime --family ") + family);
    EXPECT_EQ(r.status, 0) << family << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("Stage place: ok"));
    EXPECT_THAT(r.out, HasSubstr("Info (016607): Fitter routing operations ending: elapsed time is"));
    EXPECT_THAT(r.out, HasSubstr("Stage route: ok"));
    EXPECT_THAT(r.out, HasSubstr("Info (018821): Fitter Zento-Retimer operations ending: elapsed time is"));
    EXPECT_THAT(r.out, HasSubstr("Stage retime: ok"));
    // No finalize stage, so no hold fixing: the summary re-routed nothing.
    EXPECT_THAT(r.out, HasSubstr("\nHold fixing: 0 connections re-routed for hold, "));
    EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
  }
}

TEST(VelmoFitRoute, RetimeFailsOnAFamilyWithoutPipelineRegisters) {
  auto r = run_fit("--stages place,route,retime --family 48");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Stage route: ok"));
  EXPECT_THAT(r.out, HasSubstr("Stage retime: FAILED"));
  // The stage runs on the "retimed" snapshot, where it says why it fails.
  EXPECT_THAT(r.out, HasSubstr("Error (018419): The Zento-Retimer is not supported for device KX-48-P1."));
  EXPECT_THAT(r.out, Not(HasSubstr("Stage checks")));
  EXPECT_THAT(r.out, Not(HasSubstr("Zento-Retimer operations ending")));
}
