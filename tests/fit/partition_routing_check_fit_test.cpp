// velmo-fit's check of the preserved partitions compares their routing: a
// net driven from a preserved partition that lost its routing after the
// last stage fails the run; a recompiled partition's nets may change.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "fit_runner.h"

namespace {
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kMac = std::string(VELMO_DESIGNS_DIR) + "/yosys/mac16.blif";
const std::string kBundled = std::string(VELMO_DESIGNS_DIR) + "/yosys/mac16.partitions.json";

// The fit, with the routing trees of the nets of `atoms` cut after the last
// stage by the preloaded library.
velmo_fit_test::RESULT cut(const std::string& atoms) {
  return velmo_fit_test::run_with("VELMO_TEST_CUT_ROUTING='" + atoms + "' LD_PRELOAD=" VELMO_SWAP_ATOMS_LIB
                                  " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 ",
                                  kMac + " --settings " + kBundled + " --stages plan,place");
}

}  // namespace

TEST(VelmoFitPartitionsRouting, APreservedNetThatLostItsRoutingFailsTheRun) {
  auto r = cut("ra[0]");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Preserved partitions: CHANGED"));
  EXPECT_THAT(r.out, HasSubstr("partition mult: routing changed"));
  EXPECT_THAT(r.out, Not(HasSubstr("partition mult: ra[0] moved")));
  // The recompiled partition's nets, into the preserved top partition's
  // output pins, are routed anew by design.
  r = cut("acc[0],acc[1]");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Preserved partitions: unchanged"));
}
