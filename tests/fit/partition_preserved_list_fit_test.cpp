// velmo-fit's check of the preserved partitions names at most ten of the
// atoms a fit moved, then says how many more there are.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fit_runner.h"

#include <string>

namespace {
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kMac = std::string(VELMO_DESIGNS_DIR) + "/yosys/mac16.blif";
const std::string kBundled = std::string(VELMO_DESIGNS_DIR) + "/yosys/mac16.partitions.json";

// The preserved check after moving the first `n` product registers of the
// preserved partition round one site each.
velmo_fit_test::RESULT moved(int n) {
  std::string atoms;
  for (int i = 0; i < n; ++i) atoms += (i ? "," : "") + std::string("ra[") + std::to_string(i) + "]";
  return velmo_fit_test::run_with("VELMO_TEST_SWAP_ATOMS='" + atoms + "' LD_PRELOAD=" VELMO_SWAP_ATOMS_LIB
                                  " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 ",
                                  kMac + " --settings " + kBundled + " --stages plan,place");
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(VelmoFitPartitionsCheck, TenChangesAreListedAndTheRestCounted) {
  for (int n : {10, 11}) {
    const velmo_fit_test::RESULT r = moved(n);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_THAT(r.out, HasSubstr("Preserved partitions: CHANGED\n")) << n;
    EXPECT_EQ(count(r.out, "  partitions: partition mult: ra["), 10) << n << "\n" << r.out;
    if (n == 10)
      EXPECT_THAT(r.out, Not(HasSubstr(" more\n"))) << r.out;
    else
      EXPECT_THAT(r.out, HasSubstr("  ... and " + std::to_string(n - 10) + " more\n")) << r.out;
  }
}
