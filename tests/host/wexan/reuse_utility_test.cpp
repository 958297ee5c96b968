// The stand-in host's recompile state as tests set it: the netlist-reuse
// utility is kept while present and only made again after it was removed;
// the previous fit's atoms are exactly those named.
#include <gtest/gtest.h>

#include "testing/host_test.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"

namespace {
class ReuseUtilityTest : public host::testing::HostTest {};
}  // namespace

TEST_F(ReuseUtilityTest, PresentKeepsTheUtilityAndRemovedMakesItAfresh) {
  WEXAN_INCREMENTAL_UTILITY* first = WEXAN_INCREMENTAL_UTILITY::current();
  ASSERT_NE(first, nullptr);
  host::wexan::set_reuse_utility(true);
  EXPECT_EQ(WEXAN_INCREMENTAL_UTILITY::current(), first);
  host::wexan::set_reuse_utility(false);
  EXPECT_EQ(WEXAN_INCREMENTAL_UTILITY::current(), nullptr);
  host::wexan::set_reuse_utility(false);
  EXPECT_EQ(WEXAN_INCREMENTAL_UTILITY::current(), nullptr);
  host::wexan::set_reuse_utility(true);
  WEXAN_INCREMENTAL_UTILITY* again = WEXAN_INCREMENTAL_UTILITY::current();
  ASSERT_NE(again, nullptr);
  host::wexan::set_reuse_utility(true);
  EXPECT_EQ(WEXAN_INCREMENTAL_UTILITY::current(), again);
}

TEST_F(ReuseUtilityTest, PreviousFitAtomsAreThoseNamed) {
  EXPECT_FALSE(WEXAN_SWAVO_RECOMPILE_UTILITY::atom_from_pfit_netlist(3));
  host::wexan::set_pfit_netlist_atoms({3, 5});
  EXPECT_TRUE(WEXAN_SWAVO_RECOMPILE_UTILITY::atom_from_pfit_netlist(3));
  EXPECT_TRUE(WEXAN_SWAVO_RECOMPILE_UTILITY::atom_from_pfit_netlist(5));
  EXPECT_FALSE(WEXAN_SWAVO_RECOMPILE_UTILITY::atom_from_pfit_netlist(4));
  host::wexan::set_pfit_netlist_atoms({});
  EXPECT_FALSE(WEXAN_SWAVO_RECOMPILE_UTILITY::atom_from_pfit_netlist(3));
}
