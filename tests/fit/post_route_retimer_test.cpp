// velmo-fit with post-route physical synthesis in finalize: the retimer runs
// over the clock domains of the default design and the program ends cleanly
// (its worker threads gone before the library is unloaded).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "fit_runner.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(VelmoFitPostRoute, TheRetimerRunsInFinalizeAndTheProgramEndsCleanly) {
  auto r = velmo_fit_test::run("--family 46 --cfg muvo_post_route_in_finalize=on --debug");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("FF Queue Size : "));
  EXPECT_THAT(r.out, Not(HasSubstr("IRTM_MANAGER::is_retimable_ff: not built yet")));
  EXPECT_THAT(r.out, HasSubstr("Accepted Moves      : 0 (0%)"));
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
  EXPECT_THAT(r.out, Not(HasSubstr("VELMO_EXPERT::test_incremental_retiming: not built yet")));
}

}  // namespace
