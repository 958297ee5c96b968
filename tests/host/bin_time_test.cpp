// Time spent in profiling bins, read back from their events (the benches
// report steps by their bins).
#include <chrono>

#include "common/host_clock.h"
#include "gen/gen_profile.h"
#include "gen/gen_profile_time.h"
#include "testing/host_test.h"

using host::testing::HostTest;
using std::chrono::milliseconds;

namespace {

class BinTimeTest : public HostTest {};

TEST_F(BinTimeTest, OutermostOpeningsAddUpAndOpenBinsCountToNow) {
  GEN_PROFILE_BINS::open("VELMO", "a");
  host::clock::advance(milliseconds(5));
  GEN_PROFILE_BINS::open("VELMO", "a");  // nested: counted once
  host::clock::advance(milliseconds(2));
  GEN_PROFILE_BINS::close("a");
  host::clock::advance(milliseconds(1));
  GEN_PROFILE_BINS::close("a");
  GEN_PROFILE_BINS::open("VELMO", "b");  // another bin's time is its own
  host::clock::advance(milliseconds(3));
  GEN_PROFILE_BINS::close("b");
  EXPECT_NEAR(host::bins::seconds_in("a"), 0.008, 1e-9);
  EXPECT_NEAR(host::bins::seconds_in("b"), 0.003, 1e-9);
  GEN_PROFILE_BINS::open("VELMO", "a");
  host::clock::advance(milliseconds(4));
  EXPECT_NEAR(host::bins::seconds_in("a"), 0.012, 1e-9);
  GEN_PROFILE_BINS::close("a");
  EXPECT_EQ(host::bins::seconds_in("never"), 0.0);
}

}  // namespace
