// velmo-fit running the place stage on the default design.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fit_runner.h"

#include <string>

namespace {
using velmo_fit_test::RESULT;
const auto run_fit = velmo_fit_test::run;
}  // namespace

using ::testing::HasSubstr;

TEST(VelmoFitPlace, PlaceStageRunsBetweenStartUpAndShutDown) {
  for (const char* family : {"46", "48", "26"}) {
    auto r = run_fit(std::string("--stages place --debug --family ") + family);
    EXPECT_EQ(r.status, 0) << family << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("Stage start-up: ok"));
    EXPECT_THAT(r.out, HasSubstr("Finished fitter preparation."));
    EXPECT_THAT(r.out, HasSubstr("Finished placement and routing."));
    EXPECT_THAT(r.out, HasSubstr("Stage place: ok"));
    EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
  }
}

TEST(VelmoFitPlace, StopAfterPrefitFailsThePlaceStage) {
  auto r = run_fit("--stages place --cfg debug_stop_after_prefit=on");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Stage place: FAILED"));
}
