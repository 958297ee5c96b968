// The PLL delay-chain optimisation after the fit has its own switch; off,
// the PLL delay chains stay as they are and the rest of the list runs.
#include "../prefit/expert_fixture.h"
#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "velmo_postroute_ops.h"

using host::testing::Family;

namespace {
class PostRoutePllSwitchTest : public velmo_test::ExpertTest {};
}  // namespace

TEST_F(PostRoutePllSwitchTest, SwitchedOffThePllDelayChainsStayAsTheyAre) {
  device(Family::KY);
  start();
  EXPECT_TRUE(VELMO_POSTROUTE_OPS::run_route_stage_ops(true));
  EXPECT_EQ(count_calls("WEXAN_PLL_DELAY_CHAINS_OP::work"), 1);
  cfg_set_off("wexan_pll_delay_chain_opt_post_fit");
  host::clear_calls();
  EXPECT_TRUE(VELMO_POSTROUTE_OPS::run_route_stage_ops(true));
  EXPECT_EQ(count_calls("WEXAN_PLL_DELAY_CHAINS_OP::work"), 0);
  EXPECT_EQ(count_calls("NOLT_FF_POWER_UP_OP::work"), 1);
}
